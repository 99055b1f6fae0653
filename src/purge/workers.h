// How many workers a run keeps under way.
#ifndef OLVANE_PURGE_WORKERS_H_
#define OLVANE_PURGE_WORKERS_H_

#include <string>

#include "platform/platform.h"
#include "purge/run_settings.h"

namespace olvane {

// The most workers a run may be given (--workers=1 to 128).
constexpr int kMaxWorkers = 128;

// The workers of a run that sets none, for a walk in a folder of the file
// system kind Kind on a machine with Processors processors (0: unknown).
// On a local file system a worker per processor, up to 8: more only wait on
// one another. Where every operation is a round trip to a server, the most
// (128), to keep requests in flight while each waits on its answer. A walk that may cross
// onto other mounts takes the higher of the two.
int DefaultWorkers(FileSystemKind Kind, int Processors, bool CrossMounts);

// The workers of the run Settings in the folder Path: the number it sets,
// else the default for the folder's file system and this machine.
int WorkersFor(Platform& Sys, const RunSettings& Settings,
               const std::string& Path);

}  // namespace olvane

#endif  // OLVANE_PURGE_WORKERS_H_
