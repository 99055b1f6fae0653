// What one run was asked to do, filled from the command line before the walk
// starts and only read afterwards.
#ifndef OLVANE_PURGE_RUN_SETTINGS_H_
#define OLVANE_PURGE_RUN_SETTINGS_H_

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "purge/name_dates.h"

namespace olvane {

// Which of a file's times its age is counted from.
enum class TimeKind {
  kCreation,      // "-t:c", the default
  kModification,  // "-t:m": the last write
  kAccess,        // "-t:a": the last access
};

// Retention goals beside the term. Any of the last three makes the run rank
// the due files before it acts on them, oldest first.
struct Goals {
  int64_t Keep = 0;  // in each folder the newest this many stay; 0: none
  // In each folder the newest of each of the last this many days, ISO
  // weeks, months and years that hold one stay; 0: none.
  int64_t KeepDaily = 0;
  int64_t KeepWeekly = 0;
  int64_t KeepMonthly = 0;
  int64_t KeepYearly = 0;
  // The selected files may take at most this many bytes on disk; -1: none.
  int64_t MaxSize = -1;
  // Free space the target's file system is to have: bytes, or a percentage
  // of its size; -1: none.
  int64_t MinFreeBytes = -1;
  int MinFreePercent = -1;
  int64_t MaxFiles = -1;  // files acted on at most; -1: no cap
  // The arguments as written, for the line that says a goal was not met.
  std::string MaxSizeText = "";
  std::string MinFreeText = "";

  bool KeepsPeriods() const {
    return KeepDaily > 0 || KeepWeekly > 0 || KeepMonthly > 0 || KeepYearly > 0;
  }
  bool Ranks() const {
    return MaxSize >= 0 || MinFreeBytes >= 0 || MinFreePercent >= 0 ||
           MaxFiles >= 0;
  }
};

// A tree of files another rule of the run's configuration governs: the
// files of Folder (a full path) that Mask takes, and with Recurse those of
// every folder below it too.
struct RuleScope {
  std::string Folder;
  std::string Mask;  // "*" where the rule's target is a folder
  bool Recurse = false;
};

// A file of the run itself (its log, its status file), never deleted or
// moved wherever the walk meets it: the identity of the folder that holds
// it and its name there (as Platform::NameKey makes it), which counts with
// ".1" to ".Generations" after it too (the old logs).
struct OwnFile {
  FileIdentity Folder;
  std::string Key;
  int Generations = 0;
};

struct RunSettings {
  bool Recurse = false;       // walk every subfolder too
  bool EmptyFolders = false;  // remove subfolders the walk leaves empty
  bool DryRun = false;        // report what would happen, change nothing
  bool MoveMode = false;      // move due files instead of deleting them
  bool Overwrite = false;     // replace a file of the same name there
  std::string MovePath;       // the move folder as written
  // The move folder passed its check. A run whose move folder failed it
  // moves and removes nothing.
  bool MovePathValid = false;
  TimeKind Age = TimeKind::kCreation;  // the time a file's age counts from
  // Names never deleted, moved, entered or removed: masks of the target's
  // syntax, matched against an entry's name alone.
  std::vector<std::string> ProtectMasks;
  bool CrossMounts = false;  // with Recurse: walk into other mounts too
  // --folders: the mask selects folders, each one item (a backup set) aged
  // by the newest time in its tree and deleted or moved whole.
  bool Folders = false;
  // Threads that work on files at once; 0: as many as suit the target's
  // file system.
  int Workers = 1;
  Goals Goal;
  // --date-from-name: an entry's time is the date its name holds, in
  // local time; one whose name holds none is left alone.
  std::optional<NameDateFormat> NameDates;
  // With a rules file: the trees of the rules that govern files this rule
  // reaches too (a deeper target folder, or the same one listed first),
  // whose files it passes over as protected ones; and the target folders
  // of the other rules, which -e never removes, nor a folder above one.
  std::vector<RuleScope> Outranking;
  std::vector<std::string> RuleFolders;
  std::vector<OwnFile> OwnFiles;
};

// What a run did, as the summary reports it.
struct RunCounts {
  int32_t FileCount = 0;    // files deleted or moved (or that would be)
  int32_t FolderCount = 0;  // emptied folders removed (or that would be)
  // Bytes on disk the deletions and the moves onto another file system
  // freed (or would free).
  int64_t BytesFreed = 0;
  int32_t Undated = 0;  // names without a date, left alone
  // Goals left unmet once every due file was tried (or the cap was
  // reached): the bytes still over --max-size and still short of
  // --min-free; 0 when met or not asked for; kUnmeasured when the goal
  // could not be measured (the target not examined, the free space not
  // read), which is never a goal met.
  static constexpr int64_t kUnmeasured = -1;
  int64_t SizeOver = 0;
  int64_t FreeShort = 0;
};

// The counts of a run whose target could not be examined: each goal of
// --max-size and --min-free asked for is unmeasured.
inline RunCounts UnexaminedCounts(const Goals& Goal) {
  RunCounts Counts;
  if (Goal.MaxSize >= 0) Counts.SizeOver = RunCounts::kUnmeasured;
  if (Goal.MinFreeBytes >= 0 || Goal.MinFreePercent >= 0) {
    Counts.FreeShort = RunCounts::kUnmeasured;
  }
  return Counts;
}

}  // namespace olvane

#endif  // OLVANE_PURGE_RUN_SETTINGS_H_
