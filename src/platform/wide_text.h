// The text rules of the Windows boundary, as plain string code: UTF-8 inside
// the program, UTF-16 in every system call. Kept free of OS calls so that the
// rules are tested on every build.
//
// Names on Windows are sequences of 16-bit units that need not be valid
// UTF-16: a file system such as NTFS accepts an unpaired surrogate. Such a
// name is carried in WTF-8, the generalised UTF-8 that writes a lone
// surrogate as its own three-byte form, so that every name converts to UTF-8
// and back unchanged.
#ifndef OLVANE_PLATFORM_WIDE_TEXT_H_
#define OLVANE_PLATFORM_WIDE_TEXT_H_

#include <string>
#include <string_view>
#include <vector>

namespace olvane {

// The UTF-16 form of Text, which is UTF-8 or WTF-8. What is not well formed
// (a stray continuation byte, an overlong form, a truncated sequence, a value
// beyond U+10FFFF) becomes U+FFFD, one for each longest run of bytes that
// began a sequence, as Unicode recommends. A lead surrogate followed by a
// trail surrogate, each in its three-byte form, becomes the pair it spells.
std::u16string WideFromUtf8(std::string_view Text);

// The WTF-8 form of Text: plain UTF-8 where Text is valid UTF-16, and each
// unpaired surrogate in its three-byte form. WideFromUtf8 gives Text back.
std::string Utf8FromWide(std::u16string_view Text);

// Text (WTF-8) with each three-byte surrogate form replaced by U+FFFD, which
// makes it valid UTF-8: the form of a line written to a file or a pipe.
std::string StrictUtf8(std::string_view Text);

// The full path of Path in the long form that the system takes at any
// length and never reinterprets: "\\?\C:\..." for a drive path and
// "\\?\UNC\server\share\..." for a network path. "/" counts as a separator;
// runs of separators collapse; "." and ".." components are resolved, never
// above the drive root or the share, as GetFullPathNameW resolves them. A
// relative path ("logs", "\logs", "C:logs") is made full against
// CurrentDirectory first (a "C:logs" on a drive other than the current one
// against that drive's root). A trailing separator is kept; other characters
// are taken as written (a trailing dot or space belongs to the name). A path
// already in the "\\?\" form is returned unchanged. Empty when no full path
// can be made (a relative path without a current directory, a network path
// without a share).
std::u16string LongPathForm(std::u16string_view Path,
                            std::u16string_view CurrentDirectory);

// Splits a command line into its words as the C runtime of Windows
// (msvcrt.dll) does for main: the program name first, up to the first blank
// or between quotes; then words parted by spaces and tabs, in which quotes
// group blanks, 2N backslashes before a quote stand for N backslashes and
// the quote groups, 2N+1 for N and a literal quote, "" inside quotes is a
// literal quote that also ends the group, and other backslashes are literal.
// Wildcards are left as they are.
std::vector<std::u16string> SplitCommandLine(std::u16string_view Line);

// True when Name matches Mask: "*" matches any run of characters, "?"
// exactly one (a surrogate pair counts as one); the rest must match after
// Upcase has been applied to each 16-bit unit on both sides, as the file
// systems of Windows compare names.
bool MatchWideMask(std::u16string_view Mask, std::u16string_view Name,
                   char16_t (*Upcase)(char16_t));

}  // namespace olvane

#endif  // OLVANE_PLATFORM_WIDE_TEXT_H_
