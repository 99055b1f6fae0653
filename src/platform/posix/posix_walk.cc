// Folders, listings and the exclusive open on Linux. Every operation below a
// folder that the walk has opened goes through that folder's descriptor and
// never follows a link, so a folder swapped for a link during the run cannot
// lead it elsewhere.
#ifndef _GNU_SOURCE
#define _GNU_SOURCE
#endif

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <memory>
#include <mutex>
#include <shared_mutex>
#include <string>
#include <vector>

#include "platform/path_syntax.h"
#include "platform/posix/posix_internal.h"

namespace olvane {

class PosixFolder;

// The chain of folders from the target down to the one being walked. Each
// folder of the chain holds its descriptor, so that the walk can come back
// up without looking anything up by path; in a tree deeper than the
// descriptors a process may hold, the shallowest ones give theirs up and take
// it back, through "..", when the walk returns to them. Folders are opened
// and closed by the walk's own thread only, last opened first closed.
class FolderChain {
 public:
  explicit FolderChain(size_t Budget) : Budget_(Budget) {}
  std::vector<PosixFolder*> Chain;
  size_t Budget_;        // open folders at most
  size_t FirstOpen = 1;  // Chain[1, FirstOpen) have given up their descriptor
};

std::shared_ptr<FolderChain> MakeFolderChain(size_t DescriptorLimit) {
  return std::make_shared<FolderChain>(
      std::max<size_t>(4, std::min<size_t>(1024, DescriptorLimit / 2)));
}

namespace {

EntryKind KindOfMode(mode_t Mode) {
  if (S_ISREG(Mode)) return EntryKind::kFile;
  if (S_ISDIR(Mode)) return EntryKind::kFolder;
  if (S_ISLNK(Mode)) return EntryKind::kFileLink;
  return EntryKind::kOther;
}

// The status of the entry open as Fd itself, with what the walk and the
// removal tests need of it.
bool StatusOf(int Fd, struct statx* Info) {
  return statx(Fd, "", AT_EMPTY_PATH | AT_SYMLINK_NOFOLLOW,
               STATX_BTIME | STATX_CTIME | STATX_MODE | STATX_UID, Info) == 0;
}

// The attributes that keep an entry (or a folder's entries) in place.
bool Fixed(const struct statx& Info) {
  return Info.stx_attributes & Info.stx_attributes_mask &
         (STATX_ATTR_IMMUTABLE | STATX_ATTR_APPEND);
}

bool CreationTimeOf(int Fd, int64_t* Seconds, struct statx* Kept = nullptr) {
  struct statx Own;
  struct statx& Info = Kept ? *Kept : Own;
  if (!StatusOf(Fd, &Info)) return false;
  // Without a birth time the status-change time stands in: it is never
  // earlier than the creation, so a file can only be kept longer.
  *Seconds = (Info.stx_mask & STATX_BTIME) ? Info.stx_btime.tv_sec
                                           : Info.stx_ctime.tv_sec;
  return true;
}

class PosixListing : public Listing {
 public:
  PosixListing(int DirFd, std::string Mask, FolderWatch* Watch)
      : DirFd_(DirFd),
        Mask_(std::move(Mask)),
        All_(Mask_ == "*"),
        Watch_(Watch) {
    Ok_ = DirFd_ >= 0 && lseek(DirFd_, 0, SEEK_SET) == 0;
    Failed_ = !Ok_;
  }

  bool Failed() const override { return Failed_; }

  bool Next(Entry* Item) override {
    while (Ok_) {
      if (Offset_ >= Filled_) {
        ssize_t Got = getdents64(DirFd_, Buffer_.data(), Buffer_.size());
        if (Got <= 0) {
          Ok_ = false;
          Failed_ = Got < 0;
          break;
        }
        Filled_ = static_cast<size_t>(Got);
        Offset_ = 0;
      }
      const dirent64* Raw =
          reinterpret_cast<const dirent64*>(Buffer_.data() + Offset_);
      Offset_ += Raw->d_reclen;
      const char* Name = Raw->d_name;
      if (Name[0] == '.' &&
          (Name[1] == '\0' || (Name[1] == '.' && Name[2] == '\0'))) {
        continue;
      }
      if (!All_ && !MatchMask(Mask_, Name)) continue;
      Item->Name.assign(Name);
      Item->Kind = Classify(Raw->d_type, Name);
      if (Item->Kind == EntryKind::kFolder) Watch_->SawSubFolder(DirFd_, Name);
      return true;
    }
    return false;
  }

