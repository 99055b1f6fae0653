// What a run has to tell: one typed event per line of the report. The walk,
// the file tests, the moves and the front end hand events in; only a
// renderer turns them into text (see report.h).
#ifndef OLVANE_REPORT_EVENT_H_
#define OLVANE_REPORT_EVENT_H_

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace olvane {

// Exit statuses; a run stopped by a signal ends with 128 + its number.
constexpr int kExitOk = 0;
constexpr int kExitCannotStart = 1;
// A command line refused before anything is walked: a days option without
// a number, a bad value option, a target that is a whole root.
constexpr int kExitUsage = 2;
// A run that would end with 0 but lost some of its report.
constexpr int kExitOutputLost = 3;
// A run that would end with 0 but left a goal of --max-size or --min-free
// unmet once every due file was tried.
constexpr int kExitGoalNotMet = 4;

// A run of a rules file that another run of it holds: nothing was done.
constexpr int kExitBusy = 5;

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
  kKept,               // a file a keep rule keeps; Reason says which
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
  kInvalidKeepPeriod,   // --keep-daily= (weekly...) without a count of 1+
  kInvalidDateFormat,   // --date-from-name= without a format it can read
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
  // Unattended runs: a log, a status file, a time budget.
  kRunStart,         // a logged run's first line: Time, Offset, Args
  kRunEnd,           // its last: DurationMs and Status
  kRuleNotRun,       // a rule the time budget left out
  kInvalidMaxTime,   // --max-time= without a whole number and s, m or h
  kInvalidLogMax,    // --log-max= without a size of 1 byte or more
  kInvalidLogKeep,   // --log-keep= without a count
  kMissingFileName,  // --log= or --status-file= without a name
  kLogIsStatusFile,  // --log and --status-file name one file
  // To standard error.
  kCannotStart,       // the process could not be prepared for the run
  kReportIncomplete,  // some lines of the report could not be written
                      // (Path: the log, if the report went there)
  kLogUnopenable,     // Path: a log that cannot be opened for appending
  kLogIsLink,         // Path: a log whose name is a link
  kStatusUnwritable,  // Path: a status file that could not be replaced
  kSystemLogRefused,  // the system refused the run's system log entry
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
  std::string Reason;       // kKept: "daily 2026-12-08", "keep"...
  // The summary's counts and how they read.
  int32_t Files = 0;
  int32_t Folders = 0;
  int32_t Rules = 0;  // kTotal: the rules run
  bool MoveMode = false;
  bool DryRun = false;
  bool CountFolders = false;  // -e was given: a second count follows
  // --date-from-name was given: a count of the names without a date
  // follows.
  bool CountUndated = false;
  int32_t Undated = 0;
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
  // A logged run's: how long it took, in milliseconds (-1: not told);
  // kRunStart: the local time's offset from UTC and the arguments.
  int64_t DurationMs = -1;
  int32_t Offset = 0;
  std::vector<std::string> Args;
  // The summary or total of a run the time budget cut short: the
  // argument that set it.
  std::string TimeLimit;
  // What the run's system log entry tells beyond the counts (see
  // Report::AddTally): files left held, unreadable or in a move's way and
  // folders that could not be opened; files that could not be removed or
  // moved; targets and move folders not found.
  int32_t Left = 0;
  int32_t NotRemoved = 0;
  int32_t Missing = 0;
};

// Whether E goes to standard error rather than into the report.
inline bool IsErrorEvent(const Event& E) {
  return E.Kind == EventKind::kCannotStart ||
         E.Kind == EventKind::kReportIncomplete ||
         E.Kind == EventKind::kLogUnopenable ||
         E.Kind == EventKind::kLogIsLink ||
         E.Kind == EventKind::kStatusUnwritable ||
         E.Kind == EventKind::kSystemLogRefused;
}

}  // namespace olvane

#endif  // OLVANE_REPORT_EVENT_H_
