// The retention goals, on both builds: the newest kept in each folder, a
// size, a free space and a cap reached oldest first, and the report-only
// run that predicts each of them line for line.
#include <csignal>

#include "e2e.h"

namespace olvane_e2e {
namespace {

class GoalsTest : public EndToEndTest {
 protected:
  // Makes "path:D:K" words: a file last written D days (a fraction too)
  // before one moment, of K KiB (4 if no K); "path:@other" is another name
  // of the file other; and links and empty folders, as all tests do. A folder
  // takes the time of the newest file in it, as one a backup job wrote.
  void Make(const std::string& Files) override {
    const auto Now = fs::file_time_type::clock::now() - std::chrono::minutes(1);
    std::vector<fs::path> Folders;
    for (const std::string& Word : Words(Files)) {
      if (Word.find("->") != std::string::npos || Word.back() == '/') {
        EndToEndTest::Make(Word);
        continue;
      }
      const Lines Part = Words(Word, ':');
      const fs::path Path = Tree / Part[0];
      fs::create_directories(Path.parent_path());
      if (Part[1][0] == '@') {
        fs::create_hard_link(Tree / Part[1].substr(1), Path);
        continue;
      }
      for (fs::path Up = Path.parent_path(); Up != Tree; Up = Up.parent_path())
        Folders.push_back(Up);
      const int KiB = Part.size() > 2 ? std::stoi(Part[2]) : 4;
      std::ofstream(Path, std::ios::binary) << std::string(KiB * 1024, 'x');
      const double Days = std::stod(Part[1]);
      fs::last_write_time(Path,
                          Now - std::chrono::microseconds(
                                    static_cast<int64_t>(Days * 86400e6)));
    }
    // Deepest first, so that a folder's own time counts for the one above.
    std::sort(Folders.begin(), Folders.end(), std::greater<>());
    for (const fs::path& Folder : Folders) {
      auto Newest = fs::file_time_type::min();
      for (const auto& In : fs::directory_iterator(Folder))
        if (!In.is_symlink()) Newest = std::max(Newest, In.last_write_time());
      fs::last_write_time(Folder, Newest);
    }
  }
  // The files and empty folders, without the files' content.
  Lines Leaves() const override {
    Lines Names = EndToEndTest::Leaves();
    for (std::string& Name : Names) Name = Name.substr(0, Name.find('='));
    return Names;
  }
  // Each case predicted first, then run, by the files' modification times.
  // A run with a cap reports in the order of its choice; one with --keep
  // alone streams, in the listing's order.
  void CheckGoals(std::vector<Case> Cases) {
    for (Case& C : Cases) {
      C.Args += " -t:m";
      C.Predict = true;
      C.Ordered = C.Args.find("--max-") != std::string::npos;
    }
    Check(Cases);
  }
};

TEST_F(GoalsTest, GoalsChooseTheOldestDueFilesAndKeepTheNewest) {
  const std::string Ages = "b/old:9 a/mid:7 c/new:5 a/newest:3";
  std::vector<Case> Cases = {
      // The newest two of the files the mask selects, in each folder; a
      // file the mask leaves out is none of them.
      {"a/1.log:8 a/2.log:5 a/3.log:4 a/4.log:3 a/n.txt:9 b/1.log:6 b/2.log:5 "
       "c/1.log:7",
       "-d2 ~/*.log -r --keep=2", Deleted("~/a/1.log ~/a/2.log"),
       "a/3.log a/4.log a/n.txt b/1.log b/2.log c/1.log"},
      // Equal times: the name later in order is the newer; a protected file
      // is not counted among the kept.
      {"x1:5 x2:5 x3:5 x4:9", "-d0 ~ --keep=1 -x:x4", Deleted("~/x1 ~/x2"),
       "x3 x4"},
      // Times a millisecond apart within one second: the older goes first
      // and the newer stays, whatever their names.
      {"x:5 z:5.00000001", "-d0 ~ --keep=1", Deleted("~/z"), "x"},
      // A link, the newest entry, is none of the files kept.
      {"b1:9 b2:8 b3:7 latest->~/b3", "-d2 ~ --keep=1", Deleted("~/b1 ~/b2"),
       "b3 latest->~/b3"},
      {"a:5 z:5.00000001", "-d0 ~ --max-files=1", Deleted("~/z"), "a"},
      // A cap, oldest first across the folders.
      {Ages, "-d0 ~ -r --max-files=3", Deleted("~/b/old ~/a/mid ~/c/new"),
       "a/newest b/ c/"},
      // A held file among the chosen: the next oldest takes its place.
      {Ages, "-d0 ~ -r --max-files=2",
       "Delete file: ~/b/old\nCannot open file: ~/a/mid\nDelete file: ~/c/new\n"
       "     2 file(s) deleted.",
       "a/mid a/newest b/ c/", "", "~/a/mid"},
      // Sizes: 28 KiB selected, 12 KiB allowed; the term is the floor.
      {"a/1:9:8 a/2:8:4 b/3:7:12 b/4:1:4", "-d2 ~ -r --max-size=12K",
       Deleted("~/a/1 ~/a/2 ~/b/3"), "a/ b/4"},
      {"a/1:9:8 b/4:1:4", "-d2 ~ -r --max-size=0 --keep=1",
       Deleted("", "   Goal not met: --max-size=0 is 12288 bytes over"),
       "a/1 b/4", "", "", 4},
      // A goal that cannot be measured is not met.
      {"a:9", "-d0 ~/none --max-size=1M --min-free=100%",
       Deleted("",
               "   Goal not met: --max-size=1M could not be measured; "
               "--min-free=100% could not be measured"),
       "a", "", "", 4},
      // Moves count what leaves the target's files.
      {"src/a:9 src/b:8 src/c:1 arch/x:1", "-d2 ~/src -m:~/arch --max-size=4K",
       Moved("~/src/a ~/src/b"), "arch/a arch/b arch/x src/c"},
      // A file counts once, however many of its names are selected, and
      // leaves with the last of them: 20 KiB selected, 8 KiB to go.
      {"a/1:9:8 b/1:@a/1 c/1:@a/1 a/2:8:4 b/2:@a/2 a/3:7:4 a/4:1:4",
       "-d2 ~ -r --max-size=12K", Deleted("~/a/1 ~/b/1 ~/c/1"),
       "a/2 a/3 a/4 b/2 c/"},
  };
  CheckGoals(Cases);
}

// Each goal on 32 workers says and leaves what it does on one, with held
// files among the chosen.
TEST_F(GoalsTest, WorkersSayWhatOneWorkerSays) {
  std::string Files;
  for (int I = 0; I < 60; ++I) {
    Files += "d" + std::to_string(I % 6) + "/f" + std::to_string(I) + ":" +
             std::to_string(2 + I * 7 % 50) + ":" + std::to_string(1 + I % 7) +
             " ";
  }
  for (const std::string Goal :
       {"--max-files=30", "--max-size=100K", "--min-free=100%", "--keep=4"}) {
    Lines Said[2], Left[2];
    for (int One = 0; One < 2; ++One) {
      Wipe(Tree);
      fs::create_directories(Tree);
      Make(Files);
      FILE* Holder = Hold("~/d1/f7 ~/d3/f33");
      Said[One] = Run(
          Words("-d1 ~ -r -t:m " + Goal + " --workers=" + (One ? "1" : "32")),
          "", Goal == "--min-free=100%" ? 4 : 0);
      if (Holder) pclose(Holder);
      // What the file system lacks changes with everything else on it.
      for (std::string& Line : Said[One])
        Line = Line.substr(0, Line.find(" lacks "));
      Left[One] = Leaves();
    }
    EXPECT_EQ(Said[0], Said[1]) << Goal;
    EXPECT_EQ(Left[0], Left[1]) << Goal;
  }
}

// Free space: the oldest file has another name, so its removal frees
// nothing, and the next one must go too (with -r, its other name); no
// third, and none on another file system, which frees nothing there. On
// Linux a tmpfs of a fixed size in a mount namespace of the run's own, with
// another one below it; under Wine the tmpfs of /dev/shm, whose free space
// is measured first.
TEST_F(GoalsTest, FreeSpaceCountsOnlyWhatARemovalFrees) {
  const std::string Make =
      "for i in 1 2 3 4; do head -c 65536 /dev/zero >f$i && touch -m -d "
      "\"$((10 - i)) days ago\" f$i; done && mkdir keep && ln f1 keep/f1";
  if (Windows()) {
    fs::create_directories(Other / "fs");
    ASSERT_TRUE(Succeeds("cd " + Quote(Other / "fs") + " && " + Make));
    const uintmax_t Goal = fs::space(Other).available + 32768;
    EXPECT_EQ(
        Run({"-d0", "^/fs", "--min-free=" + std::to_string(Goal), "-t:m"}),
        Deleted(Expand("^/fs/f1 ^/fs/f2")));
    EXPECT_EQ(Leaves(), Words("^/fs/f3 ^/fs/f4 ^/fs/keep/f1"));
    return;
  }
  if (!CanMount()) GTEST_SKIP() << "no mount namespace for a tmpfs";
  fs::create_directories(Tree / "fs");
  for (const std::string Walk : {"-t:m", "-t:m -r", "-t:m -r --cross-mounts"}) {
    const std::string Second = Walk == "-t:m" ? "f2" : "keep/f1";
    const Lines Gone = Deleted(Expand("~/fs/f1 ~/fs/" + Second));
    for (bool Dry : {true, false}) {
      const Lines Out = Run(
          Words("-d0 ~/fs --min-free=80% " + Walk + (Dry ? " -n" : "")),
          "unshare -m sh -c 'mount -t tmpfs -o size=1M none fs && (cd fs && " +
              Make +
              " && mkdir sub && mount -t tmpfs none sub && head -c 65536 "
              "/dev/zero >sub/s && touch -m -d \"20 days ago\" sub/s) && "
              "\"$0\" \"$@\"; find fs -type f | sort'");
      Lines Expected = Dry ? Predicted(Gone) : Gone;
      for (const char* File : {"f1", "f2", "f3", "f4", "keep/f1", "sub/s"}) {
        const std::string Name = File;
        if (Dry || (Name != "f1" && Name != Second))
          Expected.push_back("fs/" + Name);
      }
      EXPECT_EQ(Out, Expected) << Walk << (Dry ? " -n" : "");
    }
  }
}

// --folders: each folder the mask selects is one item, aged by the newest
// time in its tree, and acted on whole or not at all.
TEST_F(GoalsTest, FoldersAreItemsAgedByTheirNewestFileAndGoWhole) {
  const auto Sets = [](const std::string& Verb, const std::string& Paths,
                       Output Out = {}) {
    const std::string Done = Verb == "Move" ? "moved." : "deleted.";
    for (const std::string& Path : Words(Paths))
      Out.push_back(Verb + " folder: " + Path);
    Out.push_back("     0 file(s) " + Done);
    Out.push_back("     " + std::to_string(Words(Paths).size()) +
                  " folder(s) " + Done);
    return Lines(Out);
  };
  std::vector<Case> Cases = {
      // One young file keeps its set; a file, a link to a folder and a
      // folder that does not match are no items.
      {"s1/a:9 s1/d/b:9 s2/a:9 s2/d/b:1 s3/a:9 s4:9 s5->~/s3 o/s6/a:9",
       "-d5 ~/s* --folders", Sets("Delete", "~/s1 ~/s3"),
       "o/s6/a s2/a s2/d/b s4 s5->~/s3"},
      // A held file and a protected one keep their sets whole.
      {"h/a:9 h/b:9 p/a:9 p/b.me:9 ok/a:9", "-d5 ~ --folders -x:*.me",
       Sets("Delete", "~/ok",
            "Folder ~/h stays whole: ~/h/b is held open.\n"
            "Folder ~/p stays whole: ~/p/b.me is protected."),
       "h/a h/b p/a p/b.me", "", "~/h/b"},
      // With -r, the newest of each parent folder kept; nothing is looked
      // for inside an item.
      {"x/s1/f:9 x/s2/f:8 x/s3/f:7 y/s1/f:9 y/s2/f:6 y/s2/g/s9/f:9",
       "-d0 ~/s* -r --folders --keep=1", Sets("Delete", "~/x/s1 ~/x/s2 ~/y/s1"),
       "x/s3/f y/s2/f y/s2/g/s9/f"},
      // A cap counts items, oldest first.
      {"a/f:9 b/f:8 b/g:8 c/f:7", "-d0 ~ --folders --max-files=2",
       Sets("Delete", "~/a ~/b"), "c/f"},
      // Moved whole under its own name; -Y replaces a folder that was
      // there before the run.
      {"s1/a:9 s1/d/b:9 s2/a:1 arch/", "-d5 ~/s* --folders -m:~/arch",
       Sets("Move", "~/s1"), "arch/s1/a arch/s1/d/b s2/a"},
      {"s1/a:9 arch/s1/old:20", "-d5 ~/s* --folders -m:~/arch -Y",
       Sets("Move", "~/s1"), "arch/s1/a"},
      {"s1/a:9 arch/s1/old:20", "-d5 ~/s* --folders -m:~/arch",
       Sets("Move", "", "File ~/arch/s1 already exist."), "arch/s1/old s1/a"},
      // No folder matches: nothing to do.
      {"o/a:9", "-d0 ~/s* --folders", Sets("Delete", ""), "o/a"},
      // Named by date, a set is as old as its name says, whatever its
      // files' times; the newest days are kept; an undated name stays.
      {"db-2026-01-01/f:0 db-2026-01-02/f:0 db-2026-01-03/f:0 db-x/f:0",
       "-d0 ~/db-* --folders --date-from-name=db-%Y-%m-%d --keep-daily=2",
       [&] {
         Lines Out = Sets("Delete", "~/db-2026-01-01");
         Out.push_back("     1 name(s) without a date left alone.");
         return Out;
       }(),
       "db-2026-01-02/f db-2026-01-03/f db-x/f"},
  };
  if (!OtherFileSystem()) return CheckGoals(Cases);
  // Onto another file system: copied whole, times and all, so that the set
  // is as old there.
  Cases.push_back({"s1/a:9 s1/d/b:9 ^/", "-d5 ~/s* --folders -m:^",
                   Sets("Move", "~/s1"), "^/s1/a ^/s1/d/b"});
  CheckGoals(Cases);
  EXPECT_EQ(Run(Words("-d5 ^ --folders -t:m -n")),
            Predicted(Sets("Delete", Expand("^/s1"))));
}

// A run killed while it removes a set leaves it whole or hidden, never in
// part under its name; the next run finishes it.
TEST_F(GoalsTest, AKilledRemovalOfASetIsFinishedByTheNextRun) {
  if (Windows()) GTEST_SKIP() << "the kill is staged on Linux";
  // In memory: the disk would take longer to fill than the run to empty.
  ASSERT_TRUE(Succeeds("mkdir -p " + Quote(Other / "s1/d") + " && cd " +
                       Quote(Other / "s1/d") + " && seq 60000 | xargs touch"));
  const std::string Command = "exec " + Env("OLVANE_PROGRAM") + " -d0 " +
                              Quote(Other) + " --folders >/dev/null";
  const pid_t Child = fork();
  if (Child == 0) {
    execl("/bin/sh", "sh", "-c", Command.c_str(), nullptr);
    _exit(127);
  }
  const fs::path Hidden = Other / ".olvane-removing.s1";
  while (!fs::exists(Hidden) && waitpid(Child, nullptr, WNOHANG) == 0)
    usleep(200);
  kill(Child, SIGKILL);
  waitpid(Child, nullptr, 0);
  const bool Hid = fs::exists(Hidden);
  ASSERT_TRUE(Hid) << "the run ended before it was killed";
  EXPECT_FALSE(fs::exists(Other / "s1"));
  EXPECT_EQ(Run({"-d0", "^", "--folders"})[0],
            Expand("Delete unfinished folder: ^/.olvane-removing.s1"));
  EXPECT_EQ(Leaves(), Lines{});
}

}  // namespace
}  // namespace olvane_e2e
