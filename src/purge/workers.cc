#include "purge/workers.h"

#include <algorithm>
#include <thread>

namespace olvane {

int DefaultWorkers(FileSystemKind Kind, int Processors, bool CrossMounts) {
  const int Local = std::clamp(Processors, 1, 8);
  // Measured on a share that adds 1 ms to each operation, a tree of 200
  // folders of 50 files: 8 workers delete in 0.61 of find's time, 32 in
  // 0.35, 128 in 0.21; memory grows by about 14 KiB a worker.
  const int Network = kMaxWorkers;
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
