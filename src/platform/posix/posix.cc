// The platform on Linux: the process, and lookups by path. Folders and files
// are in posix_walk.cc, moves in posix_move.cc.
#ifndef _GNU_SOURCE
#define _GNU_SOURCE
#endif

#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/vfs.h>
#include <syslog.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <tuple>
#include <vector>

#include "platform/path_syntax.h"
#include "platform/posix/posix_internal.h"
#include "platform/posix/posix_terminal.h"

namespace olvane {
namespace {

std::atomic<int> StopSignal{0};

void OnStop(int Signal) { StopSignal.store(Signal); }

// Opens descriptor Fd on the null device if it is closed, so that no file
// the run opens later takes that number. False when it was closed.
bool KeepStandardStream(int Fd) {
  if (fcntl(Fd, F_GETFD) >= 0 || errno != EBADF) return true;
  // The lowest free number: Fd itself, as the ones below it are open.
  const int Null = open("/dev/null", Fd == 0 ? O_RDONLY : O_WRONLY);
  if (Null >= 0 && Null != Fd) {
    dup2(Null, Fd);
    close(Null);
  }
  return false;
}

class PosixPlatform : public Platform {
 public:
  PosixPlatform() {
    // Before anything else is opened.
    KeepStandardStream(0);
    Lost_ = !KeepStandardStream(1);
    KeepStandardStream(2);
  }

  char Separator() const override { return '/'; }
  bool IsSeparator(char C) const override { return C == '/'; }
  bool IsFullPath(const std::string& Arg) const override {
    return IsPosixFullPath(Arg);
  }
  std::string ResolvePath(const std::string& Base,
                          const std::string& Arg) override {
    return ResolvePosixPath(Base, Arg);
  }
  size_t RootLength(const std::string& Path) const override {
    return IsPosixFullPath(Path) ? 1 : 0;
  }
  std::string NameKey(const std::string& Path) override { return Path; }
  bool SlashHelp() const override { return false; }
  bool NamesInWtf8() const override { return false; }
  DriveRoot QueryDriveRoot(const std::string& Path) override {
    return Path == "/" ? DriveRoot::kPresent : DriveRoot::kNotRoot;
  }

  bool MatchName(const std::string& Mask,
                 const std::string& Name) const override {
    return MatchMask(Mask, Name);
  }
  // "/" however written or reached ("//", "/tmp/..", a link to it): the
  // same folder as the process's root.
  std::string WholeRoot(const std::string& Folder,
                        const std::string& Mask) override {
    struct stat Mine, Root;
    if (!MaskTakesEveryName(Mask, false) ||
        stat(Folder.empty() ? "/" : Folder.c_str(), &Mine) != 0 ||
        stat("/", &Root) != 0 || Mine.st_dev != Root.st_dev ||
        Mine.st_ino != Root.st_ino) {
      return std::string();
    }
    return "/";
  }

  ConfigLock LockConfiguration(const std::string& Path) override {
    // Kept open, and so locked, until the process ends.
    const int Fd = open(Path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY);
    if (Fd < 0) return ConfigLock::kFailed;
    while (flock(Fd, LOCK_EX | LOCK_NB) != 0) {
      if (errno == EINTR) continue;
      const bool Busy = errno == EWOULDBLOCK;
      close(Fd);
      return Busy ? ConfigLock::kBusy : ConfigLock::kFailed;
    }
    return ConfigLock::kTaken;
  }

  std::vector<std::string> Arguments(int Argc, char** Argv) override {
    return std::vector<std::string>(Argv + (Argc > 0 ? 1 : 0), Argv + Argc);
  }

  bool Start() override {
    NoteRunStart();
    // A lease break signals the lease holder with SIGIO, whose default
    // action would end the run.
    if (signal(SIGIO, SIG_IGN) == SIG_ERR) return false;
    // A stop request lets the files under way finish and be reported.
    struct sigaction Stop = {};
    Stop.sa_handler = OnStop;
    sigemptyset(&Stop.sa_mask);
    if (sigaction(SIGINT, &Stop, nullptr) != 0 ||
        sigaction(SIGTERM, &Stop, nullptr) != 0) {
      return false;
    }
    // Each level of the walk holds its folder open, and each file under
    // way a few descriptors more: allow as many as the system lets this
    // process have, and share them out.
    size_t Limit = 1024;
    struct rlimit Files;
    if (getrlimit(RLIMIT_NOFILE, &Files) == 0) {
      if (Files.rlim_cur < Files.rlim_max) {
        Files.rlim_cur = Files.rlim_max;
        setrlimit(RLIMIT_NOFILE, &Files);
        getrlimit(RLIMIT_NOFILE, &Files);
      }
      Limit = Files.rlim_cur;
    }
    Budget_ = SetDescriptorLimit(Limit);
    // A standard stream that stayed closed would be taken by a file.
    return fcntl(0, F_GETFD) >= 0 && fcntl(1, F_GETFD) >= 0 &&
           fcntl(2, F_GETFD) >= 0;
  }

