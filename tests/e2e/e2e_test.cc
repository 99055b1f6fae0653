// End-to-end tests of the built command in temporary folders.
//
// The same suite serves every build. The environment says what to run:
//   OLVANE_PROGRAM     the command that starts olvane ("wine .../olvane.exe")
//   OLVANE_HOLDER      the command that starts hold_open
//   OLVANE_PATH_STYLE  "windows" to hand the command drive paths ("Z:\...")
//                      and expect "\r\n" line ends
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace fs = std::filesystem;

namespace {

using Lines = std::vector<std::string>;

std::string Env(const char* Name) {
  const char* Value = std::getenv(Name);
  return Value ? Value : "";
}

bool WindowsStyle() { return Env("OLVANE_PATH_STYLE") == "windows"; }

std::string Quote(const std::string& Text) {
  std::string Quoted = "'";
  for (char C : Text)
    Quoted += C == '\'' ? std::string("'\\''") : std::string(1, C);
  return Quoted + "'";
}

std::string ReadFile(const fs::path& Path) {
  std::ifstream In(Path, std::ios::binary);
  std::stringstream Text;
  Text << In.rdbuf();
  return Text.str();
}

struct Result {
  int Status = -1;
  std::string Out, Err;
};

// Starts hold_open on some files and stops it again when it goes out of
// scope.
class Holder {
 public:
  Holder(const fs::path& Scratch, const std::vector<std::string>& Files)
      : Ready_(Scratch / "ready"), Release_(Scratch / "release") {
    fs::remove(Release_);
    std::string Command = Env("OLVANE_HOLDER") + " " + Quote(Form(Ready_)) +
                          " " + Quote(Form(Release_));
    for (const std::string& File : Files) Command += " " + Quote(File);
    std::system((Command + " >/dev/null 2>&1 &").c_str());
    WaitFor([&] { return fs::exists(Ready_); });
  }
  ~Holder() {
    std::ofstream(Release_) << "go\n";
    WaitFor([&] { return !fs::exists(Ready_); });
  }
  static std::string Form(const fs::path& Path) {
    if (!WindowsStyle()) return Path.string();
    std::string Text = "Z:" + Path.string();
    for (char& C : Text) C = C == '/' ? '\\' : C;
    return Text;
  }

 private:
  template <typename Done>
  static void WaitFor(Done Check) {
    for (int Tick = 0; Tick < 3000 && !Check(); ++Tick) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
  }
  fs::path Ready_, Release_;
};

class EndToEndTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::random_device Seed;
    const std::string Tag = std::to_string(Seed()) + std::to_string(Seed());
    Scratch = fs::temp_directory_path() / ("olvane-e2e-" + Tag);
    Root = Scratch / "root";
    fs::create_directories(Root);
  }
  void TearDown() override { fs::remove_all(Scratch); }

  // The path as the command is given it and prints it.
  static std::string P(const fs::path& Path) { return Holder::Form(Path); }

  // Output as the command writes it: each line with the platform's line end.
  static std::string Text(const Lines& Out) {
    std::string All;
    for (const std::string& Line : Out) {
      All += Line + (WindowsStyle() ? "\r\n" : "\n");
    }
    return All;
  }

  // Output lines, with the line ends checked.
  static Lines Split(const std::string& Out) {
    Lines Result;
    const std::string End = WindowsStyle() ? "\r\n" : "\n";
    size_t Start = 0;
    for (size_t At; (At = Out.find(End, Start)) != std::string::npos;
         Start = At + End.size()) {
      Result.push_back(Out.substr(Start, At - Start));
    }
    EXPECT_EQ(Start, Out.size()) << "output does not end with a line end";
    return Result;
  }

  void Make(const fs::path& Path, const std::string& Content = "x") {
    fs::create_directories(Path.parent_path());
    std::ofstream(Path, std::ios::binary) << Content;
  }

  // Runs the command in Cwd (default Root); Environment is put in front of
  // it as shell assignments.
  Result Run(const Lines& Args, const fs::path& Cwd = fs::path(),
             const std::string& Environment = "") {
    std::string Command = "cd " + Quote((Cwd.empty() ? Root : Cwd).string()) +
                          " && " + Environment + " " + Env("OLVANE_PROGRAM");
    for (const std::string& Arg : Args) Command += " " + Quote(Arg);
    Command += " >" + Quote((Scratch / "out").string()) + " 2>" +
               Quote((Scratch / "err").string()) + " </dev/null; echo $? >" +
               Quote((Scratch / "rc").string());
    std::system(Command.c_str());
    Result Got;
    Got.Status = std::atoi(ReadFile(Scratch / "rc").c_str());
    Got.Out = ReadFile(Scratch / "out");
    Got.Err = ReadFile(Scratch / "err");
    return Got;
  }

  // Deletion lines come in listing order, which the file system decides.
  static Lines Sorted(Lines Out) {
    std::sort(Out.begin(), Out.end());
    return Out;
  }

  void MoveInto(const fs::path& Archive);

  fs::path Scratch, Root;
};

