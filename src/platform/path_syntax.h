// The two path syntaxes olvane knows. They are plain string rules, kept apart
// from the OS calls so that the in-memory platform of the tests can speak
// either one.
#ifndef OLVANE_PLATFORM_PATH_SYNTAX_H_
#define OLVANE_PLATFORM_PATH_SYNTAX_H_

#include <string>

namespace olvane {

// POSIX: "/" separates, and a full path is one that begins with it.
inline bool IsPosixFullPath(const std::string& Arg) {
  return !Arg.empty() && Arg[0] == '/';
}

// Windows: a full path begins with a drive and a separator ("C:\") or
// with two separators (a network path "\\server\share", or a "\\?\" or
// "\\.\" path); "/" counts as "\".
bool IsWindowsFullPath(const std::string& Arg);

// Windows drive root: three bytes, a colon second and a backslash third. The
// first byte is not examined.
inline bool HasWindowsDriveRootForm(const std::string& Path) {
  return Path.size() == 3 && Path[1] == ':' && Path[2] == '\\';
}

// Windows: the length of the root that begins Path, which no wildcard and no
// mask split reaches: "C:\" (3), "C:" (2), "\\server\share\",
// "\\?\C:\", "\\?\UNC\server\share\", "\\.\device\" (each with the
// separator that follows, if any), a lone leading separator (1); 0 for a
// relative path. "/" counts as "\".
size_t WindowsRootLength(const std::string& Path);

// The path Arg names, read as Windows reads it, every "/" written "\": a
// full path as written; "\x" on the drive or share of CurrentDirectory;
// "Q:x" in DriveFolder, the current folder of that drive; any other path in
// Base. The relative forms are joined with one separator and lose their
// trailing separators (a root keeps its own). Empty for an empty Arg, and
// when a relative form has nothing to be read against.
std::string ResolveWindowsPath(const std::string& Base, const std::string& Arg,
                               const std::string& CurrentDirectory,
                               const std::string& DriveFolder);

// POSIX: Arg itself when it begins with "/", else Arg without its trailing
// separators joined to Base with one "/". Empty for an empty Arg or Base.
std::string ResolvePosixPath(const std::string& Base, const std::string& Arg);

// Removes every trailing Separator from Path, however many.
inline void TrimSeparators(char Separator, std::string* Path) {
  while (!Path->empty() && Path->back() == Separator) Path->pop_back();
}

// True when Name matches Mask: "*" matches any run of characters (none, and
// a leading "." included), "?" exactly one character; the rest must match
// byte for byte, case-sensitively.
bool MatchMask(const std::string& Mask, const std::string& Name);

// True when Mask ("" for folder mode) takes every file of a folder: "*"
// runs with at most one "?", as no name is empty; with DotStar "*.*" too,
// which Windows users write for every file.
bool MaskTakesEveryName(const std::string& Mask, bool DotStar);

}  // namespace olvane

#endif  // OLVANE_PLATFORM_PATH_SYNTAX_H_
