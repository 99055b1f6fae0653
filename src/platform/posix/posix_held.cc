// The proof on Linux that no other process holds a file: a write lease
// where one can be had, otherwise a look at every other process's tables
// under /proc, taken once per folder and kept true by watching the folder
// for opens from then on.
#ifndef _GNU_SOURCE
#define _GNU_SOURCE
#endif

#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <condition_variable>
#include <memory>
#include <string>
#include <vector>

#include "platform/posix/posix_internal.h"

namespace olvane {

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
    // among those the watch sees. A folder its parent's listing had named
    // was watched from then on, perhaps from before this file's open: whether
    // the watch saw that open is not known, and the file looks alone.
    bool Fresh = false;
    if (Folder->Wd_ < 0 && !Folder->Broken_ && Add(Folder, DirFd, &Fresh) &&
        Ticket->Era == 0 && Fresh) {
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
      int Tries = 0;
      while ((Fd_ = inotify_init1(IN_NONBLOCK | IN_CLOEXEC)) < 0 &&
             AwaitDescriptor(errno, &Tries)) {
      }
      Broken_ = Fd_ < 0;
    }
    return !Broken_;
  }

  // *Fresh: the watch begins now, and was not there since a listing named
  // the folder.
  bool Add(FolderWatch* Folder, int DirFd, bool* Fresh = nullptr) {
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
    if (Watch->Since == 0) {  // else named earlier
      Watch->Since = ++Clock_;
      if (Fresh) *Fresh = true;
    }
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