TEST_F(EndToEndTest, NoArgumentPrintsTheUsageScreen) {
  Result Got = Run({});
  EXPECT_EQ(Got.Status, 0);
  const Lines Out = Split(Got.Out);  // checks every line end
  ASSERT_EQ(Out.size(), 19u);
  EXPECT_EQ(Out[0], "   olvane: purge expired files. V.1.0. Usage:");
  EXPECT_EQ(Out[11], "   ");
  EXPECT_EQ(Got.Err, "");
}

TEST_F(EndToEndTest, DeletesDueFilesOfARelativeMaskGivenUnexpanded) {
  Make(Root / "r.log");  // an expanding runtime would turn *.log into r.log
  Make(Root / "logs" / "a.log");
  Make(Root / "logs" / "b.txt");
  Make(Root / "logs" / "x" / "y" / "c.log");
  EXPECT_EQ(Run({"-d1", "logs", "*.log", "-r"}).Out,
            Text({"     0 file(s) deleted."}));
  Result Got = Run({"-d0", "logs", "*.log", "-r"});
  EXPECT_EQ(Got.Status, 0);
  EXPECT_EQ(Sorted(Split(Got.Out)),
            (Lines{"     2 file(s) deleted.",
                   "Delete file: " + P(Root / "logs" / "a.log"),
                   "Delete file: " + P(Root / "logs" / "x" / "y" / "c.log")}));
  EXPECT_TRUE(fs::exists(Root / "r.log"));
  EXPECT_TRUE(fs::exists(Root / "logs" / "b.txt"));
}

TEST_F(EndToEndTest, FileHeldOpenByAnotherProcessIsLeftAlone) {
  Make(Root / "held.log");
  Make(Root / "free.log");
  Result Got;
  {
    Holder Hold(Scratch, {P(Root / "held.log")});
    Got = Run({"-d0", P(Root / "*.log")});
  }
  EXPECT_EQ(Sorted(Split(Got.Out)),
            (Lines{"     1 file(s) deleted.",
                   "Cannot open file: " + P(Root / "held.log"),
                   "Delete file: " + P(Root / "free.log")}));
  EXPECT_TRUE(fs::exists(Root / "held.log"));
}

// Names, sizes, times and modes of everything below Top.
std::string Snapshot(const fs::path& Top) {
  std::vector<std::string> Items;
  for (const auto& Item : fs::recursive_directory_iterator(Top)) {
    std::string Line = Item.path().string() + " " +
                       std::to_string(static_cast<int>(Item.status().permissions())) + " " +
                       std::to_string(Item.last_write_time().time_since_epoch().count());
    if (Item.is_regular_file()) Line += " " + std::to_string(Item.file_size());
    Items.push_back(Line);
  }
  std::sort(Items.begin(), Items.end());
  std::string All;
  for (const std::string& Line : Items) All += Line + "\n";
  return All;
}

