#include "purge/file_tests.h"

#include <gtest/gtest.h>

#include "fake_platform.h"

namespace olvane {
namespace {

constexpr int64_t kNow = 1800000000;
constexpr int64_t kDay = kSecondsPerDay;

class FileTestsTest : public ::testing::Test {
 protected:
  // Runs CheckDate on /d/<Name> as the walk would.
  bool Check(const std::string& Name, int32_t Day) {
    std::unique_ptr<Folder> Dir = Sys.OpenFolder("/d");
    return CheckDate(Sys, *Dir, Entry{Name, EntryKind::kFile}, "/d/" + Name,
                     Day);
  }
  int Free(const std::string& Name) {
    std::unique_ptr<Folder> Dir = Sys.OpenFolder("/d");
    return IsFileFree(*Dir, Entry{Name, EntryKind::kFile});
  }

  FakePlatform Sys;
};

TEST_F(FileTestsTest, IsExpiredHoldsAtTheDayBoundaries) {
  struct Case {
    int64_t Age;
    int32_t Day;
    bool Expired;
  } Cases[] = {
      {30 * kDay, 30, true},       {30 * kDay - 1, 30, false},
      {1, 0, true},                {0, 0, true},
      {-1, 0, false},              {-1, -1, true},
      {-100 * kDay, -5, true},     {5 * kDay, 6, false},
      {40000 * kDay, 32768, true}, {32767 * kDay, 32768, false},
      {0, INT32_MAX, false},       {50 * 365 * kDay, INT32_MIN, true},
  };
  for (const Case& C : Cases) {
    EXPECT_EQ(IsExpired(kNow - C.Age, kNow, C.Day), C.Expired)
        << "age " << C.Age << " term " << C.Day;
  }
}

TEST_F(FileTestsTest, CheckDateCountsFromCreationAndReleasesTheFile) {
  Sys.Clock = kNow;
  Sys.AddFile("/d/old", kNow - 30 * kDay);
  Sys.AddFile("/d/young", kNow - 30 * kDay + 1);
  EXPECT_TRUE(Check("old", 30));
  EXPECT_FALSE(Check("young", 30));
  EXPECT_EQ(Sys.OpenFiles, 0);
  EXPECT_TRUE(Sys.Output.empty());
}

TEST_F(FileTestsTest, CheckDateReportsFilesItCannotExamine) {
  Sys.Clock = kNow;
  Sys.AddFile("/d/held", 0);
  Sys.HoldOpen("/d/held");
  Sys.AddFile("/d/nostatus", 0);
  Sys.Fail(FakePlatform::Op::kStatus, "/d/nostatus");
  Sys.AddFile("/d/noclose", 0);
  Sys.Fail(FakePlatform::Op::kClose, "/d/noclose");

  EXPECT_FALSE(Check("missing", 0));
  EXPECT_FALSE(Check("held", 0));
  EXPECT_FALSE(Check("nostatus", 0));
  // A close that fails is no reason to end the run; the file is not due.
  EXPECT_FALSE(Check("noclose", 0));
  EXPECT_EQ(Sys.Output, (std::vector<std::string>{
                            "Cannot open file: /d/missing",
                            "Cannot open file: /d/held",
                            "Error in BOOL CheckDate(CString FileName, int Day)",
                        }));
  EXPECT_EQ(Sys.OpenFiles, 0);
}

TEST_F(FileTestsTest, IsFileFreeRefusesHeldFilesSilently) {
  Sys.AddFile("/d/free", 0);
  Sys.AddFile("/d/held", 0);
  Sys.HoldOpen("/d/held");
  Sys.AddFile("/d/noclose", 0);
  Sys.Fail(FakePlatform::Op::kClose, "/d/noclose");
  EXPECT_EQ(Free("free"), 1);
  EXPECT_EQ(Free("held"), 0);
  EXPECT_EQ(Free("noclose"), 0);
  EXPECT_EQ(Free("missing"), 0);
  EXPECT_EQ(Sys.OpenFiles, 0);
  EXPECT_TRUE(Sys.Output.empty());
}

TEST_F(FileTestsTest, IsFolderAndIsFileMaskOnPosixPaths) {
  Sys.AddFolder("/srv/abc");
  Sys.AddFile("/srv/file.log", 0);
  EXPECT_EQ(IsFolder(Sys, "/"), 1);
  EXPECT_EQ(IsFolder(Sys, "/srv"), 1);
  EXPECT_EQ(IsFolder(Sys, "/srv/"), 1);
  EXPECT_EQ(IsFolder(Sys, "/srv/file.log"), 0);
  EXPECT_EQ(IsFolder(Sys, "/nothing"), 0);

  EXPECT_EQ(IsFileMask(Sys, "/srv"), 0);
  EXPECT_EQ(IsFileMask(Sys, "/srv/file.log"), 1);
  EXPECT_EQ(IsFileMask(Sys, "/nothing"), 0);
  EXPECT_EQ(IsFileMask(Sys, "/no*/x"), 1);
  EXPECT_EQ(IsFileMask(Sys, "/no/x?"), 1);
}

TEST_F(FileTestsTest, IsFolderOnWindowsDriveRootsAndShortNames) {
  FakePlatform Win(FakePlatform::Style::kWindows);
  Win.AddFolder("C:\\abc");
  // A present drive root is a folder without any status query.
  Win.Fail(FakePlatform::Op::kStatus, "C:");
  EXPECT_EQ(IsFolder(Win, "C:\\"), 1);
  // An absent drive leaves the decision to the status of "Q:".
  EXPECT_EQ(IsFolder(Win, "Q:\\"), 0);
  // Three-byte names that are not roots are folders like any other.
  EXPECT_EQ(IsFolder(Win, "C:\\abc"), 1);
  FakePlatform Short(FakePlatform::Style::kWindows);
  Short.AddFolder("abc");
  EXPECT_EQ(IsFolder(Short, "abc"), 1);
  EXPECT_EQ(IsFileMask(Short, "abc"), 0);
}

}  // namespace
}  // namespace olvane
