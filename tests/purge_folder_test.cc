#include "purge/purge_folder.h"

#include <gtest/gtest.h>

#include "fake_platform.h"
#include "purge/file_tests.h"

namespace olvane {
namespace {

using Lines = std::vector<std::string>;
constexpr int64_t kNow = 1800000000;
constexpr int64_t kOld = kNow - 100 * kSecondsPerDay;
constexpr int64_t kYoung = kNow - kSecondsPerDay;

class PurgeFolderTest : public ::testing::Test {
 protected:
  PurgeFolderTest() { Sys.Clock = kNow; }

  Lines Purge(const std::string& Path, bool Recurse, int32_t Day = 30) {
    Settings.Recurse = Recurse;
    PurgeFolder(Run, Path, Day);
    return Sys.Output;
  }

  FakePlatform Sys;
  RunSettings Settings;
  RunContext Run{Sys, Settings};
};

TEST_F(PurgeFolderTest, FolderModeDeletesDueFilesAndCountsThem) {
  Sys.AddFile("/logs/a", kOld);
  Sys.AddFile("/logs/young", kYoung);
  Sys.AddFile("/logs/b", kOld);
  Sys.AddFile("/logs/sub/c", kOld);
  // Trailing separators change nothing.
  EXPECT_EQ(Purge("/logs//", false),
            (Lines{"Delete file: /logs/a", "Delete file: /logs/b"}));
  EXPECT_EQ(Settings.FileCount, 2);
  EXPECT_TRUE(Sys.Has("/logs/young"));
  EXPECT_TRUE(Sys.Has("/logs/sub/c"));  // not entered without recursion
}

TEST_F(PurgeFolderTest, RecursionIsDepthFirstInListingOrder) {
  Sys.AddFile("/t/f1", kOld);
  Sys.AddFile("/t/S1/x", kOld);
  Sys.AddFile("/t/S1/deep/y", kOld);
  Sys.AddFile("/t/f2", kOld);
  Sys.AddFile("/t/S2/z", kOld);
  EXPECT_EQ(Purge("/t", true),
            (Lines{"Delete file: /t/f1", "Delete file: /t/f2",
                   "Delete file: /t/S1/x", "Delete file: /t/S1/deep/y",
                   "Delete file: /t/S2/z"}));
  EXPECT_EQ(Settings.FileCount, 5);
}

TEST_F(PurgeFolderTest, MaskModeCarriesTheMaskIntoEverySubfolder) {
  Sys.AddFile("/t/a.log", kOld);
  Sys.AddFile("/t/a.txt", kOld);
  Sys.AddFolder("/t/dir.log");  // a folder matching the mask is left alone
  Sys.AddFile("/t/dir.log/b.log", kOld);
  Sys.AddFile("/t/other/c.log", kOld);
  Sys.AddFile("/t/other/c.txt", kOld);
  EXPECT_EQ(Purge("/t/*.log", false), (Lines{"Delete file: /t/a.log"}));
  Sys.Output.clear();
  EXPECT_EQ(Purge("/t/*.log", true),
            (Lines{"Delete file: /t/dir.log/b.log", "Delete file: /t/other/c.log"}));
  EXPECT_TRUE(Sys.Has("/t/a.txt"));
  EXPECT_TRUE(Sys.Has("/t/other/c.txt"));
}

TEST_F(PurgeFolderTest, MaskWithoutMatchesStillSearchesSubfolders) {
  Sys.AddFile("/t/s/x.log", kOld);
  EXPECT_EQ(Purge("/t/*.log", true), (Lines{"Delete file: /t/s/x.log"}));
  Sys.Output.clear();
  EXPECT_EQ(Purge("/missing/*.log", true), Lines{});
  EXPECT_EQ(Settings.FileCount, 1);
}

TEST_F(PurgeFolderTest, OneFileTargetNeverPurgesAFolderOfThatName) {
  Sys.AddFile("/t/app.log", kOld);
  Sys.AddFile("/t/a/app.log/inner", kOld);  // a folder named like the file
  Sys.AddFile("/t/b/c/app.log", kOld);      // below a folder without it
  Sys.AddFile("/t/b/other", kOld);
  EXPECT_EQ(Purge("/t/app.log", true),
            (Lines{"Delete file: /t/app.log", "Delete file: /t/b/c/app.log"}));
  EXPECT_TRUE(Sys.Has("/t/a/app.log/inner"));
  EXPECT_TRUE(Sys.Has("/t/b/other"));
}

TEST_F(PurgeFolderTest, RefusedAndFailedFilesAreReportedAndTheWalkGoesOn) {
  Sys.AddFile("/t/opened", kOld);
  Sys.HoldAfter("/t/opened", 1);  // taken by another process after CheckDate
  Sys.AddFile("/t/stuck", kOld);
  Sys.Fail(FakePlatform::Op::kRemove, "/t/stuck");
  Sys.AddFile("/t/held", kOld);
  Sys.HoldOpen("/t/held");
  Sys.AddFile("/t/young", kYoung);
  Sys.AddFile("/t/last", kOld);
  EXPECT_EQ(Purge("/t", false),
            (Lines{"Cannot delete file: /t/opened",
                   "File /t/stuck cannot be removed.",
                   "Cannot open file: /t/held", "Delete file: /t/last"}));
  EXPECT_EQ(Settings.FileCount, 1);
  // The probe is never made for a file that is not due.
  EXPECT_EQ(std::count(Sys.Opened.begin(), Sys.Opened.end(), "/t/young"), 1);

  Sys.Output.clear();
  Settings.MoveMode = true;
  Sys.AddFile("/t/again", kOld);
  Sys.HoldAfter("/t/again", 1);
  EXPECT_EQ(Purge("/t/again", false), (Lines{"Cannot move file: /t/again"}));
}

TEST_F(PurgeFolderTest, LinksAndSpecialFilesAreNeverFollowedOrOpened) {
  Sys.AddEntry("/t/dirlink", EntryKind::kFolderLink);
  Sys.AddEntry("/t/filelink", EntryKind::kFileLink, kOld);
  Sys.AddEntry("/t/fifo", EntryKind::kOther, kOld);
  Sys.HoldOpen("/t/filelink");  // a link itself is never held open
  EXPECT_EQ(Purge("/t", true), (Lines{"Delete file: /t/filelink"}));
  EXPECT_TRUE(Sys.Has("/t/fifo"));
  EXPECT_TRUE(Sys.Has("/t/dirlink"));
  EXPECT_EQ(Sys.Opened, (Lines{"/t/filelink", "/t/filelink"}));
}

TEST_F(PurgeFolderTest, UnlistableFolderIsSilentAndItsSiblingsAreWalked) {
  Sys.AddFile("/t/a/x", kOld);
  Sys.AddFile("/t/b/y", kOld);
  Sys.Fail(FakePlatform::Op::kList, "/t/a");
  EXPECT_EQ(Purge("/t", true), (Lines{"Delete file: /t/b/y"}));
}

TEST_F(PurgeFolderTest, RootTargetsListTheRootOnlyWhereThereIsOne) {
  Sys.AddFile("/x.log", kOld);
  EXPECT_EQ(Purge("/*.log", false), (Lines{"Delete file: /x.log"}));

  FakePlatform Win(FakePlatform::Style::kWindows);
  Win.Clock = kNow;
  Win.AddFile("C:\\x.log", kOld);
  RunContext WinRun{Win, Settings};
  PurgeFolder(WinRun, "\\\\", 0);  // trimmed to nothing: left alone
  PurgeFolder(WinRun, "C:\\", 0);
  EXPECT_EQ(Win.Output, (Lines{"Delete file: C:\\x.log"}));
}

}  // namespace
}  // namespace olvane
