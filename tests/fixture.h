// What the unit tests share: an in-memory platform with its clock set, a
// working folder, and runs of the whole command against it.
#ifndef OLVANE_TESTS_FIXTURE_H_
#define OLVANE_TESTS_FIXTURE_H_

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/front_end.h"
#include "fake_platform.h"
#include "purge/file_tests.h"

namespace olvane {

using Lines = std::vector<std::string>;
constexpr int64_t kNow = 1800000000, kDay = kSecondsPerDay;
constexpr int64_t kOld = kNow - 100 * kDay;

class PlatformTest : public ::testing::Test {
 protected:
  PlatformTest() {
    Sys.Clock = kNow;
    Sys.Cwd = "/work";
    Sys.Add("/work", 0, EntryKind::kFolder);
  }
  // Runs the command; the output of this run alone.
  Lines Run(const Lines& Args, int Workers = 1) {
    Sys.Output.clear();
    Status = RunCommand(Sys, Args, Workers);
    return Sys.Output;
  }
  void AddOld(std::initializer_list<const char*> Paths) {
    for (const char* Path : Paths) Sys.Add(Path, kOld);
  }
  FakePlatform Sys;
  int Status = -1;
};

}  // namespace olvane

#endif  // OLVANE_TESTS_FIXTURE_H_
