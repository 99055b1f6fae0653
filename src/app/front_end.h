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
