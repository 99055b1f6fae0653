// The platform on Linux. Every operation below a folder that the walk has
// opened goes through that folder's descriptor and never follows a link, so
// a folder swapped for a link during the run cannot lead it elsewhere.
#ifndef _GNU_SOURCE
#define _GNU_SOURCE
#endif

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "platform/path_syntax.h"
#include "platform/platform.h"

namespace olvane {
namespace {

// Writes all of Text to the descriptor, across partial writes and signals.
void WriteAll(int Fd, const std::string& Text) {
  const char* Data = Text.data();
  size_t Left = Text.size();
  while (Left > 0) {
    ssize_t Done = write(Fd, Data, Left);
    if (Done < 0) {
      if (errno == EINTR) continue;
      return;
    }
    Data += Done;
    Left -= static_cast<size_t>(Done);
  }
}

class UniqueFd {
 public:
  explicit UniqueFd(int Fd = -1) : Fd_(Fd) {}
  UniqueFd(const UniqueFd&) = delete;
  UniqueFd& operator=(const UniqueFd&) = delete;
  ~UniqueFd() {
    if (Fd_ >= 0) close(Fd_);
  }
  int Get() const { return Fd_; }
  int Release() {
    int Fd = Fd_;
    Fd_ = -1;
    return Fd;
  }
  void Reset(int Fd) {
    if (Fd_ >= 0) close(Fd_);
    Fd_ = Fd;
  }

 private:
  int Fd_;
};

// Whether a process other than this one has the file (Device, Inode) open,
// read off /proc. The slow way, for files on which no lease can be taken.
bool IsOpenElsewhere(dev_t Device, ino_t Inode) {
  DIR* Procs = opendir("/proc");
  if (!Procs) return false;
  const std::string Self = std::to_string(getpid());
  bool Found = false;
  while (!Found) {
    dirent* Proc = readdir(Procs);
    if (!Proc) break;
    if (Proc->d_name[0] < '0' || Proc->d_name[0] > '9' ||
        Self == Proc->d_name) {
      continue;
    }
    const std::string FdDir = std::string("/proc/") + Proc->d_name + "/fd";
    DIR* Fds = opendir(FdDir.c_str());
    if (!Fds) continue;
    while (dirent* Fd = readdir(Fds)) {
      struct stat Target;
      if (Fd->d_name[0] == '.') continue;
      if (fstatat(dirfd(Fds), Fd->d_name, &Target, 0) == 0 &&
          Target.st_dev == Device && Target.st_ino == Inode) {
        Found = true;
        break;
      }
    }
    closedir(Fds);
  }
  closedir(Procs);
  return Found;
}

// Takes a write lease, which the kernel grants only while no other open file
// description of the file exists. The lease goes with the descriptor; any
// open by another process breaks it, which F_GETLEASE then shows. Answers
// false when another process has the file open, or when it is not a regular
// file; *Leased tells whether a lease now stands for the answer.
bool NoOtherOpener(int Fd, bool* Leased) {
  *Leased = fcntl(Fd, F_SETLEASE, F_WRLCK) == 0;
  if (*Leased) return true;
  if (errno == EAGAIN) return false;
  // No lease here (not the owner without CAP_LEASE, a file system without
  // leases, or not a regular file): look at the open descriptors instead.
  struct stat Info;
  if (fstat(Fd, &Info) != 0 || !S_ISREG(Info.st_mode)) return false;
  return !IsOpenElsewhere(Info.st_dev, Info.st_ino);
}

// The walk opens each file it examines up to three times in a row: the expiry
// test, the probe, and the move. Instead of closing and reopening it, the
// last exclusive descriptor is parked here when its handle is closed, lease
// and all. An open of the same entry takes it back, and is granted only if no
// other process has opened the file since (the lease still stands). Any other
// call into the platform releases the parked descriptor first, so a lease
// never outlives the few instructions between two calls of the walk, and no
// other process waits on it.
class ParkedFile {
 public:
  ~ParkedFile() { Release(); }

  void Park(int DirFd, const std::string& Name, int Fd, bool Leased) {
    Release();
    DirFd_ = DirFd;
    Name_ = Name;
    Fd_ = Fd;
    Leased_ = Leased;
  }

