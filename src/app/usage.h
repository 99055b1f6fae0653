#ifndef OLVANE_APP_USAGE_H_
#define OLVANE_APP_USAGE_H_

#include "platform/platform.h"

namespace olvane {

// Writes the usage screen to standard output.
void PrintUsage(Platform& Sys);

// Writes the usage screen and a section on the options added since it was
// drawn up: the answer to --help.
void PrintHelp(Platform& Sys);

}  // namespace olvane

#endif  // OLVANE_APP_USAGE_H_
