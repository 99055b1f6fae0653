// Moving files: within a file system by rename, onto another one by a copy
// that no name shows until it is complete and on disk, and only then the
// source removed, once it is proven to be the file that was tested.
#ifndef _GNU_SOURCE
#define _GNU_SOURCE
#endif

#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <string>
#include <vector>

#include "platform/posix/posix_internal.h"

namespace olvane {

UniqueFd::~UniqueFd() {
  if (Fd_ >= 0 && close(Fd_) >= 0) DescriptorFreed();
}

void UniqueFd::Reset(int Fd) {
  if (Fd_ >= 0 && close(Fd_) >= 0) DescriptorFreed();
  Fd_ = Fd;
}

namespace {

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

}  // namespace

Renamed RenameNoReplace(int FromDir, const char* From, int ToDir,
                        const char* To) {
  if (renameat2(FromDir, From, ToDir, To, RENAME_NOREPLACE) == 0) {
    return Renamed::kDone;
  }
  if (errno == EXDEV) return Renamed::kAcross;
  if (errno != EINVAL && errno != ENOSYS) return Renamed::kFailed;
  // No RENAME_NOREPLACE on this file system: a hard link fails on an
  // existing name just the same.
  if (linkat(FromDir, From, ToDir, To, 0) != 0) {
    return errno == EXDEV ? Renamed::kAcross : Renamed::kFailed;
  }
  if (unlinkat(FromDir, From, 0) != 0) {
    unlinkat(ToDir, To, 0);
    return Renamed::kFailed;
  }
  return Renamed::kDone;
}

// A rename over an existing To, as renameat does.
static Renamed RenameReplacing(int FromDir, const char* From, int ToDir,
                               const char* To) {
  if (renameat(FromDir, From, ToDir, To) == 0) return Renamed::kDone;
  return errno == EXDEV ? Renamed::kAcross : Renamed::kFailed;
}

bool NameLeadsTo(int Dir, const char* Name, int Fd) {
  struct stat Named, Open;
  return fstatat(Dir, Name, &Named, AT_SYMLINK_NOFOLLOW) == 0 &&
         fstat(Fd, &Open) == 0 && Named.st_dev == Open.st_dev &&
         Named.st_ino == Open.st_ino;
}

namespace {

// The first tick of the clock file times are taken from after the start:
// every change before the start is stamped earlier, every one after it at
// least so.
struct timespec RunStart = {0, 0};

}  // namespace

void NoteRunStart() {
  struct timespec Before;
  clock_gettime(CLOCK_REALTIME_COARSE, &Before);
  do {
    const struct timespec Pause = {0, 1000000};
    nanosleep(&Pause, nullptr);
    clock_gettime(CLOCK_REALTIME_COARSE, &RunStart);
  } while (RunStart.tv_sec == Before.tv_sec &&
           RunStart.tv_nsec == Before.tv_nsec);
}

bool IsNewSinceStart(const struct stat& Info) {
  return Info.st_ctim.tv_sec != RunStart.tv_sec
             ? Info.st_ctim.tv_sec > RunStart.tv_sec
             : Info.st_ctim.tv_nsec >= RunStart.tv_nsec;
}

namespace {

// The file about to be replaced, proven free, or what stands in its way.
enum class Destined { kFree, kAbsent, kNew, kHeld, kFailed };

Destined ProveDestination(int ToDir, const char* Name, UniqueFd* Fd,
                          FileProof* Proof) {
  struct stat Info;
  if (fstatat(ToDir, Name, &Info, AT_SYMLINK_NOFOLLOW) != 0) {
    return errno == ENOENT ? Destined::kAbsent : Destined::kFailed;
  }
  if (IsNewSinceStart(Info)) return Destined::kNew;
  // A link is never held open: it stands for itself.
  if (S_ISLNK(Info.st_mode)) {
    Fd->Reset(OpenAtWaiting(ToDir, Name, O_PATH | O_NOFOLLOW | O_CLOEXEC));
    return Fd->Get() >= 0 ? Destined::kFree : Destined::kFailed;
  }
  if (!S_ISREG(Info.st_mode)) return Destined::kFailed;
  Fd->Reset(OpenAtWaiting(
      ToDir, Name, O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC));
  if (Fd->Get() < 0 || !NameLeadsTo(ToDir, Name, Fd->Get())) {
    return Destined::kFailed;
  }
  return Proof->Begin(Fd->Get()) ? Destined::kFree : Destined::kHeld;
}

}  // namespace

Replaceable CanReplaceEntry(int Dir, const char* Name) {
  UniqueFd Fd;
  FileProof Proof;
  switch (ProveDestination(Dir, Name, &Fd, &Proof)) {
    case Destined::kFree:
    case Destined::kAbsent:  // gone meanwhile: the move takes the name
      return Replaceable::kYes;
    case Destined::kNew:
      return Replaceable::kNew;
    case Destined::kHeld:
    case Destined::kFailed:
      break;
  }
  return Replaceable::kNo;
}

namespace {

// Copies the bytes of Source from Offset to End to the same place in
// Target. False also when Source ends before End.
bool CopyRange(int Source, int Target, off_t Offset, off_t End,
               std::vector<char>* Buffer) {
  while (Offset < End) {
    const ssize_t Got = pread(
        Source, Buffer->data(),
        static_cast<size_t>(std::min<off_t>(End - Offset, Buffer->size())),
        Offset);
    if (Got < 0 && errno == EINTR) continue;
    if (Got <= 0) return false;
    for (ssize_t Done = 0; Done < Got;) {
      const ssize_t Put =
          pwrite(Target, Buffer->data() + Done, static_cast<size_t>(Got - Done),
                 Offset + Done);
      if (Put < 0 && errno == EINTR) continue;
      if (Put <= 0) return false;
      Done += Put;
    }
    Offset += Got;
  }
  return true;
}

// Copies the Size bytes of the file open as Source to Target. Only its data
// is written, so that its holes stay holes and take no space in the copy.
bool CopyContent(int Source, int Target, off_t Size) {
  // Read through the descriptor the file was tested on: another open of it
  // would break the lease this process holds and wait on itself.
  std::vector<char> Buffer(1 << 16);
  for (off_t Offset = 0; Offset < Size;) {
    const off_t Data = lseek(Source, Offset, SEEK_DATA);
    if (Data < 0 && errno == ENXIO) break;  // a hole to the end
    const off_t Hole = Data < 0 ? -1 : lseek(Source, Data, SEEK_HOLE);
    // Where the file system cannot tell, all the rest is data.
    const off_t From = Hole < 0 ? Offset : Data;
    const off_t To = Hole < 0 ? Size : std::min(Hole, Size);
    if (!CopyRange(Source, Target, From, To, &Buffer)) return false;
    Offset = To;
  }
  // The length, which a hole at the end leaves to be set.
  return ftruncate(Target, Size) == 0;
}

// The copy of a file in the move folder ToDir: unnamed (O_TMPFILE) where
// the file system allows, so that a crash leaves nothing; else under a
// temporary name that a later run removes.
class Copy {
 public:
  explicit Copy(int ToDir) : ToDir_(ToDir) {}
  ~Copy() {
    if (!Temporary_.empty()) unlinkat(ToDir_, Temporary_.c_str(), 0);
  }

