#include "platform/path_syntax.h"

#include <algorithm>

namespace olvane {

bool MatchMask(const std::string& Mask, const std::string& Name) {
  // Greedy match that backtracks only to the last star: linear in practice
  // and never exponential, whatever the mask.
  size_t M = 0, N = 0;
  size_t StarM = std::string::npos, StarN = 0;
  while (N < Name.size()) {
    if (M < Mask.size() && (Mask[M] == '?' || Mask[M] == Name[N])) {
      ++M;
      ++N;
    } else if (M < Mask.size() && Mask[M] == '*') {
      StarM = M++;
      StarN = N;
    } else if (StarM != std::string::npos) {
      M = StarM + 1;
      N = ++StarN;
    } else {
      return false;
    }
  }
  while (M < Mask.size() && Mask[M] == '*') ++M;
  return M == Mask.size();
}

bool MaskTakesEveryName(const std::string& Mask, bool DotStar) {
  if (Mask.empty() || (DotStar && Mask == "*.*")) return true;
  const size_t Stars = std::count(Mask.begin(), Mask.end(), '*');
  const size_t Marks = std::count(Mask.begin(), Mask.end(), '?');
  return Stars > 0 && Marks <= 1 && Stars + Marks == Mask.size();
}

}  // namespace olvane

namespace olvane {
namespace {

bool IsWindowsSeparator(char C) { return C == '\\' || C == '/'; }

size_t ComponentEnd(const std::string& Path, size_t From) {
  while (From < Path.size() && !IsWindowsSeparator(Path[From])) ++From;
  return From;
}

// Rest joined to Against with one separator; Against alone when Rest is
// nothing but separators.
std::string Join(std::string Against, std::string Rest, char Separator) {
  if (Against.empty()) return std::string();
  TrimSeparators(Separator, &Rest);
  if (Rest.empty()) return Against;
  TrimSeparators(Separator, &Against);
  return Against + Separator + Rest;
}

}  // namespace

bool IsWindowsFullPath(const std::string& Arg) {
  return Arg.size() >= 2 &&
         ((IsWindowsSeparator(Arg[0]) && IsWindowsSeparator(Arg[1])) ||
          (Arg[1] == ':' && Arg.size() >= 3 && IsWindowsSeparator(Arg[2])));
}

size_t WindowsRootLength(const std::string& Path) {
  const auto Sep = [&](size_t At) {
    return At < Path.size() && IsWindowsSeparator(Path[At]);
  };
  if (Path.size() >= 2 && Path[1] == ':' && !Sep(0)) return Sep(2) ? 3 : 2;
  if (!Sep(0)) return 0;
  if (!Sep(1)) return 1;
  // The parts of the root after its leading separators: server and share,
  // or after "\\?\" and "\\.\" the device ("C:"), or "UNC", server and share.
  size_t At = 2;
  int Parts = 2;
  if (Path.size() >= 4 && (Path[2] == '?' || Path[2] == '.') && Sep(3)) {
    At = 4;
    Parts = 1;
    if (ComponentEnd(Path, 4) == 7 && (Path[4] | 0x20) == 'u' &&
        (Path[5] | 0x20) == 'n' && (Path[6] | 0x20) == 'c') {
      At = 8;
      Parts = 2;
    }
  }
  for (; Parts > 0 && At < Path.size(); --Parts) {
    At = ComponentEnd(Path, At);
    if (At < Path.size()) ++At;
  }
  return std::min(At, Path.size());
}

std::string ResolveWindowsPath(const std::string& Base, const std::string& Arg,
                               const std::string& CurrentDirectory,
                               const std::string& DriveFolder) {
  std::string Path = Arg;
  for (char& C : Path) {
    if (C == '/') C = '\\';
  }
  if (Path.empty() || IsWindowsFullPath(Path)) return Path;
  const size_t Root = WindowsRootLength(Path);
  if (Root == 2) return Join(DriveFolder, Path.substr(2), '\\');
  if (Root == 1) {
    // The root of the current folder's drive or share, with its separator.
    std::string Current =
        CurrentDirectory.substr(0, WindowsRootLength(CurrentDirectory));
    if (!Current.empty() && !IsWindowsSeparator(Current.back())) {
      Current += '\\';
    }
    return Join(Current, Path.substr(1), '\\');
  }
  return Join(Base, Path, '\\');
}

std::string ResolvePosixPath(const std::string& Base, const std::string& Arg) {
  if (Arg.empty() || IsPosixFullPath(Arg)) return Arg;
  return Join(Base, Arg, '/');
}

}  // namespace olvane
