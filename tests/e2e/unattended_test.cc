// End-to-end: runs nobody watches. The report appended to a log between
// its start and end lines, rotated, never purged by its own run; a log that
// cannot be opened; the status file; a time budget a full pipe outlasts.
#include <regex>

#include "e2e.h"

namespace olvane_e2e {
namespace {

class UnattendedTest : public EndToEndTest {
 protected:
  Lines LinesOf(const fs::path& File) const {
    return SplitLines(ReadFile(File), Windows() ? "\r\n" : "\n");
  }
  bool Matches(const std::string& Text, const std::string& Pattern) const {
    return std::regex_match(Text, std::regex(Pattern));
  }
};

// Five old logs and a log over --log-max in the target: one rotation, the
// oldest gone; the walk leaves the log and the old logs it keeps. A second
// run, in JSON Lines, appended; the status file replaced by each run.
TEST_F(UnattendedTest, TheLogIsAppendedRotatedAndKept) {
  Make(
      "a run.log=0123456789AB run.log.1=1 run.log.2=2 run.log.3=3 "
      "run.log.4=4 run.log.5=5 run.log.9=9");
  const std::string Args =
      "-d0 ~ --log=~/run.log --log-max=10 --status-file=~/../status.json";
  EXPECT_EQ(Run(Words(Args)), Lines{});
  const char* const Old[] = {"0123456789AB", "1", "2", "3", "4"};
  for (int N = 1; N <= 5; ++N)
    EXPECT_EQ(ReadFile(Tree / ("run.log." + std::to_string(N))), Old[N - 1]);
  EXPECT_FALSE(fs::exists(Tree / "run.log.9") || fs::exists(Tree / "a"));
  const std::string Status =
      R"(\{"started":"[-0-9T:+]{25}","ended":"[-0-9T:+]{25}",)"
      R"("duration_s":[0-9]+\.[0-9]{3},"status":0,"files":N,"folders":0,)"
      R"("bytes_freed":[0-9]+,"dry_run":false\}\r?\n)";
  EXPECT_TRUE(Matches(ReadFile(Base / "status.json"),
                      std::regex_replace(Status, std::regex("N"), "2")));
  Make("b");
  EXPECT_EQ(Run({"-d0", "~/b", "--log=~/run.log", "--json",
                 "--status-file=~/../status.json"}),
            Lines{});
  EXPECT_TRUE(Matches(ReadFile(Base / "status.json"),
                      std::regex_replace(Status, std::regex("N"), "1")));
  for (const auto& Entry : fs::directory_iterator(Base))
    EXPECT_NE(Entry.path().filename().string().rfind(".olvane-", 0), 0u);
  const Lines Log = LinesOf(Tree / "run.log");
  ASSERT_EQ(Log.size(), 8u);
  EXPECT_TRUE(Matches(
      Log[0],
      "--- [-0-9T:+]{25} olvane [0-9.]+: " +
          std::regex_replace(Expand(Args), std::regex(R"([\\.+])"), R"(\$&)")));
  EXPECT_EQ(
      Sorted({Log[1], Log[2]}),
      Sorted({Expand("Delete file: ~/a"), Expand("Delete file: ~/run.log.9")}));
  EXPECT_EQ(Log[3], "     2 file(s) deleted.");
  EXPECT_TRUE(
      Matches(Log[4], R"(--- ended after [0-9]+\.[0-9]{3} s, exit status 0)"));
  EXPECT_TRUE(Matches(Log[5], R"(\{"event":"start","time":"[-0-9T:+]{25}",)"
                              R"("version":"[0-9.]+","args":\["-d0",.*\]\})"));
  EXPECT_EQ(Log[6].rfind("{\"event\":\"deleted\",\"path\":", 0), 0u);
  EXPECT_TRUE(Matches(Log[7], R"(\{"event":"summary",.*"status":0,)"
                              R"("duration_s":[0-9]+\.[0-9]{3}\})"));
}

// A log that cannot be appended to, or whose name is a link: one line, status
// 3, nothing walked.
TEST_F(UnattendedTest, ALogThatCannotBeOpenedStopsTheRun) {
  const std::string Refused = "olvane: cannot append to the log ";
  Check(
      {{"a", "-d0 ~ --log=~/no/x.log", Refused + "~/no/x.log: nothing was done",
        "a", "", "", 3},
       {"a", "-d0 ~ --log=~", Refused + "~: nothing was done", "a", "", "", 3},
       {"a l.log->~/a", "-d0 ~ --log=~/l.log",
        "olvane: the log ~/l.log is a link, which is never followed: "
        "nothing was done",
        "a l.log->~/a", "", "", 3}});
}

// Kept waiting on a full pipe past its budget: the files under way are
// finished, each deletion reported, then the summary and the time limit.
TEST_F(UnattendedTest, TheTimeBudgetEndsARunKeptWaiting) {
  const int Files = 3000;
  ASSERT_TRUE(
      Shell("for I in $(seq " + std::to_string(Files) +
            "); do : > a_name_long_enough_to_fill_a_pipe_soon_$I; done"));
  const std::string Command =
      "cd " + Quote(Tree) + " && " + Env("OLVANE_PROGRAM") + " -d0 " +
      Quote(Expand("~")) + " --max-time=1s | (sleep 5; cat) >" +
      Quote(Base / "out") + "; echo ${PIPESTATUS[0]} >" + Quote(Base / "rc");
  ASSERT_TRUE(Succeeds("bash -c " + Quote(Command)));
  EXPECT_EQ(ReadFile(Base / "rc"), "4\n");
  const Lines Out = LinesOf(Base / "out");
  const auto Left = std::distance(fs::directory_iterator(Tree), {});
  ASSERT_GT(Left, 0);
  ASSERT_EQ(Out.size(), Files - Left + 2u);
  for (size_t I = 0; I + 2 < Out.size(); ++I)
    EXPECT_EQ(Out[I].rfind(Expand("Delete file: ~/a_name_"), 0), 0u);
  EXPECT_EQ(Out[Out.size() - 2],
            "     " + std::to_string(Files - Left) + " file(s) deleted.");
  EXPECT_EQ(Out.back(), "   Time limit reached: --max-time=1s");
}

}  // namespace
}  // namespace olvane_e2e
