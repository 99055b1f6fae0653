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

// Windows: a network path holds two backslashes in a row, a drive path a
// colon followed by a backslash; wherever they stand in the argument.
inline bool IsWindowsFullPath(const std::string& Arg) {
  return Arg.find("\\\\") != std::string::npos ||
         Arg.find(":\\") != std::string::npos;
}

// Windows drive root: three bytes, a colon second and a backslash third. The
// first byte is not examined.
inline bool HasWindowsDriveRootForm(const std::string& Path) {
  return Path.size() == 3 && Path[1] == ':' && Path[2] == '\\';
}

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
