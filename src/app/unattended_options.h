// The options of a run nobody watches (a log, a status file, a time
// budget), read the same way with a target and with --config.
#ifndef OLVANE_APP_UNATTENDED_OPTIONS_H_
#define OLVANE_APP_UNATTENDED_OPTIONS_H_

#include <string>

#include "app/command_line.h"
#include "app/options.h"
#include "platform/platform.h"

namespace olvane {

// Whether Which is one of them.
bool IsUnattended(ExactOption Which);

// The argument Arg of the option Which into *Line. False, with *Line the
// refusal, for a value that cannot be used, one that differs from an
// earlier one, or a log that is the status file.
bool ReadUnattended(Platform& Sys, ExactOption Which, const std::string& Arg,
                    CommandLine* Line);

}  // namespace olvane

#endif  // OLVANE_APP_UNATTENDED_OPTIONS_H_
