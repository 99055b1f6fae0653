#include "app/front_end.h"

#include <gtest/gtest.h>

#include "fake_platform.h"
#include "purge/file_tests.h"

namespace olvane {
namespace {

using Lines = std::vector<std::string>;
constexpr int64_t kNow = 1800000000;
constexpr int64_t kDay = kSecondsPerDay;

// The usage screen, checked line by line against its leading and trailing
// blanks so that an edit that drops one shows.
Lines Usage() {
  FakePlatform Sys;
  RunCommand(Sys, {});
  return Sys.Output;
}

TEST(UsageTest, PrintsTheNineteenLinesExactly) {
  const Lines Screen = Usage();
  ASSERT_EQ(Screen.size(), 19u);
  struct Expect {
    size_t Line, Leading, Trailing;
  } Blanks[] = {{1, 3, 0},  {3, 9, 0},  {5, 6, 1},  {6, 6, 0},  {7, 6, 0},
                {8, 3, 0},  {9, 3, 0},  {10, 14, 1}, {11, 3, 1}, {13, 13, 0},
                {14, 3, 0}, {15, 3, 0}, {17, 13, 0}, {18, 3, 1}};
  for (const Expect& E : Blanks) {
    const std::string& Text = Screen[E.Line - 1];
    EXPECT_EQ(Text.find_first_not_of(' '), E.Leading) << "line " << E.Line;
    EXPECT_EQ(Text.size() - 1 - Text.find_last_not_of(' '), E.Trailing)
        << "line " << E.Line;
  }
  for (size_t Empty : {2, 4, 16, 19}) EXPECT_EQ(Screen[Empty - 1], "");
  EXPECT_EQ(Screen[11], "   ");
  EXPECT_EQ(Screen[0], "   olvane: purge expired files. V.1.0. Usage:");
  EXPECT_EQ(Screen[9], "              olvane -d90 \\\\Server\\Archive\\*.zip ");
  EXPECT_EQ(Screen[12],
            "             olvane -d1 \"C:\\Windows\\Temporary Internet "
            "Files\\XXX*.jpg\" -r");
  EXPECT_EQ(Screen[5], "      file  - filename (willcards */? allowed)");
}

class FrontEndTest : public ::testing::Test {
 protected:
  FrontEndTest() {
    Sys.Clock = kNow;
    Sys.Cwd = "/work";
    Sys.AddFolder("/work");
  }
  int Run(const Lines& Args) { return RunCommand(Sys, Args); }

