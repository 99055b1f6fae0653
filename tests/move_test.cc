#include "move/move.h"

#include <gtest/gtest.h>

#include "app/front_end.h"
#include "fake_platform.h"
#include "purge/file_tests.h"

namespace olvane {
namespace {

using Lines = std::vector<std::string>;
constexpr int64_t kNow = 1800000000;
constexpr int64_t kOld = kNow - 100 * kSecondsPerDay;

class MoveTest : public ::testing::Test {
 protected:
  MoveTest() {
    Sys.Clock = kNow;
    Sys.Cwd = "/work";
    Sys.Add("/work", 0, EntryKind::kFolder);
    Sys.Add("/archive", 0, EntryKind::kFolder);
  }
  Lines Run(Lines Args) {
    Sys.Output.clear();
    Args.insert(Args.begin(), "-d30");
    EXPECT_EQ(RunCommand(Sys, Args), kExitOk);
    return Sys.Output;
  }
  FakePlatform Sys;
};

TEST_F(MoveTest, ScansSetModeFolderAndOverwrite) {
  struct {
    Lines Args;
    bool MoveMode, Overwrite;
    const char* MovePath;
  } Cases[] = {
      {{"-m:/archive"}, true, false, "/archive"},
      {{"-M:/archive", "-Y"}, true, true, "/archive"},
      {{"x-m:/archive"}, true, false, ":/archive"},
      {{"-m/archive", "-y"}, false, false, ""},
      {{"-m:/a", "-m:/archive", "-Y:"}, true, true, "/archive"},
      {{"-y:"}, false, true, ""},
  };
  for (const auto& C : Cases) {
    RunSettings Settings;
    RunContext Run{Sys, Settings};
    ScanMoveOption(Run, C.Args);
    ScanOverwriteOption(Settings, C.Args, std::vector<bool>(C.Args.size()));
    EXPECT_EQ(Settings.MoveMode, C.MoveMode) << C.Args[0];
    EXPECT_EQ(Settings.Overwrite, C.Overwrite) << C.Args[0];
    EXPECT_EQ(Settings.MovePath, C.MovePath) << C.Args[0];
    EXPECT_EQ(Settings.MovePathValid, C.MovePath == std::string("/archive"));
  }
  Sys.Add("/archive/f");
  EXPECT_EQ(CheckExist(Sys, "/archive/f"), 1);
  EXPECT_EQ(CheckExist(Sys, "/archive/") + CheckExist(Sys, "/"), -2);
  EXPECT_EQ(CheckExist(Sys, "/archive/none"), 0);
}

TEST_F(MoveTest, MovesDueFilesAndReportsEachOutcome) {
  for (const char* Path : {"/work/moved", "/work/taken", "/archive/taken",
                           "/work/locked", "/work/stays"}) {
    Sys.Add(Path, kOld);
  }
  Sys.At("/work/locked").OpensUntilHeld = 2;  // free for the probe only
  Sys.Fail(FakePlatform::Op::kMove, "/work/stays");
  EXPECT_EQ(
      Run({"/work", "-m:/archive//"}),
      (Lines{"Move file: /work/moved", "File /archive/taken already exist.",
             "File /work/locked cannot be moved.",
             "File /work/stays cannot be moved.", "     1 file(s) moved."}));
  EXPECT_TRUE(Sys.Has("/archive/moved"));
}

TEST_F(MoveTest, OverwriteReplacesFilesButNeverFolders) {
  Sys.Add("/work/a", kOld);
  Sys.Add("/archive/a");
  Sys.Add("/work/b", kOld);
  Sys.Add("/archive/b/inner");
  EXPECT_EQ(Run({"/work", "-Y", "-m:/archive"}),
            (Lines{"Move file: /work/a", "File /archive/b cannot be removed.",
                   "File /work/b cannot be moved.", "     1 file(s) moved."}));
  EXPECT_EQ(Sys.Removed, (Lines{"/archive/a"}));
}

TEST_F(MoveTest, AFileIsNeverItsOwnDestination) {
  Sys.Add("/work/archive/old", kOld);
  Sys.Add("/work/new", kOld);
  EXPECT_EQ(
      Run({"/work", "-r", "-Y", "-m:/work/archive"}),
      (Lines{"Move file: /work/new", "File /work/archive/old already exist.",
             "File /work/archive/new already exist.",
             "     1 file(s) moved."}));
  EXPECT_TRUE(Sys.Removed.empty());
}

TEST_F(MoveTest, FailedMoveFolderMovesAndRemovesNothing) {
  Sys.Add("/work/a", kOld);
  Sys.Add("/a");  // what a bare "-m:" would point at
  const Lines Out = Run({"/work", "-m:", "-Y"});
  ASSERT_EQ(Out.size(), 2u + 19u + 2u);
  EXPECT_EQ(Out[0], "   Path don't find (-m:move_path)");
  EXPECT_EQ(Out[21], "File /work/a cannot be moved.");
  EXPECT_EQ(Out[22], "     0 file(s) moved.");
  EXPECT_TRUE(Sys.Moved.empty() && Sys.Removed.empty());
  // With the target unresolved as well, the usage screen comes twice.
  EXPECT_EQ(Run({"-m:/nowhere", "nothing"}).size(), 2u + 19u + 2u + 19u + 1u);
}

TEST_F(MoveTest, OptionTextsInPathsDoNotSetOverwrite) {
  Sys.Add("/work/my-Yearly/a", kOld);
  Sys.Add("/Old-Yard/a");
  EXPECT_EQ(
      Run({"/work/my-Yearly", "-m:/Old-Yard"}),
      (Lines{"File /Old-Yard/a already exist.", "     0 file(s) moved."}));
}

}  // namespace
}  // namespace olvane