TEST_F(EndToEndTest, ReportOnlyRunsChangeNothingAndHelpAndVersionWalkNothing) {
  Make(Root / "a.log", "aaa");
  Make(Root / "sub" / "b.log", "bb");
  Make(Scratch / "archive" / "b.log");
  const std::string Before = Snapshot(Root) + Snapshot(Scratch / "archive");
  Result Got = Run({"-d0", P(Root), "-r", "-e", "-n"});
  EXPECT_EQ(Sorted(Split(Got.Out)),
            (Lines{"     1 folder(s) would be deleted.",
                   "     2 file(s) would be deleted.",
                   "Would delete file: " + P(Root / "a.log"),
                   "Would delete file: " + P(Root / "sub" / "b.log"),
                   "Would delete folder: " + P(Root / "sub")}));
  Got = Run({"-d0", P(Root), "-r", "-n", "-m:" + P(Scratch / "archive")});
  EXPECT_EQ(Split(Got.Out),
            (Lines{"Would move file: " + P(Root / "a.log"),
                   "File " + P(Scratch / "archive" / "b.log") +
                       " already exist.",
                   "     1 file(s) would be moved."}));
  EXPECT_EQ(Snapshot(Root) + Snapshot(Scratch / "archive"), Before);
  Got = Run({"-d0", "--help", P(Root)});
  EXPECT_EQ(Got.Status, 0);
  const Lines Help = Split(Got.Out);
  EXPECT_EQ(Lines(Help.begin(), Help.begin() + 19), Split(Run({}).Out));
  EXPECT_EQ(Got.Out.find("file(s)"), std::string::npos);
  Got = Run({"--version"});
  EXPECT_EQ(Got.Status, 0);
  EXPECT_EQ(Split(Got.Out), (Lines{"olvane 1.0.0"}));
  EXPECT_EQ(Snapshot(Root) + Snapshot(Scratch / "archive"), Before);
}

// What follows needs POSIX file kinds and paths.
class PosixEndToEndTest : public EndToEndTest {
 protected:
  void SetUp() override {
    if (WindowsStyle()) GTEST_SKIP() << "POSIX file kinds only";
    EndToEndTest::SetUp();
  }
};

TEST_F(PosixEndToEndTest, LinksAreRemovedAsThemselvesAndNeverEntered) {
  Make(Scratch / "outside" / "precious");
  fs::create_directories(Root / "d");
  fs::create_directory_symlink(Scratch / "outside", Root / "d" / "dirlink");
  fs::create_symlink(Scratch / "outside" / "precious", Root / "filelink");
  std::system(("mkfifo " + Quote((Root / "fifo").string())).c_str());
  Result Got = Run({"-d0", Root.string(), "-r"});
  EXPECT_EQ(Split(Got.Out),
            (Lines{"Delete file: " + (Root / "filelink").string(),
                   "     1 file(s) deleted."}));
  EXPECT_TRUE(fs::exists(Scratch / "outside" / "precious"));
  EXPECT_TRUE(fs::is_symlink(Root / "d" / "dirlink"));
  EXPECT_TRUE(fs::exists(Root / "fifo"));
}

TEST_F(PosixEndToEndTest, EmptiedFoldersGoButNeverTheTargetLinksOrHeldOnes) {
  Make(Root / "2026" / "01" / "a.log");
  Make(Root / "2026" / "02" / "b.log");
  Make(Root / "busy" / "held.log");
  Make(Scratch / "outside" / "keep");
  fs::create_directory_symlink(Scratch / "outside", Root / "link");
  Result Got;
  {
    Holder Hold(Scratch, {(Root / "busy" / "held.log").string()});
    Got = Run({"-d0", Root.string(), "-r", "-e"});
  }
  const Lines Out = Split(Got.Out);
  ASSERT_EQ(Out.size(), 8u);
  EXPECT_EQ(Out[6], "     2 file(s) deleted.");
  EXPECT_EQ(Out[7], "     3 folder(s) deleted.");
  EXPECT_EQ(std::count(Out.begin(), Out.end(),
                       "Delete folder: " + (Root / "2026").string()),
            1);
  EXPECT_FALSE(fs::exists(Root / "2026"));
  EXPECT_TRUE(fs::exists(Root / "busy" / "held.log"));
  EXPECT_TRUE(fs::exists(Scratch / "outside" / "keep"));
  EXPECT_TRUE(fs::is_symlink(Root / "link") && fs::is_directory(Root));
}