  bool Create() {
    Fd_.Reset(
        OpenAtWaiting(ToDir_, ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600));
    for (int Try = 0; Fd_.Get() < 0 && Try < 100; ++Try) {
      const std::string Name = TemporaryName(Try);
      Fd_.Reset(OpenAtWaiting(ToDir_, Name.c_str(),
                              O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600));
      if (Fd_.Get() >= 0) {
        Temporary_ = Name;
      } else if (errno != EEXIST) {
        return false;
      }
    }
    return Fd_.Get() >= 0;
  }

  // A link's copy is the link itself, made at once under a temporary name.
  bool CreateLink(const std::vector<char>& Text) {
    for (int Try = 0; Try < 100; ++Try) {
      Temporary_ = TemporaryName(Try);
      if (symlinkat(Text.data(), ToDir_, Temporary_.c_str()) == 0) {
        Fd_.Reset(OpenAtWaiting(ToDir_, Temporary_.c_str(),
                                O_PATH | O_NOFOLLOW | O_CLOEXEC));
        return Fd_.Get() >= 0;
      }
      if (errno != EEXIST) break;
    }
    Temporary_.clear();
    return false;
  }

  int Fd() const { return Fd_.Get(); }

  // Gives the complete copy a name of its own, the temporary one if need
  // be. False on failure, or if Name exists.
  bool Name(const char* Name) {
    if (!Temporary_.empty()) {
      if (RenameNoReplace(ToDir_, Temporary_.c_str(), ToDir_, Name) !=
          Renamed::kDone) {
        return false;
      }
      Temporary_.clear();
      return true;
    }
    if (linkat(Fd(), "", ToDir_, Name, AT_EMPTY_PATH) == 0) return true;
    if (errno == EEXIST) return false;
    // Linking a descriptor needs a privilege; its /proc name does not.
    const std::string Self = "/proc/self/fd/" + std::to_string(Fd());
    return linkat(AT_FDCWD, Self.c_str(), ToDir_, Name, AT_SYMLINK_FOLLOW) == 0;
  }

