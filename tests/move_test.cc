#include "move/move.h"

#include <gtest/gtest.h>

#include "app/front_end.h"
#include "fake_platform.h"
#include "purge/file_tests.h"
#include "purge/purge_folder.h"

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
    Sys.AddFolder("/work");
    Sys.AddFolder("/archive");
  }
  // Runs the whole command and answers what it printed after the usage
  // screens, if any.
  Lines Run(const Lines& Args) {
    Sys.Output.clear();
    EXPECT_EQ(RunCommand(Sys, Args), kExitOk);
    return Sys.Output;
  }

  FakePlatform Sys;
};

TEST_F(MoveTest, ScansSetModeFolderAndOverwrite) {
  struct Case {
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
  for (const Case& C : Cases) {
    RunSettings Settings;
    RunContext Run{Sys, Settings};
    ScanMoveOption(Run, C.Args);
    ScanOverwriteOption(Settings, C.Args, std::vector<bool>(C.Args.size()));
    EXPECT_EQ(Settings.MoveMode, C.MoveMode) << C.Args[0];
    EXPECT_EQ(Settings.Overwrite, C.Overwrite) << C.Args[0];
    EXPECT_EQ(Settings.MovePath, C.MovePath) << C.Args[0];
    EXPECT_EQ(Settings.MovePathValid, C.MovePath == std::string("/archive"));
  }
}

TEST_F(MoveTest, CheckExistTellsFilesFoldersAndNothing) {
  Sys.AddFile("/archive/f", 0);
  EXPECT_EQ(CheckExist(Sys, "/archive/f"), 1);
  EXPECT_EQ(CheckExist(Sys, "/archive"), -1);
  EXPECT_EQ(CheckExist(Sys, "/archive/"), -1);
  EXPECT_EQ(CheckExist(Sys, "/"), -1);
  EXPECT_EQ(CheckExist(Sys, "/archive/none"), 0);
}

TEST_F(MoveTest, MovesDueFilesAndReportsEachOutcome) {
  Sys.AddFile("/work/moved", kOld);
  Sys.AddFile("/work/taken", kOld);
  Sys.AddFile("/archive/taken", kOld);
  Sys.AddFile("/work/locked", kOld);
  Sys.HoldAfter("/work/locked", 2);  // free for the probe, not for the move
  Sys.AddFile("/work/stays", kOld);
  Sys.Fail(FakePlatform::Op::kMove, "/work/stays");
  EXPECT_EQ(Run({"-d30", "/work", "-m:/archive//"}),
            (Lines{"Move file: /work/moved", "File /archive/taken already exist.",
                   "File /work/locked cannot be moved.",
                   "File /work/stays cannot be moved.", "     1 file(s) moved."}));
  EXPECT_EQ(Sys.Moved.size(), 1u);
  EXPECT_TRUE(Sys.Has("/archive/moved"));
}

TEST_F(MoveTest, OverwriteReplacesFilesButNeverFolders) {
  Sys.AddFile("/work/a", kOld);
  Sys.AddFile("/archive/a", 0);
  Sys.AddFile("/work/b", kOld);
  Sys.AddFile("/archive/b/inner", 0);
  EXPECT_EQ(Run({"-d30", "/work", "-Y", "-m:/archive"}),
            (Lines{"Move file: /work/a", "File /archive/b cannot be removed.",
                   "File /work/b cannot be moved.", "     1 file(s) moved."}));
  EXPECT_EQ(Sys.Removed, (Lines{"/archive/a"}));
}

TEST_F(MoveTest, AFileIsNeverItsOwnDestination) {
  Sys.AddFile("/work/archive/old", kOld);
  Sys.AddFile("/work/new", kOld);
  EXPECT_EQ(Run({"-d30", "/work", "-r", "-Y", "-m:/work/archive"}),
            (Lines{"Move file: /work/new", "File /work/archive/old already exist.",
                   "File /work/archive/new already exist.",
                   "     1 file(s) moved."}));
  EXPECT_TRUE(Sys.Removed.empty());
  EXPECT_TRUE(Sys.Has("/work/archive/old"));
}

TEST_F(MoveTest, FailedMoveFolderMovesAndRemovesNothing) {
  Sys.AddFile("/work/a", kOld);
  Sys.AddFile("/a", 0);  // what a bare "-m:" would point at
  const Lines Out = Run({"-d30", "/work", "-m:", "-Y"});
  ASSERT_EQ(Out.size(), 2u + 19u + 2u);
  EXPECT_EQ(Out[0], "   Path don't find (-m:move_path)");
  EXPECT_EQ(Out[1], "");
  EXPECT_EQ(Out[21], "File /work/a cannot be moved.");
  EXPECT_EQ(Out[22], "     0 file(s) moved.");
  EXPECT_TRUE(Sys.Moved.empty());
  EXPECT_TRUE(Sys.Removed.empty());
  // With the target unresolved as well, the usage screen comes twice.
  EXPECT_EQ(Run({"-m:/nowhere", "nothing"}).size(), 2u + 19u + 2u + 19u + 1u);
}

TEST_F(MoveTest, OptionTextsInPathsDoNotSetOverwrite) {
  Sys.AddFile("/work/my-Yearly/a", kOld);
  Sys.AddFile("/Old-Yard/a", 0);
  EXPECT_EQ(Run({"-d30", "/work/my-Yearly", "-m:/Old-Yard"}),
            (Lines{"File /Old-Yard/a already exist.", "     0 file(s) moved."}));
}

}  // namespace
}  // namespace olvane
