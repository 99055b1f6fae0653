#include "app/front_end.h"

#include <string>

#include "app/options.h"
#include "app/usage.h"
#include "move/move.h"
#include "platform/path_syntax.h"
#include "purge/purge_folder.h"
#include "purge/run_settings.h"

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
  // Without a current directory a relative name has no base; joined to an
  // empty path it would name something under the root instead.
  bool HaveBase = !Target.Path.empty();
  for (size_t I = 0; I < Args.size(); ++I) {
    const std::string& Arg = Args[I];
    if (IsMoveArgument(Arg)) continue;
    if (Sys.IsFullPath(Arg)) {
      Target.Path = Arg;
      Target.Found = Target.Taken[I] = HaveBase = true;
      continue;
    }
    TrimSeparators(Sys.Separator(), &Target.Path);
    if (!HaveBase) continue;
    std::string Joined = Target.Path + Sys.Separator() + Arg;
    if (Arg.find_first_of("*?") != std::string::npos ||
        Sys.Find(Joined) != PathKind::kNothing) {
      Target.Path = std::move(Joined);
      Target.Found = Target.Taken[I] = true;
    }
  }
  return Target;
}

int RunCommand(Platform& Sys, const std::vector<std::string>& Args) {
  if (!Sys.Start()) {
    Sys.PrintError("Fatal Error: MFC initialization failed");
    return kExitCannotStart;
  }
  if (Args.empty()) {
    PrintUsage(Sys);
    return kExitOk;
  }
  RunSettings Settings;
  RunContext Run{Sys, Settings};
  int32_t Day = kDefaultDay;

  // The target scan prints nothing, so it runs first: a path that became
  // part of the target, or a move folder, is never read as an option too
  // ("/srv/Old-Data" must not set the term to 0).
  const TargetScan Target = ScanTarget(Sys, Args);
  std::vector<bool> NotOptions = Target.Taken;
  for (size_t I = 0; I < Args.size(); ++I) {
    if (IsMoveArgument(Args[I])) NotOptions[I] = true;
  }

  for (size_t I = 0; I < Args.size(); ++I) {
    const std::string& Arg = Args[I];
    if (NotOptions[I] || !HasOption(Arg, "-d", "-D")) {
      continue;
    }
    // The number is read from the third character, wherever the option
    // text stood; a missing number must not mean "0 days: delete all".
    if (!ParseDays(Arg.size() > 2 ? Arg.substr(2) : "", &Day)) {
      Sys.Print("   Invalid number of days: " + Arg);
      Sys.Print("");
      PrintUsage(Sys);
      return kExitBadDays;
    }
  }

  ScanMoveOption(Run, Args);
  ScanOverwriteOption(Settings, Args, NotOptions);

  for (size_t I = 0; I < Args.size(); ++I) {
    if (!NotOptions[I] && HasOption(Args[I], "-r", "-R")) {
      Settings.Recurse = true;
    }
  }

  if (Target.Found) {
    PurgeFolder(Run, Target.Path, Day);
  } else {
    Sys.Print("   Path don't find");
    Sys.Print("");
    PrintUsage(Sys);
  }
  Sys.Print("     " + std::to_string(Settings.FileCount) +
            (Settings.MoveMode ? " file(s) moved." : " file(s) deleted."));
  return kExitOk;
}

}  // namespace olvane
