#include "app/front_end.h"

#include "app/options.h"
#include "app/rules_run.h"
#include "move/move.h"
#include "platform/path_syntax.h"
#include "purge/purge_folder.h"
#include "purge/workers.h"

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
  if (Settings.MoveMode) Run.KeepOut = Move.Prepare();
  if (Line.PreserveRoot) {
    Run.RefuseTarget = [&](Folder& Target, const std::string& Mask) {
      *Root = WholeRootOpened(Sys, Target, Line.Target, Mask);
      return !Root->empty();
    };
  }
  return PurgeFolder(Run, Line.Target, Line.Day);
}

// The closing counts of a run that ends with Status.
Event SummaryOf(Platform& Sys, const CommandLine& Line, const RunCounts& Counts,
                int Status) {
  Event Summary{EventKind::kSummary};
  Summary.Files = Counts.FileCount;
  Summary.Folders = Counts.FolderCount;
  Summary.MoveMode = Line.Settings.MoveMode;
  Summary.DryRun = Line.Settings.DryRun;
  Summary.CountFolders = Line.CountFolders;
  Summary.FolderItems = Line.Settings.Folders;
  Summary.BytesFreed = Counts.BytesFreed;
  // A lost report wins over an unmet goal: the log cannot be trusted.
  Summary.Status =
      (Status == kExitOk || Status == kExitGoalNotMet) && Sys.OutputLost()
          ? kExitOutputLost
          : Status;
  return Summary;
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
      Event Summary = SummaryOf(Sys, Line, Counts, kExitUsage);
      Summary.Refused = true;
      Out.Emit(Summary);
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
  const int Stop = Sys.StopStatus();
  const int Status = Stop != 0 ? Stop : GoalNotMet ? kExitGoalNotMet : kExitOk;
  Out.Emit(SummaryOf(Sys, Line, Counts, Status));
  if (Sum) *Sum = Counts;
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
  const Renderer& Form = Line.Json ? static_cast<const Renderer&>(Json) : Text;
  Report Out(Sys, Form);
  const bool Rules =
      !Line.Config.empty() && Line.What == CommandLine::Action::kRun;
  const int Status = Rules ? RunRules(Sys, Line, Workers, Form)
                           : RunCommandLine(Sys, Line, Workers, Out);
  if (!Sys.OutputLost()) return Status;
  // The purge went on, as it frees the space a full disk needs; the log
  // must not pass for the whole record.
  Out.Emit(Event{EventKind::kReportIncomplete});
  const bool Lost = Status == kExitOk || Status == kExitGoalNotMet ||
                    (Rules && Status == kExitUsage);
  return Lost ? kExitOutputLost : Status;
}

}  // namespace olvane
