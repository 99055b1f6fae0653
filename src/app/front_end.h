// The command front end: reads the command line once into a value, runs the
// walk that value asks for and prints the summary.
#ifndef OLVANE_APP_FRONT_END_H_
#define OLVANE_APP_FRONT_END_H_

#include <string>
#include <vector>

#include "app/command_line.h"
#include "platform/platform.h"
#include "report/report.h"

namespace olvane {

// Exit statuses; a run stopped by a signal ends with 128 + its number.
constexpr int kExitOk = 0;
constexpr int kExitCannotStart = 1;
// A command line refused before anything is walked: a days option without
// a number, a bad value option, a target that is a whole root.
constexpr int kExitUsage = 2;
// A run that would end with 0 but lost some of its report.
constexpr int kExitOutputLost = 3;
// A run that would end with 0 but left a goal of --max-size or --min-free
// unmet once every due file was tried.
constexpr int kExitGoalNotMet = 4;

// A run of a rules file that another run of it holds: nothing was done.
constexpr int kExitBusy = 5;

// Does what Line asks, its events going to Out, and answers the exit status.
// Workers threads work on files unless Line sets their number; 0: as many
// as suit the target's file system. *Counts, if given, receives the run's.
int RunCommandLine(Platform& Sys, const CommandLine& Line, int Workers,
                   Report& Out, RunCounts* Counts = nullptr);

// Whether Args hold --system-log, read before the command line is: a
// scheduled run refused for a typo must not fail unseen.
bool AsksSystemLog(const std::vector<std::string>& Args);

// Writes Refusal, which ended a run with Status, as its system log entry.
void LogRefusal(Report& Out, Event Refusal, int Status);

// Runs the whole command for the arguments after the program name, in the
// text report or with --json in JSON Lines, and answers the exit status. A lost
// line of the report does not stop the run; at its end one line on standard
// error says that the report is incomplete.
int RunCommand(Platform& Sys, const std::vector<std::string>& Args,
               int Workers = 1);

}  // namespace olvane

#endif  // OLVANE_APP_FRONT_END_H_
