#include "fixture.h"

namespace olvane {
namespace {

// Each run's entry: how grave it is by what happened to its files and by its
// status; none without --system-log.
TEST(SystemLogTest, TheEntryIsAsGraveAsTheRun) {
  const struct {
    std::vector<Item> Tree;
    Arguments Args;
    Lines Entries;  // "EVENTID TEXT"
  } Rows[] = {
      {{"/w/a"}, "-d0 /w", {}},
      {{"/w/a"},
       "-d0 /w --system-log",
       {"1000 /w: 1 file(s) deleted, 0 bytes freed; status 0"}},
      {{"/w/a", {"/w/b", 100, kHeld}},
       "-d0 /w -r -e --system-log",
       {"1001 /w: 1 file(s) deleted, 0 folder(s) deleted, 0 bytes freed, 1 "
        "left held or unreadable; status 0"}},
      {{{"/w/a", 100, kNoRemove}},
       "-d0 /w -n --system-log",
       {"1002 /w: 0 file(s) would be deleted, 0 bytes freed, 1 could not be "
        "removed; status 0"}},
      {{"/w/a"},
       "-d0 /w --min-free=10% --system-log",
       {"1001 /w: 0 file(s) deleted, 0 bytes freed, goal not met; status 4"}},
      {{"/w/a"},
       "-d0 /w -m:/none --system-log",
       {"1002 /w: 0 file(s) moved, 0 bytes freed, 1 could not be moved, 1 "
        "path(s) not found; status 0"}},
      {{},  // no such folder: status 0 all the same
       "-d30 /none -r --system-log",
       {"1001 /none: 0 file(s) deleted, 0 bytes freed, 1 path(s) not found; "
        "status 0"}},
      {{},
       "-d0 --keep:3 /w --system-log",
       {"1002 refused: Unknown option: --keep:3; status 2"}},
  };
  for (const auto& Row : Rows) {
    FakePlatform Sys;
    Prepare(Sys, Row.Tree);
    RunCommand(Sys, Row.Args);
    EXPECT_EQ(Sys.SystemLog, Row.Entries) << testing::PrintToString(Row.Args);
  }
  Event Lost{EventKind::kSummary};
  Lost.Status = 3;  // a lost report: an error
  EXPECT_EQ(SystemLogEntryOf(Lost, false).EventId, kEventFailed);
}

}  // namespace
}  // namespace olvane