 private:
  EntryKind Classify(unsigned char Type, const char* Name) const {
    struct stat Info;
    switch (Type) {
      case DT_REG:
        return EntryKind::kFile;
      case DT_DIR:
        return EntryKind::kFolder;
      case DT_LNK:
        if (fstatat(DirFd_, Name, &Info, 0) == 0 && S_ISDIR(Info.st_mode)) {
          return EntryKind::kFolderLink;
        }
        return EntryKind::kFileLink;
      case DT_UNKNOWN:
        if (fstatat(DirFd_, Name, &Info, AT_SYMLINK_NOFOLLOW) != 0) {
          return EntryKind::kOther;
        }
        if (S_ISLNK(Info.st_mode)) return Classify(DT_LNK, Name);
        return KindOfMode(Info.st_mode);
      default:
        return EntryKind::kOther;
    }
  }

  int DirFd_;
  std::string Mask_;
  bool All_;
  FolderWatch* Watch_;
  bool Ok_;
  bool Failed_;
  size_t Offset_ = 0;
  size_t Filled_ = 0;
  // Large reads: one system call lists a few thousand entries.
  std::vector<char> Buffer_ = std::vector<char>(1 << 17);
};

}  // namespace

class PosixFolder : public Folder {
 public:
  PosixFolder(int Fd, FolderChain* Chain)
      : Fd_(Fd), Chain_(Chain), Depth_(Chain->Chain.size()) {
    struct statx Info;
    if (statx(Fd_, "", AT_EMPTY_PATH, STATX_INO | STATX_MNT_ID, &Info) == 0) {
      Device_ = makedev(Info.stx_dev_major, Info.stx_dev_minor);
      Inode_ = Info.stx_ino;
      if (Info.stx_mask & STATX_MNT_ID) Mount_ = Info.stx_mnt_id;
    }
    std::vector<PosixFolder*>& Folders = Chain_->Chain;
    Folders.push_back(this);
    while (Folders.size() - Chain_->FirstOpen + 1 > Chain_->Budget_ &&
           Chain_->FirstOpen + 1 < Folders.size()) {
      Folders[Chain_->FirstOpen++]->GiveUp();
    }
  }

  ~PosixFolder() override {
    std::vector<PosixFolder*>& Folders = Chain_->Chain;
    if (Depth_ >= 2 && Depth_ == Chain_->FirstOpen) {
      // The walk returns to a folder that gave up its descriptor: take it
      // back through "..", and only if it is still the same folder.
      Chain_->FirstOpen = Depth_ - 1;
      Folders[Depth_ - 1]->TakeBack(Fd_);
    }
    if (Fd_ >= 0) close(Fd_);
    Folders.pop_back();
  }

  std::unique_ptr<Listing> List(const std::string& Mask) override {
    return std::make_unique<PosixListing>(Fd_, Mask, &Watch_);
  }

