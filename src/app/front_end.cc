#include "app/front_end.h"

#include <string>

#include "app/options.h"
#include "app/usage.h"
#include "move/move.h"
#include "platform/path_syntax.h"
#include "purge/file_tests.h"
#include "purge/printable.h"
#include "purge/purge_folder.h"
#include "purge/run_settings.h"
#include "purge/workers.h"

namespace olvane {
namespace {

bool IsDigit(char C) { return C >= '0' && C <= '9'; }

bool IsSpace(char C) { return C == ' ' || (C >= '\t' && C <= '\r'); }

}  // namespace

bool ParseDays(const std::string& Text, int32_t* Day) {
  size_t I = 0;
  while (I < Text.size() && IsSpace(Text[I])) ++I;
  bool Negative = false;
  if (I < Text.size() && (Text[I] == '+' || Text[I] == '-')) {
    Negative = Text[I] == '-';
    ++I;
  }
  if (I == Text.size() || !IsDigit(Text[I])) return false;
  int64_t Value = 0;
  for (; I < Text.size() && IsDigit(Text[I]); ++I) {
    Value = Value * 10 + (Text[I] - '0');
    if (Value > int64_t{INT32_MAX} + 1) return false;
  }
  if (Negative) Value = -Value;
  if (Value > INT32_MAX || Value < INT32_MIN) return false;
  *Day = static_cast<int32_t>(Value);
  return true;
}

TargetScan ScanTarget(Platform& Sys, const std::vector<std::string>& Args) {
  TargetScan Target;
  Target.Path = Sys.CurrentDirectory();
  Target.Taken.assign(Args.size(), false);
  for (size_t I = 0; I < Args.size(); ++I) {
    const std::string& Arg = Args[I];
    if (IsValueOption(Arg) || ExactOptionOf(Arg, false) != ExactOption::kNone)
      continue;
    // Without a base a relative name resolves to nothing: joined to an empty
    // path it would name something under the root instead.
    std::string Resolved = Sys.ResolvePath(Target.Path, Arg);
    if (Sys.IsFullPath(Arg)) {
      Target.Path = std::move(Resolved);
      Target.Found = Target.Taken[I] = true;
      continue;
    }
    TrimSeparators(Sys.Separator(), &Target.Path);
    if (Resolved.empty()) continue;
    if (Arg.find_first_of("*?") != std::string::npos ||
        Sys.Find(Resolved) != PathKind::kNothing) {
      Target.Path = std::move(Resolved);
      Target.Found = Target.Taken[I] = true;
    }
  }
  return Target;
}

namespace {

// The move scan: every move argument sets MoveMode, and the last one gives
// MovePath (the argument less its first three characters). Each move folder
// that is not an existing folder is reported, with the usage screen.
void ScanMoveOption(Platform& Sys, const std::vector<std::string>& Args,
                    RunSettings& Settings) {
  for (const std::string& Arg : Args) {
    Option Which;
    if (!IsValueOption(Arg, &Which) || Which != Option::kMove) continue;
    Settings.MoveMode = true;
    Settings.MovePath =
        Sys.ResolvePath(Sys.CurrentDirectory(), OptionValue(Arg));
    Settings.MovePathValid = IsFolder(Sys, Settings.MovePath);
    if (!Settings.MovePathValid) {
      Sys.Print("   Path don't find (-m:move_path)");
      Sys.Print("");
      PrintUsage(Sys);
    }
  }
}

// The protect masks and the time kind, each refused with a line before
// anything is walked. False after such a line.
bool ScanValues(Platform& Sys, const std::vector<std::string>& Args,
                RunSettings& Settings) {
  const std::string Kinds = "cma";  // in the order of TimeKind
  for (const std::string& Arg : Args) {
    Option Which;
    if (!IsValueOption(Arg, &Which)) continue;
    const std::string Value = OptionValue(Arg);
    if (Which == Option::kAge) {
      const size_t Kind =
          Value.size() == 1 ? Kinds.find(Value[0]) : std::string::npos;
      if (Kind == std::string::npos) {
        Sys.Print("   Invalid time kind (-t:c, -t:m or -t:a): " +
                  Printable(Arg));
        return false;
      }
      Settings.Age = static_cast<TimeKind>(Kind);
    } else if (Which == Option::kProtect) {
      // A mask is matched against names alone, never against a path.
      bool Separator = false;
      for (char C : Value) Separator |= Sys.IsSeparator(C);
      if (Value.empty() || Separator) {
        Sys.Print("   Invalid protect mask (a name, without a separator): " +
                  Printable(Arg));
        return false;
      }
      Settings.ProtectMasks.push_back(Value);
    }
  }
  return true;
}

// The system root a target takes every file of, or "".
std::string WholeRootOf(Platform& Sys, std::string Path) {
  TrimSeparators(Sys.Separator(), &Path);
  std::string Mask;
  if (Path.find_first_of("*?", Sys.RootLength(Path)) != std::string::npos) {
    Mask = SplitOffMask(Sys, &Path);
  }
  return Sys.WholeRoot(Path, Mask);
}

std::string Summary(int32_t Count, const char* Things, bool DryRun,
                    const char* Done) {
  return "     " + std::to_string(Count) + Things +
         (DryRun ? " would be " : " ") + Done + ".";
}

int RunArguments(Platform& Sys, const std::vector<std::string>& Args,
                 int Workers) {
  if (!Sys.Start()) {
    Sys.PrintError("Fatal Error: MFC initialization failed");
    return kExitCannotStart;
  }
  if (Args.empty()) {
    PrintUsage(Sys);
    return kExitOk;
  }
  RunSettings Settings;
  Settings.Workers = Workers;
  int32_t Day = kDefaultDay;

  // "/?" asks for help where it can be no path, before anything is read.
  for (const std::string& Arg : Args) {
    if (Sys.SlashHelp() && Arg == "/?") {
      PrintHelp(Sys);
      return kExitOk;
    }
  }

  // The target scan prints nothing, so it runs first: a path that became
  // part of the target, or a move folder, is never read as an option too
  // ("/srv/Old-Data" must not set the term to 0).
  const TargetScan Target = ScanTarget(Sys, Args);
  // Value and exact options are never scanned for short ones either:
  // "--no-preserve-root" holds "-n" and "-r".
  std::vector<bool> NotOptions = Target.Taken;
  bool NoPreserveRoot = false;
  for (size_t I = 0; I < Args.size(); ++I) {
    if (NotOptions[I]) continue;
    NotOptions[I] = IsValueOption(Args[I]);
    switch (ExactOptionOf(Args[I], Sys.SlashHelp())) {
      case ExactOption::kNone:
        continue;
      case ExactOption::kHelp:
        PrintHelp(Sys);
        return kExitOk;
      case ExactOption::kVersion:
        Sys.Print(std::string("olvane ") + OLVANE_VERSION);
        return kExitOk;
      case ExactOption::kCrossMounts:
        Settings.CrossMounts = true;
        break;
      case ExactOption::kNoPreserveRoot:
        NoPreserveRoot = true;
        break;
      case ExactOption::kWorkers:
        if (!ParseWorkers(Args[I], kMaxWorkers, &Settings.Workers)) {
          Sys.Print("   Invalid number of workers (--workers=1 to 128): " +
                    Printable(Args[I]));
          return kExitUsage;
        }
        break;
    }
    NotOptions[I] = true;
  }
  auto Has = [&](size_t I, Option Which) {
    return !NotOptions[I] && HasOption(Args[I], Which);
  };

  for (size_t I = 0; I < Args.size(); ++I) {
    if (!Has(I, Option::kDays)) continue;
    const std::string& Arg = Args[I];
    // The number is read from the third character, wherever the option
    // text stood; a missing number must not mean "0 days: delete all".
    if (!ParseDays(Arg.size() > 2 ? Arg.substr(2) : "", &Day)) {
      Sys.Print("   Invalid number of days: " + Printable(Arg));
      Sys.Print("");
      PrintUsage(Sys);
      return kExitUsage;
    }
  }

  if (!ScanValues(Sys, Args, Settings)) return kExitUsage;
  // A whole root is one empty variable away ("$LOGDIR/" with -r): refused
  // before anything is walked or checked.
  if (Target.Found && !NoPreserveRoot) {
    const std::string Root = WholeRootOf(Sys, Target.Path);
    if (!Root.empty()) {
      Sys.Print("   Will not purge the whole root " + Printable(Root) +
                ": give a narrower target, or add --no-preserve-root");
      return kExitUsage;
    }
  }

  ScanMoveOption(Sys, Args, Settings);
  for (size_t I = 0; I < Args.size(); ++I) {
    Settings.Overwrite |= Has(I, Option::kOverwrite);
    Settings.Recurse |= Has(I, Option::kRecurse);
    // Report-only wins wherever its text stands, in a path or a value
    // argument too (the exact options aside): the safe reading, since an entry
    // named "-n" could otherwise turn a trial run into a real one.
    Settings.DryRun |=
        ExactOptionOf(Args[I], Sys.SlashHelp()) == ExactOption::kNone &&
        HasOption(Args[I], Option::kDryRun);
    Settings.EmptyFolders |= Has(I, Option::kEmptyFolders);
  }

  // A run whose move folder failed its check changes nothing, and so
  // removes no emptied folder either.
  const bool FolderCount = Settings.EmptyFolders;
  if (Settings.MoveMode && !Settings.MovePathValid) {
    Settings.EmptyFolders = false;
  }
  RunCounts Counts;
  if (Target.Found) {
    DeleteDisposal Delete(Settings.DryRun);
    MoveDisposal Move(Sys, Settings);
    Disposal& Chosen =
        Settings.MoveMode ? static_cast<Disposal&>(Move) : Delete;
    WalkContext Run{Sys, Settings, Chosen};
    if (Settings.MoveMode) Run.KeepOut = Move.Prepare();
    Counts = PurgeFolder(Run, Target.Path, Day);
  } else {
    Sys.Print("   Path don't find");
    Sys.Print("");
    PrintUsage(Sys);
  }
  Sys.Print(Summary(Counts.FileCount, " file(s)", Settings.DryRun,
                    Settings.MoveMode ? "moved" : "deleted"));
  if (FolderCount) {
    Sys.Print(
        Summary(Counts.FolderCount, " folder(s)", Settings.DryRun, "deleted"));
  }
  const int Stop = Sys.StopStatus();
  return Stop != 0 ? Stop : kExitOk;
}

}  // namespace

int RunCommand(Platform& Sys, const std::vector<std::string>& Args,
               int Workers) {
  const int Status = RunArguments(Sys, Args, Workers);
  if (!Sys.OutputLost()) return Status;
  // The purge went on, as it frees the space a full disk needs; the log
  // must not pass for the whole record.
  Sys.PrintError(
      "olvane: report incomplete: standard output could not be "
      "written");
  return Status == kExitOk ? kExitOutputLost : Status;
}

}  // namespace olvane
