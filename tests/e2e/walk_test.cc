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

// Few descriptors and many workers: what the workers hold at once is left
// room for, and a want of descriptors is waited out, never taken for a held
// file or a folder that cannot be opened.
TEST_F(EndToEndTest, ScarceDescriptorsChangeNothingButTheSpeed) {
  if (Windows()) GTEST_SKIP() << "POSIX descriptor limits";
  std::string Paths, Left;
  for (int Top = 1; Top <= 10; ++Top) {
    std::string Dir = "~/" + std::to_string(Top);
    for (int Level = 1; Level <= 6; Dir += "/" + std::to_string(Level++))
      for (int File = 1; File <= 40; ++File)
        Paths += " " + Dir + "/f" + std::to_string(File);
    Left += std::to_string(Top) + "/1/2/3/4/5/ ";
  }
  Left.pop_back();
  const std::string Make =
      "for d in $(seq 10); do p=$d; for l in 1 2 3 4 5 6; do mkdir $p && (cd "
      "$p && seq -f f%g 40 | xargs touch); p=$p/$l; done; done && ";
  std::vector<Case> Cases;
  // Without leases each file under way needs a look at the other
  // processes too.
  const bool Look = Env("OLVANE_NO_LEASES") == "1";
  for (const std::string& Limit : Look ? Lines{"20"} : Lines{"8", "12"}) {
    Cases.push_back({"", "-d0 ~ -r", Deleted(Paths.substr(1)), Left,
                     Make + "OLVANE_WORKERS=8 sh -c 'ulimit -n " + Limit +
                         " && exec \"$0\" \"$@\"'"});
  }
  Check(Cases);
}

// On a file system whose every operation waits (a FUSE passthrough, as a
// share would), many workers give the one worker's output, line for line.
TEST_F(EndToEndTest, ManyWorkersOnAShareReportAsOne) {
  const std::string Fs = Env("OLVANE_LATENCYFS");
  if (Windows() || Fs.empty() || geteuid() != 0 ||
      std::system("test -c /dev/fuse && unshare -m true 2>/dev/null") != 0) {
    GTEST_SKIP() << "needs root, /dev/fuse, a mount namespace and latencyfs";
  }
  const fs::path Source = Base / "served";
  std::vector<olvane::Lines> Outs;
  for (const char* Workers : {"--workers=1", "--workers=32"}) {
    Wipe(Source);
    fs::create_directories(Source);
    // Due files in folders of several sizes, and one that is not due.
    ASSERT_EQ(std::system(("cd " + Quote(Source) +
                           " && for d in $(seq 12); do mkdir $d && (cd $d && "
                           "seq $((d * 3)) | xargs touch); done && touch -d "
                           "tomorrow 5/young")
                              .c_str()),
              0);
    // The served folder mounted over the tree in a mount namespace of the
    // run's own, and unmounted after it.
    const std::string Mounted =
        "unshare -m sh -c 'm=$PWD; LATENCYFS_US=300 \"$0\" \"$1\" \"$m\" 2>/dev/null & "
        "shift; for i in $(seq 100); do mountpoint -q \"$m\" && break; "
        "sleep 0.05; done; cd \"$m\" && \"$@\"; s=$?; cd /; umount \"$m\"; "
        "wait; exit $s' " +
        Quote(Fs) + " " + Quote(Source.string());
    Outs.push_back(Run({"-d0", "-t:m", "~", "-r", Workers}, Mounted));
    EXPECT_EQ(std::distance(fs::recursive_directory_iterator(Source),
                            fs::recursive_directory_iterator()),
              12 + 1);
  }
  ASSERT_EQ(Outs[0].size(), 234u + 1);
  EXPECT_EQ(Outs[0].back(), "     234 file(s) deleted.");
  for (size_t I = 0; I + 1 < Outs[0].size(); ++I) {
    EXPECT_EQ(Outs[0][I].rfind("Delete file: " + Tree.string() + "/", 0), 0u);
  }
  EXPECT_EQ(Outs[1], Outs[0]);
}

}  // namespace
}  // namespace olvane_e2e
