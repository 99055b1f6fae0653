// The command line read once into a value: what the run is to do, or why it
// is refused. Running is a function of that value (see front_end.h).
#ifndef OLVANE_APP_COMMAND_LINE_H_
#define OLVANE_APP_COMMAND_LINE_H_

#include <cstdint>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "purge/run_settings.h"
#include "report/event.h"

namespace olvane {

// The term of a run without a days option.
constexpr int32_t kDefaultDay = 32768;

struct CommandLine {
  enum class Action {
    kUsage,    // no argument: the usage screen
    kHelp,     // the usage screen and the newer options
    kVersion,  // the version line
    kRefuse,   // Refusal says why; nothing is walked
    kRun,      // walk Target, if Found
  };
  Action What = Action::kRun;
  Event Refusal{EventKind::kUsage};

  int32_t Day = kDefaultDay;
  std::string Target;    // the folder or file mask to purge
  bool Found = false;    // an argument resolved the target
  RunSettings Settings;  // Workers 0 unless --workers: the caller's choice
  // Move folders that failed their check, each reported with the usage
  // screen before the walk.
  std::vector<std::string> MissingMoveFolders;
  bool CountFolders = false;  // -e was given: the summary counts folders
  bool PreserveRoot = true;   // no --no-preserve-root
  bool Json = false;          // --json: the report as JSON Lines
  bool NoProgress = false;    // --no-progress: no line on the terminal
  bool SystemLog = false;     // --system-log: an entry in the system's log
  // --config: the rules file or folder, which takes the place of a target
  // and its options; RunArgs, the arguments that go with every rule
  // (report-only, --workers).
  std::string Config;
  bool Check = false;
  std::vector<std::string> RuleNames;  // --rule: only these rules run
  std::vector<std::string> RunArgs;
  // A run nobody watches, with or without --config: the log the report
  // goes to (a full path; "": standard output), the size above which it is
  // rotated and the old logs kept, the status file, the time budget.
  std::string Log;
  int64_t LogMax = int64_t{10} << 20;
  int LogKeep = 5;
  std::string StatusFile;
  int64_t MaxTimeMs = 0;    // 0: none
  std::string MaxTimeText;  // the argument that set it
  // A logged run's start on the monotonic clock, whose summary (or total)
  // tells how long it took; -1: not logged.
  int64_t Began = -1;
};

// Reads Args, the arguments after the program name, against the current
// directory and the entries Sys finds. Prints nothing and changes nothing.
CommandLine ReadCommandLine(Platform& Sys,
                            const std::vector<std::string>& Args);

// The command line that refuses the run, for Why, naming the argument Arg.
CommandLine Refused(EventKind Why, const std::string& Arg);

// Reads a term as the C library's atoi would (leading white space, an
// optional sign, decimal digits) up to the end of Text. False when no digit
// follows, anything else follows the digits, or the number does not fit in
// 32 signed bits.
bool ParseDays(const std::string& Text, int32_t* Day);

// What the target scan made of the arguments.
struct TargetScan {
  std::string Path;         // the folder or file mask to purge
  bool Found = false;       // an argument resolved the target
  std::vector<bool> Taken;  // per argument: it is part of the target
};

// The target scan: builds the target from the current directory and the
// arguments in order. A root stays a root, and an argument that reaches one
// is taken.
TargetScan ScanTarget(Platform& Sys, const std::vector<std::string>& Args);

}  // namespace olvane

#endif  // OLVANE_APP_COMMAND_LINE_H_