TEST_F(PosixEndToEndTest, FolderSwappedForALinkCannotRedirectTheWalk) {
  for (const std::string Target : {"", "*.log"}) {
    fs::remove_all(Root);
    fs::remove_all(Scratch / "outside");
    fs::remove_all(Scratch / "aside");
    Make(Scratch / "outside" / "precious.log");
    Make(Scratch / "outside" / "deep" / "precious.log");
    Make(Root / "trigger.log");  // removed before any subfolder is entered
    Make(Root / "a" / "a.log");
    Make(Root / "b" / "b.log");
    Make(Root / "c" / "c.log");
    // One worker: the swap must come before the walk reaches the folder,
    // which the walk's own thread opens whatever the number of workers.
    const std::string Environment =
        "OLVANE_WORKERS=1 LD_PRELOAD=" + Quote(Env("OLVANE_RACE_PRELOAD")) +
        " OLVANE_RACE_TRIGGER=trigger.log OLVANE_RACE_SWAP=" +
        Quote((Root / "b").string()) +
        " OLVANE_RACE_OUTSIDE=" + Quote((Scratch / "outside").string()) +
        " OLVANE_RACE_ASIDE=" + Quote((Scratch / "aside").string());
    const std::string Path =
        Target.empty() ? Root.string() : (Root / Target).string();
    Result Got = Run({"-d0", Path, "-r"}, Root, Environment);
    EXPECT_TRUE(fs::is_symlink(Root / "b")) << "the swap did not happen";
    EXPECT_TRUE(fs::exists(Scratch / "outside" / "precious.log"));
    EXPECT_TRUE(fs::exists(Scratch / "outside" / "deep" / "precious.log"));
    EXPECT_TRUE(fs::exists(Scratch / "aside" / "b.log"));
    // The walk went on with the folders that were not swapped.
    EXPECT_EQ(Sorted(Split(Got.Out)),
              (Lines{"     3 file(s) deleted.",
                     "Delete file: " + (Root / "a" / "a.log").string(),
                     "Delete file: " + (Root / "c" / "c.log").string(),
                     "Delete file: " + (Root / "trigger.log").string()}));
  }
}

TEST_F(PosixEndToEndTest, FileOpenedAfterTheExpiryTestIsNotDeleted) {
  Make(Root / "taken.log");
  Make(Root / "free.log");
  Result Got = Run({"-d0", Root.string()}, Root,
                   "LD_PRELOAD=" + Quote(Env("OLVANE_RACE_PRELOAD")) +
                       " OLVANE_RACE_OPENER=taken.log");
  EXPECT_EQ(Sorted(Split(Got.Out)),
            (Lines{"     1 file(s) deleted.",
                   "Cannot delete file: " + (Root / "taken.log").string(),
                   "Delete file: " + (Root / "free.log").string()}));
  EXPECT_TRUE(fs::exists(Root / "taken.log"));
}

