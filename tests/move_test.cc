#include "move/move.h"

#include "fixture.h"

namespace olvane {
namespace {

class MoveTest : public PlatformTest {
 protected:
  MoveTest() { Sys.Add("/archive", 0, EntryKind::kFolder); }
  Lines Move(Lines Args) {
    Args.insert(Args.begin(), "-d30");
    return Run(Args);
  }
};

TEST_F(MoveTest, ScansReadTheMoveFolderFromTheThirdCharacter) {
  const std::string Rejected = "   Path don't find (-m:move_path)";
  struct {
    Lines Args;
    const char* Summary;
    bool Rejected;
  } Cases[] = {
      {{"-m:/archive"}, "     0 file(s) moved.", false},
      {{"-M:/archive", "-Y"}, "     0 file(s) moved.", false},
      {{"x-m:/archive"}, "     0 file(s) moved.", true},  // ":/archive"
      {{"-m/archive", "-y"}, "     0 file(s) deleted.", false},
      {{"-m:/a", "-m:/archive"}, "     0 file(s) moved.", true},
  };
  for (const auto& C : Cases) {
    Lines Args = C.Args;
    Args.push_back("/work");
    const Lines Out = Move(Args);
    EXPECT_EQ(Out.back(), C.Summary) << C.Args[0];
    EXPECT_EQ(Out.front() == Rejected, C.Rejected) << C.Args[0];
  }
  Sys.Add("/archive/f");
  EXPECT_EQ(CheckExist(Sys, "/archive/f"), 1);
  EXPECT_EQ(CheckExist(Sys, "/archive/") + CheckExist(Sys, "/"), -2);
  EXPECT_EQ(CheckExist(Sys, "/archive/none"), 0);
}

TEST_F(MoveTest, MovesDueFilesAndReportsEachOutcome) {
  AddOld({"/work/moved", "/work/taken", "/archive/taken", "/work/locked",
          "/work/stays"});
  Sys.At("/work/locked").OpenedLater = true;
  Sys.Fail(FakePlatform::Op::kMove, "/work/stays");
  EXPECT_EQ(Move({"/work", "-m:/archive//"}),
            (Lines{"Move file: /work/moved",
                   "File /archive/taken already exist.",
                   "Cannot move file: /work/locked",
                   "File /work/stays cannot be moved.",
                   "     1 file(s) moved."}));
  EXPECT_TRUE(Sys.Has("/archive/moved"));
}

TEST_F(MoveTest, OverwriteReplacesFilesButNeverFolders) {
  AddOld({"/work/a", "/archive/a", "/work/b", "/archive/b/inner"});
  const Lines Expected{"Move file: /work/a",
                       "File /archive/b cannot be removed.",
                       "File /work/b cannot be moved.",
                       "     1 file(s) moved."};
  // The report-only run predicts the same lines and changes nothing.
  Lines Would = Expected;
  Would[0] = "Would move file: /work/a";
  Would[3] = "     1 file(s) would be moved.";
  EXPECT_EQ(Move({"/work", "-Y", "-n", "-m:/archive"}), Would);
  EXPECT_TRUE(Sys.Moved.empty() && Sys.Removed.empty());
  EXPECT_EQ(Move({"/work", "-Y", "-m:/archive"}), Expected);
  EXPECT_EQ(Sys.Removed, (Lines{"/archive/a"}));
}

TEST_F(MoveTest, TwoFilesForOneNameMoveTheFirstInWalkOrder) {
  AddOld({"/work/x/same", "/work/y/same"});
  const Lines Expected{"Move file: /work/x/same",
                       "File /archive/same already exist.",
                       "     1 file(s) moved."};
  Lines Would = Expected;
  Would[0] = "Would move file: /work/x/same";
  Would[2] = "     1 file(s) would be moved.";
  EXPECT_EQ(Move({"/work", "-r", "-n", "-m:/archive"}), Would);
  EXPECT_EQ(Move({"/work", "-r", "-m:/archive"}), Expected);
}

TEST_F(MoveTest, AFileIsNeverItsOwnDestination) {
  AddOld({"/work/archive/old", "/work/new"});
  EXPECT_EQ(Move({"/work", "-r", "-Y", "-m:/work/archive"}),
            (Lines{"Move file: /work/new",
                   "File /work/archive/old already exist.",
                   "File /work/archive/new already exist.",
                   "     1 file(s) moved."}));
  EXPECT_TRUE(Sys.Removed.empty());
}

TEST_F(MoveTest, FailedMoveFolderMovesAndRemovesNothing) {
  AddOld({"/work/a", "/a"});  // "/a": what a bare "-m:" would point at
  const Lines Out = Move({"/work", "-m:", "-Y"});
  ASSERT_EQ(Out.size(), 2u + 19u + 2u);
  EXPECT_EQ(Out[0], "   Path don't find (-m:move_path)");
  EXPECT_EQ(Out[21], "File /work/a cannot be moved.");
  EXPECT_EQ(Out[22], "     0 file(s) moved.");
  EXPECT_TRUE(Sys.Moved.empty() && Sys.Removed.empty());
  // With the target unresolved as well, the usage screen comes twice.
  EXPECT_EQ(Move({"-m:/nowhere", "nothing"}).size(), 2u + 19u + 2u + 19u + 1u);
}

TEST_F(MoveTest, OptionTextsInPathsDoNotSetOverwrite) {
  AddOld({"/work/my-Yearly/a", "/Old-Yard/a"});
  EXPECT_EQ(Move({"/work/my-Yearly", "-m:/Old-Yard"}),
            (Lines{"File /Old-Yard/a already exist.", "     0 file(s) moved."}));
}

}  // namespace
}  // namespace olvane
