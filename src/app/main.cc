#include <algorithm>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "app/front_end.h"
#include "platform/platform.h"
#include "purge/workers.h"

namespace {

// The workers OLVANE_WORKERS sets, for measurements (--workers sets them on
// the command line); 0: as many as suit the target's file system.
int WorkerCount() {
  const char* Set = std::getenv("OLVANE_WORKERS");
  const int Wanted = Set ? std::atoi(Set) : 0;
  return Wanted > 0 ? std::min(Wanted, olvane::kMaxWorkers) : 0;
}

}  // namespace

int main(int argc, char** argv) {
  std::unique_ptr<olvane::Platform> Sys = olvane::MakeRealPlatform();
  return olvane::RunCommand(*Sys, Sys->Arguments(argc, argv), WorkerCount());
}
