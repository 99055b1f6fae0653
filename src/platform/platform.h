// The operating system as olvane sees it: every call into the OS goes through
// these interfaces. One implementation per OS lives beside this header; the
// tests provide an in-memory one.
//
// Errors are normalised here: an operation reports success or failure (or a
// small result enum), never an errno or a Win32 error code, because no caller
// ever says why an operation failed.
//
// Paths are UTF-8 byte strings on every system; a platform converts them at
// its boundary.
//
// Threads: the walk runs on several threads at once. Every operation of a
// Platform and of a Folder may be called from any thread at any time; an
// ExclusiveFile and a Listing are used by one thread at a time.
#ifndef OLVANE_PLATFORM_PLATFORM_H_
#define OLVANE_PLATFORM_PLATFORM_H_

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/civil_time.h"

namespace olvane {

// What a listing entry is. Links are told apart from what they point to so
// that the walk never enters a linked folder and disposes of a link itself.
enum class EntryKind {
  kFile,        // a regular file
  kFileLink,    // a link that does not lead to a folder (dangling included)
  kFolder,      // a real folder
  kFolderLink,  // a link or junction that leads to a folder
  kOther,       // FIFO, socket, device: never opened, never removed
};

// What tells one file or folder from every other on the system: its volume
// (device) and its number there (inode, file index).
struct FileIdentity {
  uint64_t Volume = 0;
  uint64_t Index = 0;
  bool operator==(const FileIdentity& Other) const {
    return Volume == Other.Volume && Index == Other.Index;
  }
  bool operator<(const FileIdentity& Other) const {
    return Volume != Other.Volume ? Volume < Other.Volume : Index < Other.Index;
  }
};

// A file's times in whole seconds since 1970-01-01 UTC, and the fraction of
// each second where the file system records it, which only orders files
// made within one second. Where the file system records no creation time,
// Creation is a time never earlier than it (the last status change). The
// same status query gives what the file takes on disk, its names and what
// the entry is, where the query carries them.
struct FileTimes {
  int64_t Creation = 0;
  int64_t Modification = 0;  // the last write
  int64_t Access = 0;        // the last access
  int64_t Allocated = -1;    // bytes allocated on disk; -1: not known
  uint32_t Links = 0;        // names (hard links) of the file; 0: not known
  // The file's, where the query gives it (on Windows a listing's number on
  // volume 0, or an open handle's); Index 0: not known.
  FileIdentity Id = {};
  bool MountRoot = false;      // the root of another mount (a file mounted
                               // over a name, a bind mount of a file)
  uint32_t CreationNanos = 0;  // nanoseconds past Creation's second
  uint32_t ModificationNanos = 0;
  uint32_t AccessNanos = 0;
  // What the entry itself is, as its listing says; a link whose target the
  // query does not look at is a kFileLink.
  EntryKind Kind = EntryKind::kOther;
};

struct Entry {
  std::string Name;  // the last component only
  EntryKind Kind = EntryKind::kOther;
  bool Timed = false;  // the listing gave Times, as on systems whose
  FileTimes Times;     // listings carry them
};

// What a path names, as a lookup or status query reports it.
enum class PathKind { kNothing, kFile, kFolder };

// The drive-root form of a path ("C:\" on Windows, "/" on POSIX systems).
enum class DriveRoot {
  kNotRoot,  // the path does not have the drive-root form
  kPresent,  // a root whose volume is there (or whose type is unknown)
  kAbsent,   // a root with no volume behind it
};

// What a folder's file system costs per metadata operation, which decides
// how many operations a walk keeps under way there.
enum class FileSystemKind {
  kLocal,    // a disk or memory of this machine: the processors are the limit
  kNetwork,  // each operation waits on a server or on a user-space process
             // (NFS, SMB, FUSE, 9p, Ceph, AFS...): the round trips are
};

// The space of a file system, in bytes.
struct DiskSpace {
  int64_t Available = 0;  // what the running user may still fill
  int64_t Total = 0;      // its whole size
};

// Result of moving a folder with its tree.
enum class FolderMove {
  kMoved,
  kFailed,  // it stays where it was
  kAcross,  // the destination is on another volume: it stays where it was
};

// Result of moving a file.
enum class MoveResult {
  kMoved,
  kFailed,           // the file stays where it was
  kDestinationHeld,  // the file to be replaced is held open: both stay
  kDestinationNew,   // the file to be replaced came or changed after the run
                     // began, so was not there before it: both stay
};

// Whether a replacing move can be expected to take the place of a file.
enum class Replaceable {
  kYes,
  kNew,  // the file came or changed after the run began: never replaced
  kNo,   // held open, read-only, a folder...: the replacement fails
};

// A log file a run appends its report to, opened without following a
// final link. Safe for concurrent use.
class LogFile {
 public:
  virtual ~LogFile() = default;