  // The parked descriptor of Name in DirFd, or -1 (and any other parked one
  // is released).
  int Take(int DirFd, const std::string& Name, bool* Leased) {
    if (Fd_ < 0 || DirFd != DirFd_ || Name != Name_) {
      Release();
      return -1;
    }
    int Fd = Fd_;
    Fd_ = -1;
    *Leased = Leased_;
    return Fd;
  }

  void Release() {
    if (Fd_ >= 0) close(Fd_);
    Fd_ = -1;
  }

 private:
  int DirFd_ = -1;
  std::string Name_;
  int Fd_ = -1;
  bool Leased_ = false;
};

class PosixFolder;

// What the folders of one walk share: the parked descriptor, and the chain
// of folders from the target down to the one being walked. Each folder of
// the chain holds its descriptor, so that the walk can come back up without
// looking anything up by path; in a tree deeper than the descriptors a
// process may hold, the shallowest ones give theirs up and take it back,
// through "..", when the walk returns to them.
struct WalkState {
  ParkedFile Park;
  std::vector<PosixFolder*> Chain;
  size_t Budget = 1024;  // open folders at most
  size_t FirstOpen = 1;  // Chain[1, FirstOpen) have given up their descriptor
};

class PosixExclusiveFile : public ExclusiveFile {
 public:
  // Park is null for a descriptor that is closed outright (a link's).
  PosixExclusiveFile(int Fd, ParkedFile* Park, int DirFd,
                     const std::string& Name, bool Leased)
      : Fd_(Fd), Park_(Park), DirFd_(DirFd), Name_(Name), Leased_(Leased) {}
  ~PosixExclusiveFile() override {
    if (Fd_ >= 0) close(Fd_);
  }

  bool CreationTime(int64_t* Seconds) override {
    struct statx Info;
    if (statx(Fd_, "", AT_EMPTY_PATH | AT_SYMLINK_NOFOLLOW,
              STATX_BTIME | STATX_CTIME, &Info) != 0) {
      return false;
    }
    // Without a birth time the status-change time stands in: it is never
    // earlier than the creation, so a file can only be kept longer.
    *Seconds = (Info.stx_mask & STATX_BTIME) ? Info.stx_btime.tv_sec
                                             : Info.stx_ctime.tv_sec;
    return true;
  }

  bool Close() override {
    int Fd = Fd_;
    Fd_ = -1;
    if (Park_) {
      Park_->Park(DirFd_, Name_, Fd, Leased_);
      return true;
    }
    return close(Fd) == 0 || errno == EINTR;
  }

 private:
  int Fd_;
  ParkedFile* Park_;
  int DirFd_;
  std::string Name_;
  bool Leased_;
};

EntryKind KindOfMode(mode_t Mode) {
  if (S_ISREG(Mode)) return EntryKind::kFile;
  if (S_ISDIR(Mode)) return EntryKind::kFolder;
  if (S_ISLNK(Mode)) return EntryKind::kFileLink;
  return EntryKind::kOther;
}

class PosixListing : public Listing {
 public:
  PosixListing(int DirFd, std::string Mask, ParkedFile* Park)
      : DirFd_(DirFd), Mask_(std::move(Mask)), All_(Mask_ == "*"), Park_(Park) {
    Ok_ = lseek(DirFd_, 0, SEEK_SET) == 0;
  }

