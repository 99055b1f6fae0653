// The command front end: reads the command line, runs the walk once and
// prints the summary.
#ifndef OLVANE_APP_FRONT_END_H_
#define OLVANE_APP_FRONT_END_H_

#include <cstdint>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace olvane {

// Exit statuses; a run stopped by a signal ends with 128 + its number.
constexpr int kExitOk = 0;
constexpr int kExitCannotStart = 1;
// A command line refused before anything is walked: a days option without
// a number, a bad value option, a target that is a whole root.
constexpr int kExitUsage = 2;
// A run that would end with 0 but lost some of its report.
constexpr int kExitOutputLost = 3;

// The term of a run without a days option.
constexpr int32_t kDefaultDay = 32768;

// Reads a term as the C library's atoi would (leading white space, an
// optional sign, decimal digits up to the first other character). False when
// no digit follows or the number does not fit in 32 signed bits.
bool ParseDays(const std::string& Text, int32_t* Day);

// What the target scan made of the arguments.
struct TargetScan {
  std::string Path;         // the folder or file mask to purge
  bool Found = false;       // an argument resolved the target
  std::vector<bool> Taken;  // per argument: it is part of the target
};

// The target scan: builds the target from the current directory and the
// arguments in order. Prints nothing.
TargetScan ScanTarget(Platform& Sys, const std::vector<std::string>& Args);

// Runs the whole command for the arguments after the program name with up to
// Workers threads working on files, and answers the exit status. A lost
// line of the report does not stop the run; at its end one line on standard
// error says that the report is incomplete.
int RunCommand(Platform& Sys, const std::vector<std::string>& Args,
               int Workers = 1);

}  // namespace olvane

#endif  // OLVANE_APP_FRONT_END_H_
