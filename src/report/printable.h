// Paths as they go into the report: one line is one action, so no name may
// end a line, begin another or send a terminal a command.
#ifndef OLVANE_REPORT_PRINTABLE_H_
#define OLVANE_REPORT_PRINTABLE_H_

#include <string>

namespace olvane {

// Path with every byte that could break or drive the report written as an
// escape: tab, line feed and carriage return as "\t", "\n", "\r"; the other
// control characters (0x01-0x1F, 0x7F, and U+0080-U+009F) and every byte
// that is not part of a well-formed UTF-8 sequence as "\xhh" (lower-case
// hex, one escape per byte). Surrogate code points in their three-byte form
// are not well-formed either, unless Wtf8: the names of a system whose names
// may hold unpaired surrogates carry them so, and its output converts them
// (Windows). Elsewhere they are bytes no name of UTF-8 text holds, and the
// report stays valid UTF-8 while still telling them. A path without
// such bytes comes back unchanged. A backslash is left as it is: on Windows
// it is the separator, on Linux an ordinary character of names.
std::string Printable(const std::string& Path, bool Wtf8 = false);

}  // namespace olvane

#endif  // OLVANE_REPORT_PRINTABLE_H_
