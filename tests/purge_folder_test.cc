#include "purge/purge_folder.h"

#include <gtest/gtest.h>

#include "fake_platform.h"
#include "purge/file_tests.h"

namespace olvane {
namespace {

using Lines = std::vector<std::string>;
constexpr int64_t kNow = 1800000000;
constexpr int64_t kOld = kNow - 100 * kSecondsPerDay;

class PurgeFolderTest : public ::testing::Test {
 protected:
  PurgeFolderTest() { Sys.Clock = kNow; }

  Lines Purge(const std::string& Path, bool Recurse) {
    Sys.Output.clear();
    Settings.Recurse = Recurse;
    PurgeFolder(Run, Path, 30);
    return Sys.Output;
  }
  void AddOld(std::initializer_list<const char*> Paths) {
    for (const char* Path : Paths) Sys.Add(Path, kOld);
  }

  FakePlatform Sys;
  RunSettings Settings;
  RunContext Run{Sys, Settings};
};

TEST_F(PurgeFolderTest, FolderModeIsDepthFirstInListingOrder) {
  AddOld({"/t/f1", "/t/S1/x", "/t/S1/deep/y", "/t/f2", "/t/S2/z"});
  Sys.Add("/t/young", kNow - 29 * kSecondsPerDay);
  EXPECT_EQ(Purge("/t//", false),  // trailing separators change nothing
            (Lines{"Delete file: /t/f1", "Delete file: /t/f2"}));
  AddOld({"/t/f1", "/t/f2"});
  EXPECT_EQ(
      Purge("/t", true),
      (Lines{"Delete file: /t/f1", "Delete file: /t/f2", "Delete file: /t/S1/x",
             "Delete file: /t/S1/deep/y", "Delete file: /t/S2/z"}));
  EXPECT_EQ(Settings.FileCount, 7);
  EXPECT_TRUE(Sys.Has("/t/young"));
}

TEST_F(PurgeFolderTest, MaskModeCarriesTheMaskIntoEverySubfolder) {
  AddOld({"/t/a.log", "/t/a.txt", "/t/dir.log/b.log", "/t/other/c.log",
          "/t/other/c.txt"});
  EXPECT_EQ(Purge("/t/*.log", false), (Lines{"Delete file: /t/a.log"}));
  // A folder whose name matches is entered, never disposed of.
  EXPECT_EQ(Purge("/t/*.log", true), (Lines{"Delete file: /t/dir.log/b.log",
                                            "Delete file: /t/other/c.log"}));
  EXPECT_TRUE(Sys.Has("/t/other/c.txt"));
  EXPECT_EQ(Purge("/missing/*.log", true), Lines{});
}

TEST_F(PurgeFolderTest, OneFileTargetNeverPurgesAFolderOfThatName) {
  AddOld({"/t/app.log", "/t/a/app.log/inner", "/t/b/c/app.log", "/t/b/other"});
  EXPECT_EQ(Purge("/t/app.log", true),
            (Lines{"Delete file: /t/app.log", "Delete file: /t/b/c/app.log"}));
  EXPECT_TRUE(Sys.Has("/t/a/app.log/inner"));
}

TEST_F(PurgeFolderTest, RefusedAndFailedFilesAreReportedAndTheWalkGoesOn) {
  AddOld({"/t/opened", "/t/stuck", "/t/held", "/t/last"});
  Sys.At("/t/opened").OpensUntilHeld = 1;  // taken after the expiry test
  Sys.Fail(FakePlatform::Op::kRemove, "/t/stuck");
  Sys.At("/t/held").OpensUntilHeld = 0;
  Sys.Add("/t/young", kNow);
  Sys.Add("/t/u/x", kOld);
  Sys.Fail(FakePlatform::Op::kList, "/t/u");
  EXPECT_EQ(Purge("/t", true),
            (Lines{"Cannot delete file: /t/opened",
                   "File /t/stuck cannot be removed.",
                   "Cannot open file: /t/held", "Delete file: /t/last"}));
  EXPECT_EQ(Settings.FileCount, 1);
  // A file that is not due is never probed.
  EXPECT_EQ(std::count(Sys.Opened.begin(), Sys.Opened.end(), "/t/young"), 1);
  Settings.MoveMode = true;
  Sys.At("/t/opened").OpensUntilHeld = 1;
  EXPECT_EQ(Purge("/t/opened", false), (Lines{"Cannot move file: /t/opened"}));
}

TEST_F(PurgeFolderTest, LinksAndSpecialFilesAreNeverFollowedOrOpened) {
  Sys.Add("/t/dirlink", 0, EntryKind::kFolderLink);
  Sys.Add("/t/filelink", kOld, EntryKind::kFileLink);
  Sys.Add("/t/fifo", kOld, EntryKind::kOther);
  EXPECT_EQ(Purge("/t", true), (Lines{"Delete file: /t/filelink"}));
  EXPECT_EQ(Sys.Opened, (Lines{"/t/filelink", "/t/filelink"}));
}

TEST_F(PurgeFolderTest, RootTargetsListTheRootOnlyWhereThereIsOne) {
  Sys.Add("/x.log", kOld);
  EXPECT_EQ(Purge("/*.log", false), (Lines{"Delete file: /x.log"}));
  FakePlatform Win(FakePlatform::Style::kWindows);
  Win.Clock = kNow;
  Win.Add("C:\\x.log", kOld);
  RunContext WinRun{Win, Settings};
  PurgeFolder(WinRun, "\\\\", 0);  // trimmed to nothing: left alone
  PurgeFolder(WinRun, "C:\\", 0);
  EXPECT_EQ(Win.Output, (Lines{"Delete file: C:\\x.log"}));
}

}  // namespace
}  // namespace olvane
