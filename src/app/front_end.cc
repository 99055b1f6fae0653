#include "app/front_end.h"

#include <algorithm>

#include "app/options.h"
#include "app/rules_run.h"
#include "move/move.h"
#include "platform/path_syntax.h"
#include "purge/file_tests.h"
#include "purge/purge_folder.h"
#include "purge/workers.h"
#include "report/status_record.h"

namespace olvane {
namespace {

// The system root the opened target folder is, when Mask takes every file
// there; else "". The same question as the command line's guard, asked of
// the folder itself: a link repointed to the root since leads there.
std::string WholeRootOpened(Platform& Sys, Folder& Target,
                            const std::string& Path, const std::string& Mask) {
  const std::string Root = Path.substr(0, Sys.RootLength(Path));
  std::string Trimmed = Root;
  TrimSeparators(Sys.Separator(), &Trimmed);
  FileIdentity Opened, Top;
  if (Root.empty() || !Target.Identity(&Opened) ||
      !Sys.IdentityOf(Root, &Top) || !(Opened == Top)) {
    return std::string();
  }
  return Sys.WholeRoot(Trimmed, Mask);
}

// The walk over the target, in delete or in move mode. *Root: the whole
// root the opened target turned out to be, which was not walked.
RunCounts Walk(Platform& Sys, const CommandLine& Line, int Workers, Report& Out,
               std::string* Root) {
  RunSettings Settings = Line.Settings;
  if (Settings.Workers == 0) Settings.Workers = Workers;
  DeleteDisposal Delete(Settings.DryRun);
  MoveDisposal Move(Sys, Settings);
  Disposal& Chosen = Settings.MoveMode ? static_cast<Disposal&>(Move) : Delete;
  WalkContext Run{Sys, Settings, Chosen, Out};
  // For a person at the terminal; gone before the summary is written.
  std::unique_ptr<ProgressLine> Progress;
  if (!Line.NoProgress && Sys.ErrorIsTerminal()) {
    Progress = std::make_unique<ProgressLine>(
        Sys, Settings.DryRun ? (Settings.MoveMode ? "to move" : "to delete")
                             : (Settings.MoveMode ? "moved" : "deleted"));
    Run.Progress = Progress.get();
  }
  if (Settings.MoveMode) Run.KeepOut = Move.Prepare();
  if (Line.PreserveRoot) {
    Run.RefuseTarget = [&](Folder& Target, const std::string& Mask) {
      *Root = WholeRootOpened(Sys, Target, Line.Target, Mask);
      return !Root->empty();
    };
  }
  return PurgeFolder(Run, Line.Target, Line.Day);
}

// Whether a run that ends with Status, some of whose report or status file
// was lost, ends with status 3 instead: a stop by a signal, or a refusal of
// the command line, keeps its own.
bool LostWins(int Status, bool Rules) {
  return Status == kExitOk || Status == kExitGoalNotMet ||
         (Rules && Status == kExitUsage);
}

// Status, or 3 where the report has lost a line by now. A lost report wins
// over an unmet goal: the log cannot be trusted.
int StatusSoFar(Report& Out, int Status) {
  return LostWins(Status, false) && Out.Lost() ? kExitOutputLost : Status;
}

// The closing counts of a run that ends with Status, and what its report
// told of files left and paths not found.
Event SummaryOf(Platform& Sys, const CommandLine& Line, const RunCounts& Counts,
                int Status, Report& Out) {
  Event Summary{EventKind::kSummary, Line.Found ? Line.Target : ""};
  Out.AddTally(&Summary);
  Summary.Files = Counts.FileCount;
  Summary.Folders = Counts.FolderCount;
  Summary.MoveMode = Line.Settings.MoveMode;
  Summary.DryRun = Line.Settings.DryRun;
  Summary.CountFolders = Line.CountFolders;
  Summary.CountUndated = Line.Settings.NameDates.has_value();
  Summary.Undated = Counts.Undated;
  Summary.FolderItems = Line.Settings.Folders;
  Summary.BytesFreed = Counts.BytesFreed;
  Summary.Status = StatusSoFar(Out, Status);
  if (Line.Began >= 0) Summary.DurationMs = Sys.Monotonic() - Line.Began;
  return Summary;
}

// The log Line asks for, opened; false, with the line that says why on
// standard error, when it cannot be.
bool OpenLogOf(Platform& Sys, const CommandLine& Line,
               std::unique_ptr<LogFile>* Log) {
  if (Line.Log.empty() || Line.What != CommandLine::Action::kRun) return true;
  const LogOpened Opened =
      Sys.OpenLog(Line.Log, Line.LogMax, Line.LogKeep, Log);
  if (Opened == LogOpened::kOpened) return true;
  const TextRenderer Text(Sys.NamesInWtf8());
  Report(Sys, Text).Emit(Event{Opened == LogOpened::kLink
                                   ? EventKind::kLogIsLink
                                   : EventKind::kLogUnopenable,
                               Line.Log});
  return false;
}

// The run's own files, which its walk passes over wherever it meets them:
// the log with its old generations, and the status file.
std::vector<OwnFile> OwnFilesOf(Platform& Sys, const CommandLine& Line) {
  std::vector<OwnFile> Own;
  for (const std::string* Path : {&Line.Log, &Line.StatusFile}) {
    std::string Folder = *Path;
    const std::string Name = Path->empty() ? "" : SplitOffMask(Sys, &Folder);
    const std::unique_ptr<olvane::Folder> Opened =
        Name.empty() ? nullptr : Sys.OpenFolder(Folder);
    OwnFile File;
    if (!Opened || !Opened->Identity(&File.Folder)) continue;
    File.Key = Sys.NameKey(Name);
    File.Generations = Path == &Line.Log ? Line.LogKeep : 0;
    Own.push_back(std::move(File));
  }
  return Own;
}

// Replaces the status file of a run that began at Started (Began on the
// monotonic clock) and ends with Status.
bool WriteStatusFile(Platform& Sys, const CommandLine& Line, int64_t Started,
                     int64_t Began, int Status, StatusRecord& Record) {
  const int64_t Ended = Sys.Now();
  const RunTimes Times{Started, Sys.UtcOffset(Started), Ended,
                       Sys.UtcOffset(Ended), Sys.Monotonic() - Began};
  return Sys.ReplaceContent(Line.StatusFile,
                            Record.Render(Times, Status, Line.Settings.DryRun));
}

// Writes the summary; with --system-log also the run's entry, once the
// summary is out, so that the loss of the summary itself counts in it.
void Close(Platform& Sys, const CommandLine& Line, const RunCounts& Counts,
           int Status, Report& Out, bool Refused = false,
           bool OutOfTime = false) {
  Event Summary = SummaryOf(Sys, Line, Counts, Status, Out);
  Summary.Refused = Refused;
  if (OutOfTime) Summary.TimeLimit = Line.MaxTimeText;
  Out.Emit(Summary);
  if (!Line.SystemLog) return;
  Summary.Status = StatusSoFar(Out, Summary.Status);
  Out.WriteSystemLog(Summary);
}

}  // namespace

int RunCommandLine(Platform& Sys, const CommandLine& Line, int Workers,
                   Report& Out, RunCounts* Sum) {
  switch (Line.What) {
    case CommandLine::Action::kUsage:
      Out.Emit(Event{EventKind::kUsage});
      return kExitOk;
    case CommandLine::Action::kHelp:
      Out.Emit(Event{EventKind::kHelp, OptionsHelp()});
      return kExitOk;
    case CommandLine::Action::kVersion:
      Out.Emit(Event{EventKind::kVersion});
      return kExitOk;
    case CommandLine::Action::kRefuse:
      Out.Emit(Line.Refusal);
      return kExitUsage;
    case CommandLine::Action::kRun:
      break;
  }
  for (const std::string& Missing : Line.MissingMoveFolders) {
    Out.Emit(Event{EventKind::kMoveFolderNotFound, Missing});
  }
  RunCounts Counts = UnexaminedCounts(Line.Settings.Goal);
  if (Line.Found) {
    std::string Root;
    Counts = Walk(Sys, Line, Workers, Out, &Root);
    if (!Root.empty()) {
      Out.Emit(Event{EventKind::kWholeRoot, Root});
      Close(Sys, Line, Counts, kExitUsage, Out, true);
      return kExitUsage;
    }
  } else {
    Out.Emit(Event{EventKind::kPathNotFound});
  }
  // A goal that could not be measured is no goal met.
  const bool GoalNotMet = Counts.SizeOver != 0 || Counts.FreeShort != 0;
  if (GoalNotMet) {
    const Goals& Goal = Line.Settings.Goal;
    Event Missing{EventKind::kGoalNotMet, Goal.MaxSizeText, Goal.MinFreeText};
    Missing.SizeOver = Counts.SizeOver;
    Missing.FreeShort = Counts.FreeShort;
    Out.Emit(Missing);
  }
  // The status the run ends with, as far as it is known before the summary
  // is written: the summary's own loss cannot be told in it.
  // The time budget spent ends a run as an unmet goal does.
  const int Stop = Sys.StopStatus();
  const bool OutOfTime = Stop == Platform::kOutOfTime;
  const int Status = OutOfTime || (Stop == 0 && GoalNotMet) ? kExitGoalNotMet
                     : Stop != 0                            ? Stop
                                                            : kExitOk;
  Close(Sys, Line, Counts, Status, Out, false, OutOfTime);
  if (Sum) *Sum = Counts;
  return Status;
}

bool AsksSystemLog(const std::vector<std::string>& Args) {
  return std::find(Args.begin(), Args.end(), "--system-log") != Args.end();
}

void LogRefusal(Report& Out, Event Refusal, int Status) {
  Refusal.Status = Status;
  Out.WriteSystemLog(Refusal);
}

int RunCommand(Platform& Sys, const std::vector<std::string>& Args,
               int Workers) {
  const TextRenderer Text(Sys.NamesInWtf8());
  const JsonRenderer Json(Sys.NamesInWtf8());
  if (!Sys.Start()) {
    Report(Sys, Text).Emit(Event{EventKind::kCannotStart});
    return kExitCannotStart;
  }
  const int64_t Began = Sys.Monotonic(), Started = Sys.Now();
  CommandLine Line = ReadCommandLine(Sys, Args);
  const Renderer& Form = Line.Json ? static_cast<const Renderer&>(Json) : Text;
  std::unique_ptr<LogFile> Log;
  if (!OpenLogOf(Sys, Line, &Log)) return kExitOutputLost;
  Line.Settings.OwnFiles = OwnFilesOf(Sys, Line);
  StandardOutput Standard(Sys);
  std::unique_ptr<LogSink> ToLog(Log ? new LogSink(*Log) : nullptr);
  StatusRecord Record;
  Report Out(Sys, Form, ToLog ? static_cast<Sink&>(*ToLog) : Standard,
             Line.StatusFile.empty() ? nullptr : &Record);
  if (Log) {
    Line.Began = Began;
    Event Start{EventKind::kRunStart};
    Start.Time = Started;
    Start.Offset = Sys.UtcOffset(Started);
    Start.Args = Args;
    Out.Emit(Start);
  }
  if (Line.MaxTimeMs > 0) Sys.SetDeadline(Began + Line.MaxTimeMs);
  const bool Rules =
      !Line.Config.empty() && Line.What == CommandLine::Action::kRun;
  int Status = Rules ? RunRules(Sys, Line, Workers, Out)
                     : RunCommandLine(Sys, Line, Workers, Out);
  if (Line.What == CommandLine::Action::kRefuse && AsksSystemLog(Args))
    LogRefusal(Out, Line.Refusal, Status);
  if (Out.Lost()) {
    // The purge went on, as it frees the space a full disk needs; the log
    // must not pass for the whole record.
    Out.Emit(Event{EventKind::kReportIncomplete, Line.Log});
    if (LostWins(Status, Rules)) Status = kExitOutputLost;
  }
  if (!Line.StatusFile.empty() && Line.What == CommandLine::Action::kRun &&
      !WriteStatusFile(Sys, Line, Started, Began, Status, Record)) {
    Out.Emit(Event{EventKind::kStatusUnwritable, Line.StatusFile});
    if (LostWins(Status, Rules)) Status = kExitOutputLost;
  }
  if (Log) {
    Event End{EventKind::kRunEnd};
    End.DurationMs = Sys.Monotonic() - Began;
    End.Status = Status;
    Out.Emit(End);
  }
  return Status;
}

}  // namespace olvane