  std::unique_ptr<Folder> OpenSubFolder(const std::string& Name) override {
    int Fd = openat(Fd_, Name.c_str(),
                    O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (Fd < 0) return nullptr;
    auto Sub = std::make_unique<PosixFolder>(Fd, Chain_);
    Sub->Watch()->WatchEarly(Fd, &Watch_, Fd_);
    return Sub;
  }

  bool IsOtherMount(const std::string& Name) override {
    std::shared_lock<std::shared_mutex> Guard(Lock_);
    struct statx Info;
    if (statx(Fd_, Name.c_str(), AT_SYMLINK_NOFOLLOW | AT_NO_AUTOMOUNT,
              STATX_INO | STATX_MNT_ID, &Info) != 0) {
      return false;
    }
    // The mount root attribute tells a bind mount of this file system too.
    // Older kernels give neither it nor the mount id: there only another
    // device tells, which a btrfs subvolume also has.
    if (Info.stx_attributes_mask & STATX_ATTR_MOUNT_ROOT) {
      return Info.stx_attributes & STATX_ATTR_MOUNT_ROOT;
    }
    if ((Info.stx_mask & STATX_MNT_ID) && Mount_ != 0) {
      return Info.stx_mnt_id != Mount_;
    }
    return makedev(Info.stx_dev_major, Info.stx_dev_minor) != Device_;
  }

  std::unique_ptr<ExclusiveFile> OpenExclusive(const Entry& Item) override;

  bool CreationTime(int64_t* Seconds) override {
    std::shared_lock<std::shared_mutex> Guard(Lock_);
    return CreationTimeOf(Fd_, Seconds);
  }

  bool RemoveSubFolder(const std::string& Name) override {
    std::shared_lock<std::shared_mutex> Guard(Lock_);
    // Fails on a link, and on a folder that is not empty.
    return unlinkat(Fd_, Name.c_str(), AT_REMOVEDIR) == 0;
  }

  bool IsSameFile(const Entry& Item, const std::string& Path) override {
    std::shared_lock<std::shared_mutex> Guard(Lock_);
    struct stat Mine, Other;
    return fstatat(Fd_, Item.Name.c_str(), &Mine, AT_SYMLINK_NOFOLLOW) == 0 &&
           lstat(Path.c_str(), &Other) == 0 && Mine.st_dev == Other.st_dev &&
           Mine.st_ino == Other.st_ino;
  }

  bool Identity(FileIdentity* Id) override {
    if (Inode_ == 0) return false;
    *Id = {static_cast<uint64_t>(Device_), static_cast<uint64_t>(Inode_)};
    return true;
  }

  // For the files of this folder: runs Use with the folder's descriptor,
  // which stays valid meanwhile (-1 while given up).
  template <typename Action>
  auto WithFd(Action Use) {
    std::shared_lock<std::shared_mutex> Guard(Lock_);
    return Use(Fd_);
  }

  FolderWatch* Watch() { return &Watch_; }

 private:
  // Workers may be using the descriptor for files of this folder: wait
  // for them before it goes.
  void GiveUp() {
    std::unique_lock<std::shared_mutex> Guard(Lock_);
    close(Fd_);
    Fd_ = -1;
  }

  void TakeBack(int ChildFd) {
    int Fd = ChildFd < 0
                 ? -1
                 : openat(ChildFd, "..", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    struct stat Info;
    if (Fd >= 0 && fstat(Fd, &Info) == 0 && Info.st_dev == Device_ &&
        Info.st_ino == Inode_) {
      std::unique_lock<std::shared_mutex> Guard(Lock_);
      Fd_ = Fd;
    } else if (Fd >= 0) {
      close(Fd);
    }
  }

  FolderWatch Watch_;
  std::shared_mutex Lock_;  // guards Fd_ against GiveUp
  int Fd_;                  // -1 while given up for a deeper folder, or lost
  FolderChain* Chain_;
  size_t Depth_;
  dev_t Device_ = 0;
  ino_t Inode_ = 0;
  uint64_t Mount_ = 0;  // the mount id, where the kernel gives one
};

namespace {

class PosixExclusiveFile : public ExclusiveFile {
 public:
  // A link's descriptor (O_PATH) carries no lease and is never held open.
  PosixExclusiveFile(int Fd, PosixFolder* Dir, std::string Name, bool Link,
                     bool Leased, WatchTicket Ticket)
      : Fd_(Fd),
        Dir_(Dir),
        Name_(std::move(Name)),
        Link_(Link),
        Leased_(Leased),
        Ticket_(Ticket) {}
  ~PosixExclusiveFile() override { Close(); }

  bool CreationTime(int64_t* Seconds) override {
    HaveStatus_ = CreationTimeOf(Fd_, Seconds, &Status_);
    return HaveStatus_;
  }

  bool Removable() override {
    if (!HaveStatus_ && !(HaveStatus_ = StatusOf(Fd_, &Status_))) return true;
    if (Fixed(Status_)) return false;
    return Dir_->WithFd([this](int DirFd) {
      struct statx Folder;
      if (DirFd < 0 || !StatusOf(DirFd, &Folder)) return true;
      if (Fixed(Folder)) return false;
      // Write and search permission on the folder; a read-only mount too.
      if (faccessat(DirFd, ".", W_OK | X_OK, AT_EACCESS) != 0 &&
          (errno == EACCES || errno == EPERM || errno == EROFS)) {
        return false;
      }
      // In a sticky folder only the owner of the file or of the folder
      // removes it, or a privileged process.
      const uid_t Me = geteuid();
      return !(Folder.stx_mode & S_ISVTX) || Me == 0 || Me == Status_.stx_uid ||
             Me == Folder.stx_uid;
    });
  }

  bool IsStillExclusive() override {
    return Dir_->WithFd([this](int DirFd) { return StillFree(DirFd); });
  }

  // The lease stays until the name is gone: an open by another process in
  // the meantime waits for it, and then finds the file deleted.
  // The name is removed only if it still leads to this file; a name
  // swapped in the instant between that check and the removal is the
  // window that remains, as no call removes a name by its descriptor.
  bool Remove() override {
    return Dir_->WithFd([this](int DirFd) {
      return NameLeadsTo(DirFd, Name_.c_str(), Fd_) &&
             unlinkat(DirFd, Name_.c_str(), 0) == 0;
    });
  }

  MoveResult MoveTo(const std::string& Destination, bool Replace) override {
    return Dir_->WithFd([&](int DirFd) {
      const MoveSource Source{DirFd, Name_.c_str(), Fd_, Link_, [&] {
                                return NameLeadsTo(DirFd, Name_.c_str(), Fd_) &&
                                       StillFree(DirFd);
                              }};
      return MoveEntry(Source, Destination, Replace);
    });
  }

  // A rename does not depend on the file's own mode.
  bool CanMoveTo(const std::string&) override { return true; }

  bool Close() override {
    if (Fd_ < 0) return true;
    const int Fd = Fd_;
    Fd_ = -1;
    if (!Link_) Dir_->Watch()->Forget(Name_, Ticket_);
    return close(Fd) == 0 || errno == EINTR;
  }

 private:
  // With the folder's descriptor DirFd held.
  bool StillFree(int DirFd) {
    if (Link_) return true;
    // Any open by another process since has broken the lease.
    if (Leased_) return fcntl(Fd_, F_GETLEASE) == F_WRLCK;
    return ProvenFree(Fd_, DirFd, Name_, Dir_->Watch(), &Ticket_);
  }

  int Fd_;
  PosixFolder* Dir_;
  std::string Name_;
  bool Link_;
  bool Leased_;
  WatchTicket Ticket_;
  struct statx Status_ = {};  // as the expiry test read it
  bool HaveStatus_ = false;
};

}  // namespace

std::unique_ptr<ExclusiveFile> PosixFolder::OpenExclusive(const Entry& Item) {
  const bool Link = Item.Kind == EntryKind::kFileLink;
  // A link is never open in another process: it stands for itself, and a
  // descriptor of the link itself gives its own times. A file is opened
  // non-blocking, so that a FIFO put in its place cannot stall the run; the
  // lease then refuses everything but a regular file.
  const int Flags =
      Link ? O_PATH | O_NOFOLLOW | O_CLOEXEC
           : O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC;
  bool Leased = false;
  WatchTicket Ticket;
  // The era is read before the open: an open that starts within an era is
  // one the watch counts.
  Ticket.Era = Watch_.Era();
  Ticket.OwnCounted = Ticket.Era != 0;
  UniqueFd Fd;
  const bool Free = WithFd([&](int DirFd) {
    Fd.Reset(openat(DirFd, Item.Name.c_str(), Flags));
    return Fd.Get() >= 0 && (Link || NoOtherOpener(Fd.Get(), DirFd, Item.Name,
                                                   &Watch_, &Ticket, &Leased));
  });
  if (!Free) {
    if (Fd.Get() >= 0 && !Link) Watch_.Forget(Item.Name, Ticket);
    return nullptr;
  }
  return std::make_unique<PosixExclusiveFile>(Fd.Release(), this, Item.Name,
                                              Link, Leased, Ticket);
}

std::unique_ptr<Folder> OpenPosixFolder(const std::string& Path,
                                        FolderChain* Chain) {
  int Fd = open(Path.empty() ? "/" : Path.c_str(),
                O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (Fd < 0) return nullptr;
  auto First = std::make_unique<PosixFolder>(Fd, Chain);
  First->Watch()->WatchEarly(Fd);
  return First;
}

}  // namespace olvane
