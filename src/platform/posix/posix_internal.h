// What the parts of the Linux platform share.
#ifndef OLVANE_PLATFORM_POSIX_INTERNAL_H_
#define OLVANE_PLATFORM_POSIX_INTERNAL_H_

#include <sys/stat.h>
#include <sys/types.h>

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/held_open.h"
#include "platform/platform.h"

struct statx;

namespace olvane {

// Closes a descriptor when it goes out of scope.
class UniqueFd {
 public:
  explicit UniqueFd(int Fd = -1) : Fd_(Fd) {}
  UniqueFd(const UniqueFd&) = delete;
  UniqueFd& operator=(const UniqueFd&) = delete;
  ~UniqueFd();
  int Get() const { return Fd_; }
  int Release() {
    int Fd = Fd_;
    Fd_ = -1;
    return Fd;
  }
  void Reset(int Fd);

 private:
  int Fd_;
};

// What a rename came to.
enum class Renamed {
  kDone,
  kAcross,  // the two names are on different file systems: nothing changed
  kFailed,  // for any other reason (the name To exists among them)
};

// Renames From in FromDir to To in ToDir without ever replacing an existing
// entry.
Renamed RenameNoReplace(int FromDir, const char* From, int ToDir,
                        const char* To);

// Whether the entry Name of the folder Dir is the file open as Fd (for a
// link, a descriptor of the link itself).
bool NameLeadsTo(int Dir, const char* Name, int Fd);

// Proof that no other process holds a file the walk has not tested (one
// about to be replaced): a write lease on its descriptor, or else a watch on
// the file begun before a look at every other process. Kept until the file
// is dealt with; the descriptor must stay open as long.
class FileProof {
 public:
  FileProof() = default;
  FileProof(const FileProof&) = delete;
  FileProof& operator=(const FileProof&) = delete;
  ~FileProof();
  // False when another process holds the regular file open as Fd, or when
  // no proof can be had.
  bool Begin(int Fd);
  // True while nobody else has opened the file since Begin.
  bool IsStillFree();

 private:
  int Fd_ = -1;
  bool Leased_ = false;
  UniqueFd Watch_;
};

// A file being moved: the entry Name of the folder Dir, open as Fd (for a
// link, a descriptor of the link itself). StillOurs answers whether the
// name still leads to it and nobody has opened it since it was proven free.
struct MoveSource {
  int Dir;
  const char* Name;
  int Fd;
  bool Link;
  std::function<bool()> StillOurs;
};

// Copies Source with its metadata to the new name Name in the folder ToDir,
// named only once complete and on disk; the source stays. False on failure
// or where Name exists, and no copy is left.
bool CopyEntry(const MoveSource& Source, int ToDir, const char* Name);

// Gives the folder TargetFd the owner, extended attributes, mode and times
// of the folder SourceFd, as a copy of a file gets them.
bool CopyFolderMetadata(int SourceFd, int TargetFd);

// Moves Source to the full path Destination, replacing a file there only
// with Replace and once it is proven free, as ExclusiveFile::MoveTo.
MoveResult MoveEntry(const MoveSource& Source, const std::string& Destination,
                     bool Replace);

// The status of Name in the folder Fd (Name empty: of Fd itself), in one
// query that follows no link and triggers no automount, with what the walk
// and the removal tests need of it.
bool StatusOf(int Fd, const char* Name, struct statx* Info);
// The attributes that keep an entry (or a folder's entries) in place.
bool Fixed(const struct statx& Info);
// The root of another mount, which no removal or rename takes away.
bool IsMountRoot(const struct statx& Info);
// Whether the entry whose status is Entry can be removed from the folder
// open as DirFd, as far as can be told without removing it.
bool MayRemoveFrom(int DirFd, const struct statx& Entry);
// What an entry of the file mode Mode is; a link is a kFileLink.
EntryKind KindOfMode(mode_t Mode);
// The times of Name in the folder Fd (Name empty: of Fd itself); *Kept, if
// given, receives the whole status.
bool TimesOf(int Fd, const char* Name, FileTimes* Out,
             struct statx* Kept = nullptr);

// Notes when the run began; called once, before any move.
void NoteRunStart();
// Whether the file whose status is Info came or changed after the run
// began: its status-change time, which its creation sets too, is later.
bool IsNewSinceStart(const struct stat& Info);

// Whether a replacing move can take the place of the file Name in the
// folder Dir, proving it free as the move does and changing nothing.
Replaceable CanReplaceEntry(int Dir, const char* Name);

// A name for a temporary file of this process, the Try-th one tried.
std::string TemporaryName(int Try);

// Removes the temporary files in the folder Path that a run of this program
// left behind and that no run can still be writing.
void RemoveStaleCopiesIn(const std::string& Path);

// Gives the new copy TargetFd of the regular file SourceFd (whose status is
// Info) what a move keeps besides the content: the owner and group where
// this process may set them, the access ACL and the extended attributes it
// may set, the permission bits (never wider than the source's) and the
// access and modification times. False, with errno, when the destination
// cannot hold one of them: the copy is then no faithful one.
bool CopyMetadata(int SourceFd, int TargetFd, const struct stat& Info);

// Where one file stands with its folder's watch: the era in which it was
// opened, and whether its own open is among the opens the watch counted.
struct WatchTicket {
  uint64_t Era = 0;
  bool OwnCounted = false;
  bool Checked = false;  // the watch has read every open of it so far
};

// For the files of one folder that take no lease: a watch on the folder
// that counts every open of each name, and a look at every other process's
// tables begun after the watch. A file is free if no process held it at the
// look and no open of its name came after but this process's own. One look
// serves every folder watched before it began. Once a run has needed the
// look, each folder is watched as soon as its parent's listing names it, so
// that the look taken for one folder serves the folders below and beside it
// too. Safe for concurrent use.
class FolderWatch {
 public:
  FolderWatch() = default;
  FolderWatch(const FolderWatch&) = delete;
  FolderWatch& operator=(const FolderWatch&) = delete;
  ~FolderWatch();