  // Appends Text, whole lines, in one write at the file's end, so that
  // other processes appending at once never cut into it. False when not
  // all of it could be written.
  virtual bool Append(const std::string& Text) = 0;
};

// What opening a log came to.
enum class LogOpened {
  kOpened,
  kLink,    // the name is a link (a reparse point on Windows): refused
  kFailed,  // a folder, a missing folder, no permission...
};
class Folder;

// A file opened for reading with no sharing: no other process had it open
// when it was opened. The file stays open until Close or destruction, and
// the disposal goes through this same handle, so nothing can slip in between
// the tests and the deletion.
class ExclusiveFile {
 public:
  virtual ~ExclusiveFile() = default;

  // The file's times, read on this handle. False when the status cannot be
  // read.
  virtual bool Times(FileTimes* Out) = 0;

  // True while no other process has opened the file since it was opened
  // here: the probe just before a disposal.
  virtual bool IsStillFree() = 0;

  // Deletes the file (a link: the link itself) through this handle, and
  // only while its name still leads to it. False on failure, and the file
  // stays. Only Close may follow.
  virtual bool Remove() = 0;

  // Whether Remove can be expected to succeed, as far as can be known
  // without changing anything (on Windows the deletion is asked for and
  // taken back at once): false when the file's own attributes (immutable or
  // append-only; read-only on Windows), a mapping (on Windows) or its folder
  // (not writable by this process, immutable, append-only, or sticky and
  // owned by another user) forbid the removal. True promises nothing; what
  // cannot be found out counts as removable. Any call may follow.
  virtual bool Removable() = 0;

  // Moves the file to the full path Destination, onto another volume too.
  // Without Replace never over an existing entry. With Replace a file there
  // is replaced in one step (a rename over it), and only once no other
  // process holds it (else kDestinationHeld); whatever fails, it stays. A
  // copy across volumes is visible under no name until it is complete and
  // on disk, and the source goes only if its name still leads to it and
  // nobody has opened it since it was proven free; else the copy goes
  // again. On failure the file stays where it was. Only Close may follow.
  virtual MoveResult MoveTo(const std::string& Destination, bool Replace) = 0;

  // Whether MoveTo(Destination) can be expected to succeed, as far as can
  // be told without changing anything (on Windows a read-only file is not
  // moved onto another volume, nor a mapped file anywhere). For the
  // report-only run.
  virtual bool CanMoveTo(const std::string& Destination) = 0;

  // Copies the file (a link: the link itself) with its content and
  // metadata, as MoveTo copies it onto another volume, to the new name Name
  // in the open folder Into, named only once complete and on disk. The file
  // stays. False on failure or where Name exists, and no copy is left. A
  // platform that cannot answers false.
  virtual bool CopyTo(Folder& /*Into*/, const std::string& /*Name*/) {
    return false;
  }

  // Releases the file. False when the system reported a failure; the file
  // is released all the same.
  virtual bool Close() = 0;
};

// Entries of one folder, produced one at a time so that a folder of any size
// costs the same memory. The dot entries are never produced.
class Listing {
 public:
  virtual ~Listing() = default;

  // Makes the next entry current and fills Item. False when no entry is left
  // or the listing cannot go on.
  virtual bool Next(Entry* Item) = 0;

  // True once the listing could not go on: the folder could not be read
  // (to its end), not every entry has been produced.
  virtual bool Failed() const = 0;
};

// An open folder. Every operation on an entry is made relative to the folder
// itself, never by a path rebuilt from strings, so a folder that another
// process renames or replaces during the walk cannot redirect it.
class Folder {
 public:
  virtual ~Folder() = default;

  // Lists the entries whose names match Mask ("*" any run of characters,
  // "?" exactly one). Never null; a listing that finds nothing yields no
  // entry.
  virtual std::unique_ptr<Listing> List(const std::string& Mask) = 0;

  // Opens the real folder Name, never through a link. Null on failure.
  virtual std::unique_ptr<Folder> OpenSubFolder(const std::string& Name) = 0;

  // True when the real folder Name is the root of another mount than this
  // folder's: another file system, or a bind mount of this one. Asked
  // without triggering an automount, so that a folder it answers true for
  // can be left alone untouched. False when it cannot be told. Where mount
  // points are only ever reparse points (listed as kFolderLink, never
  // entered), always false.
  virtual bool IsOtherMount(const std::string& Name) = 0;