// An ordinary user can take no lease on another user's file and cannot read
// the tables of root's processes: without proof the file stays.
TEST_F(PosixEndToEndTest, OtherUsersHeldFileStaysForAnOrdinaryUser) {
  if (geteuid() != 0 || std::system("command -v setpriv >/dev/null") != 0) {
    GTEST_SKIP() << "needs root and setpriv to run a part as nobody";
  }
  const fs::path Shared = Root / "shared";
  fs::create_directories(Shared);
  fs::permissions(Scratch, fs::perms(0755));
  fs::permissions(Shared, fs::perms(0777));
  Make(Shared / "held.log");
  Make(Shared / "own.log");
  ASSERT_EQ(std::system(("chown nobody " + Quote((Shared / "own.log").string()))
                            .c_str()),
            0);
  Result Got;
  {
    Holder Hold(Scratch, {(Shared / "held.log").string()});
    Got = Run({"-d0", Shared.string()}, Root,
              "setpriv --reuid=nobody --regid=nogroup --clear-groups");
  }
  EXPECT_EQ(Sorted(Split(Got.Out)),
            (Lines{"     1 file(s) deleted.",
                   "Cannot open file: " + (Shared / "held.log").string(),
                   "Delete file: " + (Shared / "own.log").string()}));
  EXPECT_TRUE(fs::exists(Shared / "held.log"));
}

TEST_F(PosixEndToEndTest, TermStopsTheRunWithEveryRemovalReported) {
  const fs::path Back = fs::current_path();
  for (int Folder = 0; Folder < 40; ++Folder) {
    fs::create_directories(Root / std::to_string(Folder));
    fs::current_path(Root / std::to_string(Folder));
    std::system("seq 1 1000 | xargs touch");
  }
  fs::current_path(Back);
  // Stopped once it has begun: as soon as the first line is out.
  const std::string Out = (Scratch / "out").string();
  const std::string Command =
      Env("OLVANE_PROGRAM") + " -d0 " + Quote(Root.string()) + " -r >" +
      Quote(Out) + " & pid=$!; for i in $(seq 3000); do [ -s " + Quote(Out) +
      " ] && break; sleep 0.01; done; kill -TERM $pid; wait $pid; exit $?";
  const int Status = std::system(("bash -c " + Quote(Command)).c_str());
  ASSERT_TRUE(WIFEXITED(Status));
  EXPECT_EQ(WEXITSTATUS(Status), 143);
  const Lines Got = Split(ReadFile(Out));
  ASSERT_FALSE(Got.empty());
  size_t Gone = 0;
  for (const auto& Folder : fs::directory_iterator(Root)) {
    Gone += 1000 - std::distance(fs::directory_iterator(Folder),
                                 fs::directory_iterator());
  }
  EXPECT_LT(Gone, 40000u) << "the stop came too late to show anything";
  EXPECT_EQ(Got.size(), Gone + 1) << "a removal without its line";
  EXPECT_EQ(Got.back(), "     " + std::to_string(Gone) + " file(s) deleted.");
}

TEST_F(PosixEndToEndTest, TreeDeeperThanPathMaxAndTheDescriptorsIsPurged) {
  // 600 levels (6.6 KB of path), each with a side folder holding one file,
  // walked by a process that may hold only 128 descriptors. Made one level
  // at a time: the whole path is too long for one call.
  const fs::path Back = fs::current_path();
  fs::current_path(Root);
  std::string Deep = Root.string();
  for (int Level = 0; Level < 600; ++Level, Deep += "/dddddddddd") {
    fs::create_directories("s");
    std::ofstream("s/f") << "x";
    fs::create_directory("dddddddddd");
    fs::current_path("dddddddddd");
  }
  std::ofstream("leaf") << "x";
  fs::current_path(Back);
  Result Got = Run({"-d0", Root.string(), "-r"}, Root, "ulimit -n 128 &&");
  const Lines Out = Split(Got.Out);
  ASSERT_EQ(Out.size(), 602u);
  EXPECT_EQ(Out.back(), "     601 file(s) deleted.");
  EXPECT_EQ(
      std::count(Out.begin(), Out.end(), "Delete file: " + Deep + "/leaf"), 1);
  std::system(("rm -rf " + Quote((Root / "dddddddddd").string())).c_str());
}

