#include "app/command_line.h"

#include <optional>

#include "app/choice_options.h"
#include "app/options.h"
#include "app/unattended_options.h"
#include "platform/path_syntax.h"
#include "purge/file_tests.h"
#include "purge/workers.h"

namespace olvane {
namespace {

bool IsDigit(char C) { return C >= '0' && C <= '9'; }

bool IsSpace(char C) { return C == ' ' || (C >= '\t' && C <= '\r'); }

// Trailing separators go, but never a root's own: "/" stays "/", and every
// relative name after it resolves under it.
void TrimToRoot(Platform& Sys, std::string* Path) {
  const size_t Root = Sys.RootLength(*Path);
  while (Path->size() > Root && Sys.IsSeparator(Path->back())) {
    Path->pop_back();
  }
}

// Whether the resolved Path names an entry. A directory search finds no
// root and no "." or "..", which name a folder itself: those are asked of
// the folder.
bool NamesEntry(Platform& Sys, const std::string& Path) {
  if (Sys.Find(Path) != PathKind::kNothing) return true;
  size_t Last = Path.size();
  while (Last > 0 && !Sys.IsSeparator(Path[Last - 1])) --Last;
  const std::string Name = Path.substr(Last);
  const bool Itself =
      Sys.RootLength(Path) == Path.size() || Name == "." || Name == "..";
  return Itself && IsFolder(Sys, Path);
}

// The setting a long option that is a flag turns on; null for another.
bool* FlagOf(ExactOption Which, CommandLine* Line) {
  RunSettings& Set = Line->Settings;
  switch (Which) {
    case ExactOption::kCrossMounts:
      return &Set.CrossMounts;
    case ExactOption::kRecurse:
      return &Set.Recurse;
    case ExactOption::kReplace:
      return &Set.Overwrite;
    case ExactOption::kDryRun:
      return &Set.DryRun;
    case ExactOption::kRemoveEmpty:
      return &Set.EmptyFolders;
    case ExactOption::kJson:
      return &Line->Json;
    case ExactOption::kNoProgress:
      return &Line->NoProgress;
    case ExactOption::kSystemLog:
      return &Line->SystemLog;
    case ExactOption::kFolders:
      return &Set.Folders;
    default:
      return nullptr;
  }
}

// A workers argument; false, with the refusal in *Line, for a bad number
// or one that differs from an earlier one (Workers is 0 until set).
bool ReadWorkers(const std::string& Arg, CommandLine* Line) {
  const int Before = Line->Settings.Workers;
  if (!ParseWorkers(Arg, kMaxWorkers, &Line->Settings.Workers)) {
    *Line = Refused(EventKind::kInvalidWorkers, Arg);
    return false;
  }
  if (Before != 0 && Before != Line->Settings.Workers) {
    *Line = Refused(EventKind::kConflictingGoal, Arg);
    return false;
  }
  return true;
}

// One exact long option Which, the argument Arg. False when it decides the
// run alone (help, version, a refusal). The days, the values and the rules
// file's own are read in scans of their own.
bool ReadExactOption(Platform& Sys, ExactOption Which, const std::string& Arg,
                     CommandLine* Line, bool* NoPreserveRoot) {
  if (bool* Flag = FlagOf(Which, Line)) {
    *Flag = true;
    return true;
  }
  if (IsUnattended(Which)) return ReadUnattended(Sys, Which, Arg, Line);
  if (IsChoiceOption(Which)) return ReadChoiceOption(Which, Arg, Line);
  switch (Which) {
    case ExactOption::kHelp:
      Line->What = CommandLine::Action::kHelp;
      return false;
    case ExactOption::kVersion:
      Line->What = CommandLine::Action::kVersion;
      return false;
    case ExactOption::kNoPreserveRoot:
      *NoPreserveRoot = true;
      return true;
    case ExactOption::kWorkers:
      return ReadWorkers(Arg, Line);
    default:
      return true;
  }
}

// The exact long options, each a whole argument. Marks them in NotOptions;
// false when one of them decides the run alone (help, version, a refusal).
bool ReadExactOptions(Platform& Sys, const std::vector<std::string>& Args,
                      std::vector<bool>* NotOptions, CommandLine* Line,
                      bool* NoPreserveRoot) {
  for (size_t I = 0; I < Args.size(); ++I) {
    if ((*NotOptions)[I]) continue;
    (*NotOptions)[I] = IsValueOption(Args[I]);
    const ExactOption Which = ExactOptionOf(Args[I], Sys.SlashHelp());
    if (Which == ExactOption::kNone) continue;
    if (!ReadExactOption(Sys, Which, Args[I], Line, NoPreserveRoot))
      return false;
    (*NotOptions)[I] = true;
  }
  return true;
}

// Whether Arg is a value option in its short form ("-x:MASK") or its long
// one ("--protect=MASK"): which, and its value, a long time kind as its
// letter.
bool IsValueArgument(Platform& Sys, const std::string& Arg, Option* Which,
                     std::string* Value) {
  switch (ExactOptionOf(Arg, Sys.SlashHelp())) {
    case ExactOption::kNone:
      if (!IsValueOption(Arg, Which)) return false;
      *Value = OptionValue(Arg);
      return true;
    case ExactOption::kMoveTo:
      *Which = Option::kMove;
      break;
    case ExactOption::kProtect:
      *Which = Option::kProtect;
      break;
    case ExactOption::kAgeBy:
      *Which = Option::kAge;
      break;
    default:
      return false;
  }
  *Value = LongOptionValue(Arg);
  if (*Which == Option::kAge) {
    for (const char* Word : {"creation", "modification", "access"}) {
      if (*Value == Word) Value->resize(1);
    }
  }
  return true;
}

// The protect masks and the time kind. False, with the refusal in *Line,
// for a value that cannot be used.
bool ReadValues(Platform& Sys, const std::vector<std::string>& Args,
                CommandLine* Line) {
  const std::string Kinds = "cma";  // in the order of TimeKind
  for (const std::string& Arg : Args) {
    Option Which;
    std::string Value;
    if (!IsValueArgument(Sys, Arg, &Which, &Value)) continue;
    if (Which == Option::kAge) {
      const size_t Kind =
          Value.size() == 1 ? Kinds.find(Value[0]) : std::string::npos;
      if (Kind == std::string::npos) {
        *Line = Refused(EventKind::kInvalidTimeKind, Arg);
        return false;
      }
      Line->Settings.Age = static_cast<TimeKind>(Kind);
    } else if (Which == Option::kProtect) {
      // A mask is matched against names alone, never against a path.
      bool Separator = false;
      for (char C : Value) Separator |= Sys.IsSeparator(C);
      if (Value.empty() || Separator) {
        *Line = Refused(EventKind::kInvalidProtectMask, Arg);
        return false;
      }
      Line->Settings.ProtectMasks.push_back(Value);
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

// Every move argument sets move mode, and the last one gives the move
// folder; each one that is no folder is reported before the walk.
void ReadMoveOption(Platform& Sys, const std::vector<std::string>& Args,
                    CommandLine* Line) {
  RunSettings& Settings = Line->Settings;
  for (const std::string& Arg : Args) {
    Option Which;
    std::string Value;
    if (!IsValueArgument(Sys, Arg, &Which, &Value) || Which != Option::kMove)
      continue;
    Settings.MoveMode = true;
    Settings.MovePath = Sys.ResolvePath(Sys.CurrentDirectory(), Value);
    Settings.MovePathValid = IsFolder(Sys, Settings.MovePath);
    if (!Settings.MovePathValid) {
      Line->MissingMoveFolders.push_back(Settings.MovePath);
    }
  }
}

// The flags, each read only out of arguments that are options.
void ReadFlags(Platform& Sys, const std::vector<std::string>& Args,
               const std::vector<bool>& NotOptions, RunSettings* Settings) {
  for (size_t I = 0; I < Args.size(); ++I) {
    const std::string& Arg = Args[I];
    auto Has = [&](Option Which) {
      return !NotOptions[I] && HasOption(Arg, Which);
    };
    Settings->Overwrite |= Has(Option::kOverwrite);
    Settings->Recurse |= Has(Option::kRecurse);
    Settings->EmptyFolders |= Has(Option::kEmptyFolders);
    // Report-only wins wherever its text stands, in a path or a value
    // argument too (the exact options aside): the safe reading, since an
    // entry named "-n" could otherwise turn a trial run into a real one.
    Settings->DryRun |=
        ExactOptionOf(Arg, Sys.SlashHelp()) == ExactOption::kNone &&
        HasOption(Arg, Option::kDryRun);
  }
}

// A command line with --config: nothing but the options that go with a
// rules file, each an exact argument.
CommandLine ReadConfigLine(Platform& Sys,
                           const std::vector<std::string>& Args) {
  CommandLine Line;
  for (const std::string& Arg : Args) {
    const ExactOption Which = ExactOptionOf(Arg, Sys.SlashHelp());
    if (IsUnattended(Which)) {
      if (!ReadUnattended(Sys, Which, Arg, &Line)) return Line;
      continue;
    }
    switch (Which) {
      case ExactOption::kConfig:
        if (!Line.Config.empty() && Line.Config != LongOptionValue(Arg)) {
          return Refused(EventKind::kConflictingGoal, Arg);
        }
        Line.Config = LongOptionValue(Arg);
        if (Line.Config.empty()) return Refused(EventKind::kNotWithConfig, Arg);
        break;
      case ExactOption::kCheck:
        Line.Check = true;
        break;
      case ExactOption::kRule:
        Line.RuleNames.push_back(LongOptionValue(Arg));
        break;
      case ExactOption::kJson:
        Line.Json = true;
        break;
      case ExactOption::kSystemLog:  // every rule's entry, and the total's
        Line.SystemLog = true;
        Line.RunArgs.push_back(Arg);
        break;
      case ExactOption::kDryRun:
      case ExactOption::kWorkers:
      case ExactOption::kNoProgress:
        Line.RunArgs.push_back(Arg);
        break;
      default:
        if (Arg != "-n" && Arg != "-N") {
          return Refused(EventKind::kNotWithConfig, Arg);
        }
        Line.RunArgs.push_back(Arg);
    }
  }
  // The run-wide values are refused as the command line refuses them.
  const CommandLine Run = ReadCommandLine(Sys, Line.RunArgs);
  if (Run.What == CommandLine::Action::kRefuse) return Run;
  Line.Settings = Run.Settings;
  return Line;
}

// What is decided before the target is read: "/?" as help where it can be
// no path, a misspelt option refused, a rules file's command line, and its
// options refused without one. Nothing otherwise.
std::optional<CommandLine> ReadFirst(Platform& Sys,
                                     const std::vector<std::string>& Args) {
  CommandLine Line;
  for (const std::string& Arg : Args) {
    if (Sys.SlashHelp() && Arg == "/?") {
      Line.What = CommandLine::Action::kHelp;
      return Line;
    }
  }
  bool Config = false, Help = false;
  for (const std::string& Arg : Args) {
    if (IsUnknownOption(Arg, Sys.SlashHelp())) {
      return Refused(EventKind::kUnknownOption, Arg);
    }
    const ExactOption Which = ExactOptionOf(Arg, Sys.SlashHelp());
    Help |= Which == ExactOption::kHelp || Which == ExactOption::kVersion;
    Config |= Which == ExactOption::kConfig;
  }
  if (Help) return std::nullopt;
  if (Config) return ReadConfigLine(Sys, Args);
  for (const std::string& Arg : Args) {
    const ExactOption Which = ExactOptionOf(Arg, Sys.SlashHelp());
    if (Which == ExactOption::kCheck || Which == ExactOption::kRule)
      return Refused(EventKind::kNotWithConfig, Arg);  // without --config
  }
  return std::nullopt;
}

// The days scan, short and long forms in argument order, the last counting.
// False, with the refusal in *Line, for a term that is no whole number.
bool ReadDays(Platform& Sys, const std::vector<std::string>& Args,
              const std::vector<bool>& NotOptions, CommandLine* Line) {
  for (size_t I = 0; I < Args.size(); ++I) {
    // The number is read from the third character, wherever the option
    // text stood; a missing number must not mean "0 days: delete all".
    const std::string& Arg = Args[I];
    std::string Number;
    if (ExactOptionOf(Arg, Sys.SlashHelp()) == ExactOption::kDays) {
      Number = LongOptionValue(Arg);
    } else if (NotOptions[I] || !HasOption(Arg, Option::kDays)) {
      continue;
    } else if (Arg.size() > 2) {
      Number = Arg.substr(2);
    }
    if (!ParseDays(Number, &Line->Day)) {
      *Line = Refused(EventKind::kInvalidDays, Arg);
      return false;
    }
  }
  return true;
}

}  // namespace

CommandLine Refused(EventKind Why, const std::string& Arg) {
  CommandLine Line;
  Line.What = CommandLine::Action::kRefuse;
  Line.Refusal = Event{Why, Arg};
  return Line;
}

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
  // "-d0.5" is no half day, and "-d5x" no 5: a term is all digits.
  if (I != Text.size()) return false;
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
    TrimToRoot(Sys, &Target.Path);
    TrimToRoot(Sys, &Resolved);
    // A relative argument made only of separators names no target.
    if (Resolved.empty() ||
        Arg.find_first_not_of(Sys.Separator() == '/' ? "/" : "\\/") ==
            std::string::npos) {
      continue;
    }
    if (Arg.find_first_of("*?") != std::string::npos ||
        NamesEntry(Sys, Resolved)) {
      Target.Path = std::move(Resolved);
      Target.Found = Target.Taken[I] = true;
    }
  }
  return Target;
}

CommandLine ReadCommandLine(Platform& Sys,
                            const std::vector<std::string>& Args) {
  CommandLine Line;
  Line.Settings.Workers = 0;  // unless --workers: what suits the target
  if (Args.empty()) {
    Line.What = CommandLine::Action::kUsage;
    return Line;
  }
  if (std::optional<CommandLine> Decided = ReadFirst(Sys, Args)) {
    return *Decided;
  }
  // A path that became part of the target, a value option and an exact
  // option are never read for short options: "/srv/Old-Data" must not set
  // the term to 0, nor "--no-preserve-root" turn on -r.
  TargetScan Target = ScanTarget(Sys, Args);
  std::vector<bool> NotOptions = Target.Taken;
  bool NoPreserveRoot = false;
  if (!ReadExactOptions(Sys, Args, &NotOptions, &Line, &NoPreserveRoot)) {
    return Line;
  }
  if (!ReadDays(Sys, Args, NotOptions, &Line)) return Line;
  if (!ReadValues(Sys, Args, &Line)) return Line;
  // A whole root is one empty variable away ("$LOGDIR/" with -r): refused
  // before anything is walked or checked.
  if (Target.Found && !NoPreserveRoot) {
    const std::string Root = WholeRootOf(Sys, Target.Path);
    if (!Root.empty()) return Refused(EventKind::kWholeRoot, Root);
  }
  Line.PreserveRoot = !NoPreserveRoot;
  Line.Target = std::move(Target.Path);
  Line.Found = Target.Found;
  ReadMoveOption(Sys, Args, &Line);
  ReadFlags(Sys, Args, NotOptions, &Line.Settings);
  // A run whose move folder failed its check changes nothing, and so
  // removes no emptied folder either; the count is printed all the same.
  Line.CountFolders = Line.Settings.EmptyFolders || Line.Settings.Folders;
  if (Line.Settings.MoveMode && !Line.Settings.MovePathValid) {
    Line.Settings.EmptyFolders = false;
  }
  return Line;
}

}  // namespace olvane
