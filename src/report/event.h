// What a run has to tell: one typed event per line of the report. The walk,
// the file tests, the moves and the front end hand events in; only a
// renderer turns them into text (see report.h).
#ifndef OLVANE_REPORT_EVENT_H_
#define OLVANE_REPORT_EVENT_H_

#include <cstdint>
#include <string>
#include <utility>

namespace olvane {

enum class EventKind {
  // A file or folder of the walk; Path is its full path.
  kDeleted,            // a file deleted (counted)
  kWouldDelete,        // report-only: a file that would be deleted
  kMoved,              // a file moved to To (counted)
  kWouldMove,          // report-only: a file that would be moved to To
  kCannotOpen,         // a due file held open, unreadable or vanished
  kStatusUnreadable,   // a due file opened whose status could not be read
  kCannotDelete,       // opened by another process after the expiry test
  kCannotMoveOpened,   // the same in move mode
  kCannotRemove,       // a deletion failed (Path: the file that stays)
  kAlreadyExists,      // the move folder has the name To; Path stays
  kCannotMove,         // a move failed; the file stays
  kCannotOpenFolder,   // a folder whose files stay unseen
  kFolderDeleted,      // -e: an emptied folder removed
  kWouldDeleteFolder,  // -n -e: a folder every entry of which would go
  // --folders: an item (a folder and its tree), deleted or moved whole or
  // kept whole; Path is the item, To the move's destination or the file
  // that kept it whole.
  kSetDeleted,           // an item deleted (counted)
  kWouldDeleteSet,       // report-only: an item that would be deleted
  kSetMoved,             // an item moved to To (counted)
  kWouldMoveSet,         // report-only: an item that would be moved to To
  kSetHeld,              // a file of it held open, or one it cannot open
  kSetProtected,         // a file or folder of it that -x: protects
  kSetStuck,             // an entry of it that cannot be removed (moved)
  kLeftoverDeleted,      // what an interrupted removal left hidden, removed
  kWouldDeleteLeftover,  // report-only: such a leftover would be removed
  // The command line and the run; Path is the argument or path concerned.
  kUsage,               // the usage screen
  kHelp,                // the usage screen, then Path: the options' help
  kVersion,             // "olvane" and the version
  kPathNotFound,        // no argument resolved the target
  kTargetNotFound,      // a full-path target that names no folder: no text
  kMoveFolderNotFound,  // a move folder that is no folder
  kInvalidDays,         // a days option without a whole number
  kInvalidTimeKind,     // -t: with another value than c, m or a
  kInvalidProtectMask,  // -x: empty or holding a separator
  kInvalidWorkers,      // --workers without a number from 1 to 128
  kInvalidKeep,         // --keep= without a count of 1 or more
  kInvalidMaxSize,      // --max-size= without a size
  kInvalidMinFree,      // --min-free= without a size or 0% to 100%
  kInvalidMaxFiles,     // --max-files= without a count
  kConflictingGoal,     // a goal or --workers again with another value
  kUnknownOption,       // a "--" argument that is no option the command knows
  kWholeRoot,           // a target that takes every file of a root
  kGoalNotMet,          // Path, To: --max-size and --min-free as written
  // A rules file; Rule names the rule concerned.
  kNotWithConfig,  // an argument --config does not go with
  kConfigError,    // Path: "FILE:LINE: what is wrong", or "FILE: ..."
  kConfigBusy,     // Path: the configuration another run holds
  kRuleStart,      // Path: the rule's target; its block follows
  kRuleCommand,    // --check: Path, the command line the rule means
  kTotal,          // the sums of every rule's counts, and the status
  kSummary,        // the closing counts
  // To standard error.
  kCannotStart,       // the process could not be prepared for the run
  kReportIncomplete,  // some lines of the report could not be written
};

// What took a file: its age, or, in a run that ranks the due files, the
// goal the file was taken for.
enum class Cause { kAge, kMaxFiles, kMaxSize, kMinFree };

struct Event {
  explicit Event(EventKind Kind, std::string Path = std::string(),
                 std::string To = std::string())
      : Kind(Kind), Path(std::move(Path)), To(std::move(To)) {}

  EventKind Kind;
  std::string Path;
  std::string To;    // moves: the destination
  std::string Rule;  // the rule of a rules file the event belongs to
  // What the status read on the open file or folder Path told.
  bool Timed = false;
  int64_t Time = 0;         // the time its age counts from, as FileTimes
  int64_t Size = -1;        // bytes allocated on disk; -1: not known
  Cause Why = Cause::kAge;  // a file deleted or moved (or that would be)
  // The summary's counts and how they read.
  int32_t Files = 0;
  int32_t Folders = 0;
  int32_t Rules = 0;  // kTotal: the rules run
  bool MoveMode = false;
  bool DryRun = false;
  bool CountFolders = false;  // -e was given: a second count follows
  bool FolderItems = false;   // --folders: the folders are the items acted on
  // The run was refused at its target: the text report ends with the
  // refusal, the record with this summary.
  bool Refused = false;
  int64_t BytesFreed = 0;  // as RunCounts
  // kGoalNotMet: bytes still over Path's goal and short of To's (0: met,
  // RunCounts::kUnmeasured: not measured).
  int64_t SizeOver = 0;
  int64_t FreeShort = 0;
  int Status = 0;  // the exit status the run ends with
};

// Whether E goes to standard error rather than into the report.
inline bool IsErrorEvent(const Event& E) {
  return E.Kind == EventKind::kCannotStart ||
         E.Kind == EventKind::kReportIncomplete;
}

}  // namespace olvane

#endif  // OLVANE_REPORT_EVENT_H_