  FakePlatform Sys;
};

TEST_F(FrontEndTest, StartFailureReportsOnStandardErrorOnly) {
  Sys.StartFails = true;
  EXPECT_EQ(Run({"-d1", "/work"}), kExitCannotStart);
  EXPECT_EQ(Sys.Errors, (Lines{"Fatal Error: MFC initialization failed"}));
  EXPECT_TRUE(Sys.Output.empty());
}

TEST_F(FrontEndTest, ScanTargetBuildsTheTargetInArgumentOrder) {
  FakePlatform Win(FakePlatform::Style::kWindows);
  Win.Cwd = "C:\\Work";
  Win.AddFolder("C:\\Work\\Logs\\Old");
  Win.AddFolder("D:\\Logs");
  Win.AddFolder("C:\\Logs");
  struct Case {
    const char* Cwd;
    Lines Args;
    const char* Path;
    bool Found;
  } Cases[] = {
      {"C:\\Work", {"-d30", "D:\\Logs\\*.log", "-r"}, "D:\\Logs\\*.log", true},
      {"C:\\Work", {"*.log"}, "C:\\Work\\*.log", true},
      {"C:\\Work", {"Logs", "Old"}, "C:\\Work\\Logs\\Old", true},
      {"C:\\Work", {"Nope"}, "C:\\Work", false},
      {"C:\\", {"Logs"}, "C:\\Logs", true},
      {"C:\\Work", {"D:\\Logs", "*.log"}, "D:\\Logs\\*.log", true},
      {"C:\\Work", {"*.log", "D:\\Logs\\"}, "D:\\Logs\\", true},
      {"C:\\Work", {"\\\\Server\\Archive\\*.zip"}, "\\\\Server\\Archive\\*.zip", true},
      {"C:\\Work", {"-m:D:\\Logs"}, "C:\\Work", false},
  };
  for (const Case& C : Cases) {
    Win.Cwd = C.Cwd;
    TargetScan Target = ScanTarget(Win, C.Args);
    EXPECT_EQ(Target.Path, C.Path) << C.Args[0];
    EXPECT_EQ(Target.Found, C.Found) << C.Args[0];
  }
  // Without a current directory relative names resolve to nothing.
  Win.Cwd = "";
  EXPECT_FALSE(ScanTarget(Win, {"*.log"}).Found);
}

TEST_F(FrontEndTest, PurgesTheTargetAndPrintsTheSummary) {
  Sys.AddFile("/work/logs/a.log", kNow - 31 * kDay);
  Sys.AddFile("/work/logs/b.log", kNow - 29 * kDay);
  Sys.AddFile("/work/logs/sub/c.log", kNow - 31 * kDay);
  EXPECT_EQ(Run({"-d10", "logs/*.log", "-D30", "-Rx"}), kExitOk);
  EXPECT_EQ(Sys.Output, (Lines{"Delete file: /work/logs/a.log",
                               "Delete file: /work/logs/sub/c.log",
                               "     2 file(s) deleted."}));
}

TEST_F(FrontEndTest, WithoutADaysOptionTheTermIs32768Days) {
  Sys.AddFile("/work/a", kNow - 32768 * kDay);
  Sys.AddFile("/work/b", kNow - 32768 * kDay + 1);
  EXPECT_EQ(Run({"/work"}), kExitOk);
  EXPECT_EQ(Sys.Removed, (Lines{"/work/a"}));
}

TEST_F(FrontEndTest, OptionTextsInsidePathsAreNotOptions) {
  Sys.AddFile("/srv/Old-Data/young.log", kNow - kDay);
  Sys.AddFile("/srv/my-reports/sub/old", kNow - 99 * kDay);
  EXPECT_EQ(Run({"-d30", "/srv/Old-Data/*.log"}), kExitOk);
  EXPECT_EQ(Run({"-d30", "/srv/my-reports"}), kExitOk);
  EXPECT_TRUE(Sys.Removed.empty());
  EXPECT_EQ(Sys.Output, (Lines{"     0 file(s) deleted.", "     0 file(s) deleted."}));
}

TEST_F(FrontEndTest, DaysWithoutANumberRefuseTheRun) {
  Sys.AddFile("/work/a", kNow);
  for (const char* Bad : {"-d", "-dx", "x-d30", "-d2147483648",
                          "-d-2147483649"}) {
    Sys.Output.clear();
    EXPECT_EQ(Run({Bad, "/work"}), kExitBadDays) << Bad;
    ASSERT_EQ(Sys.Output.size(), 21u) << Bad;
    EXPECT_EQ(Sys.Output[0], std::string("   Invalid number of days: ") + Bad);
    EXPECT_EQ(Sys.Output[1], "");
  }
  EXPECT_TRUE(Sys.Removed.empty());
  for (const char* Good : {"-d30x", "-d-1", "-D 30", "-d+0"}) {
    EXPECT_EQ(Run({Good, "/nothing"}), kExitOk) << Good;
  }
}

TEST_F(FrontEndTest, UnresolvedTargetPrintsUsageAndAZeroSummary) {
  EXPECT_EQ(Run({"-d365", "-r"}), kExitOk);
  ASSERT_EQ(Sys.Output.size(), 22u);
  EXPECT_EQ(Sys.Output[0], "   Path don't find");
  EXPECT_EQ(Sys.Output[1], "");
  EXPECT_EQ(Sys.Output[2], Usage()[0]);
  EXPECT_EQ(Sys.Output.back(), "     0 file(s) deleted.");
}

}  // namespace
}  // namespace olvane
