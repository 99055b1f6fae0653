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
#include <string>
#include <vector>

#include "platform/path_syntax.h"
#include "platform/posix/posix_internal.h"

namespace olvane {

namespace {

class PosixListing : public Listing {
 public:
  // Again: the folder was listed before, and its position is not at the
  // start.
  PosixListing(int DirFd, std::string Mask, FolderWatch* Watch, bool Again)
      : DirFd_(DirFd),
        Mask_(std::move(Mask)),
        All_(Mask_ == "*"),
        Watch_(Watch) {
    Ok_ = DirFd_ >= 0 && (!Again || lseek(DirFd_, 0, SEEK_SET) == 0);
    Failed_ = !Ok_;
  }

  bool Failed() const override { return Failed_; }

  bool Next(Entry* Item) override {
    while (Ok_) {
      if (Offset_ >= Filled_) {
        ssize_t Got = getdents64(DirFd_, Buffer_.get(), kBufferBytes);
        if (Got <= 0) {
          Ok_ = false;
          Failed_ = Got < 0;
          break;
        }
        Filled_ = static_cast<size_t>(Got);
        Offset_ = 0;
      }
      const dirent64* Raw =
          reinterpret_cast<const dirent64*>(Buffer_.get() + Offset_);
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
  // One system call lists about a thousand entries; a buffer small enough
  // to come from the heap's free lists, left unfilled, so that a listing of
  // a small folder costs little more than its one read.
  static constexpr size_t kBufferBytes = 32768;
  std::unique_ptr<char[]> Buffer_{new char[kBufferBytes]};
};

}  // namespace

class PosixFolder : public Folder {
 public:
  explicit PosixFolder(int Fd) : Fd_(Fd) {
    struct statx Info;
    if (statx(Fd_, "", AT_EMPTY_PATH, STATX_INO | STATX_MNT_ID, &Info) == 0) {
      Device_ = makedev(Info.stx_dev_major, Info.stx_dev_minor);
      Inode_ = Info.stx_ino;
      if (Info.stx_mask & STATX_MNT_ID) Mount_ = Info.stx_mnt_id;
    }
  }

  ~PosixFolder() override {
    if (Fd_ >= 0 && close(Fd_) >= 0) DescriptorFreed();
  }

  std::unique_ptr<Listing> List(const std::string& Mask) override {
    const bool Again = Listed_;
    Listed_ = true;
    return std::make_unique<PosixListing>(Fd_, Mask, &Watch_, Again);
  }

