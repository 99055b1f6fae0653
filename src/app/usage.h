#ifndef OLVANE_APP_USAGE_H_
#define OLVANE_APP_USAGE_H_

#include "platform/platform.h"

namespace olvane {

// Writes the usage screen to standard output.
void PrintUsage(Platform& Sys);

}  // namespace olvane

#endif  // OLVANE_APP_USAGE_H_
