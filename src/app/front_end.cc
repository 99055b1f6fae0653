#include "app/front_end.h"

#include "move/move.h"
#include "purge/purge_folder.h"
#include "purge/workers.h"

namespace olvane {
namespace {

// The walk over the target, in delete or in move mode.
RunCounts Walk(Platform& Sys, const CommandLine& Line, int Workers,
               Report& Out) {
  RunSettings Settings = Line.Settings;
  if (Settings.Workers == 0) Settings.Workers = Workers;
  DeleteDisposal Delete(Settings.DryRun);
  MoveDisposal Move(Sys, Settings);
  Disposal& Chosen = Settings.MoveMode ? static_cast<Disposal&>(Move) : Delete;
  WalkContext Run{Sys, Settings, Chosen, Out};
  if (Settings.MoveMode) Run.KeepOut = Move.Prepare();
  return PurgeFolder(Run, Line.Target, Line.Day);
}

}  // namespace

int RunCommandLine(Platform& Sys, const CommandLine& Line, int Workers,
                   Report& Out) {
  switch (Line.What) {
    case CommandLine::Action::kUsage:
      Out.Emit(Event{EventKind::kUsage});
      return kExitOk;
    case CommandLine::Action::kHelp:
      Out.Emit(Event{EventKind::kHelp});
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
  RunCounts Counts;
  if (Line.Found) {
    Counts = Walk(Sys, Line, Workers, Out);
  } else {
    Out.Emit(Event{EventKind::kPathNotFound});
  }
  const bool GoalNotMet = Counts.SizeOver > 0 || Counts.FreeShort > 0;
  if (GoalNotMet) {
    const Goals& Goal = Line.Settings.Goal;
    Event Missing{EventKind::kGoalNotMet, Goal.MaxSizeText, Goal.MinFreeText};
    Missing.SizeOver = Counts.SizeOver;
    Missing.FreeShort = Counts.FreeShort;
    Out.Emit(Missing);
  }
  Event Summary{EventKind::kSummary};
  Summary.Files = Counts.FileCount;
  Summary.Folders = Counts.FolderCount;
  Summary.MoveMode = Line.Settings.MoveMode;
  Summary.DryRun = Line.Settings.DryRun;
  Summary.CountFolders = Line.CountFolders;
  Summary.BytesFreed = Counts.BytesFreed;
  // The status the run ends with, as far as it is known before the summary
  // is written: the summary's own loss cannot be told in it.
  const int Stop = Sys.StopStatus();
  const int Status = Stop != 0 ? Stop : GoalNotMet ? kExitGoalNotMet : kExitOk;
  // A lost report wins over an unmet goal: the log cannot be trusted.
  Summary.Status =
      (Status == kExitOk || Status == kExitGoalNotMet) && Sys.OutputLost()
          ? kExitOutputLost
          : Status;
  Out.Emit(Summary);
  return Status;
}

int RunCommand(Platform& Sys, const std::vector<std::string>& Args,
               int Workers) {
  const TextRenderer Text(Sys.NamesInWtf8());
  const JsonRenderer Json(Sys.NamesInWtf8());
  if (!Sys.Start()) {
    Report(Sys, Text).Emit(Event{EventKind::kCannotStart});
    return kExitCannotStart;
  }
  const CommandLine Line = ReadCommandLine(Sys, Args);
  Report Out(Sys, Line.Json ? static_cast<const Renderer&>(Json) : Text);
  const int Status = RunCommandLine(Sys, Line, Workers, Out);
  if (!Sys.OutputLost()) return Status;
  // The purge went on, as it frees the space a full disk needs; the log
  // must not pass for the whole record.
  Out.Emit(Event{EventKind::kReportIncomplete});
  return Status == kExitOk || Status == kExitGoalNotMet ? kExitOutputLost
                                                        : Status;
}

}  // namespace olvane
