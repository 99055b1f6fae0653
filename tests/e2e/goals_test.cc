// The retention goals, on both builds: the newest kept in each folder, a
// size, a free space and a cap reached oldest first, and the report-only
// run that predicts each of them line for line.
#include <sys/statvfs.h>

#include "e2e.h"

namespace olvane_e2e {
namespace {

struct GoalCase {
  // "path:D:K": a file last written D days ago, of K KiB (4 if no K).
  std::string Files;
  std::string Args;
  Lines Out;              // in this order, unless Unordered
  std::string Left;       // the files afterwards
  std::string Held = "";  // files another process holds open meanwhile
  int Status = 0;
  bool Unordered = false;  // a streaming run: in the listing's order
};

class GoalsTest : public EndToEndTest {
 protected:
  // Makes "path:D:K" words below Top.
  void MakeAged(const fs::path& Top, const std::string& Files) {
    for (const std::string& Word : Words(Files)) {
      const Lines Part = Words(Word, ':');
      const fs::path Path = Top / Part[0];
      fs::create_directories(Path.parent_path());
      const int KiB = Part.size() > 2 ? std::stoi(Part[2]) : 4;
      std::ofstream(Path, std::ios::binary) << std::string(KiB * 1024, 'x');
      fs::last_write_time(Path,
                          fs::file_time_type::clock::now() -
                              std::chrono::hours(24 * std::stoi(Part[1])) -
                              std::chrono::minutes(1));
    }
  }
  // The files below Top.
  Lines FilesIn(const fs::path& Top) const {
    Lines Names;
    for (const auto& Item : fs::recursive_directory_iterator(Top)) {
      if (!Item.is_directory()) {
        Names.push_back(Item.path().lexically_relative(Top).generic_string());
      }
    }
    return Sorted(Names);
  }
  // Each case predicted first, then run.
  void CheckGoals(const std::vector<GoalCase>& Cases) {
    for (const GoalCase& C : Cases) {
      for (bool Dry : {true, false}) {
        SCOPED_TRACE(C.Args + (Dry ? " -n" : ""));
        Wipe(Tree);
        fs::create_directories(Tree);
        MakeAged(Tree, C.Files);
        const Lines Before = FilesIn(Tree);
        FILE* Holder = Hold(C.Held);
        Lines Args = Words(C.Args + " -t:m" + (Dry ? " -n" : ""));
        Lines Out = Run(Args, "", C.Status);
        if (Holder) pclose(Holder);
        Lines Expected;
        for (const std::string& Line : Dry ? Predicted(C.Out) : C.Out)
          Expected.push_back(Expand(Line));
        if (C.Unordered) {
          Out = Sorted(Out);
          Expected = Sorted(Expected);
        }
        EXPECT_EQ(Out, Expected);
        EXPECT_EQ(FilesIn(Tree), Dry ? Before : Sorted(Words(C.Left)));
      }
    }
  }
};

TEST_F(GoalsTest, GoalsChooseTheOldestDueFilesAndKeepTheNewest) {
  const std::string Ages = "b/old:9 a/mid:7 c/new:5 a/newest:3";
  CheckGoals({
      // The newest two of the files the mask selects, in each folder; a
      // file the mask leaves out is none of them.
      {.Files = "a/1.log:8 a/2.log:5 a/3.log:4 a/4.log:3 a/n.txt:9 b/1.log:6 "
                "b/2.log:5 c/1.log:7",
       .Args = "-d2 ~/*.log -r --keep=2",
       .Out = Deleted("~/a/1.log ~/a/2.log"),
       .Left = "a/3.log a/4.log a/n.txt b/1.log b/2.log c/1.log",
       .Unordered = true},
      // Equal times: the name later in order is the newer; a protected file
      // is not counted among the kept.
      {.Files = "x1:5 x2:5 x3:5 x4:9",
       .Args = "-d0 ~ --keep=1 -x:x4",
       .Out = Deleted("~/x1 ~/x2"),
       .Left = "x3 x4",
       .Unordered = true},
      // A cap, oldest first across the folders.
      {.Files = Ages,
       .Args = "-d0 ~ -r --max-files=3",
       .Out = Deleted("~/b/old ~/a/mid ~/c/new"),
       .Left = "a/newest"},
      // A held file among the chosen: the next oldest takes its place.
      {.Files = Ages,
       .Args = "-d0 ~ -r --max-files=2",
       .Out = {"Delete file: ~/b/old", "Cannot open file: ~/a/mid",
               "Delete file: ~/c/new", "     2 file(s) deleted."},
       .Left = "a/mid a/newest",
       .Held = "~/a/mid"},
      // Sizes: 28 KiB selected, 12 KiB allowed; the term is the floor.
      {.Files = "a/1:9:8 a/2:8:4 b/3:7:12 b/4:1:4",
       .Args = "-d2 ~ -r --max-size=12K",
       .Out = Deleted("~/a/1 ~/a/2 ~/b/3"),
       .Left = "b/4"},
      {.Files = "a/1:9:8 b/4:1:4",
       .Args = "-d2 ~ -r --max-size=0 --keep=1",
       .Out = {"   Goal not met: --max-size=0 is 12288 bytes over",
               "     0 file(s) deleted."},
       .Left = "a/1 b/4",
       .Status = 4},
      // Moves count what leaves the target's files.
      {.Files = "src/a:9 src/b:8 src/c:1 arch/x:1",
       .Args = "-d2 ~/src -m:~/arch --max-size=4K",
       .Out = {"Move file: ~/src/a", "Move file: ~/src/b",
               "     2 file(s) moved."},
       .Left = "arch/a arch/b arch/x src/c"},
  });
}

// Free space: the oldest file has another name, so its removal frees
// nothing, and the next one must go too; no third. On Linux a tmpfs of a
// fixed size in a mount namespace of the run's own; under Wine the tmpfs of
// /dev/shm, whose free space is measured first.
TEST_F(GoalsTest, FreeSpaceCountsOnlyWhatARemovalFrees) {
  const std::string Make =
      "for i in 1 2 3 4; do head -c 65536 /dev/zero >f$i && touch -m -d "
      "\"$((10 - i)) days ago\" f$i; done && mkdir keep && ln f1 keep/f1";
  const Lines Gone = {"Delete file: ~/fs/f1", "Delete file: ~/fs/f2",
                      "     2 file(s) deleted."};
  if (Windows()) {
    fs::create_directories(Other / "fs");
    ASSERT_EQ(
        std::system(("cd " + Quote(Other / "fs") + " && " + Make).c_str()), 0);
    struct statvfs Space;
    ASSERT_EQ(statvfs(Other.c_str(), &Space), 0);
    const int64_t Goal =
        static_cast<int64_t>(Space.f_bavail) * Space.f_frsize + 32768;
    const Lines Out =
        Run({"-d0", "^/fs", "--min-free=" + std::to_string(Goal), "-t:m"});
    Lines Expected;
    for (std::string Line : Gone) {
      if (Line.find("~/") != std::string::npos)
        Line.replace(Line.find('~'), 1, "^");
      Expected.push_back(Expand(Line));
    }
    EXPECT_EQ(Out, Expected);
    EXPECT_EQ(FilesIn(Other), (Lines{"fs/f3", "fs/f4", "fs/keep/f1"}));
    return;
  }
  if (!CanMount()) GTEST_SKIP() << "no mount namespace for a tmpfs";
  fs::create_directories(Tree / "fs");
  for (bool Dry : {true, false}) {
    const Lines Out = Run(
        {"-d0", "~/fs", "--min-free=80%", "-t:m", Dry ? "-n" : "-t:m"},
        "unshare -m sh -c 'mount -t tmpfs -o size=1M none fs && (cd fs && " +
            Make + ") && \"$0\" \"$@\"; find fs -type f | sort'");
    Lines Expected;
    for (const std::string& Line : Dry ? Predicted(Gone) : Gone)
      Expected.push_back(Expand(Line));
    if (Dry) {
      Expected.insert(Expected.end(), {"fs/f1", "fs/f2"});
    }
    Expected.insert(Expected.end(), {"fs/f3", "fs/f4", "fs/keep/f1"});
    EXPECT_EQ(Out, Expected) << (Dry ? "-n" : "");
  }
}

}  // namespace
}  // namespace olvane_e2e
