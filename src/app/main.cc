#include <algorithm>
#include <cstdlib>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "app/front_end.h"
#include "platform/platform.h"

namespace {

// As many workers as the machine has processors, up to a point past which
// they only wait on one another. OLVANE_WORKERS sets the number, for
// measurements.
int WorkerCount() {
  if (const char* Set = std::getenv("OLVANE_WORKERS")) {
    const int Wanted = std::atoi(Set);
    if (Wanted > 0) return std::min(Wanted, 64);
  }
  const int Processors = static_cast<int>(std::thread::hardware_concurrency());
  return std::clamp(Processors, 1, 8);
}

}  // namespace

int main(int argc, char** argv) {
  std::unique_ptr<olvane::Platform> Sys = olvane::MakeRealPlatform();
  return olvane::RunCommand(*Sys, Sys->Arguments(argc, argv), WorkerCount());
}
