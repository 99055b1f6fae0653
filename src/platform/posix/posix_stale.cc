// Temporary files of moves across file systems: their names, which say who
// wrote them, and their removal once no run can still be writing them.
#ifndef _GNU_SOURCE
#define _GNU_SOURCE
#endif

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "platform/posix/posix_internal.h"

namespace olvane {
namespace {

// What a run's temporary files are named after: the boot, the PID
// namespace, the process and its start, so that a later run can tell
// whether their writer can still be running.
struct Stamp {
  std::string Boot, Space;  // empty when they cannot be read
  std::string Of(const std::string& Process) const;  // "pid-start"
};

std::string ReadLine(const char* Path) {
  char Text[256];
  UniqueFd Fd(open(Path, O_RDONLY | O_CLOEXEC));
  const ssize_t Got = Fd.Get() < 0 ? -1 : read(Fd.Get(), Text, sizeof(Text));
  std::string Line(Text, Got > 0 ? static_cast<size_t>(Got) : 0);
  return Line.substr(0, Line.find('\n'));
}

std::string Stamp::Of(const std::string& Process) const {
  // The start time, in clock ticks since boot, is the 22nd field of the
  // stat line; the name in parentheses may hold blanks.
  const std::string Line = ReadLine(("/proc/" + Process + "/stat").c_str());
  size_t At = Line.rfind(')');
  for (int Field = 2; At != std::string::npos && Field < 22; ++Field) {
    At = Line.find(' ', At + 1);
  }
  if (At == std::string::npos) return std::string();
  return Process + "-" + Line.substr(At + 1, Line.find(' ', At + 1) - At - 1);
}

const Stamp& Mine() {
  static const Stamp One = [] {
    Stamp Made;
    Made.Boot = ReadLine("/proc/sys/kernel/random/boot_id").substr(0, 8);
    char Space[64];
    const ssize_t Got = readlink("/proc/self/ns/pid", Space, sizeof(Space));
    // "pid:[4026531836]": the digits.
    for (ssize_t I = 0; I < Got; ++I) {
      if (Space[I] >= '0' && Space[I] <= '9') Made.Space += Space[I];
    }
    return Made;
  }();
  return One;
}

const std::string kTemporaryStart = ".olvane-", kTemporaryEnd = ".tmp";

}  // namespace

std::string TemporaryName(int Try) {
  const Stamp& Own = Mine();
  return kTemporaryStart + Own.Boot + "-" + Own.Space + "-" +
         Own.Of(std::to_string(getpid())) + "-" + std::to_string(Try) +
         kTemporaryEnd;
}

namespace {

// Whether Name is a temporary file of a run that can no longer be writing
// it: one of this boot and PID namespace whose process has ended, or one of
// an earlier boot that nothing has changed since this boot began.
bool IsStale(const std::string& Name, const struct stat& Info,
             int64_t BootTime) {
  if (Name.rfind(kTemporaryStart, 0) != 0 || Name.size() < 20 ||
      Name.compare(Name.size() - kTemporaryEnd.size(), kTemporaryEnd.size(),
                   kTemporaryEnd) != 0 ||
      !(S_ISREG(Info.st_mode) || S_ISLNK(Info.st_mode))) {
    return false;
  }
  std::vector<std::string> Fields;  // boot, space, pid, start, try
  for (size_t At = kTemporaryStart.size(), End;; At = End + 1) {
    End = Name.find('-', At);
    Fields.push_back(Name.substr(At, End - At));
    if (End == std::string::npos) break;
  }
  const Stamp& Own = Mine();
  if (Fields.size() != 5 || Own.Boot.empty() || Own.Space.empty()) {
    return false;
  }
  if (Fields[0] != Own.Boot) {
    return BootTime > 0 && Info.st_ctim.tv_sec < BootTime;
  }
  return Fields[1] == Own.Space &&
         Own.Of(Fields[2]) != Fields[2] + "-" + Fields[3];
}

}  // namespace

void RemoveStaleCopiesIn(const std::string& Path) {
  UniqueFd Dir(open(Path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  DIR* Entries = Dir.Get() < 0 ? nullptr : fdopendir(dup(Dir.Get()));
  if (!Entries) return;
  // The boot time, in seconds since 1970: the "btime" line of /proc/stat.
  int64_t BootTime = 0;
  if (FILE* Stat = fopen("/proc/stat", "re")) {
    char Line[256];
    long long Seconds;
    while (fgets(Line, sizeof(Line), Stat)) {
      if (sscanf(Line, "btime %lld", &Seconds) == 1) BootTime = Seconds;
    }
    fclose(Stat);
  }
  std::vector<std::string> Stale;
  while (dirent* Entry = readdir(Entries)) {
    struct stat Info;
    if (Entry->d_name[0] == '.' &&
        fstatat(Dir.Get(), Entry->d_name, &Info, AT_SYMLINK_NOFOLLOW) == 0 &&
        IsStale(Entry->d_name, Info, BootTime)) {
      Stale.push_back(Entry->d_name);
    }
  }
  closedir(Entries);
  for (const std::string& Name : Stale) unlinkat(Dir.Get(), Name.c_str(), 0);
}

}  // namespace olvane