// Moves due files into Archive: one new, one whose name is taken there,
// then again with -Y.
void EndToEndTest::MoveInto(const fs::path& Archive) {
  fs::create_directories(Archive);
  Make(Root / "a.log", "content");
  Make(Root / "same.log", "new");
  Make(Archive / "same.log", "old");
  fs::permissions(Root / "a.log", fs::perms(0640));
  const auto Time =
      fs::last_write_time(Root / "a.log") - std::chrono::hours(50);
  fs::last_write_time(Root / "a.log", Time);
  Result Got = Run({"-d0", P(Root), "-m:" + P(Archive)});
  EXPECT_EQ(Sorted(Split(Got.Out)),
            (Lines{"     1 file(s) moved.",
                   "File " + P(Archive / "same.log") + " already exist.",
                   "Move file: " + P(Root / "a.log")}));
  EXPECT_FALSE(fs::exists(Root / "a.log"));
  EXPECT_EQ(ReadFile(Archive / "a.log"), "content");
  if (!WindowsStyle()) {
    EXPECT_EQ(fs::status(Archive / "a.log").permissions(), fs::perms(0640));
    EXPECT_EQ(fs::last_write_time(Archive / "a.log"), Time);
  }
  Result Over = Run({"-d0", P(Root), "-Y", "-m:" + P(Archive)});
  EXPECT_EQ(Split(Over.Out), (Lines{"Move file: " + P(Root / "same.log"),
                                    "     1 file(s) moved."}));
  EXPECT_EQ(ReadFile(Archive / "same.log"), "new");
  EXPECT_EQ(
      std::distance(fs::directory_iterator(Archive), fs::directory_iterator()),
      2);
  fs::remove_all(Archive);
}

TEST_F(EndToEndTest, MovesDueFilesIntoTheMoveFolder) {
  MoveInto(Scratch / "archive");
}

TEST_F(EndToEndTest, MovesDueFilesOntoAnotherFileSystem) {
  const fs::path Shm = "/dev/shm";
  if (!fs::is_directory(Shm) ||
      std::system(("test $(stat -c %d " + Quote(Shm.string()) +
                   ") != $(stat -c %d " + Quote(Root.string()) + ")")
                      .c_str()) != 0) {
    GTEST_SKIP() << "this machine has no second file system at /dev/shm";
  }
  MoveInto(Shm / ("olvane-e2e-" + Scratch.filename().string()));
}

// What follows needs the Windows build: names in UTF-16, the long path form.
class WindowsEndToEndTest : public EndToEndTest {
 protected:
  void SetUp() override {
    if (!WindowsStyle()) GTEST_SKIP() << "Windows names and paths only";
    EndToEndTest::SetUp();
  }

  // Every regular file below Root, relative to it.
  Lines FilesLeft() {
    Lines Left;
    for (const auto& Item : fs::recursive_directory_iterator(Root)) {
      if (Item.is_regular_file()) {
        Left.push_back(fs::relative(Item.path(), Root).string());
      }
    }
    return Sorted(Left);
  }

  // A folder 16 levels below Root with 60-character names: over 1,000
  // characters of path.
  fs::path Deep() {
    fs::path Path = Root;
    for (int Level = 0; Level < 16; ++Level) {
      Path /= std::string(58, 'd') + std::to_string(10 + Level);
    }
    return Path;
  }
};

TEST_F(WindowsEndToEndTest, NamesOfAnyScriptAreMatchedPurgedAndPrintedInUtf8) {
  struct {
    Lines Files;
    std::string Target;  // below Root
    bool Relative;       // given relative to Root as the current folder
    Lines Deleted;
  } Cases[] = {
      {{"日本語😀.log", "plain.log", "日本語😀.txt"},
       "*.log",
       false,
       {"plain.log", "日本語😀.log"}},
      {{"Данные/отчёт.log", "Данные/日本語😀.txt", "keep.log"},
       "Данные",
       false,
       {"Данные/отчёт.log", "Данные/日本語😀.txt"}},
      {{"Данные/отчёт.log", "keep.log"}, "Данные", true, {"Данные/отчёт.log"}},
      // Case does not count, in any script.
      {{"архив1.log", "АРХИВ2.LOG", "другое.log", "архив3.txt"},
       "архив*.log",
       false,
       {"АРХИВ2.LOG", "архив1.log"}},
  };
  for (const auto& C : Cases) {
    fs::remove_all(Root);
    for (const std::string& File : C.Files) Make(Root / File);
    Result Got = Run({"-d0", C.Relative ? C.Target : P(Root / C.Target)}, Root);
    Lines Expected{"     " + std::to_string(C.Deleted.size()) +
                   " file(s) deleted."};
    Lines Kept = Sorted(C.Files);
    for (const std::string& File : C.Deleted) {
      Expected.push_back("Delete file: " + P(Root / File));
      Kept.erase(std::find(Kept.begin(), Kept.end(), File));
    }
    EXPECT_EQ(Sorted(Split(Got.Out)), Sorted(Expected)) << C.Target;
    EXPECT_EQ(FilesLeft(), Kept) << C.Target;
  }
}