  int SignalStatus() override {
    const int Signal = StopSignal.load();
    return Signal == 0 ? 0 : 128 + Signal;
  }

  std::string CurrentDirectory() override {
    char* Path = getcwd(nullptr, 0);
    if (!Path) return std::string();
    std::string Result(Path);
    free(Path);
    return Result;
  }

  int64_t Now() override {
    struct timespec Time;
    clock_gettime(CLOCK_REALTIME, &Time);
    return Time.tv_sec;
  }

  int64_t Monotonic() override {
    struct timespec Time;
    clock_gettime(CLOCK_MONOTONIC, &Time);
    return int64_t{Time.tv_sec} * 1000 + Time.tv_nsec / 1000000;
  }

  int32_t UtcOffset(int64_t Time) override {
    const time_t At = static_cast<time_t>(Time);
    struct tm Local;
    std::lock_guard<std::mutex> Hold(ZoneLock_);
    return localtime_r(&At, &Local) ? static_cast<int32_t>(Local.tm_gmtoff) : 0;
  }

  LogOpened OpenLog(const std::string& Path, int64_t RotateAbove, int Keep,
                    std::unique_ptr<LogFile>* Log) override {
    return OpenPosixLog(Path, RotateAbove, Keep, Log);
  }
  bool ReplaceContent(const std::string& Path,
                      const std::string& Text) override {
    return ReplacePosixContent(Path, Text);
  }

  bool FromLocalTime(const CivilTime& Local, int64_t* Utc) override {
    // mktime reads the zone's file anew on every call: each time asked
    // for is converted once (files named by date share a few).
    const auto Key = std::make_tuple(Local.Year, Local.Month, Local.Day,
                                     Local.Hour, Local.Minute, Local.Second);
    std::lock_guard<std::mutex> Hold(ZoneLock_);
    if (const auto Known = Converted_.find(Key); Known != Converted_.end()) {
      *Utc = Known->second;
      return true;
    }
    struct tm Fields = {};
    Fields.tm_year = Local.Year - 1900;
    Fields.tm_mon = Local.Month - 1;
    Fields.tm_mday = Local.Day;
    Fields.tm_hour = Local.Hour;
    Fields.tm_min = Local.Minute;
    Fields.tm_sec = Local.Second;
    Fields.tm_isdst = -1;  // whatever the zone's rules say for that day
    errno = 0;
    const time_t Time = mktime(&Fields);
    // -1 is also one second before 1970: only errno tells them apart.
    if (Time == static_cast<time_t>(-1) && errno != 0) return false;
    if (Converted_.size() >= 4096) Converted_.clear();
    Converted_.emplace(Key, Time);
    *Utc = Time;
    return true;
  }

  bool ToLocalTime(int64_t Utc, CivilTime* Local) override {
    const time_t Time = static_cast<time_t>(Utc);
    struct tm Fields;
    std::unique_lock<std::mutex> Hold(ZoneLock_);
    if (!localtime_r(&Time, &Fields)) return false;
    Hold.unlock();
    *Local = CivilTime{Fields.tm_year + 1900, Fields.tm_mon + 1, Fields.tm_mday,
                       Fields.tm_hour,        Fields.tm_min,     Fields.tm_sec};
    return true;
  }

  void Print(const std::string& Line) override { PrintLines(Line + '\n'); }
  void PrintLines(const std::string& Lines) override {
    if (!Terminal_.Write(1, Lines)) Lost_ = true;
  }
  void PrintError(const std::string& Line) override {
    Terminal_.Write(2, Line + '\n');
  }
  bool ErrorIsTerminal() override { return Terminal_.IsTerminal(); }
  int TerminalColumns() override { return Terminal_.Columns(); }
  void ShowProgress(const std::string& Line) override { Terminal_.Show(Line); }
  bool OutputLost() override { return Lost_; }

  // syslog(3) tells nothing of an entry that no log daemon took.
  bool WriteSystemLog(LogLevel Level, int /*EventId*/,
                      const std::string& Text) override {
    const int Priority = Level == LogLevel::kInfo      ? LOG_INFO
                         : Level == LogLevel::kWarning ? LOG_WARNING
                                                       : LOG_ERR;
    openlog("olvane", LOG_PID, LOG_USER);
    syslog(Priority, "%s", Text.c_str());
    closelog();
    return true;
  }

  PathKind Find(const std::string& Path) override {
    struct stat Info;
    if (Path.empty() || Path.back() == '/' || lstat(Path.c_str(), &Info) != 0) {
      return PathKind::kNothing;
    }
    if (S_ISLNK(Info.st_mode) && stat(Path.c_str(), &Info) != 0) {
      return PathKind::kFile;
    }
    return S_ISDIR(Info.st_mode) ? PathKind::kFolder : PathKind::kFile;
  }

