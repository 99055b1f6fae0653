#include "purge/workers.h"

#include <algorithm>
#include <thread>

namespace olvane {

int DefaultWorkers(FileSystemKind Kind, int Processors, bool CrossMounts) {
  const int Local = std::clamp(Processors, 1, 8);
  // Past about 32 requests in flight a walk gains little more: the walk's
  // own listings and folder opens, one after another, are then the limit.
  const int Network = 32;
  return Kind == FileSystemKind::kNetwork || CrossMounts ? Network : Local;
}

int WorkersFor(Platform& Sys, const RunSettings& Settings,
               const std::string& Path) {
  if (Settings.Workers > 0) return Settings.Workers;
  return DefaultWorkers(Sys.FileSystemOf(Path),
                        static_cast<int>(std::thread::hardware_concurrency()),
                        Settings.CrossMounts);
}

}  // namespace olvane
