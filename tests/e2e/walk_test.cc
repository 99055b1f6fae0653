// The walk under a kill without warning: every removal but a bounded few
// has its line.
#include "e2e.h"

namespace olvane_e2e {
namespace {

TEST_F(EndToEndTest, AKillLosesTheLinesOfAFewRemovalsAtMost) {
  if (Windows()) GTEST_SKIP() << "POSIX signals only";
  constexpr int kFiles = 10000;
  // Killed once the output has that many lines: at the start, and twice
  // with workers deep in the run.
  for (int Lines : {1, 2000, 6000}) {
    SCOPED_TRACE(Lines);
    Wipe(Tree);
    fs::create_directories(Tree);
    ASSERT_EQ(std::system(("cd " + Quote(Tree) +
                           " && for d in $(seq 20); do mkdir $d && (cd $d && "
                           "seq 500 | xargs touch); done")
                              .c_str()),
              0);
    // The inner shell becomes the command, whose process $$ then is.
    const std::string Kill =
        "OLVANE_WORKERS=3 sh -c '(for i in $(seq 3000); do [ $(wc -l "
        "<../out) -ge " +
        std::to_string(Lines) +
        " ] && break; sleep 0.01; done; kill -KILL $$) & exec \"$0\" \"$@\"'";
    olvane::Lines Out = Run({"-d0", "~", "-r"}, Kill, 128 + 9);
    // The shell's own word for the kill.
    if (!Out.empty() && Out.back() == "Killed") Out.pop_back();
    int Left = 0;
    for (const auto& Folder : fs::directory_iterator(Tree)) {
      Left += std::distance(fs::directory_iterator(Folder),
                            fs::directory_iterator());
    }
    const int Gone = kFiles - Left;
    ASSERT_LT(Left, kFiles) << "killed before it began";
    for (const std::string& Line : Out) {
      ASSERT_EQ(Line.rfind("Delete file: ", 0), 0u) << Line;
      EXPECT_FALSE(fs::exists(Line.substr(13))) << Line;
    }
    EXPECT_LE(static_cast<int>(Out.size()), Gone);
    EXPECT_LE(Gone - static_cast<int>(Out.size()), 128);
  }
}

}  // namespace
}  // namespace olvane_e2e