  // The times of Item without opening it: those its listing gave, else one
  // status query of the name relative to this folder that never follows a
  // link and never triggers an automount. False when no status can be had
  // (the entry is gone).
  virtual bool EntryTimes(const Entry& Item, FileTimes* Out) = 0;

  // For a listing that gives no count of names (Links 0): fills Out->Links
  // of the file Item, and for a file of several names Out->Id as its opened
  // file's Times gives it, by one query of its attributes. False where it
  // cannot be told; where the status always holds the count, never asked.
  virtual bool EntryNames(const Entry& /*Item*/, FileTimes* /*Out*/) {
    return false;
  }

  // Opens Item (a file or a file link) for reading with no sharing, on an
  // existing entry only. Null when it cannot be opened or another process
  // holds it open. A link is never opened through: it stands for itself.
  virtual std::unique_ptr<ExclusiveFile> OpenExclusive(const Entry& Item) = 0;

  // The times of this folder itself, as ExclusiveFile::Times.
  virtual bool Times(FileTimes* Out) = 0;

  // Removes the subfolder Name in one call that fails unless it is an empty
  // real folder (never a link). False on failure.
  virtual bool RemoveSubFolder(const std::string& Name) = 0;

  // Whether RemoveSubFolder(Name) can be expected to succeed once the
  // folder is empty, as far as can be told without changing anything (on
  // Windows: no other process holds it open without sharing its deletion,
  // and it is not read-only). True promises nothing. For the report-only
  // run; a platform that cannot tell answers true.
  virtual bool CanRemoveSubFolder(const std::string& /*Name*/) { return true; }

  // Renames the real subfolder Name (never a link) to ToName in the open
  // folder To (this one too), on the same volume, in one step that never
  // replaces an entry there; its tree goes with it. A platform that cannot
  // answers kFailed.
  virtual FolderMove MoveSubFolder(const std::string& /*Name*/, Folder& /*To*/,
                                   const std::string& /*ToName*/) {
    return FolderMove::kFailed;
  }

  // Makes the folder Name here, never over an entry, and opens it. Null on
  // failure, or where the platform cannot.
  virtual std::unique_ptr<Folder> CreateSubFolder(const std::string& /*Name*/) {
    return nullptr;
  }

  // Gives this folder the metadata of the folder Source (owner, mode or
  // security, attributes, times) as a copy of a file gets them. False on
  // failure, or where the platform cannot.
  virtual bool CopyMetadataFrom(Folder& /*Source*/) { return false; }

  // True when the full path Path names the very file that Item names (the
  // same file identity, however the two are written).
  virtual bool IsSameFile(const Entry& Item, const std::string& Path) = 0;

  // The identity of this folder itself. False when it cannot be had.
  virtual bool Identity(FileIdentity* Id) = 0;

  // Gives up what this open folder holds of the process's scarce resources
  // (its descriptor), for a walk deeper than Platform::FolderBudget. Only
  // while no other operation on it is under way, and until Resume none may
  // be called. A platform without such a limit keeps the folder as it is.
  virtual void Suspend() = 0;

  // Takes the folder back after Suspend, through Child, a folder opened from
  // it with OpenSubFolder and still open, and only if it is still the same
  // folder. False when it cannot be had again: every operation on it then
  // fails.
  virtual bool Resume(Folder& Child) = 0;
};

class Platform {
 public:
  virtual ~Platform() = default;

  // --- Path syntax ---------------------------------------------------------

  // The separator that joins and trims paths.
  virtual char Separator() const = 0;

  // True for every character that ends the folder part of a mask.
  virtual bool IsSeparator(char C) const = 0;

  // True when an argument is taken whole as the target instead of being
  // tested for existence first: a full path (on POSIX systems it begins
  // with "/"; on Windows with a drive and a separator, or two separators).
  virtual bool IsFullPath(const std::string& Arg) const = 0;

  // The path Arg names when read against Base, the target so far (the
  // current directory at first), in the one form every other operation
  // takes and every printed line shows: a full path as written, any other
  // form joined with one separator to what it is relative to, without
  // trailing separators (a root keeps its own). On Windows "/" is written
  // "\", "\x" lies on the current folder's drive and "Q:x" in the current
  // folder of drive Q. Empty for an empty Arg, or when a relative Arg has
  // nothing to be read against.
  virtual std::string ResolvePath(const std::string& Base,
                                  const std::string& Arg) = 0;

  // The length of the root that begins the path Path ("/"; "C:\",
  // "\\server\share\", "\\?\C:\"), which holds no wildcard and is never
  // split off as a mask; 0 when Path has none.
  virtual size_t RootLength(const std::string& Path) const = 0;

