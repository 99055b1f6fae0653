#include <memory>
#include <string>
#include <vector>

#include "app/front_end.h"
#include "platform/platform.h"

int main(int argc, char** argv) {
  std::unique_ptr<olvane::Platform> Sys = olvane::MakeRealPlatform();
  return olvane::RunCommand(*Sys,
                            std::vector<std::string>(argv + 1, argv + argc));
}
