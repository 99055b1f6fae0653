#include "app/front_end.h"

#include "fixture.h"

namespace olvane {
namespace {

using FrontEndTest = PlatformTest;

TEST_F(FrontEndTest, UsageScreenKeepsEveryBlank) {
  const Lines Screen = Run({});
  EXPECT_EQ(Status, kExitOk);
  ASSERT_EQ(Screen.size(), 19u);
  // Line number, leading and trailing blanks.
  const size_t Blanks[][3] = {{1, 3, 0},   {3, 9, 0},   {5, 6, 1},  {6, 6, 0},
                              {7, 6, 0},   {8, 3, 0},   {9, 3, 0},  {10, 14, 1},
                              {11, 3, 1},  {13, 13, 0}, {14, 3, 0}, {15, 3, 0},
                              {17, 13, 0}, {18, 3, 1}};
  for (const auto& B : Blanks) {
    const std::string& Text = Screen[B[0] - 1];
    EXPECT_EQ(Text.find_first_not_of(' '), B[1]) << "line " << B[0];
    EXPECT_EQ(Text.size() - 1 - Text.find_last_not_of(' '), B[2])
        << "line " << B[0];
  }
  for (size_t Empty : {2, 4, 16, 19}) EXPECT_EQ(Screen[Empty - 1], "");
  EXPECT_EQ(Screen[11], "   ");
  EXPECT_EQ(Screen[9], "              olvane -d90 \\\\Server\\Archive\\*.zip ");
  EXPECT_EQ(Screen[12],
            "             olvane -d1 \"C:\\Windows\\Temporary Internet "
            "Files\\XXX*.jpg\" -r");
  // Help is the same screen and more, with no walk and no summary.
  const Lines Help = Run({"-d0", "--help", "/work"});
  EXPECT_EQ(Status, kExitOk);
  EXPECT_EQ(Lines(Help.begin(), Help.begin() + 19), Screen);
  EXPECT_GT(Help.size(), 19u);
  EXPECT_EQ(Run({"-h"}), Help);
  EXPECT_EQ(Run({"/work", "--version"}), (Lines{"olvane " OLVANE_VERSION}));
  EXPECT_EQ(Run({"/?"}).back(), "     0 file(s) deleted.");  // a POSIX path
}

TEST_F(FrontEndTest, StartFailureReportsOnStandardErrorOnly) {
  Sys.StartFails = true;
  EXPECT_TRUE(Run({"-d1", "/work"}).empty());
  EXPECT_EQ(Status, kExitCannotStart);
  EXPECT_EQ(Sys.Errors, (Lines{"Fatal Error: MFC initialization failed"}));
}

TEST_F(FrontEndTest, ScanTargetBuildsTheTargetInArgumentOrder) {
  FakePlatform Win(FakePlatform::Style::kWindows);
  Win.Add("C:\\Work\\Logs\\Old", 0, EntryKind::kFolder);
  Win.Add("C:\\Logs", 0, EntryKind::kFolder);
  struct {
    const char* Cwd;
    Lines Args;
    const char* Path;
    bool Found;
  } Cases[] = {
      {"C:\\Work", {"-d30", "D:\\Logs\\*.log", "-r"}, "D:\\Logs\\*.log", true},
      {"C:\\Work", {"Logs", "Old", "*.log"}, "C:\\Work\\Logs\\Old\\*.log",
       true},
      {"C:\\Work", {"Nope"}, "C:\\Work", false},
      {"C:\\", {"Logs"}, "C:\\Logs", true},
      {"C:\\Work", {"*.log", "D:\\Logs\\"}, "D:\\Logs\\", true},
      {"C:\\Work", {"\\\\Srv\\Arc\\*.zip"}, "\\\\Srv\\Arc\\*.zip", true},
      {"C:\\Work", {"-m:C:\\Logs"}, "C:\\Work", false},
      {"", {"*.log"}, "", false},  // no current directory: no base
  };
  for (const auto& C : Cases) {
    Win.Cwd = C.Cwd;
    const TargetScan Target = ScanTarget(Win, C.Args);
    EXPECT_EQ(Target.Path, C.Path) << C.Args[0];
    EXPECT_EQ(Target.Found, C.Found) << C.Args[0];
  }
}

TEST_F(FrontEndTest, ReadsTermAndRecursionAndPrintsTheSummary) {
  Sys.Add("/work/logs/a.log", kNow - 31 * kDay);
  Sys.Add("/work/logs/b.log", kNow - 29 * kDay);
  Sys.Add("/work/logs/sub/c.log", kNow - 31 * kDay);
  Sys.Add("/work/d", kNow - 32768 * kDay);
  Sys.Add("/work/e", kNow - 32768 * kDay + 1);
  EXPECT_EQ(Run({"-d10", "logs/*.log", "-D30", "-Rx"}),
            (Lines{"Delete file: /work/logs/a.log",
                   "Delete file: /work/logs/sub/c.log",
                   "     2 file(s) deleted."}));
  Run({"/work"});  // no days option: 32768 days
  EXPECT_EQ(Sys.Removed.back(), "/work/d");
  EXPECT_TRUE(Sys.Has("/work/e"));
}

// No option text is read out of a path that became the target or a move
// folder; the newer options neither.
TEST_F(FrontEndTest, OptionTextsInsidePathsAreNotOptions) {
  Sys.Add("/srv/Old-Data/young.log", kNow - kDay);
  Sys.Add("/srv/my-reports/sub/old", kOld);
  Sys.Add("/srv/old-names/a", kOld);
  Sys.Add("/srv/old-exports/sub/b", kOld);
  Run({"-d30", "/srv/Old-Data/*.log"});
  Run({"-d30", "/srv/my-reports"});
  Run({"-d30", "/srv/old-exports", "-r"});
  EXPECT_EQ(Run({"-d30", "/srv/old-names"}).back(), "     1 file(s) deleted.");
  EXPECT_EQ(Sys.Removed, (Lines{"/srv/old-exports/sub/b", "/srv/old-names/a"}))
      << "no -d0, no -r, no -n, no -e out of a path";
}

TEST_F(FrontEndTest, DaysWithoutANumberRefuseTheRun) {
  Sys.Add("/work/a", kNow);
  for (const char* Bad :
       {"-d", "-dx", "x-d30", "-d2147483648", "-d-2147483649"}) {
    const Lines Out = Run({Bad, "/work"});
    EXPECT_EQ(Status, kExitBadDays) << Bad;
    ASSERT_EQ(Out.size(), 21u) << Bad;
    EXPECT_EQ(Out[0], std::string("   Invalid number of days: ") + Bad);
  }
  EXPECT_TRUE(Sys.Removed.empty());
  for (const char* Good : {"-d30x", "-d-1", "-D 30", "-d+0"}) {
    Run({Good, "/nothing"});
    EXPECT_EQ(Status, kExitOk) << Good;
  }
}

TEST_F(FrontEndTest, UnresolvedTargetPrintsUsageAndAZeroSummary) {
  const Lines Out = Run({"-d365", "-r"});
  ASSERT_EQ(Out.size(), 22u);
  EXPECT_EQ(Out[0], "   Path don't find");
  EXPECT_EQ(Out[1], "");
  EXPECT_EQ(Out[2], "   olvane: purge expired files. V.1.0. Usage:");
  EXPECT_EQ(Out.back(), "     0 file(s) deleted.");
}

TEST_F(FrontEndTest, AStoppedRunReportsItsSummaryAndTheSignal) {
  for (int File = 0; File < 10; ++File) {
    Sys.Add("/work/f" + std::to_string(File), kOld);
  }
  Sys.StopAfterOpens = 4;
  const Lines Out = Run({"-d0", "/work"});
  EXPECT_EQ(Status, 143);
  EXPECT_EQ(Out.size(), 5u);
  EXPECT_EQ(Out.back(), "     4 file(s) deleted.");
}

}  // namespace
}  // namespace olvane
