// The walk stopped by a signal: under TERM every removal has its line and
// the summary follows; under a kill without warning every removal but a
// bounded few has its line.
#include "e2e.h"

namespace olvane_e2e {
namespace {

TEST_F(EndToEndTest, ASignalLosesTheLinesOfAFewRemovalsAtMost) {
  if (Windows()) GTEST_SKIP() << "POSIX signals only";
  // Stopped once the output has that many lines: at the start, and with a
  // kill twice with workers deep in the run, each far from its end so that
  // a busy machine's late kill still finds it running.
  const struct {
    int Signal, Folders, Files, Lines;
  } Rows[] = {{15, 40, 1000, 1},
              {9, 20, 500, 1},
              {9, 20, 1500, 2000},
              {9, 20, 1500, 6000}};
  for (const auto& R : Rows) {
    SCOPED_TRACE(std::to_string(R.Signal) + " at " + std::to_string(R.Lines));
    ASSERT_TRUE(Shell("rm -rf -- * && for d in $(seq " +
                      std::to_string(R.Folders) +
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
    // A kill may cut the write under way: its last line may be a part of
    // one, and is not read; it may as well have been whole.
    const size_t Cut = R.Signal == 9 && !Out.empty() ? 1 : 0;
    if (Cut) Out.pop_back();
    size_t Gone = R.Folders * R.Files;
    for (const auto& Folder : fs::directory_iterator(Tree))
      Gone -= std::distance(fs::directory_iterator(Folder), {});
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
    EXPECT_LE(Gone - Out.size(), R.Signal == 15 ? 0u : 128u + Cut);
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
    Left += " " + std::to_string(Top) + "/1/2/3/4/5/";
  }
  const std::string Make =
      "for d in $(seq 10); do p=$d; for l in 1 2 3 4 5 6; do mkdir $p && (cd "
      "$p && seq -f f%g 40 | xargs touch); p=$p/$l; done; done && ";
  // Without leases each file under way needs a look at the other
  // processes too.
  const std::string Limit = Env("OLVANE_NO_LEASES") == "1" ? "20" : "12";
  Check({{"", "-d0 ~ -r", Deleted(Paths.substr(1)), Left.substr(1),
          Make + "OLVANE_WORKERS=8 sh -c 'ulimit -n " + Limit +
              " && exec \"$0\" \"$@\"'"}});
}

// A snapshot tree (cp -al): five files of a hundred names each. Names of
// one file are one file, whose proof no name of it under way elsewhere in
// the run may spoil: every name goes whatever the workers, and the
// report-only run says so.
TEST_F(EndToEndTest, HardLinkedNamesGoWhateverTheWorkers) {
  std::string Files, Paths, Folders;
  for (int Dir = 0; Dir < 100; ++Dir) {
    const std::string Name = "s" + std::to_string(Dir);
    for (int File = 1; File <= 5; ++File) {
      Files += " " + Name + "/f" + std::to_string(File);
      Paths += " ~/" + Name + "/f" + std::to_string(File);
    }
    Folders += " " + Name + "/";
  }
  const std::string Copy = "for i in $(seq 99); do cp -al s0`. s$i; done && ";
  for (const char* Dry : {"", " -n"}) {
    Check(
        {{"s0/f1 s0/f2 s0/f3 s0/f4 s0/f5",
          std::string("-d0 ~ -r --workers=8") + Dry,
          *Dry ? Predicted(Deleted(Paths.substr(1))) : Deleted(Paths.substr(1)),
          (*Dry ? Files : Folders).substr(1), Copy}});
  }
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
    // Due files in folders of several sizes, and one that is not due.
    ASSERT_TRUE(Shell(
        "rm -rf ../served && mkdir ../served && cd ../served && for d in $(seq "
        "12); do mkdir $d && (cd $d && seq $((d * 3)) | xargs touch); done && "
        "touch -d tomorrow 5/young"));
    // The served folder mounted over the tree in a mount namespace of the
    // run's own, and unmounted after it.
    const std::string Mounted =
        "unshare -m sh -c 'm=$PWD; LATENCYFS_US=300 \"$0\" \"$1\" \"$m\" "
        "2>/dev/null & "
        "shift; for i in $(seq 100); do mountpoint -q \"$m\" && break; "
        "sleep 0.05; done; cd \"$m\" && \"$@\"; s=$?; cd /; umount \"$m\"; "
        "wait; exit $s' " +
        Quote(Fs) + " " + Quote(Source.string());
    Outs.push_back(Run({"-d0", "-t:m", "~", "-r", Workers}, Mounted));
    EXPECT_EQ(std::distance(fs::recursive_directory_iterator(Source), {}),
              12 + 1);
  }
  ASSERT_EQ(Outs[0].size(), 234u + 1);
  EXPECT_EQ(Outs[0].back(), "     234 file(s) deleted.");
  for (size_t I = 0; I + 1 < Outs[0].size(); ++I)
    EXPECT_EQ(Outs[0][I].rfind("Delete file: " + Tree.string() + "/", 0), 0u);
  EXPECT_EQ(Outs[1], Outs[0]);
}

}  // namespace
}  // namespace olvane_e2e