  bool Next(Entry* Item) override {
    Park_->Release();
    while (Ok_) {
      if (Offset_ >= Filled_) {
        ssize_t Got = getdents64(DirFd_, Buffer_, sizeof(Buffer_));
        if (Got <= 0) {
          Ok_ = false;
          break;
        }
        Filled_ = static_cast<size_t>(Got);
        Offset_ = 0;
      }
      const dirent64* Raw =
          reinterpret_cast<const dirent64*>(Buffer_ + Offset_);
      Offset_ += Raw->d_reclen;
      const char* Name = Raw->d_name;
      if (Name[0] == '.' &&
          (Name[1] == '\0' || (Name[1] == '.' && Name[2] == '\0'))) {
        continue;
      }
      if (!All_ && !MatchMask(Mask_, Name)) continue;
      Item->Name.assign(Name);
      Item->Kind = Classify(Raw->d_type, Name);
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
  ParkedFile* Park_;
  bool Ok_;
  size_t Offset_ = 0;
  size_t Filled_ = 0;
  alignas(dirent64) char Buffer_[32768];
};

// Splits a full path into its folder part and its last component.
void SplitPath(const std::string& Path, std::string* Dir, std::string* Name) {
  size_t Slash = Path.rfind('/');
  if (Slash == std::string::npos) {
    *Dir = ".";
    *Name = Path;
  } else {
    *Dir = Slash == 0 ? "/" : Path.substr(0, Slash);
    *Name = Path.substr(Slash + 1);
  }
}

// Renames without ever replacing an existing entry.
int RenameNoReplace(int FromDir, const char* From, int ToDir, const char* To) {
  if (renameat2(FromDir, From, ToDir, To, RENAME_NOREPLACE) == 0) return 0;
  if (errno != EINVAL && errno != ENOSYS) return -1;
  // No RENAME_NOREPLACE on this file system: a hard link fails on an
  // existing name just the same.
  if (linkat(FromDir, From, ToDir, To, 0) != 0) return -1;
  if (unlinkat(FromDir, From, 0) != 0) {
    int Saved = errno;
    unlinkat(ToDir, To, 0);
    errno = Saved;
    return -1;
  }
  return 0;
}

// Copies the content (or the link text) of From to a new entry To that is
// created exclusively, keeping its permission bits, owner and modification
// time, and flushes it to disk.
bool CopyEntry(int FromDir, const char* From, const struct stat& Info,
               int ToDir, const char* To) {
  if (S_ISLNK(Info.st_mode)) {
    std::vector<char> Text(static_cast<size_t>(Info.st_size) + 1);
    ssize_t Length = readlinkat(FromDir, From, Text.data(), Text.size());
    if (Length < 0 || static_cast<size_t>(Length) >= Text.size()) return false;
    Text[static_cast<size_t>(Length)] = '\0';
    return symlinkat(Text.data(), ToDir, To) == 0;
  }
  UniqueFd Source(openat(FromDir, From, O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
  if (Source.Get() < 0) return false;
  UniqueFd Target(
      openat(ToDir, To, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600));
  if (Target.Get() < 0) return false;
  char Buffer[65536];
  for (;;) {
    ssize_t Got = read(Source.Get(), Buffer, sizeof(Buffer));
    if (Got == 0) break;
    if (Got < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    for (ssize_t Done = 0; Done < Got;) {
      ssize_t Put =
          write(Target.Get(), Buffer + Done, static_cast<size_t>(Got - Done));
      if (Put < 0) {
        if (errno == EINTR) continue;
        return false;
      }
      Done += Put;
    }
  }
  if (fchown(Target.Get(), Info.st_uid, Info.st_gid) != 0) {
    // Only the owner may be kept by a privileged process; the copy is
    // still whole without it.
  }
  const struct timespec Times[2] = {Info.st_atim, Info.st_mtim};
  if (fchmod(Target.Get(), Info.st_mode & 07777) != 0 ||
      futimens(Target.Get(), Times) != 0 || fsync(Target.Get()) != 0) {
    return false;
  }
  return close(Target.Release()) == 0;
}

// Moves From (in FromDir) to the full path Destination on another file
// system: a copy under a temporary name in the destination folder, flushed,
// given its final name without replacing anything, and only then the source
// removed. A crash at any point leaves two copies, never none.
bool MoveAcross(int FromDir, const char* From, const std::string& Destination) {
  struct stat Info;
  if (fstatat(FromDir, From, &Info, AT_SYMLINK_NOFOLLOW) != 0) return false;
  std::string DestDir, DestName;
  SplitPath(Destination, &DestDir, &DestName);
  UniqueFd ToDir(open(DestDir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (ToDir.Get() < 0) return false;
  std::string Temporary;
  bool Copied = false;
  for (int Try = 0; Try < 100 && !Copied; ++Try) {
    Temporary = ".olvane-" + std::to_string(getpid()) + "-" +
                std::to_string(Try) + ".tmp";
    Copied = CopyEntry(FromDir, From, Info, ToDir.Get(), Temporary.c_str());
    if (!Copied && errno != EEXIST) {
      unlinkat(ToDir.Get(), Temporary.c_str(), 0);
      return false;
    }
  }
  if (!Copied) return false;
  if (RenameNoReplace(ToDir.Get(), Temporary.c_str(), ToDir.Get(),
                      DestName.c_str()) != 0) {
    unlinkat(ToDir.Get(), Temporary.c_str(), 0);
    return false;
  }
  // The new name must be on disk before the old file goes.
  fsync(ToDir.Get());
  if (unlinkat(FromDir, From, 0) != 0) {
    // The source could not go: take the copy back so that the file stays
    // in one place, where it was.
    unlinkat(ToDir.Get(), DestName.c_str(), 0);
    return false;
  }
  return true;
}

class PosixFolder : public Folder {
 public:
  PosixFolder(int Fd, WalkState* State)
      : Fd_(Fd),
        State_(State),
        Park_(&State->Park),
        Depth_(State->Chain.size()) {
    struct stat Info;
    if (fstat(Fd_, &Info) == 0) {
      Device_ = Info.st_dev;
      Inode_ = Info.st_ino;
    }
    State_->Chain.push_back(this);
    std::vector<PosixFolder*>& Chain = State_->Chain;
    while (Chain.size() - State_->FirstOpen + 1 > State_->Budget &&
           State_->FirstOpen + 1 < Chain.size()) {
      PosixFolder* Idle = Chain[State_->FirstOpen++];
      close(Idle->Fd_);
      Idle->Fd_ = -1;
    }
  }

  ~PosixFolder() override {
    Park_->Release();
    std::vector<PosixFolder*>& Chain = State_->Chain;
    if (Depth_ >= 2 && Depth_ == State_->FirstOpen) {
      // The walk returns to a folder that gave up its descriptor: take it
      // back through "..", and only if it is still the same folder.
      PosixFolder* Up = Chain[Depth_ - 1];
      State_->FirstOpen = Depth_ - 1;
      int Fd =
          Fd_ < 0 ? -1 : openat(Fd_, "..", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
      struct stat Info;
      if (Fd >= 0 && fstat(Fd, &Info) == 0 && Info.st_dev == Up->Device_ &&
          Info.st_ino == Up->Inode_) {
        Up->Fd_ = Fd;
      } else if (Fd >= 0) {
        close(Fd);
      }
    }
    if (Fd_ >= 0) close(Fd_);
    Chain.pop_back();
  }

  std::unique_ptr<Listing> List(const std::string& Mask) override {
    Park_->Release();
    return std::make_unique<PosixListing>(Fd_, Mask, Park_);
  }

  std::unique_ptr<Folder> OpenSubFolder(const std::string& Name) override {
    Park_->Release();
    int Fd = openat(Fd_, Name.c_str(),
                    O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (Fd < 0) return nullptr;
    return std::make_unique<PosixFolder>(Fd, State_);
  }

  std::unique_ptr<ExclusiveFile> OpenExclusive(const Entry& Item) override {
    if (Item.Kind == EntryKind::kFileLink) {
      Park_->Release();
      // A link is never open in another process: it stands for itself, and
      // a descriptor of the link itself gives its own times.
      int Fd = openat(Fd_, Item.Name.c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC);
      if (Fd < 0) return nullptr;
      return std::make_unique<PosixExclusiveFile>(Fd, nullptr, Fd_, Item.Name,
                                                  false);
    }
    bool Leased = false;
    UniqueFd Fd(Park_->Take(Fd_, Item.Name, &Leased));
    if (Fd.Get() >= 0) {
      // Still exclusive if no other process has opened the file since.
      const bool Free = Leased ? fcntl(Fd.Get(), F_GETLEASE) == F_WRLCK
                               : NoOtherOpener(Fd.Get(), &Leased);
      if (!Free) return nullptr;
    } else {
      // Non-blocking, so that a FIFO put in the file's place cannot stall
      // the run; the lease then refuses everything but a regular file.
      Fd.Reset(
          openat(Fd_, Item.Name.c_str(),
                 O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC));
      if (Fd.Get() < 0 || !NoOtherOpener(Fd.Get(), &Leased)) return nullptr;
    }
    return std::make_unique<PosixExclusiveFile>(Fd.Release(), Park_, Fd_,
                                                Item.Name, Leased);
  }

  bool Remove(const Entry& Item) override {
    Park_->Release();
    return unlinkat(Fd_, Item.Name.c_str(), 0) == 0;
  }

  MoveResult MoveOut(const Entry& Item,
                     const std::string& Destination) override {
    Park_->Release();
    const char* Name = Item.Name.c_str();
    if (RenameNoReplace(Fd_, Name, AT_FDCWD, Destination.c_str()) == 0) {
      return MoveResult::kMoved;
    }
    if (errno == EXDEV && MoveAcross(Fd_, Name, Destination)) {
      return MoveResult::kMoved;
    }
    return MoveResult::kFailed;
  }

  bool IsSameFile(const Entry& Item, const std::string& Path) override {
    Park_->Release();
    struct stat Mine, Other;
    return fstatat(Fd_, Item.Name.c_str(), &Mine, AT_SYMLINK_NOFOLLOW) == 0 &&
           lstat(Path.c_str(), &Other) == 0 && Mine.st_dev == Other.st_dev &&
           Mine.st_ino == Other.st_ino;
  }

 private:
  int Fd_;  // -1 while given up for a deeper folder, or lost
  WalkState* State_;
  ParkedFile* Park_;
  size_t Depth_;
  dev_t Device_ = 0;
  ino_t Inode_ = 0;
};

class PosixPlatform : public Platform {
 public:
  char Separator() const override { return '/'; }
  bool IsSeparator(char C) const override { return C == '/'; }
  bool IsFullPath(const std::string& Arg) const override {
    return IsPosixFullPath(Arg);
  }
  DriveRoot QueryDriveRoot(const std::string& Path) override {
    return Path == "/" ? DriveRoot::kPresent : DriveRoot::kNotRoot;
  }

  bool Start() override {
    // A lease break signals the lease holder with SIGIO, whose default
    // action would end the run.
    if (signal(SIGIO, SIG_IGN) == SIG_ERR) return false;
    // Each level of the walk holds its folder open: allow as many as the
    // system lets this process have, and keep half of them for folders.
    struct rlimit Limit;
    if (getrlimit(RLIMIT_NOFILE, &Limit) == 0) {
      if (Limit.rlim_cur < Limit.rlim_max) {
        Limit.rlim_cur = Limit.rlim_max;
        setrlimit(RLIMIT_NOFILE, &Limit);
        getrlimit(RLIMIT_NOFILE, &Limit);
      }
      State_.Budget =
          std::max<rlim_t>(4, std::min<rlim_t>(1024, Limit.rlim_cur / 2));
    }
    return true;
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

  void Print(const std::string& Line) override {
    State_.Park.Release();
    WriteAll(1, Line + '\n');
  }
  void PrintError(const std::string& Line) override {
    State_.Park.Release();
    WriteAll(2, Line + '\n');
  }

  PathKind Find(const std::string& Path) override {
    State_.Park.Release();
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
    State_.Park.Release();
    struct stat Info;
    if (stat(Path.c_str(), &Info) != 0) return PathKind::kNothing;
    return S_ISDIR(Info.st_mode) ? PathKind::kFolder : PathKind::kFile;
  }

  std::unique_ptr<Folder> OpenFolder(const std::string& Path) override {
    State_.Park.Release();
    int Fd = open(Path.empty() ? "/" : Path.c_str(),
                  O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (Fd < 0) return nullptr;
    return std::make_unique<PosixFolder>(Fd, &State_);
  }

  bool RemoveFile(const std::string& Path) override {
    State_.Park.Release();
    struct stat Info;
    return lstat(Path.c_str(), &Info) == 0 && !S_ISDIR(Info.st_mode) &&
           unlink(Path.c_str()) == 0;
  }

 private:
  WalkState State_;
};

}  // namespace

std::unique_ptr<Platform> MakeRealPlatform() {
  return std::make_unique<PosixPlatform>();
}

}  // namespace olvane