  bool NameTemporarily() {
    for (int Try = 0; Temporary_.empty() && Try < 100; ++Try) {
      if (Name(TemporaryName(Try).c_str())) Temporary_ = TemporaryName(Try);
      if (errno != EEXIST) break;
    }
    return !Temporary_.empty();
  }

  // Removes the copy from the name Name, if that still leads to it.
  void Unlink(const char* Name) {
    if (NameLeadsTo(ToDir_, Name, Fd())) unlinkat(ToDir_, Name, 0);
  }

  // The temporary name, and then Name, lead to each other's file. False
  // when the file system cannot exchange names.
  // What an exchange of the temporary name with Name came to.
  enum class Exchanged { kDone, kUnsupported, kFailed };
  Exchanged Exchange(const char* Name) {
    if (renameat2(ToDir_, Temporary_.c_str(), ToDir_, Name, RENAME_EXCHANGE) ==
        0) {
      return Exchanged::kDone;
    }
    return errno == EINVAL ? Exchanged::kUnsupported : Exchanged::kFailed;
  }
  // Renames the temporary name over Name: no way back.
  bool RenameOver(const char* Name) {
    if (renameat(ToDir_, Temporary_.c_str(), ToDir_, Name) != 0) return false;
    Temporary_.clear();
    return true;
  }
  // The temporary name holds what must go once the move is done.
  void Keep() { Temporary_.clear(); }

