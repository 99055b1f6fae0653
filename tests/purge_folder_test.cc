#include "purge/purge_folder.h"

#include "fixture.h"

namespace olvane {
namespace {

using Op = FakePlatform::Op;

class PurgeFolderTest : public PlatformTest {
 protected:
  Lines Purge(const std::string& Path, bool Recurse, int Workers = 1) {
    Sys.Output.clear();
    RunSettings Settings;
    Settings.Recurse = Recurse;
    Settings.Workers = Workers;
    DeleteDisposal Delete(false);
    WalkContext Walk{Sys, Settings, Delete};
    Counts = PurgeFolder(Walk, Path, 30);
    return Sys.Output;
  }
  RunCounts Counts;
};

TEST_F(PurgeFolderTest, FolderModeIsDepthFirstInListingOrder) {
  AddOld({"/t/f1", "/t/S1/x", "/t/S1/deep/y", "/t/f2", "/t/S2/z"});
  Sys.Add("/t/young", kNow - 29 * kDay);
  EXPECT_EQ(Purge("/t//", false),  // trailing separators change nothing
            (Lines{"Delete file: /t/f1", "Delete file: /t/f2"}));
  AddOld({"/t/f1", "/t/f2"});
  EXPECT_EQ(
      Purge("/t", true),
      (Lines{"Delete file: /t/f1", "Delete file: /t/f2", "Delete file: /t/S1/x",
             "Delete file: /t/S1/deep/y", "Delete file: /t/S2/z"}));
  EXPECT_EQ(Counts.FileCount, 5);
  EXPECT_TRUE(Sys.Has("/t/young"));
}

TEST_F(PurgeFolderTest, MaskModeCarriesTheMaskIntoEverySubfolder) {
  AddOld({"/t/a.log", "/t/a.txt", "/t/dir.log/b.log", "/t/other/c.log",
          "/t/other/c.txt", "/t/app/x.log/inner", "/t/b/c/x.log"});
  EXPECT_EQ(Purge("/t/*.log", false), (Lines{"Delete file: /t/a.log"}));
  // A folder whose name matches is entered, never disposed of.
  EXPECT_EQ(Purge("/t/*.log", true), (Lines{"Delete file: /t/dir.log/b.log",
                                            "Delete file: /t/other/c.log",
                                            "Delete file: /t/b/c/x.log"}));
  EXPECT_TRUE(Sys.Has("/t/other/c.txt") && Sys.Has("/t/app/x.log/inner"));
  EXPECT_EQ(Purge("/missing/*.log", true), Lines{});
}

TEST_F(PurgeFolderTest, RefusedAndFailedFilesAreReportedAndTheWalkGoesOn) {
  AddOld({"/t/opened", "/t/stuck", "/t/held", "/t/last", "/t/u/x"});
  Sys.At("/t/opened").OpenedLater = true;
  Sys.Fail(Op::kRemove, "/t/stuck");
  Sys.At("/t/held").Held = true;
  Sys.Fail(Op::kList, "/t/u");
  Sys.Add("/t/dirlink", 0, EntryKind::kFolderLink);
  Sys.Add("/t/filelink", kOld, EntryKind::kFileLink);
  Sys.Add("/t/fifo", kOld, EntryKind::kOther);
  EXPECT_EQ(Purge("/t", true),
            (Lines{"Cannot delete file: /t/opened",
                   "File /t/stuck cannot be removed.",
                   "Cannot open file: /t/held", "Delete file: /t/last",
                   "Delete file: /t/filelink"}));
  EXPECT_EQ(Counts.FileCount, 2);
  EXPECT_TRUE(Sys.Has("/t/fifo") && Sys.Has("/t/dirlink"));
}

TEST_F(PurgeFolderTest, RootTargetsListTheRootOnlyWhereThereIsOne) {
  Sys.Add("/x.log", kOld);
  EXPECT_EQ(Purge("/*.log", false), (Lines{"Delete file: /x.log"}));
  FakePlatform Win(FakePlatform::Style::kWindows);
  Win.Clock = kNow;
  Win.Add("C:\\x.log", kOld);
  RunSettings Settings;
  DeleteDisposal Delete(false);
  WalkContext WinRun{Win, Settings, Delete};
  PurgeFolder(WinRun, "\\\\", 0);  // trimmed to nothing: left alone
  PurgeFolder(WinRun, "C:\\", 0);
  EXPECT_EQ(Win.Output, (Lines{"Delete file: C:\\x.log"}));
}

// Workers that finish out of order still give the one-thread walk's output,
// and every file is opened once.
TEST_F(PurgeFolderTest, WorkersKeepTheOrderOfTheOneThreadWalk) {
  Lines Expected;
  for (int Folder = 0; Folder < 6; ++Folder) {
    for (int File = 0; File < 150; ++File) {
      const std::string Path =
          "/t/d" + std::to_string(Folder) + "/f" + std::to_string(File);
      Sys.Add(Path, File % 7 == 0 ? kNow : kOld);
      // Slow files early in each chunk let the later chunks overtake.
      if (File % 64 == 1) Sys.At(Path).DelayMs = 20;
      if (File % 11 == 0) Sys.At(Path).Held = true;
      Expected.push_back(File % 11 == 0   ? "Cannot open file: " + Path
                         : File % 7 == 0 ? ""
                                          : "Delete file: " + Path);
    }
  }
  Expected.erase(std::remove(Expected.begin(), Expected.end(), ""),
                 Expected.end());
  EXPECT_EQ(Purge("/t", true, 4), Expected);
  EXPECT_EQ(Counts.FileCount, static_cast<int>(Sys.Removed.size()));
  std::sort(Sys.Opened.begin(), Sys.Opened.end());
  EXPECT_EQ(std::adjacent_find(Sys.Opened.begin(), Sys.Opened.end()),
            Sys.Opened.end());
}

TEST_F(PurgeFolderTest, AStopLetsTheFilesUnderWayFinishAndReportsThem) {
  for (int File = 0; File < 300; ++File) {
    Sys.Add("/t/f" + std::to_string(File), kOld);
  }
  Sys.StopAfterOpens = 100;
  for (int Workers : {1, 3}) {
    const Lines Out = Purge("/t", false, Workers);
    EXPECT_GE(Out.size(), 100u);
    EXPECT_LT(Out.size(), 300u);
    EXPECT_EQ(Counts.FileCount, static_cast<int>(Out.size()));
    EXPECT_EQ(Sys.Removed.size(), Out.size()) << "a removal without its line";
    Sys.Removed.clear();
    Sys.Opened.clear();
  }
}

TEST_F(PurgeFolderTest, EmptiedFoldersGoOnlyWhenDueAndNeverTheTarget) {
  AddOld({"/work/t/a/x", "/work/t/a/b/y", "/work/t/keep/z", "/work/t/held/h"});
  Sys.Add("/work/t/fresh", kNow, EntryKind::kFolder);
  Sys.Add("/work/t/keep/young", kNow);
  Sys.At("/work/t/held/h").Held = true;
  Sys.Add("/work/t/link", 0, EntryKind::kFolderLink);
  for (const char* Name : {"/work/t", "/work/t/a", "/work/t/a/b",
                           "/work/t/keep", "/work/t/held"}) {
    Sys.At(Name).Created = kOld;
  }
  const Lines Would = Run({"-d30", "/work/t", "-r", "-e", "-n"}, 2);
  EXPECT_EQ(Would, (Lines{"Would delete file: /work/t/a/x",
                          "Would delete file: /work/t/a/b/y",
                          "Would delete folder: /work/t/a/b",
                          "Would delete folder: /work/t/a",
                          "Would delete file: /work/t/keep/z",
                          "Cannot open file: /work/t/held/h",
                          "     3 file(s) would be deleted.",
                          "     2 folder(s) would be deleted."}));
  EXPECT_TRUE(Sys.Removed.empty());
  const Lines Done = Run({"-d30", "/work/t", "-r", "-e"}, 2);
  Lines Real = Would;
  for (std::string& Line : Real) {
    if (Line.rfind("Would d", 0) == 0) Line = "D" + Line.substr(7);
    const size_t At = Line.find(" would be");
    if (At != std::string::npos) Line.erase(At, 9);
  }
  EXPECT_EQ(Done, Real);
  EXPECT_TRUE(Sys.Has("/work/t/fresh") && Sys.Has("/work/t/link") &&
              Sys.Has("/work/t/keep") && Sys.Has("/work/t/held"));
}

}  // namespace
}  // namespace olvane
