#include "app/rules_run.h"

#include <algorithm>
#include <string>
#include <vector>

#include "app/front_end.h"
#include "app/rules_file.h"
#include "platform/path_syntax.h"
#include "purge/file_tests.h"
#include "purge/rule_scopes.h"

namespace olvane {
namespace {

// The tree each rule reaches, read from its arguments whether or not the
// rule runs: a rule refused for a fault still governs its own files, so
// that a typo in it never hands them to a broader rule. No folder where the
// rule has no full target.
std::vector<RuleScope> ScopesOf(Platform& Sys, const std::vector<Rule>& Rules) {
  std::vector<RuleScope> Scopes(Rules.size());
  for (size_t I = 0; I < Rules.size(); ++I) {
    const std::vector<std::string>& Args = Rules[I].Args;
    if (Args.empty() || Args.back().rfind("--", 0) == 0 ||
        !Sys.IsFullPath(Args.back())) {
      continue;
    }
    std::string Path = Sys.ResolvePath(Sys.CurrentDirectory(), Args.back());
    TrimSeparators(Sys.Separator(), &Path);
    Scopes[I].Mask = IsFileMask(Sys, Path) ? SplitOffMask(Sys, &Path) : "*";
    Scopes[I].Folder = Path;
    Scopes[I].Recurse =
        std::find(Args.begin(), Args.end(), "--recurse") != Args.end();
  }
  return Scopes;
}

// What rule I must leave to the others: the files of the rules whose target
// folder lies below its own, or is its own and comes first; and every
// other rule's target folder, which its -e must not remove.
void LeaveToOthers(Platform& Sys, const std::vector<RuleScope>& Scopes,
                   size_t I, RunSettings* Settings) {
  const RuleScope& Mine = Scopes[I];
  for (size_t J = 0; J < Scopes.size(); ++J) {
    const RuleScope& Other = Scopes[J];
    if (J == I || Other.Folder.empty()) continue;
    Settings->RuleFolders.push_back(Other.Folder);
    if (Mine.Folder.empty() || !IsSameOrBelow(Sys, Other.Folder, Mine.Folder))
      continue;
    const bool Same = Sys.NameKey(Other.Folder) == Sys.NameKey(Mine.Folder);
    if (!Same || J < I) Settings->Outranking.push_back(Other);
  }
}

// A rule's arguments as one command line, each with blanks quoted.
std::string CommandOf(const std::vector<std::string>& Args) {
  std::string Text = "olvane";
  for (const std::string& Arg : Args) {
    const bool Quote = Arg.find_first_of(" \t") != std::string::npos;
    Text += Quote ? " \"" + Arg + "\"" : " " + Arg;
  }
  return Text;
}

bool IsChosen(const CommandLine& Line, const Rule& Each) {
  return Line.RuleNames.empty() ||
         std::find(Line.RuleNames.begin(), Line.RuleNames.end(), Each.Name) !=
             Line.RuleNames.end();
}

// Each --rule that names no rule of the configuration; false if any.
bool FindsEveryName(const CommandLine& Line, const RulesFile& File,
                    Report& Out) {
  bool Found = true;
  for (const std::string& Name : Line.RuleNames) {
    const bool Known =
        std::any_of(File.Rules.begin(), File.Rules.end(),
                    [&](const Rule& Each) { return Each.Name == Name; });
    if (!Known) {
      Out.Emit(Event{EventKind::kConfigError,
                     Line.Config + ": no rule named " + Name});
      Found = false;
    }
  }
  return Found;
}

// A rule's run: its block of lines, its summary, its counts added to
// *Total. Answers its exit status, 2 where it is refused.
int RunRule(Platform& Sys, const CommandLine& Line, int Workers, Report& RunOut,
            const Rule& Each, RunSettings Leave, Event* Total) {
  Report Out(RunOut, RunOut.Form(), Each.Name);
  for (const std::string& Error : Each.Errors) {
    Out.Emit(Event{EventKind::kConfigError, Error});
  }
  std::vector<std::string> Args = Each.Args;
  Args.insert(Args.end(), Line.RunArgs.begin(), Line.RunArgs.end());
  const bool Log = AsksSystemLog(Args);
  if (!Each.Errors.empty()) {
    if (Log)
      LogRefusal(Out, Event{EventKind::kConfigError, Each.Errors[0]},
                 kExitUsage);
    return kExitUsage;
  }
  CommandLine Read = ReadCommandLine(Sys, Args);
  if (Read.What != CommandLine::Action::kRun) {
    Out.Emit(Read.Refusal);
    if (Log) LogRefusal(Out, Read.Refusal, kExitUsage);
    return kExitUsage;
  }
  // Report-only is the run's to say: a target such as "/srv/my-nginx"
  // must not turn a rule into a trial.
  Read.Settings.DryRun = Line.Settings.DryRun;
  Read.Settings.OwnFiles = Line.Settings.OwnFiles;
  Read.Settings.Outranking = std::move(Leave.Outranking);
  Read.Settings.RuleFolders = std::move(Leave.RuleFolders);
  Out.Emit(Event{EventKind::kRuleStart, Read.Target});
  RunCounts Counts;
  const int Status = RunCommandLine(Sys, Read, Workers, Out, &Counts);
  Total->Files += Counts.FileCount;
  Total->Folders += Counts.FolderCount;
  Total->BytesFreed += Counts.BytesFreed;
  Out.AddTally(Total);
  return Status;
}

// Each rule of File chosen to run from the Started-th on, which the time
// budget left out.
void ReportNotRun(const CommandLine& Line, const RulesFile& File,
                  size_t Started, Report& Out) {
  for (size_t I = Started; I < File.Rules.size(); ++I) {
    if (IsChosen(Line, File.Rules[I])) {
      Report(Out, Out.Form(), File.Rules[I].Name)
          .Emit(Event{EventKind::kRuleNotRun});
    }
  }
}

// Prints each chosen rule of File as the command line it means; false when
// one of them is refused.
bool CheckRules(const CommandLine& Line, const RulesFile& File, Report& Out) {
  bool Valid = true;
  for (const Rule& Each : File.Rules) {
    if (!IsChosen(Line, Each)) continue;
    Report RuleOut(Out, Out.Form(), Each.Name);
    for (const std::string& Error : Each.Errors)
      RuleOut.Emit(Event{EventKind::kConfigError, Error});
    if (Each.Errors.empty())
      RuleOut.Emit(Event{EventKind::kRuleCommand, CommandOf(Each.Args)});
    Valid &= Each.Errors.empty();
  }
  return Valid;
}

}  // namespace

int RunRules(Platform& Sys, const CommandLine& Line, int Workers, Report& Out) {
  const bool Log = Line.SystemLog && !Line.Check;
  // A configuration that cannot run at all: its line, and its entry.
  const auto Refuse = [&](const Event& Why, int Status) {
    Out.Emit(Why);
    if (Log) LogRefusal(Out, Why, Status);
    return Status;
  };
  if (Sys.LockConfiguration(Line.Config) == Platform::ConfigLock::kBusy)
    return Refuse(Event{EventKind::kConfigBusy, Line.Config}, kExitBusy);
  const RulesFile File = ReadRules(Sys, Line.Config);
  if (!File.Error.empty())
    return Refuse(Event{EventKind::kConfigError, File.Error}, kExitUsage);
  bool Refused = !FindsEveryName(Line, File, Out) || !File.Errors.empty();
  for (const std::string& Error : File.Errors) {
    Out.Emit(Event{EventKind::kConfigError, Error});
  }
  if (Line.Check) {
    return CheckRules(Line, File, Out) && !Refused ? kExitOk : kExitUsage;
  }
  const std::vector<RuleScope> Scopes = ScopesOf(Sys, File.Rules);
  Event Total{EventKind::kTotal, Line.Config};
  int Rules = 0, Stop = 0;
  bool GoalNotMet = false;
  size_t Started = 0;  // the rules reached
  for (size_t I = 0; I < File.Rules.size() && Stop == 0; Started = ++I) {
    if (!IsChosen(Line, File.Rules[I])) continue;
    RunSettings Leave;
    LeaveToOthers(Sys, Scopes, I, &Leave);
    const int Status = RunRule(Sys, Line, Workers, Out, File.Rules[I],
                               std::move(Leave), &Total);
    Rules += Status != kExitUsage;
    Refused |= Status == kExitUsage;
    GoalNotMet |= Status == kExitGoalNotMet;
    Stop = Sys.StopStatus();
  }
  // The time budget spent: the rules not started are told, and the run
  // ends as with a goal not met.
  const bool OutOfTime = Stop == Platform::kOutOfTime;
  if (OutOfTime) {
    ReportNotRun(Line, File, Started, Out);
    GoalNotMet = true;
    Stop = 0;
  }
  const int Status = Stop         ? Stop
                     : Refused    ? kExitUsage
                     : GoalNotMet ? kExitGoalNotMet
                                  : kExitOk;
  Total.Rules = Rules;
  Total.DryRun = Line.Settings.DryRun;
  Total.Status = Stop == 0 && Out.Lost() ? kExitOutputLost : Status;
  if (Line.Began >= 0) Total.DurationMs = Sys.Monotonic() - Line.Began;
  if (OutOfTime) Total.TimeLimit = Line.MaxTimeText;
  Out.Emit(Total);
  if (!Log) return Status;
  if (Stop == 0 && Out.Lost()) Total.Status = kExitOutputLost;
  Out.WriteSystemLog(Total);  // the total's own loss counted
  return Status;
}

}  // namespace olvane
