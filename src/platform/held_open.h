// Whether another process holds a file, judged from the open-file tables of
// every other process: the proof used where the system gives no lease. Free
// of OS calls, so that the judgement can be tried on any table.
#ifndef OLVANE_PLATFORM_HELD_OPEN_H_
#define OLVANE_PLATFORM_HELD_OPEN_H_

#include <cstdint>
#include <string>
#include <unordered_set>
#include <vector>

namespace olvane {

// A file as the tables name it: its device's numbers and its inode.
struct FileId {
  uint32_t Major = 0;
  uint32_t Minor = 0;
  uint64_t Inode = 0;
  bool operator==(const FileId& Other) const {
    return Major == Other.Major && Minor == Other.Minor && Inode == Other.Inode;
  }
};

struct FileIdHash {
  size_t operator()(const FileId& Id) const {
    return std::hash<uint64_t>()(Id.Inode ^ (uint64_t{Id.Major} << 40) ^
                                 (uint64_t{Id.Minor} << 20));
  }
};

// What reading one process's tables came to.
enum class TableRead {
  kRead,        // every descriptor and every mapping was seen
  kGone,        // the process ended meanwhile: it holds nothing
  kUnreadable,  // not allowed, or failed: it may hold anything
};

// The open-file tables of the processes of the system.
class ProcessTable {
 public:
  virtual ~ProcessTable() = default;
  // Lists every process but this one. False if they cannot be listed.
  virtual bool ListOthers(std::vector<std::string>* Processes) = 0;
  // Lists the threads of Process that have a descriptor table of their own
  // (every other thread, where that cannot be told), and says whether its
  // main thread has ended: the process's own tables are then empty, and
  // only its threads' tables show what it holds.
  virtual TableRead ThreadsOf(const std::string& Process,
                              std::vector<std::string>* Threads,
                              bool* MainGone) = 0;
  // Adds to *Files each file the process (with a Thread, that thread of it)
  // has open through a descriptor or mapped into its memory; a mapping
  // outlives the descriptor it came from. kGone for a thread: that thread
  // has ended.
  virtual TableRead FilesOf(const std::string& Process,
                            const std::string& Thread,
                            std::vector<FileId>* Files) = 0;
  // Adds to *Files each file the kernel holds open on no process's behalf
  // (a loop device's backing file, a swap file). kUnreadable: one such file
  // could not be identified.
  virtual TableRead FilesOfKernel(std::vector<FileId>* /*Files*/) {
    return TableRead::kRead;
  }
};

// The files other processes held at the time of one look.
class HeldFiles {
 public:
  // A file may be held if it was seen, or if any table went unread.
  bool MayBeHeld(const FileId& Id) const {
    return !Complete_ || Files_.count(Id) != 0;
  }

 private:
  friend HeldFiles LookAtOtherProcesses(ProcessTable&, const FileId*);
  bool Complete_ = false;
  std::unordered_set<FileId, FileIdHash> Files_;
};

// Reads the tables of every other process. With a Wanted file, stops as
// soon as the answer for that file is known.
HeldFiles LookAtOtherProcesses(ProcessTable& Table,
                               const FileId* Wanted = nullptr);

// Adds to *Files the files named by the lines of a Linux maps table
// ("start-end perms offset major:minor inode path"); anonymous mappings
// (inode 0) name none.
void ParseMappedFiles(const std::string& Text, std::vector<FileId>* Files);

}  // namespace olvane

#endif  // OLVANE_PLATFORM_HELD_OPEN_H_