  // A key under which two paths are equal when the file systems take them
  // for the same name: Path itself where names are case-sensitive, its upper
  // case as the system folds names on Windows.
  virtual std::string NameKey(const std::string& Path) = 0;

  // True where names may hold unpaired surrogates, which paths then carry
  // in their three-byte form (WTF-8: Windows).
  virtual bool NamesInWtf8() const = 0;

  // True where "/?" asks a command for help and is never read as a path.
  virtual bool SlashHelp() const = 0;

  // Whether Path has the drive-root form, and if so whether a volume is there.
  virtual DriveRoot QueryDriveRoot(const std::string& Path) = 0;

  // True when Name matches Mask as this system's listings match names (see
  // Folder::List): case-sensitive on POSIX, case-blind on Windows.
  virtual bool MatchName(const std::string& Mask,
                         const std::string& Name) const = 0;

  // The system root that the folder Folder is, however it is written or
  // reached ("/" on POSIX, "C:\" on Windows), when Folder is one and Mask
  // takes every file there ("" is folder mode); else "". The root of a
  // network share is no system root.
  virtual std::string WholeRoot(const std::string& Folder,
                                const std::string& Mask) = 0;

  // The space of the file system the folder Path lies on. False when it
  // cannot be had.
  virtual bool SpaceOf(const std::string& Path, DiskSpace* Out) = 0;

  // The kind of file system the folder Path lies on; kLocal when it cannot
  // be told.
  virtual FileSystemKind FileSystemOf(const std::string& Path) = 0;

  // --- Process -------------------------------------------------------------

  enum class ConfigLock { kTaken, kBusy, kFailed };

  // Takes the lock of the rules file or folder Path for the rest of the
  // process's life: the system releases it when the process ends, however
  // it ends. kBusy while another process holds it; kFailed when it cannot
  // be had (Path cannot be opened).
  virtual ConfigLock LockConfiguration(const std::string& Path) = 0;

  // The arguments after the program name, as UTF-8, wildcards unexpanded.
  // Argv is what main received; a platform may read the command line
  // itself instead.
  virtual std::vector<std::string> Arguments(int Argc, char** Argv) = 0;

  // Prepares the process for the run, and from then on catches the requests
  // to stop (SIGINT, SIGTERM; Ctrl+C, Ctrl+Break, console close). False when
  // it cannot run at all.
  virtual bool Start() = 0;

  // 0 while no stop was requested and the time budget lasts; else the
  // exit status a stop by a signal ends the run with (128 + its number),
  // or kOutOfTime once the deadline has passed.
  static constexpr int kOutOfTime = -1;
  int StopStatus() {
    const int Signal = SignalStatus();
    if (Signal != 0) return Signal;
    const int64_t Deadline = Deadline_;
    return Deadline != 0 && Monotonic() >= Deadline ? kOutOfTime : 0;
  }

  // From the monotonic time Deadline on (see Monotonic), StopStatus asks
  // the run to stop as a signal does; 0: never.
  void SetDeadline(int64_t Deadline) { Deadline_ = Deadline; }

  // Milliseconds on a clock that never goes back, from an arbitrary start:
  // for durations and the time budget.
  virtual int64_t Monotonic() = 0;

  // How many folders a walk may hold open at once. Known after Start.
  virtual size_t FolderBudget() = 0;

  // The full path of the current directory; empty when it cannot be had.
  virtual std::string CurrentDirectory() = 0;

  // The current time in whole seconds since 1970-01-01 UTC.
  virtual int64_t Now() = 0;

  // How far local time is ahead of UTC at the time Time, in seconds.
  virtual int32_t UtcOffset(int64_t Time) = 0;

  // Opens the log Path for appending, creating it, never through a link
  // at Path itself. Before, a log larger than RotateAbove bytes is renamed
  // Path.1 (Path.1 to Path.2 and so on up to Path.Keep, the oldest beyond
  // that removed; Keep 0: it is removed), once, however many runs do so at
  // once: a run that finds the file it opened renamed by another opens
  // the new one. *Log receives it when kOpened.
  virtual LogOpened OpenLog(const std::string& Path, int64_t RotateAbove,
                            int Keep, std::unique_ptr<LogFile>* Log) = 0;

  // Replaces the file Path by one holding Text in one step: written to a
  // temporary file in the same folder, flushed, and renamed over it. False
  // when it could not be done; no temporary file is left then either.
  virtual bool ReplaceContent(const std::string& Path,
                              const std::string& Text) = 0;

