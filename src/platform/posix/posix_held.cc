// The proof on Linux that no other process holds a file: a write lease
// where one can be had, otherwise a look at every other process's tables
// under /proc, taken once per folder and kept true by watching the folder
// for opens from then on.
#ifndef _GNU_SOURCE
#define _GNU_SOURCE
#endif

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <linux/kcmp.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <condition_variable>
#include <memory>
#include <string>
#include <vector>

#include "platform/posix/posix_internal.h"

namespace olvane {

namespace {

bool Ended(int Error) { return Error == ENOENT || Error == ESRCH; }

// Reads the tables of the processes under /proc.
class ProcTable : public ProcessTable {
 public:
  bool ListOthers(std::vector<std::string>* Processes) override {
    DIR* Procs = opendir("/proc");
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
    const int TaskFd =
        open((Dir + "/task").c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
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
    UniqueFd Stat(open((Dir + "/stat").c_str(), O_RDONLY | O_CLOEXEC));
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
    UniqueFd ProcFd(open(Dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (ProcFd.Get() < 0) {
      return Ended(errno) ? TableRead::kGone : TableRead::kUnreadable;
    }
    const TableRead Read = Descriptors(ProcFd.Get(), Files);
    return Read == TableRead::kRead ? Mappings(ProcFd.Get(), Files) : Read;
  }

 private:
  static TableRead Descriptors(int ProcFd, std::vector<FileId>* Files) {
    const int FdsFd = openat(ProcFd, "fd", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
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
    UniqueFd Maps(openat(ProcFd, "maps", O_RDONLY | O_CLOEXEC));
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

ProcTable& Processes() {
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

bool IsOpenElsewhere(const FileId& Id) {
  return LookAtOtherProcesses(Processes(), &Id).MayHold(Id);
}

}  // namespace

// The one inotify instance of the process, every folder watch, and the
// latest look. Times on its clock order watches and looks: a look serves a
// folder if it began after the folder's watch did.
class Watcher {
 public:
  static Watcher& Get() {
    static Watcher* One = new Watcher;  // lives as long as the process
    return *One;
  }

  void WatchEarly(FolderWatch* Folder, int DirFd, FolderWatch* Parent,
                  int ParentFd) {
    if (!Needed_.load()) return;
    std::lock_guard<std::mutex> Guard(Lock_);
    // The look first needed in an earlier subfolder serves the later ones
    // too, once they are watched.
    if (Parent && ParentFd >= 0) {
      for (const std::string& Name : Parent->Unwatched_) {
        WatchNamed(Parent, ParentFd, Name.c_str());
      }
    }
    if (Parent) Parent->Unwatched_.clear();
    if (Folder->Wd_ < 0 && !Folder->Broken_) Add(Folder, DirFd);
  }

  void SawSubFolder(FolderWatch* Parent, int DirFd, const char* Name) {
    if (!Needed_.load()) {
      if (Parent->Unwatched_.size() < 4096) Parent->Unwatched_.push_back(Name);
      return;
    }
    std::lock_guard<std::mutex> Guard(Lock_);
    WatchNamed(Parent, DirFd, Name);
  }

  // Watches the subfolder Name of Parent (open as DirFd) from now on.
  void WatchNamed(FolderWatch* Parent, int DirFd, const char* Name) {
    if (!Instance()) return;
    // The entry itself: a folder put in its place later is another inode,
    // and its own watch then starts when it is opened.
    const std::string Path =
        "/proc/self/fd/" + std::to_string(DirFd) + "/" + Name;
    const int Wd = inotify_add_watch(Fd_, Path.c_str(),
                                     IN_OPEN | IN_ONLYDIR | IN_DONT_FOLLOW);
    if (Wd < 0 || Watches_.count(Wd) != 0) return;
    Watches_[Wd].Since = ++Clock_;
    Parent->Named_.push_back(Wd);
  }

  bool IsFree(FolderWatch* Folder, int DirFd, const std::string& Name,
              const FileId& Id, WatchTicket* Ticket) {
    Needed_.store(true);
    Ticket->Checked = true;
    std::unique_lock<std::mutex> Guard(Lock_);
    // The file was opened before the watch began: its own open is not
    // among those the watch sees.
    if (Folder->Wd_ < 0 && !Folder->Broken_ && Add(Folder, DirFd) &&
        Ticket->Era == 0) {
      *Ticket = {Folder->Era_.load(), false};
    }
    if (!Folder->Broken_) {
      Drain();
      while (Ticket->Era == Folder->Era_.load() &&
             !(Look_ && LookBegan_ > Watches_[Folder->Wd_].Since)) {
        if (Looking_) {
          LookDone_.wait(Guard);
        } else {
          TakeLook(&Guard);
        }
        Drain();
      }
      if (Ticket->Era == Folder->Era_.load()) {
        const Tally& Watch = Watches_[Folder->Wd_];
        const auto Seen = Watch.Opens.find(Name);
        const unsigned Opens = Seen == Watch.Opens.end() ? 0 : Seen->second;
        return Opens <= (Ticket->OwnCounted ? 1u : 0u) && !Look_->MayHold(Id);
      }
    }
    Guard.unlock();
    // No watch, or this file's own open may have fallen between two eras:
    // a look for this file alone.
    return !IsOpenElsewhere(Id);
  }

  void Forget(FolderWatch* Folder, const std::string& Name, bool Counted) {
    std::lock_guard<std::mutex> Guard(Lock_);
    if (Folder->Wd_ < 0) return;
    // An open not yet read would count for the name again.
    if (!Counted) Drain();
    Watches_[Folder->Wd_].Opens.erase(Name);
  }

  void Remove(FolderWatch* Folder) {
    std::lock_guard<std::mutex> Guard(Lock_);
    for (int Wd : Folder->Named_) {
      const auto Named = Watches_.find(Wd);
      if (Named != Watches_.end() && !Named->second.Owner) Drop(Wd);
    }
    if (Folder->Wd_ >= 0) Drop(Folder->Wd_);
  }

 private:
  struct Tally {
    uint64_t Since = 0;  // from when every open was seen
    std::unordered_map<std::string, unsigned> Opens;  // per name, this era
    FolderWatch* Owner = nullptr;  // the open folder it watches, if any
  };

  bool Instance() {
    if (Fd_ < 0 && !Broken_) {
      Fd_ = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
      Broken_ = Fd_ < 0;
    }
    return !Broken_;
  }

  bool Add(FolderWatch* Folder, int DirFd) {
    // Through the folder's descriptor, so that the watch is on this very
    // folder whatever its path has come to name.
    const std::string Path = "/proc/self/fd/" + std::to_string(DirFd);
    const int Wd =
        !Instance() || DirFd < 0
            ? -1
            : inotify_add_watch(Fd_, Path.c_str(), IN_OPEN | IN_ONLYDIR);
    Tally* Watch = Wd < 0 ? nullptr : &Watches_[Wd];
    // A folder already open is the same folder reached twice: its files
    // look alone.
    if (!Watch || Watch->Owner) {
      Folder->Broken_ = true;
      return false;
    }
    if (Watch->Since == 0) Watch->Since = ++Clock_;  // else named earlier
    Watch->Owner = Folder;
    Folder->Wd_ = Wd;
    Folder->Era_.store(Era_);
    return true;
  }

  void Drop(int Wd) {
    inotify_rm_watch(Fd_, Wd);
    Watches_.erase(Wd);
  }

  // Outside the lock: the other workers go on with what they can.
  void TakeLook(std::unique_lock<std::mutex>* Guard) {
    Looking_ = true;
    const uint64_t Began = ++Clock_;
    Guard->unlock();
    auto Look = std::make_shared<HeldFiles>(LookAtOtherProcesses(Processes()));
    Guard->lock();
    Look_ = std::move(Look);
    LookBegan_ = Began;
    Looking_ = false;
    LookDone_.notify_all();
  }

  void Drain() {
    alignas(inotify_event) char Buffer[65536];
    bool Overflow = false;
    ssize_t Got;
    while ((Got = read(Fd_, Buffer, sizeof(Buffer))) > 0) {
      for (char* At = Buffer; At < Buffer + Got;) {
        const inotify_event* Event = reinterpret_cast<inotify_event*>(At);
        At += sizeof(inotify_event) + Event->len;
        if (Event->mask & IN_Q_OVERFLOW) Overflow = true;
        if (!(Event->mask & IN_OPEN) || (Event->mask & IN_ISDIR) ||
            Event->len == 0) {
          continue;
        }
        const auto Watch = Watches_.find(Event->wd);
        if (Watch != Watches_.end()) ++Watch->second.Opens[Event->name];
      }
    }
    if (!Overflow) return;
    // Opens went uncounted: a new era from an empty queue, in which every
    // folder needs a new look. Files opened in the old one look alone.
    while (read(Fd_, Buffer, sizeof(Buffer)) > 0) {
    }
    ++Era_;
    for (auto& Watched : Watches_) {
      Watched.second.Opens.clear();
      Watched.second.Since = ++Clock_;
      if (Watched.second.Owner) Watched.second.Owner->Era_.store(Era_);
    }
  }

  std::atomic<bool> Needed_{false};  // some file of the run took no lease
  std::mutex Lock_;                  // guards all below and every watch
  std::condition_variable LookDone_;
  int Fd_ = -1;
  bool Broken_ = false;  // no inotify instance could be had
  uint64_t Clock_ = 0;
  uint64_t Era_ = 1;
  std::unordered_map<int, Tally> Watches_;
  std::shared_ptr<const HeldFiles> Look_;
  uint64_t LookBegan_ = 0;
  bool Looking_ = false;
};

FolderWatch::~FolderWatch() {
  if (Wd_ >= 0 || !Named_.empty()) Watcher::Get().Remove(this);
}

void FolderWatch::WatchEarly(int DirFd, FolderWatch* Parent, int ParentFd) {
  Watcher::Get().WatchEarly(this, DirFd, Parent, ParentFd);
}

void FolderWatch::SawSubFolder(int DirFd, const char* Name) {
  Watcher::Get().SawSubFolder(this, DirFd, Name);
}

bool FolderWatch::IsFree(int DirFd, const std::string& Name, const FileId& Id,
                         WatchTicket* Ticket) {
  return Watcher::Get().IsFree(this, DirFd, Name, Id, Ticket);
}

void FolderWatch::Forget(const std::string& Name, const WatchTicket& Ticket) {
  if (Era() != 0) Watcher::Get().Forget(this, Name, Ticket.Checked);
}

bool ProvenFree(int Fd, int DirFd, const std::string& Name, FolderWatch* Watch,
                WatchTicket* Ticket) {
  FileId Id;
  nlink_t Links;
  if (!OpenFileId(Fd, &Id, &Links)) return false;
  // Opens through another link to the file are out of the folder's sight.
  if (Links > 1) return !IsOpenElsewhere(Id);
  return Watch->IsFree(DirFd, Name, Id, Ticket);
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
  Watch_.Reset(inotify_init1(IN_NONBLOCK | IN_CLOEXEC));
  const std::string Path = "/proc/self/fd/" + std::to_string(Fd);
  return Watch_.Get() >= 0 &&
         inotify_add_watch(Watch_.Get(), Path.c_str(), IN_OPEN) >= 0 &&
         OpenFileId(Fd, &Id, &Links) && !IsOpenElsewhere(Id);
}

bool FileProof::Holds() {
  if (Leased_) return fcntl(Fd_, F_GETLEASE) == F_WRLCK;
  char Event[sizeof(inotify_event) + 256];
  return Watch_.Get() >= 0 && read(Watch_.Get(), Event, sizeof(Event)) < 0 &&
         errno == EAGAIN;
}

bool NoOtherOpener(int Fd, int DirFd, const std::string& Name,
                   FolderWatch* Watch, WatchTicket* Ticket, bool* Leased) {
#ifdef OLVANE_NO_LEASES
  *Leased = false;
  errno = EINVAL;
#else
  *Leased = fcntl(Fd, F_SETLEASE, F_WRLCK) == 0;
  if (*Leased) return true;
#endif
  if (errno == EAGAIN) return false;
  // No lease here (not the owner without CAP_LEASE, a file system without
  // leases, or not a regular file): look at the other processes instead.
  return ProvenFree(Fd, DirFd, Name, Watch, Ticket);
}

}  // namespace olvane
