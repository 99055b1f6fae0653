// Every text line of the report, and the usage and help screens.
#include "report/json_text.h"
#include "report/printable.h"
#include "report/report.h"

namespace olvane {
namespace {

constexpr const char* kUsageLines[] = {
    "   olvane: purge expired files. V.1.0. Usage:",
    "",
    "         olvane -Ddays [FullPath][filename] [-r] [-m:move_path] [-Y]",
    "",
    "      days  - number of days (expiration term) ",
    "      file  - filename (willcards */? allowed)",
    "      -r    - recurse subdirectories",
    "   Examples:",
    "   ---------",
    "              olvane -d90 \\\\Server\\Archive\\*.zip ",
    "   will delete all files *.zip older than three months from "
    "Server\\Archive ",
    "   ",
    "             olvane -d1 \"C:\\Windows\\Temporary Internet "
    "Files\\XXX*.jpg\" -r",
    "   will delete more than one day old JPG files, name starting with XXX,",
    "   from Internet Explorer temporary folders and subfolders",
    "",
    "             olvane -d365 -r",
    "   will delete all files older than one year from current folder and "
    "subfolders ",
    "",
};

template <size_t N>
void AddLines(const char* const (&Lines)[N], std::string* Out) {
  for (const char* Line : Lines) {
    *Out += Line;
    *Out += '\n';
  }
}

void AddLine(const std::string& Line, std::string* Out) {
  *Out += Line;
  *Out += '\n';
}

// A refusal that ends with the usage screen.
void AddWithUsage(const std::string& Line, std::string* Out) {
  AddLine(Line, Out);
  AddLine("", Out);
  AddLines(kUsageLines, Out);
}

std::string Count(int32_t N, const char* Things, bool DryRun,
                  const char* Done) {
  return "     " + std::to_string(N) + Things + (DryRun ? " would be " : " ") +
         Done + ".";
}

// The last line of a run the time budget cut short.
void AddTimeLimit(const Event& E, std::string* Out) {
  if (!E.TimeLimit.empty())
    AddLine("   Time limit reached: " + E.TimeLimit, Out);
}

void AddSummary(const Event& E, std::string* Out) {
  if (E.Refused) return;
  AddLine(
      Count(E.Files, " file(s)", E.DryRun, E.MoveMode ? "moved" : "deleted"),
      Out);
  if (E.CountFolders) {
    const bool Moved = E.FolderItems && E.MoveMode;
    AddLine(
        Count(E.Folders, " folder(s)", E.DryRun, Moved ? "moved" : "deleted"),
        Out);
  }
  if (E.CountUndated) {
    AddLine("     " + std::to_string(E.Undated) +
                " name(s) without a date left alone.",
            Out);
  }
  AddTimeLimit(E, Out);
}

// The arguments as given, each with blanks in quotes.
std::string ArgumentsText(const std::vector<std::string>& Args, bool Wtf8) {
  std::string Text;
  for (const std::string& Arg : Args) {
    const std::string Shown = Printable(Arg, Wtf8);
    const bool Quote = Arg.empty() || Arg.find(' ') != std::string::npos;
    Text += Quote ? " \"" + Shown + "\"" : " " + Shown;
  }
  return Text;
}

// The lines that begin and end a logged run's block.
bool AddLogLine(const Event& E, bool Wtf8, std::string* Out) {
  if (E.Kind == EventKind::kRunStart) {
    AddLine("--- " + IsoLocalTime(E.Time, E.Offset) + " olvane " +
                OLVANE_VERSION + ":" + ArgumentsText(E.Args, Wtf8),
            Out);
  } else if (E.Kind == EventKind::kRunEnd) {
    AddLine("--- ended after " + SecondsText(E.DurationMs) +
                " s, exit status " + std::to_string(E.Status),
            Out);
  } else {
    return false;
  }
  return true;
}

// What is missing of each goal, in one line.
void AddGoalNotMet(const Event& E, std::string* Out) {
  const char* kUnmeasured = " could not be measured";
  std::string Line = "   Goal not met:";
  if (E.SizeOver != 0) {
    Line +=
        " " + E.Path +
        (E.SizeOver < 0 ? kUnmeasured
                        : " is " + std::to_string(E.SizeOver) + " bytes over");
  }
  if (E.FreeShort != 0) {
    if (E.SizeOver != 0) Line += ";";
    Line +=
        " " + E.To +
        (E.FreeShort < 0 ? kUnmeasured
                         : " lacks " + std::to_string(E.FreeShort) + " bytes");
  }
  AddLine(Line, Out);
}

// The line that refuses a value option, before the argument; null for
// another event.
const char* RefusalOf(EventKind Kind) {
  switch (Kind) {
    case EventKind::kInvalidTimeKind:
      return "   Invalid time kind (-t:c, -t:m or -t:a): ";
    case EventKind::kInvalidProtectMask:
      return "   Invalid protect mask (a name, without a separator): ";
    case EventKind::kInvalidWorkers:
      return "   Invalid number of workers (--workers=1 to 128): ";
    case EventKind::kInvalidKeep:
      return "   Invalid number to keep (--keep=1 or more): ";
    case EventKind::kInvalidMaxSize:
      return "   Invalid size (--max-size=N, NK, NM, NG or NT): ";
    case EventKind::kInvalidMinFree:
      return "   Invalid free space (--min-free=SIZE or 0% to 100%): ";
    case EventKind::kInvalidMaxFiles:
      return "   Invalid number of files (--max-files=0 or more): ";
    case EventKind::kInvalidKeepPeriod:
      return "   Invalid number to keep (--keep-daily, --keep-weekly, "
             "--keep-monthly, --keep-yearly=1 or more): ";
    case EventKind::kInvalidDateFormat:
      return "   Invalid date format (%Y, %m and %d, with %H, %M, %S, %% "
             "and other characters): ";
    case EventKind::kConflictingGoal:
      return "   Given twice with different values: ";
    case EventKind::kUnknownOption:
      return "   Unknown option: ";
    case EventKind::kInvalidMaxTime:
      return "   Invalid time limit (--max-time=N with s, m or h): ";
    case EventKind::kInvalidLogMax:
      return "   Invalid log size (--log-max=N, NK, NM or NG): ";
    case EventKind::kInvalidLogKeep:
      return "   Invalid number of old logs (--log-keep=0 or more): ";
    case EventKind::kMissingFileName:
      return "   A file name is missing: ";
    case EventKind::kLogIsStatusFile:
      return "   The log and the status file are one file: ";
    case EventKind::kNotWithConfig:
      return "   Not with --config: ";
    case EventKind::kConfigError:
      return "   Config error: ";
    case EventKind::kConfigBusy:
      return "   Another run of this configuration is under way: ";
    default:
      return nullptr;
  }
}

// The line of an event of the command line or the run, "" for a file's.
bool AddCommandLine(const Event& E, const std::string& Arg, std::string* Out) {
  if (const char* Refusal = RefusalOf(E.Kind)) {
    AddLine(Refusal + Arg, Out);
    return true;
  }
  switch (E.Kind) {
    case EventKind::kUsage:
      AddLines(kUsageLines, Out);
      return true;
    case EventKind::kHelp:
      AddLines(kUsageLines, Out);
      *Out += E.Path;  // the options' section, lines and all
      return true;
    case EventKind::kVersion:
      AddLine(std::string("olvane ") + OLVANE_VERSION, Out);
      return true;
    case EventKind::kPathNotFound:
      AddWithUsage("   Path don't find", Out);
      return true;
    case EventKind::kMoveFolderNotFound:
      AddWithUsage("   Path don't find (-m:move_path)", Out);
      return true;
    case EventKind::kInvalidDays:
      AddWithUsage("   Invalid number of days: " + Arg, Out);
      return true;
    case EventKind::kGoalNotMet:
      AddGoalNotMet(E, Out);
      return true;
    case EventKind::kWholeRoot:
      AddLine("   Will not purge the whole root " + Arg +
                  ": give a narrower target, or add --no-preserve-root",
              Out);
      return true;
    case EventKind::kSummary:
      AddSummary(E, Out);
      return true;
    default:
      return false;
  }
}

// The lines of a rules file's rules.
bool AddRuleLine(const Event& E, const std::string& Arg, std::string* Out) {
  switch (E.Kind) {
    case EventKind::kRuleStart:
    case EventKind::kRuleCommand:
      AddLine("Rule " + Printable(E.Rule, false) + ": " + Arg, Out);
      return true;
    case EventKind::kTotal:
      // The record's alone: each rule's summary has its lines.
      AddTimeLimit(E, Out);
      return true;
    case EventKind::kRuleNotRun:
      AddLine("Rule " + Printable(E.Rule, false) +
                  ": not run, the time limit was reached",
              Out);
      return true;
    default:
      return false;
  }
}

// The lines to standard error, and those of the run's own files.
bool AddProcessLine(const Event& E, const std::string& Arg, std::string* Out) {
  switch (E.Kind) {
    case EventKind::kCannotStart:
      AddLine("Fatal Error: MFC initialization failed", Out);
      return true;
    case EventKind::kReportIncomplete:
      AddLine("olvane: report incomplete: " +
                  (Arg.empty() ? "standard output" : "the log " + Arg) +
                  " could not be written",
              Out);
      return true;
    case EventKind::kLogUnopenable:
      AddLine("olvane: cannot append to the log " + Arg + ": nothing was done",
              Out);
      return true;
    case EventKind::kLogIsLink:
      AddLine("olvane: the log " + Arg +
                  " is a link, which is never followed: nothing was done",
              Out);
      return true;
    case EventKind::kStatusUnwritable:
      AddLine("olvane: cannot replace the status file " + Arg, Out);
      return true;
    case EventKind::kSystemLogRefused:
      AddLine("olvane: the system log did not take the run's entry", Out);
      return true;
    default:
      return false;
  }
}

}  // namespace

void TextRenderer::Render(const Event& E, std::string* Out) const {
  const std::string Path = Printable(E.Path, Wtf8_);
  if (AddCommandLine(E, Path, Out) || AddRuleLine(E, Path, Out) ||
      AddProcessLine(E, Path, Out) || AddLogLine(E, Wtf8_, Out)) {
    return;
  }
  switch (E.Kind) {
    case EventKind::kDeleted:
      return AddLine("Delete file: " + Path, Out);
    case EventKind::kWouldDelete:
      return AddLine("Would delete file: " + Path, Out);
    case EventKind::kMoved:
      return AddLine("Move file: " + Path, Out);
    case EventKind::kWouldMove:
      return AddLine("Would move file: " + Path, Out);
    case EventKind::kCannotOpen:
      return AddLine("Cannot open file: " + Path, Out);
    case EventKind::kStatusUnreadable:
      return AddLine("Error in BOOL CheckDate(CString FileName, int Day)", Out);
    case EventKind::kCannotDelete:
      return AddLine("Cannot delete file: " + Path, Out);
    case EventKind::kCannotMoveOpened:
      return AddLine("Cannot move file: " + Path, Out);
    case EventKind::kCannotRemove:
      return AddLine("File " + Path + " cannot be removed.", Out);
    case EventKind::kAlreadyExists:
      return AddLine("File " + Printable(E.To, Wtf8_) + " already exist.", Out);
    case EventKind::kCannotMove:
      return AddLine("File " + Path + " cannot be moved.", Out);
    case EventKind::kCannotOpenFolder:
      return AddLine("Cannot open folder: " + Path, Out);
    case EventKind::kFolderDeleted:
      return AddLine("Delete folder: " + Path, Out);
    case EventKind::kWouldDeleteFolder:
      return AddLine("Would delete folder: " + Path, Out);
    default:
      return AddSetLine(E, Path, Printable(E.To, Wtf8_), Out);
  }
}

// The line of an item of --folders, and of what an interrupted removal
// left.
void TextRenderer::AddSetLine(const Event& E, const std::string& Path,
                              const std::string& To, std::string* Out) {
  const std::string Whole = "Folder " + Path + " stays whole: " + To;
  switch (E.Kind) {
    case EventKind::kSetDeleted:
      return AddLine("Delete folder: " + Path, Out);
    case EventKind::kWouldDeleteSet:
      return AddLine("Would delete folder: " + Path, Out);
    case EventKind::kSetMoved:
      return AddLine("Move folder: " + Path, Out);
    case EventKind::kWouldMoveSet:
      return AddLine("Would move folder: " + Path, Out);
    case EventKind::kSetHeld:
      return AddLine(Whole + " is held open.", Out);
    case EventKind::kSetProtected:
      return AddLine(Whole + " is protected.", Out);
    case EventKind::kSetStuck:
      return AddLine(
          Whole + (E.MoveMode ? " cannot be moved." : " cannot be removed."),
          Out);
    case EventKind::kLeftoverDeleted:
      return AddLine("Delete unfinished folder: " + Path, Out);
    case EventKind::kWouldDeleteLeftover:
      return AddLine("Would delete unfinished folder: " + Path, Out);
    default:
      return;
  }
}

}  // namespace olvane
