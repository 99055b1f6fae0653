// The operating system as olvane sees it: every call into the OS goes through
// these interfaces. One implementation per OS lives beside this header; the
// tests provide an in-memory one.
//
// Errors are normalised here: an operation reports success or failure (or a
// small result enum), never an errno or a Win32 error code, because no caller
// ever says why an operation failed.
#ifndef OLVANE_PLATFORM_PLATFORM_H_
#define OLVANE_PLATFORM_PLATFORM_H_

#include <cstdint>
#include <memory>
#include <string>

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

struct Entry {
  std::string Name;  // the last component only
  EntryKind Kind;
};

// What a path names, as a lookup or status query reports it.
enum class PathKind { kNothing, kFile, kFolder };

// The drive-root form of a path ("C:\" on Windows, "/" on POSIX systems).
enum class DriveRoot {
  kNotRoot,  // the path does not have the drive-root form
  kPresent,  // a root whose volume is there (or whose type is unknown)
  kAbsent,   // a root with no volume behind it
};

// Result of moving a file out of a folder.
enum class MoveResult { kMoved, kFailed };

// A file held open with no sharing: no other process had it open when it was
// opened, and none can share it until it is closed.
class ExclusiveFile {
 public:
  virtual ~ExclusiveFile() = default;

  // Creation time in whole seconds since 1970-01-01 UTC. Where the file
  // system records no creation time, a time that is never earlier than it.
  // False when the status cannot be read.
  virtual bool CreationTime(int64_t* Seconds) = 0;

  // Releases the file. False when the system reported a failure; the file is
  // released all the same. A platform may hold on to it until its next call,
  // for a reopen of the same file to take it back; it must then refuse that
  // reopen if another process has opened the file in between.
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

  // Opens Item (a file or a file link) for reading with no sharing, on an
  // existing entry only. Null when it cannot be opened or another process
  // holds it open. A link is never opened through: it stands for itself.
  virtual std::unique_ptr<ExclusiveFile> OpenExclusive(const Entry& Item) = 0;

  // Deletes Item (a file or a file link; never a folder). False on failure,
  // and the entry stays.
  virtual bool Remove(const Entry& Item) = 0;

  // Moves Item to the full path Destination, onto another volume too, never
  // over an existing entry. On failure Item stays where it was.
  virtual MoveResult MoveOut(const Entry& Item,
                             const std::string& Destination) = 0;

  // True when the full path Path names the very file that Item names (the
  // same file identity, however the two are written).
  virtual bool IsSameFile(const Entry& Item, const std::string& Path) = 0;
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
  // joined to the current one.
  virtual bool IsFullPath(const std::string& Arg) const = 0;

  // Whether Path has the drive-root form, and if so whether a volume is there.
  virtual DriveRoot QueryDriveRoot(const std::string& Path) = 0;

  // --- Process -------------------------------------------------------------

  // Prepares the process for the run. False when it cannot run at all.
  virtual bool Start() = 0;

  // The full path of the current directory; empty when it cannot be had.
  virtual std::string CurrentDirectory() = 0;

  // The current time in whole seconds since 1970-01-01 UTC.
  virtual int64_t Now() = 0;

  // Writes Line and a line end to standard output and flushes it, so that a
  // run that is killed has still reported everything it did.
  virtual void Print(const std::string& Line) = 0;

  // The same on standard error.
  virtual void PrintError(const std::string& Line) = 0;

  // --- Paths ---------------------------------------------------------------

  // Looks Path up as a directory search for that one name would: what the
  // entry itself is. A path ending in a separator names nothing.
  virtual PathKind Find(const std::string& Path) = 0;

  // The status of whatever Path leads to, through links.
  virtual PathKind Status(const std::string& Path) = 0;

  // Opens the folder Path as written (links in it are followed). A path that
  // trimming has left empty stands for the root where the platform has one
  // root, and for nothing where it has drives. Null on failure.
  virtual std::unique_ptr<Folder> OpenFolder(const std::string& Path) = 0;

  // Deletes the file (or link) Path; never a folder. False on failure.
  virtual bool RemoveFile(const std::string& Path) = 0;
};

// The platform of the system the program was built for. Only main calls it.
std::unique_ptr<Platform> MakeRealPlatform();

}  // namespace olvane

#endif  // OLVANE_PLATFORM_PLATFORM_H_
