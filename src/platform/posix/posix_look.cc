// The look at other processes on Linux: their descriptor tables and memory
// maps under /proc, those of threads with tables of their own included, and
// the files the kernel itself holds (loop devices, swap); and the proof for a
// single file outside the walk.
#ifndef _GNU_SOURCE
#define _GNU_SOURCE
#endif

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <linux/kcmp.h>
#include <linux/loop.h>
#include <stdlib.h>
#include <string.h>
#include <sys/inotify.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include "platform/posix/posix_internal.h"

namespace olvane {

namespace {

bool Ended(int Error) { return Error == ENOENT || Error == ESRCH; }

// The whole text of a small file of /sys or /proc.
bool ReadSmall(int Dir, const std::string& Path, std::string* Text) {
  UniqueFd File(OpenAtWaiting(Dir, Path.c_str(), O_RDONLY | O_CLOEXEC));
  if (File.Get() < 0) return false;
  char Buffer[4096];
  ssize_t Got;
  while ((Got = read(File.Get(), Buffer, sizeof(Buffer))) > 0) {
    Text->append(Buffer, static_cast<size_t>(Got));
  }
  return Got == 0;
}

bool IdOfPath(const std::string& Path, FileId* Id) {
  struct stat Info;
  if (stat(Path.c_str(), &Info) != 0 || !S_ISREG(Info.st_mode)) return false;
  *Id = {major(Info.st_dev), minor(Info.st_dev),
         static_cast<uint64_t>(Info.st_ino)};
  return true;
}

// The backing file of the loop device Name (bound where /sys says so): its
// identity as the device tells it, or else that of the path /sys names.
TableRead LoopBackingFile(int BlockFd, const std::string& Name,
                          std::vector<FileId>* Files) {
  std::string Path;
  if (!ReadSmall(BlockFd, Name + "/loop/backing_file", &Path)) {
    return errno == ENOENT ? TableRead::kRead : TableRead::kUnreadable;
  }
  UniqueFd Device(OpenAtWaiting(AT_FDCWD, ("/dev/" + Name).c_str(),
                                O_RDONLY | O_NONBLOCK | O_CLOEXEC));
  loop_info64 Info{};
  if (Device.Get() >= 0 &&
      ioctl(Device.Get(), LOOP_GET_STATUS64, &Info) == 0) {
    Files->push_back({major(Info.lo_device), minor(Info.lo_device),
                      static_cast<uint64_t>(Info.lo_inode)});
    return TableRead::kRead;
  }
  if (!Path.empty() && Path.back() == '\n') Path.pop_back();
  const std::string Gone = " (deleted)";  // no name left to purge
  if (Path.size() > Gone.size() &&
      Path.compare(Path.size() - Gone.size(), Gone.size(), Gone) == 0) {
    return TableRead::kRead;
  }
  FileId Id;
  if (!IdOfPath(Path, &Id)) return TableRead::kUnreadable;
  Files->push_back(Id);
  return TableRead::kRead;
}

// A system without /sys shows no loop devices.
TableRead LoopBackingFiles(std::vector<FileId>* Files) {
  const int BlockFd = OpenAtWaiting(AT_FDCWD, "/sys/block",
                                    O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  DIR* Block = BlockFd < 0 ? nullptr : fdopendir(BlockFd);
  if (!Block) {
    const int Error = errno;
    if (BlockFd >= 0) close(BlockFd);
    return Error == ENOENT ? TableRead::kRead : TableRead::kUnreadable;
  }
  TableRead Read = TableRead::kRead;
  errno = 0;
  while (dirent* Entry = readdir(Block)) {
    if (strncmp(Entry->d_name, "loop", 4) != 0) continue;
    Read = LoopBackingFile(dirfd(Block), Entry->d_name, Files);
    if (Read != TableRead::kRead) break;
    errno = 0;
  }
  if (Read == TableRead::kRead && errno != 0) Read = TableRead::kUnreadable;
  closedir(Block);
  return Read;
}

// The active swap files. /proc/swaps writes a blank, a tab, a line end and a
// backslash in a name as \ooo. One that cannot be found by its name has
// none left to purge.
TableRead SwapFiles(std::vector<FileId>* Files) {
  std::string Text;
  if (!ReadSmall(AT_FDCWD, "/proc/swaps", &Text)) {
    return errno == ENOENT ? TableRead::kRead : TableRead::kUnreadable;
  }
  size_t Line = Text.find('\n');  // past the heading
  while (Line != std::string::npos && Line + 1 < Text.size()) {
    const size_t Start = Line + 1;
    Line = Text.find('\n', Start);
    char Escaped[4096], Type[32];
    if (std::sscanf(Text.substr(Start, Line - Start).c_str(), "%4095s %31s",
                    Escaped, Type) != 2 ||
        strcmp(Type, "file") != 0) {
      continue;
    }
    std::string Path;
    for (const char* At = Escaped; *At; ++At) {
      if (At[0] == '\\' && At[1] >= '0' && At[1] <= '3' && At[2] && At[3]) {
        Path += static_cast<char>(
            strtol(std::string(At + 1, 3).c_str(), nullptr, 8));
        At += 3;
      } else {
        Path += *At;
      }
    }
    FileId Id;
    if (IdOfPath(Path, &Id)) Files->push_back(Id);
  }
  return TableRead::kRead;
}

// Reads the tables of the processes under /proc.
class ProcTable : public ProcessTable {
 public:
  bool ListOthers(std::vector<std::string>* Processes) override {
    const int ProcsFd =
        OpenAtWaiting(AT_FDCWD, "/proc", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    DIR* Procs = ProcsFd < 0 ? nullptr : fdopendir(ProcsFd);
    if (!Procs && ProcsFd >= 0) close(ProcsFd);
    if (!Procs) return false;
    const std::string Self = std::to_string(getpid());
    errno = 0;
    while (dirent* Proc = readdir(Procs)) {
      if (Proc->d_name[0] >= '0' && Proc->d_name[0] <= '9' &&
          Self != Proc->d_name) {
        Processes->push_back(Proc->d_name);
      }
    }
    const bool Listed = errno == 0;
    closedir(Procs);
    return Listed;
  }

  TableRead ThreadsOf(const std::string& Process,
                      std::vector<std::string>* Threads,
                      bool* MainGone) override {
    const std::string Dir = "/proc/" + Process;
    const int TaskFd = OpenAtWaiting(AT_FDCWD, (Dir + "/task").c_str(),
                                     O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    DIR* Tasks = TaskFd < 0 ? nullptr : fdopendir(TaskFd);
    if (!Tasks) {
      const int Error = errno;
      if (TaskFd >= 0) close(TaskFd);
      return Ended(Error) ? TableRead::kGone : TableRead::kUnreadable;
    }
    std::vector<std::string> Others;
    errno = 0;
    while (dirent* Task = readdir(Tasks)) {
      if (Task->d_name[0] != '.' && Process != Task->d_name) {
        Others.push_back(Task->d_name);
      }
    }
    const int Error = errno;
    closedir(Tasks);
    if (Error != 0) {
      return Ended(Error) ? TableRead::kGone : TableRead::kUnreadable;
    }
    if (Others.empty()) return TableRead::kRead;  // one thread: nothing more
    // The main thread's state is the third field of its stat line, after
    // the name in parentheses.
    UniqueFd Stat(
        OpenAtWaiting(AT_FDCWD, (Dir + "/stat").c_str(), O_RDONLY | O_CLOEXEC));
    char Line[512];
    const ssize_t Got = Stat.Get() < 0 ? -1 : read(Stat.Get(), Line, 511);
    if (Got <= 0)
      return Ended(errno) ? TableRead::kGone : TableRead::kUnreadable;
    Line[Got] = '\0';
    const char* Paren = strrchr(Line, ')');
    if (!Paren || Paren[1] != ' ') return TableRead::kUnreadable;
    *MainGone = Paren[2] == 'Z' || Paren[2] == 'X';
    const pid_t Main = static_cast<pid_t>(atol(Process.c_str()));
    for (const std::string& Thread : Others) {
      // 0: the thread shares the main thread's table. A main thread that
      // has ended has none, and every other thread's table is its own.
      const long Same = *MainGone
                            ? 1
                            : syscall(SYS_kcmp, Main,
                                      static_cast<pid_t>(atol(Thread.c_str())),
                                      KCMP_FILES, 0, 0);
      if (Same != 0 && !(Same < 0 && errno == ESRCH))
        Threads->push_back(Thread);
    }
    return TableRead::kRead;
  }

  TableRead FilesOf(const std::string& Process, const std::string& Thread,
                    std::vector<FileId>* Files) override {
    const std::string Dir =
        "/proc/" + Process + (Thread.empty() ? "" : "/task/" + Thread);
    UniqueFd ProcFd(OpenAtWaiting(AT_FDCWD, Dir.c_str(),
                                  O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (ProcFd.Get() < 0) {
      return Ended(errno) ? TableRead::kGone : TableRead::kUnreadable;
    }
    const TableRead Read = Descriptors(ProcFd.Get(), Files);
    return Read == TableRead::kRead ? Mappings(ProcFd.Get(), Files) : Read;
  }

  TableRead FilesOfKernel(std::vector<FileId>* Files) override {
    const TableRead Loops = LoopBackingFiles(Files);
    return Loops == TableRead::kRead ? SwapFiles(Files) : Loops;
  }

 private:
  static TableRead Descriptors(int ProcFd, std::vector<FileId>* Files) {
    const int FdsFd =
        OpenAtWaiting(ProcFd, "fd", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    DIR* Fds = FdsFd < 0 ? nullptr : fdopendir(FdsFd);
    if (!Fds) {
      const int Error = errno;
      if (FdsFd >= 0) close(FdsFd);
      return Ended(Error) ? TableRead::kGone : TableRead::kUnreadable;
    }
    TableRead Read = TableRead::kRead;
    errno = 0;
    while (dirent* Fd = readdir(Fds)) {
      if (Fd->d_name[0] == '.') continue;
      struct stat Target;
      if (fstatat(dirfd(Fds), Fd->d_name, &Target, 0) == 0) {
        if (S_ISREG(Target.st_mode)) {
          Files->push_back({major(Target.st_dev), minor(Target.st_dev),
                            static_cast<uint64_t>(Target.st_ino)});
        }
      } else if (errno == ESRCH) {
        Read = TableRead::kGone;
        break;
      } else if (errno != ENOENT) {  // ENOENT: closed meanwhile
        Read = TableRead::kUnreadable;
        break;
      }
      errno = 0;
    }
    if (Read == TableRead::kRead && errno != 0) {
      Read = Ended(errno) ? TableRead::kGone : TableRead::kUnreadable;
    }
    closedir(Fds);
    return Read;
  }

  static TableRead Mappings(int ProcFd, std::vector<FileId>* Files) {
    UniqueFd Maps(OpenAtWaiting(ProcFd, "maps", O_RDONLY | O_CLOEXEC));
    if (Maps.Get() < 0) {
      return Ended(errno) ? TableRead::kGone : TableRead::kUnreadable;
    }
    std::string Text;
    char Buffer[16384];
    ssize_t Got;
    while ((Got = read(Maps.Get(), Buffer, sizeof(Buffer))) > 0) {
      Text.append(Buffer, static_cast<size_t>(Got));
    }
    if (Got < 0)
      return Ended(errno) ? TableRead::kGone : TableRead::kUnreadable;
    ParseMappedFiles(Text, Files);
    return TableRead::kRead;
  }
};

}  // namespace

ProcessTable& Processes() {
  static ProcTable Table;  // no state: safe for every worker at once
  return Table;
}

bool OpenFileId(int Fd, FileId* Id, nlink_t* Links) {
  struct stat Info;
  if (fstat(Fd, &Info) != 0 || !S_ISREG(Info.st_mode)) return false;
  *Id = {major(Info.st_dev), minor(Info.st_dev),
         static_cast<uint64_t>(Info.st_ino)};
  *Links = Info.st_nlink;
  return true;
}

bool IsHeldElsewhere(const FileId& Id) {
  return LookAtOtherProcesses(Processes(), &Id).MayBeHeld(Id);
}

FileProof::~FileProof() = default;

bool FileProof::Begin(int Fd) {
  Fd_ = Fd;
#ifndef OLVANE_NO_LEASES
  Leased_ = fcntl(Fd, F_SETLEASE, F_WRLCK) == 0;
  if (Leased_) return true;
  if (errno == EAGAIN) return false;
#endif
  // The watch first: an open after the look began is one it sees. This
  // process's own open came before it.
  FileId Id;
  nlink_t Links;
  int Tries = 0;
  do {
    Watch_.Reset(inotify_init1(IN_NONBLOCK | IN_CLOEXEC));
  } while (Watch_.Get() < 0 && AwaitDescriptor(errno, &Tries));
  const std::string Path = "/proc/self/fd/" + std::to_string(Fd);
  return Watch_.Get() >= 0 &&
         inotify_add_watch(Watch_.Get(), Path.c_str(), IN_OPEN) >= 0 &&
         OpenFileId(Fd, &Id, &Links) && !IsHeldElsewhere(Id);
}

bool FileProof::IsStillFree() {
  if (Leased_) return fcntl(Fd_, F_GETLEASE) == F_WRLCK;
  char Event[sizeof(inotify_event) + 256];
  return Watch_.Get() >= 0 && read(Watch_.Get(), Event, sizeof(Event)) < 0 &&
         errno == EAGAIN;
}

}  // namespace olvane