  // The folder open as DirFd is opened by the walk, below the folder of
  // Parent (open as ParentFd) or as the first: watched from now on, or from
  // when its parent's listing named it, if the run needs the look.
  void WatchEarly(int DirFd, FolderWatch* Parent = nullptr, int ParentFd = -1);

  // The listing of this folder (open as DirFd) names the subfolder Name.
  // Called by the walk's own thread, as WatchEarly is.
  void SawSubFolder(int DirFd, const char* Name);

  // The era an open that starts now belongs to; 0 while nothing watches.
  uint64_t Era() const { return Era_.load(); }

  // Whether no other process holds the file Name (Id) of the folder open
  // as DirFd. Starts the watch if need be; a file whose own open the watch
  // may have missed is judged by a look of its own.
  bool IsFree(int DirFd, const std::string& Name, const FileId& Id,
              WatchTicket* Ticket);

  // The file Name is done with: its count is no longer needed.
  void Forget(const std::string& Name, const WatchTicket& Ticket);

 private:
  friend class Watcher;
  int Wd_ = -1;          // the watch, once the folder has one
  bool Broken_ = false;  // none could be had: its files look alone
  std::atomic<uint64_t> Era_{0};
  std::vector<int> Named_;  // watches of subfolders its listings named
  // Subfolders named before the run needed the look, to be watched as soon
  // as it does; a few thousand at most.
  std::vector<std::string> Unwatched_;
};

// Whether no other process holds the regular file open as Fd, the entry
// Name of the folder DirFd: a write lease (*Leased, kept with Fd), or else
// the folder's watch. False for anything but a regular file.
bool IsFreeAtOpen(int Fd, int DirFd, const std::string& Name,
                  FolderWatch* Watch, WatchTicket* Ticket, bool* Leased);

// The same proof again without a lease, for a file tested earlier.
bool IsFreeWithoutLease(int Fd, int DirFd, const std::string& Name,
                        FolderWatch* Watch, WatchTicket* Ticket);

// The tables of every process under /proc. Safe for concurrent use.
ProcessTable& Processes();

// The identity and link count of the regular file open as Fd.
bool OpenFileId(int Fd, FileId* Id, nlink_t* Links);

// Whether any other process holds the file Id: a look for it alone.
bool IsHeldElsewhere(const FileId& Id);

// The descriptors the process may have at once are Limit: sets how many
// files may be under way at once (TakeFileSlot), and answers how many
// folders the walk may hold open beside them.
size_t SetDescriptorLimit(size_t Limit);

// A file goes under way: waits (a short while at most) until fewer files
// than the limit leaves room for are, so that fewer workers run where
// descriptors are scarce. GiveFileSlot once the file is done.
void TakeFileSlot();
void GiveFileSlot();

// Tells the threads waiting for a descriptor that one was closed.
void DescriptorFreed();

// After a call failed with Error: true when it was for want of a
// descriptor (EMFILE, ENFILE) and the call is to be tried again after a
// wait for one to come free; false otherwise, or once *Tries waits (about
// ten seconds in all) were in vain, which TakeExhausted then tells.
bool AwaitDescriptor(int Error, int* Tries);

// openat, waiting for a descriptor while the process or the system has none.
int OpenAtWaiting(int Dir, const char* Path, int Flags, mode_t Mode = 0);

// Whether this thread's last call gave up waiting for a descriptor; clears
// the sign.
bool TakeExhausted();

// Writes all of Text to the descriptor, across partial writes and signals,
// and waiting while a stream left in non-blocking mode by whoever handed it
// over is full. False when some of it could not be written.
bool WriteAll(int Fd, const std::string& Text);

// Platform::OpenLog and Platform::ReplaceContent.
LogOpened OpenPosixLog(const std::string& Path, int64_t RotateAbove, int Keep,
                       std::unique_ptr<LogFile>* Log);
bool ReplacePosixContent(const std::string& Path, const std::string& Text);

// Opens the folder Path as written, as the first of a walk. Null on failure.
std::unique_ptr<Folder> OpenPosixFolder(const std::string& Path);

}  // namespace olvane

#endif  // OLVANE_PLATFORM_POSIX_INTERNAL_H_