 private:
  int ToDir_;
  UniqueFd Fd_;
  std::string Temporary_;  // removed again unless kept or renamed
};

// The source goes once the copy's name is on disk and the source is still
// the file that was proven free.
bool RemoveSource(const MoveSource& Source, int ToDir) {
  return fsync(ToDir) == 0 && Source.StillOurs() &&
         unlinkat(Source.Dir, Source.Name, 0) == 0;
}

// The copy of Source, whose status is Info, with its metadata and on disk,
// as yet unnamed or under a temporary name.
bool MakeCopy(const MoveSource& Source, const struct stat& Info, Copy* Made) {
  if (Source.Link) {
    std::vector<char> Text(static_cast<size_t>(Info.st_size) + 1);
    const ssize_t Length =
        readlinkat(Source.Dir, Source.Name, Text.data(), Text.size());
    if (Length < 0 || static_cast<size_t>(Length) >= Text.size()) {
      return false;
    }
    Text[static_cast<size_t>(Length)] = '\0';
    return Made->CreateLink(Text);
  }
  return Made->Create() && CopyContent(Source.Fd, Made->Fd(), Info.st_size) &&
         CopyMetadata(Source.Fd, Made->Fd(), Info) && fsync(Made->Fd()) == 0;
}

// The move onto another file system: copy, metadata, flush, name, and only
// then the source removed. The sequence is the same whether or not the copy
// replaces a file, which with Destination held as DestFd and Proof.
MoveResult MoveAcross(const MoveSource& Source, int ToDir, const char* DestName,
                      Destined Dest, int DestFd, FileProof* Proof) {
  struct stat Info;
  if (fstat(Source.Fd, &Info) != 0) return MoveResult::kFailed;
  Copy Made(ToDir);
  if (!MakeCopy(Source, Info, &Made)) return MoveResult::kFailed;
  if (Dest != Destined::kFree) {
    if (!Made.Name(DestName)) return MoveResult::kFailed;
    if (RemoveSource(Source, ToDir)) return MoveResult::kMoved;
    // Take the copy back so that the file stays in one place, where it was.
    Made.Unlink(DestName);
    return MoveResult::kFailed;
  }
  // Replacing: the old copy goes only with the source, and stays otherwise.
  if (!Made.NameTemporarily() || !Source.StillOurs()) {
    return MoveResult::kFailed;
  }
  if (!Proof->IsStillFree() || !NameLeadsTo(ToDir, DestName, DestFd)) {
    return MoveResult::kDestinationHeld;
  }
  const auto Swapped = Made.Exchange(DestName);
  if (Swapped == Copy::Exchanged::kDone) {
    // The old copy is under the temporary name now, and goes with it.
    if (RemoveSource(Source, ToDir)) return MoveResult::kMoved;
    if (Made.Exchange(DestName) == Copy::Exchanged::kDone) {
      return MoveResult::kFailed;
    }
    Made.Keep();  // the old copy, which must not go
    return MoveResult::kFailed;
  }
  // No exchange on this file system: one rename over the old copy.
  if (Swapped == Copy::Exchanged::kFailed || !Made.RenameOver(DestName)) {
    return MoveResult::kFailed;
  }
  return RemoveSource(Source, ToDir) ? MoveResult::kMoved : MoveResult::kFailed;
}

}  // namespace

bool CopyEntry(const MoveSource& Source, int ToDir, const char* Name) {
  struct stat Info;
  Copy Made(ToDir);
  return fstat(Source.Fd, &Info) == 0 && MakeCopy(Source, Info, &Made) &&
         Made.Name(Name);
}

bool CopyFolderMetadata(int SourceFd, int TargetFd) {
  struct stat Info;
  return fstat(SourceFd, &Info) == 0 &&
         CopyMetadata(SourceFd, TargetFd, Info) && fsync(TargetFd) == 0;
}

MoveResult MoveEntry(const MoveSource& Source, const std::string& Destination,
                     bool Replace) {
  std::string DestDir, DestName;
  SplitPath(Destination, &DestDir, &DestName);
  UniqueFd ToDir(OpenAtWaiting(AT_FDCWD, DestDir.c_str(),
                               O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (ToDir.Get() < 0 || !NameLeadsTo(Source.Dir, Source.Name, Source.Fd)) {
    return MoveResult::kFailed;
  }
  const char* To = DestName.c_str();
  UniqueFd DestFd;
  FileProof Proof;
  const Destined Dest = Replace
                            ? ProveDestination(ToDir.Get(), To, &DestFd, &Proof)
                            : Destined::kAbsent;
  if (Dest == Destined::kHeld) return MoveResult::kDestinationHeld;
  if (Dest == Destined::kNew) return MoveResult::kDestinationNew;
  if (Dest == Destined::kFailed) return MoveResult::kFailed;
  // Within a file system one rename, which replaces the proven file.
  Renamed Done = Renamed::kFailed;  // the proven file gone from its name
  if (Dest != Destined::kFree) {
    Done = RenameNoReplace(Source.Dir, Source.Name, ToDir.Get(), To);
  } else if (NameLeadsTo(ToDir.Get(), To, DestFd.Get())) {
    Done = RenameReplacing(Source.Dir, Source.Name, ToDir.Get(), To);
  }
  if (Done == Renamed::kDone) return MoveResult::kMoved;
  if (Done == Renamed::kFailed) return MoveResult::kFailed;
  return MoveAcross(Source, ToDir.Get(), To, Dest, DestFd.Get(), &Proof);
}

}  // namespace olvane