  // The time Local names in the system's time zone, in seconds since
  // 1970-01-01 UTC (a time that a clock change skips counts as the one
  // after it); and the local time of Utc. False where the system cannot
  // tell.
  virtual bool FromLocalTime(const CivilTime& Local, int64_t* Utc) = 0;
  virtual bool ToLocalTime(int64_t Utc, CivilTime* Local) = 0;

  // Writes Line and a line end to standard output and flushes it, so that a
  // run that is killed has still reported everything it did. A line that
  // cannot be written is lost and the run goes on; OutputLost then says so.
  virtual void Print(const std::string& Line) = 0;

  // Writes Lines, one or more lines each ending in "\n", to standard output
  // in one piece and flushes it.
  virtual void PrintLines(const std::string& Lines) = 0;

  // Writes Line and a line end to standard error.
  virtual void PrintError(const std::string& Line) = 0;

  // Whether standard error is a terminal (on Windows a console) that a
  // person may be watching; never a pipe, a file or the null device.
  virtual bool ErrorIsTerminal() = 0;

  // The width in columns of standard error's terminal; 80 where it cannot
  // be told.
  virtual int TerminalColumns() = 0;

  // Shows Line, one line without an end narrower than the terminal, in
  // place on standard error's terminal over the one shown before; ""
  // erases it. A later Print, PrintLines or PrintError that reaches the
  // same terminal erases it first, so that what they write reads as if it
  // had never been there. Does nothing where ErrorIsTerminal is false. May
  // be called from any thread.
  virtual void ShowProgress(const std::string& Line) = 0;

  // True once a write to standard output has failed (full disk, closed or
  // broken stream), or when standard output was closed as the process
  // started: the report is then incomplete. Each later write is tried anew.
  virtual bool OutputLost() = 0;

  // How grave a system log entry is: Linux's info, warning and err
  // priorities, the Windows event types of the same names.
  enum class LogLevel { kInfo, kWarning, kError };

  // Writes one entry to the system's own log: syslog(3) with the ident
  // "olvane" (EventId is not part of it), or the Application Event Log
  // under the source "olvane" with EventId, Text filling the message
  // table's one insert. False when the system refused it.
  virtual bool WriteSystemLog(LogLevel Level, int EventId,
                              const std::string& Text) = 0;

  // --- Paths ---------------------------------------------------------------

  // Paths given to the operations below are as ResolvePath makes them, or
  // such a path with its trailing separators trimmed: a drive and a colon
  // alone ("C:") then stand for the drive's root.

  // Looks Path up as a directory search for that one name would: what the
  // entry itself is. A path ending in a separator names nothing, and on
  // Windows neither does a short 8.3 name: the entry's long name must be
  // the last component of Path.
  virtual PathKind Find(const std::string& Path) = 0;

  // The status of whatever Path leads to, through links.
  virtual PathKind Status(const std::string& Path) = 0;

  // Opens the folder Path as written (links in it are followed). A path that
  // trimming has left empty stands for the root where the platform has one
  // root, and for nothing where it has drives. Null on failure.
  virtual std::unique_ptr<Folder> OpenFolder(const std::string& Path) = 0;

  // The identity of the entry Path names itself (a link: the link). False
  // when it names nothing.
  virtual bool IdentityOf(const std::string& Path, FileIdentity* Id) = 0;

  // Reads the whole of the regular file Path (through links) into *Bytes,
  // for a rules file. False when it cannot be opened or read, is no regular
  // file, or holds more than Most bytes.
  virtual bool ReadFile(const std::string& Path, std::string* Bytes,
                        size_t Most) = 0;

  // Removes from the folder Path the temporary files of moves across
  // volumes that a run of this program left there and that no run is
  // still writing: those it can prove so, the others stay.
  virtual void RemoveStaleCopies(const std::string& Path) = 0;

  // Whether a replacing MoveTo can be expected to take the place of the
  // file Path, as far as can be told without changing anything: not held
  // open by another process (on Windows for its attributes alone too, where
  // the system says so), not read-only or mapped on Windows, and there since
  // before the run began.
  virtual Replaceable CanReplaceFile(const std::string& Path) = 0;

 protected:
  // The part of StopStatus that signals (console events) make.
  virtual int SignalStatus() = 0;

 private:
  std::atomic<int64_t> Deadline_{0};  // see SetDeadline
};

// The platform of the system the program was built for. Only main calls it,
// first of all: a standard stream closed at start is opened on the null
// device then, so that no file the run opens can take its place.
std::unique_ptr<Platform> MakeRealPlatform();

}  // namespace olvane

#endif  // OLVANE_PLATFORM_PLATFORM_H_
