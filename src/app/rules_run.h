// A run of a rules file: each rule read into a command line of its own and
// run in turn, under the lock of the configuration.
#ifndef OLVANE_APP_RULES_RUN_H_
#define OLVANE_APP_RULES_RUN_H_

#include "app/command_line.h"
#include "platform/platform.h"
#include "report/report.h"

namespace olvane {

// Runs the rules of Line.Config (or, with Line.Check, prints each as the
// command line it means), their events written by Out, and answers the
// exit status: a stop's, else 2 where a rule was refused, else 4 where a
// goal was not met or the time budget ran out, else 0; 5 when another run
// holds the configuration.
int RunRules(Platform& Sys, const CommandLine& Line, int Workers, Report& Out);

}  // namespace olvane

#endif  // OLVANE_APP_RULES_RUN_H_
