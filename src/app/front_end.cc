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
  Event Summary{EventKind::kSummary};
  Summary.Files = Counts.FileCount;
  Summary.Folders = Counts.FolderCount;
  Summary.MoveMode = Line.Settings.MoveMode;
  Summary.DryRun = Line.Settings.DryRun;
  Summary.CountFolders = Line.CountFolders;
  Out.Emit(Summary);
  const int Stop = Sys.StopStatus();
  return Stop != 0 ? Stop : kExitOk;
}

int RunCommand(Platform& Sys, const std::vector<std::string>& Args,
               int Workers) {
  const TextRenderer Text(Sys.NamesInWtf8());
  Report Out(Sys, Text);
  if (!Sys.Start()) {
    Out.Emit(Event{EventKind::kCannotStart});
    return kExitCannotStart;
  }
  const int Status =
      RunCommandLine(Sys, ReadCommandLine(Sys, Args), Workers, Out);
  if (!Sys.OutputLost()) return Status;
  // The purge went on, as it frees the space a full disk needs; the log
  // must not pass for the whole record.
  Out.Emit(Event{EventKind::kReportIncomplete});
  return Status == kExitOk ? kExitOutputLost : Status;
}

}  // namespace olvane
