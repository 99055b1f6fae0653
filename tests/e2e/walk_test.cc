// The walk stopped by a signal: under TERM every removal has its line and
// the summary follows; under a kill without warning every removal but a
// bounded few has its line.
#include "e2e.h"

namespace olvane_e2e {
namespace {

TEST_F(EndToEndTest, ASignalLosesTheLinesOfAFewRemovalsAtMost) {
  if (Windows()) GTEST_SKIP() << "POSIX signals only";
  // Stopped once the output has that many lines: at the start, and with a
  // kill twice with workers deep in the run.
  const struct {
    int Signal, Folders, Files, Lines;
  } Rows[] = {{15, 40, 1000, 1},
              {9, 20, 500, 1},
              {9, 20, 500, 2000},
              {9, 20, 500, 6000}};
  for (const auto& R : Rows) {
    SCOPED_TRACE(std::to_string(R.Signal) + " at " + std::to_string(R.Lines));
    Wipe(Tree);
    fs::create_directories(Tree);
    ASSERT_TRUE(Shell("for d in $(seq " + std::to_string(R.Folders) +
                      "); do mkdir $d && (cd $d && seq " +
                      std::to_string(R.Files) + " | xargs touch); done"));
    // The inner shell becomes the command, whose process $$ then is.
    const std::string Kill =
        "OLVANE_WORKERS=3 sh -c '(for i in $(seq 3000); do [ $(wc -l "
        "<../out) -ge " +
        std::to_string(R.Lines) + " ] && break; sleep 0.01; done; kill -" +
        std::to_string(R.Signal) + " $$) & exec \"$0\" \"$@\"'";
    Lines Out = Run({"-d0", "~", "-r"}, Kill, 128 + R.Signal);
    // The shell's own word for the signal.
    if (!Out.empty() && (Out.back() == "Killed" || Out.back() == "Terminated"))
      Out.pop_back();
    const size_t Gone = R.Folders * R.Files - FilesBelow();
    ASSERT_GT(Gone, 0u) << "stopped before it began";
    if (R.Signal == 15) {
      EXPECT_LT(Gone, size_t(R.Folders * R.Files)) << "stopped too late";
      ASSERT_EQ(Out.back(),
                "     " + std::to_string(Gone) + " file(s) deleted.");
      Out.pop_back();
    }
    for (const std::string& Line : Out) {
      ASSERT_EQ(Line.rfind("Delete file: ", 0), 0u) << Line;
      EXPECT_FALSE(fs::exists(Line.substr(13))) << Line;
    }
    EXPECT_LE(Out.size(), Gone);
    EXPECT_LE(Gone - Out.size(), R.Signal == 15 ? 0u : 128u);
  }
}

}  // namespace
}  // namespace olvane_e2e