  PathKind Status(const std::string& Path) override {
    struct stat Info;
    if (stat(Path.c_str(), &Info) != 0) return PathKind::kNothing;
    return S_ISDIR(Info.st_mode) ? PathKind::kFolder : PathKind::kFile;
  }

  size_t FolderBudget() override { return Budget_; }

  std::unique_ptr<Folder> OpenFolder(const std::string& Path) override {
    return OpenPosixFolder(Path);
  }

  bool IdentityOf(const std::string& Path, FileIdentity* Id) override {
    struct stat Info;
    if (lstat(Path.c_str(), &Info) != 0) return false;
    *Id = {static_cast<uint64_t>(Info.st_dev),
           static_cast<uint64_t>(Info.st_ino)};
    return true;
  }

  // Opened without blocking, so that a FIFO named like a rules file cannot
  // hold the run; then read only if it is a regular file.
  bool ReadFile(const std::string& Path, std::string* Bytes,
                size_t Most) override {
    UniqueFd File(open(Path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    struct stat Info;
    if (File.Get() < 0 || fstat(File.Get(), &Info) != 0 ||
        !S_ISREG(Info.st_mode) || static_cast<uint64_t>(Info.st_size) > Most) {
      return false;
    }
    Bytes->clear();
    char Buffer[65536];
    for (;;) {
      const ssize_t Read = read(File.Get(), Buffer, sizeof Buffer);
      if (Read < 0 && errno == EINTR) continue;
      if (Read < 0) return false;
      if (Read == 0) return true;
      // It may grow while it is read.
      if (Bytes->size() + static_cast<size_t>(Read) > Most) return false;
      Bytes->append(Buffer, static_cast<size_t>(Read));
    }
  }

  void RemoveStaleCopies(const std::string& Path) override {
    RemoveStaleCopiesIn(Path);
  }

  bool SpaceOf(const std::string& Path, DiskSpace* Out) override {
    struct statvfs Info;
    if (statvfs(Path.empty() ? "/" : Path.c_str(), &Info) != 0) return false;
    const int64_t Unit = static_cast<int64_t>(Info.f_frsize);
    Out->Available = static_cast<int64_t>(Info.f_bavail) * Unit;
    Out->Total = static_cast<int64_t>(Info.f_blocks) * Unit;
    return true;
  }

  FileSystemKind FileSystemOf(const std::string& Path) override {
    // The file systems whose every operation is a request served elsewhere:
    // NFS, SMB (the old client and CIFS/SMB2), FUSE, 9p, Ceph, the AFS
    // clients, Coda, NCP, Lustre, GPFS, OrangeFS.
    static constexpr unsigned long kServed[] = {
        0x6969,     0x517B,     0xFF534D42, 0xFE534D42, 0x65735546,
        0x01021997, 0x00C36400, 0x5346414F, 0x6B414653, 0x73757245,
        0x564C,     0x0BD00BD0, 0x47504653, 0x19830326};
    struct statfs Info;
    if (statfs(Path.empty() ? "/" : Path.c_str(), &Info) != 0) {
      return FileSystemKind::kLocal;
    }
    const unsigned long Type = static_cast<unsigned long>(Info.f_type);
    return std::find(std::begin(kServed), std::end(kServed), Type) !=
                   std::end(kServed)
               ? FileSystemKind::kNetwork
               : FileSystemKind::kLocal;
  }

  // Whether the entry may be renamed over is the folder's to say, which
  // only the rename itself tells for certain.
  Replaceable CanReplaceFile(const std::string& Path) override {
    const size_t Slash = Path.rfind('/');
    if (Slash == std::string::npos) return Replaceable::kNo;
    UniqueFd Dir(OpenAtWaiting(AT_FDCWD,
                               Slash == 0 ? "/" : Path.substr(0, Slash).c_str(),
                               O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (Dir.Get() < 0) return Replaceable::kNo;
    return CanReplaceEntry(Dir.Get(), Path.c_str() + Slash + 1);
  }

 private:
  size_t Budget_ = 512;  // folders open at once
  // Standard output was closed at start, or a write to it failed.
  std::atomic<bool> Lost_{false};
  TerminalLine Terminal_;
  // The C library reloads the time zone inside mktime and localtime_r
  // without a lock the thread checker sees: the workers take turns.
  std::mutex ZoneLock_;
  // Local times converted so far, and their times in UTC.
  std::map<std::tuple<int, int, int, int, int, int>, int64_t>
      Converted_;  // GUARDED_BY(ZoneLock_)
};

}  // namespace

std::unique_ptr<Platform> MakeRealPlatform() {
  return std::make_unique<PosixPlatform>();
}

}  // namespace olvane