  std::unique_ptr<Folder> OpenSubFolder(const std::string& Name) override {
    int Fd = OpenAtWaiting(Fd_, Name.c_str(),
                           O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (Fd < 0) return nullptr;
    auto Sub = std::make_unique<PosixFolder>(Fd);
    Sub->Watch()->WatchEarly(Fd, &Watch_, Fd_);
    return Sub;
  }

  bool EntryTimes(const Entry& Item, FileTimes* Out) override {
    return TimesOf(Fd_, Item.Name.c_str(), Out);
  }

  bool IsOtherMount(const std::string& Name) override {
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

  bool Times(FileTimes* Out) override { return TimesOf(Fd_, "", Out); }

  bool RemoveSubFolder(const std::string& Name) override {
    // Fails on a link, and on a folder that is not empty.
    return unlinkat(Fd_, Name.c_str(), AT_REMOVEDIR) == 0;
  }

  // An immutable or append-only folder keeps its entries; such a subfolder
  // stays itself.
  bool CanRemoveSubFolder(const std::string& Name) override {
    struct statx Sub;
    return !StatusOf(Fd_, Name.c_str(), &Sub) || MayRemoveFrom(Fd_, Sub);
  }

  std::unique_ptr<Folder> CreateSubFolder(const std::string& Name) override {
    if (mkdirat(Fd_, Name.c_str(), 0700) != 0) return nullptr;
    return OpenSubFolder(Name);
  }

  bool CopyMetadataFrom(Folder& Source) override {
    return CopyFolderMetadata(static_cast<PosixFolder&>(Source).Fd_, Fd_);
  }

  FolderMove MoveSubFolder(const std::string& Name, Folder& To,
                           const std::string& ToName) override {
    struct stat Info;
    if (fstatat(Fd_, Name.c_str(), &Info, AT_SYMLINK_NOFOLLOW) != 0 ||
        !S_ISDIR(Info.st_mode)) {
      return FolderMove::kFailed;
    }
    const int ToFd = static_cast<PosixFolder&>(To).Fd_;
    int Done =
        renameat2(Fd_, Name.c_str(), ToFd, ToName.c_str(), RENAME_NOREPLACE);
    // Without RENAME_NOREPLACE on this file system, a rename that replaces
    // only an empty folder, and only one not there a moment before.
    if (Done != 0 && (errno == EINVAL || errno == ENOSYS) &&
        fstatat(ToFd, ToName.c_str(), &Info, AT_SYMLINK_NOFOLLOW) != 0 &&
        errno == ENOENT) {
      Done = renameat(Fd_, Name.c_str(), ToFd, ToName.c_str());
    }
    if (Done == 0) return FolderMove::kMoved;
    return errno == EXDEV ? FolderMove::kAcross : FolderMove::kFailed;
  }

  bool IsSameFile(const Entry& Item, const std::string& Path) override {
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

  void Suspend() override {
    if (Fd_ >= 0 && close(Fd_) >= 0) DescriptorFreed();
    Fd_ = -1;
  }

  // Through "..", and only if that is still the folder given up.
  bool Resume(Folder& Child) override {
    const int ChildFd = static_cast<PosixFolder&>(Child).Fd_;
    int Fd = ChildFd < 0 ? -1
                         : OpenAtWaiting(ChildFd, "..",
                                         O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    struct stat Info;
    if (Fd >= 0 && fstat(Fd, &Info) == 0 && Info.st_dev == Device_ &&
        Info.st_ino == Inode_) {
      Fd_ = Fd;
      return true;
    }
    if (Fd >= 0) close(Fd);
    return false;
  }

  int Fd() const { return Fd_; }
  FolderWatch* Watch() { return &Watch_; }

 private:
  FolderWatch Watch_;
  int Fd_;  // -1 while given up for a deeper folder, or lost
  bool Listed_ = false;
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

  bool Times(FileTimes* Out) override {
    HaveStatus_ = TimesOf(Fd_, "", Out, &Status_);
    return HaveStatus_;
  }

  bool Removable() override {
    if (!HaveStatus_ && !(HaveStatus_ = StatusOf(Fd_, "", &Status_))) {
      return true;
    }
    return MayRemoveFrom(Dir_->Fd(), Status_);
  }


  // The name is removed only if it still leads to this file; a name
  // swapped in the instant between that check and the removal is the
  // window that remains, as no call removes a name by its descriptor.
  // The file is closed first: a file system served elsewhere (NFS, FUSE)
  // keeps a file unlinked while open under a hidden name until its last
  // close, two more round trips to the server for each file. An open by
  // another process in that instant gets what it would get under the
  // lease, which makes it wait for the removal: a file without a name.
  bool Remove() override {
    const int DirFd = Dir_->Fd();
    if (!LeadsHere(DirFd)) return false;
    Close();
    return unlinkat(DirFd, Name_.c_str(), 0) == 0;
  }

  MoveResult MoveTo(const std::string& Destination, bool Replace) override {
    const int DirFd = Dir_->Fd();
    const MoveSource Source{DirFd, Name_.c_str(), Fd_, Link_,
                            [&] { return LeadsHere(DirFd) && IsStillFree(); }};
    return MoveEntry(Source, Destination, Replace);
  }

  // The source stays: nothing about it needs proving again.
  bool CopyTo(Folder& Into, const std::string& Name) override {
    const MoveSource Source{Dir_->Fd(), Name_.c_str(), Fd_, Link_,
                            [] { return true; }};
    return CopyEntry(Source, static_cast<PosixFolder&>(Into).Fd(),
                     Name.c_str());
  }

  // A rename does not depend on the file's own mode.
  // A mount root is never renamed, nor removed after a copy.
  bool CanMoveTo(const std::string&) override {
    return !HaveStatus_ || !IsMountRoot(Status_);
  }

  bool Close() override {
    if (Fd_ < 0) return true;
    const int Fd = Fd_;
    Fd_ = -1;
    if (!Link_) Dir_->Watch()->Forget(Name_, Ticket_);
    const bool Closed = close(Fd) == 0 || errno == EINTR;
    GiveFileSlot();
    return Closed;
  }

 private:
  int Fd_;
  PosixFolder* Dir_;
  std::string Name_;
  bool Link_;
  bool Leased_;
  WatchTicket Ticket_;
  struct statx Status_ = {};  // as the expiry test read it
  bool HaveStatus_ = false;

  // Whether the name in the folder DirFd still leads to this file, whose
  // identity the expiry test's status read already has.
  bool LeadsHere(int DirFd) {
    if (!HaveStatus_ || !(Status_.stx_mask & STATX_INO)) {
      return NameLeadsTo(DirFd, Name_.c_str(), Fd_);
    }
    struct stat Named;
    return fstatat(DirFd, Name_.c_str(), &Named, AT_SYMLINK_NOFOLLOW) == 0 &&
           Named.st_ino == Status_.stx_ino &&
           Named.st_dev ==
               makedev(Status_.stx_dev_major, Status_.stx_dev_minor);
  }

  // Public through ExclusiveFile; beside the checks it shares a state with.
  bool IsStillFree() override {
    if (Link_) return true;
    // Any open by another process since has broken the lease.
    if (Leased_) return fcntl(Fd_, F_GETLEASE) == F_WRLCK;
    constexpr unsigned kHad = STATX_TYPE | STATX_INO | STATX_NLINK;
    if (!HaveStatus_ || (Status_.stx_mask & kHad) != kHad ||
        !S_ISREG(Status_.stx_mode)) {
      return IsFreeWithoutLease(Fd_, Dir_->Fd(), Name_, Dir_->Watch(), &Ticket_);
    }
    // The identity and links as the expiry test's status read them on this
    // handle a moment ago. Opens through another link to the file are out
    // of the folder's sight.
    const FileId Id{Status_.stx_dev_major, Status_.stx_dev_minor,
                    Status_.stx_ino};
    if (Status_.stx_nlink > 1) return !IsHeldElsewhere(Id);
    return Dir_->Watch()->IsFree(Dir_->Fd(), Name_, Id, &Ticket_);
  }
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
  // Within the files that may be under way at once; the slot goes back
  // when the file is closed.
  TakeFileSlot();
  UniqueFd Fd(OpenAtWaiting(Fd_, Item.Name.c_str(), Flags));
  // What took a link's name since its listing is not opened as a link.
  struct stat Info;
  const bool Free = Fd.Get() >= 0 &&
                    (Link ? fstat(Fd.Get(), &Info) == 0 && S_ISLNK(Info.st_mode)
                          : IsFreeAtOpen(Fd.Get(), Fd_, Item.Name, &Watch_,
                                         &Ticket, &Leased));
  if (!Free) {
    if (Fd.Get() >= 0 && !Link) Watch_.Forget(Item.Name, Ticket);
    Fd.Reset(-1);
    GiveFileSlot();
    return nullptr;
  }
  return std::make_unique<PosixExclusiveFile>(Fd.Release(), this, Item.Name,
                                              Link, Leased, Ticket);
}

std::unique_ptr<Folder> OpenPosixFolder(const std::string& Path) {
  int Fd = OpenAtWaiting(AT_FDCWD, Path.empty() ? "/" : Path.c_str(),
                         O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (Fd < 0) return nullptr;
  auto First = std::make_unique<PosixFolder>(Fd);
  First->Watch()->WatchEarly(Fd);
  return First;
}

}  // namespace olvane