TEST_F(WindowsEndToEndTest, HeldFileOfAnyNameIsLeftAlone) {
  Make(Root / "日本語😀.log");
  Make(Root / "Данные.log");
  Result Got;
  {
    Holder Hold(Scratch, {P(Root / "日本語😀.log")});
    Got = Run({"-d0", P(Root / "*.log")});
  }
  EXPECT_EQ(Sorted(Split(Got.Out)),
            (Lines{"     1 file(s) deleted.",
                   "Cannot open file: " + P(Root / "日本語😀.log"),
                   "Delete file: " + P(Root / "Данные.log")}));
  EXPECT_EQ(FilesLeft(), Lines{"日本語😀.log"});
}

TEST_F(WindowsEndToEndTest, TreeOfAThousandCharactersIsPurged) {
  Lines Files, Folders;
  for (fs::path Level = Deep(); Level != Root; Level = Level.parent_path()) {
    Make(Level / "f.log");
    Files.push_back(P(Level / "f.log"));
    Folders.push_back(P(Level));
  }
  ASSERT_GT(P(Deep()).size(), 1000u);
  // The deepest folder given directly, then the whole tree, folders too.
  Result Direct = Run({"-d0", P(Deep() / "*.log")});
  EXPECT_EQ(Split(Direct.Out), (Lines{"Delete file: " + Files.front(),
                                      "     1 file(s) deleted."}));
  Result Tree = Run({"-d0", P(Root), "-r", "-e"});
  Lines Expected{"     15 file(s) deleted.", "     16 folder(s) deleted."};
  for (size_t I = 1; I < Files.size(); ++I) {
    Expected.push_back("Delete file: " + Files[I]);
  }
  for (const std::string& Folder : Folders) {
    Expected.push_back("Delete folder: " + Folder);
  }
  EXPECT_EQ(Sorted(Split(Tree.Out)), Sorted(Expected));
  EXPECT_TRUE(fs::is_empty(Root));
}

TEST_F(WindowsEndToEndTest, MovesBetweenDeepAndNonAsciiFolders) {
  const fs::path Archive = Root / "Архив";
  struct {
    fs::path From, To;
  } Cases[] = {{Deep(), Archive}, {Archive, Deep()}};
  for (const auto& C : Cases) {
    fs::remove_all(Root);
    fs::create_directories(C.To);
    Make(C.From / "отчёт😀.log", "new");
    Make(C.From / "same.log", "new");
    Make(C.To / "same.log", "old");
    Result Got = Run({"-d0", P(C.From), "-m:" + P(C.To)});
    EXPECT_EQ(Sorted(Split(Got.Out)),
              (Lines{"     1 file(s) moved.",
                     "File " + P(C.To / "same.log") + " already exist.",
                     "Move file: " + P(C.From / "отчёт😀.log")}));
    EXPECT_EQ(ReadFile(C.To / "отчёт😀.log"), "new");
    EXPECT_EQ(ReadFile(C.To / "same.log"), "old");
    EXPECT_FALSE(fs::exists(C.From / "отчёт😀.log"));
    EXPECT_TRUE(fs::exists(C.From / "same.log"));
  }
}

}  // namespace
