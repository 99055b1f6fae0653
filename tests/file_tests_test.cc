#include "purge/file_tests.h"

#include <gtest/gtest.h>

#include "fake_platform.h"
#include "platform/path_syntax.h"

namespace olvane {
namespace {

using Lines = std::vector<std::string>;
constexpr int64_t kNow = 1800000000, kDay = kSecondsPerDay;

TEST(ExpiryTest, IsExpiredHoldsAtTheDayBoundaries) {
  struct {
    int64_t Age;
    int32_t Day;
    bool Expired;
  } Cases[] = {
      {30 * kDay, 30, true},
      {30 * kDay - 1, 30, false},
      {0, 0, true},
      {-1, 0, false},
      {-1, -1, true},
      {5 * kDay, 6, false},
      {32767 * kDay, 32768, false},
      {0, INT32_MAX, false},
      {50 * 365 * kDay, INT32_MIN, true},
  };
  for (const auto& C : Cases) {
    EXPECT_EQ(IsExpired(kNow - C.Age, kNow, C.Day), C.Expired)
        << "age " << C.Age << " term " << C.Day;
  }
}

TEST(MatchMaskTest, WildcardsMatchAnyRunOrOneCharacter) {
  struct {
    const char *Mask, *Name;
    bool Match;
  } Cases[] = {
      {"*", ".hidden", true},
      {"*.log", "a.log", true},
      {"*.log", "a.log.gz", false},
      {"a?c", "abc", true},
      {"a?c", "ac", false},
      {"*a*b", "ab_a", false},
      {"A.LOG", "a.log", false},
      {"**?", "", false},
      {"*******x", "aaaaaaaaaaaaaaaaaaaaaaay", false},
  };
  for (const auto& C : Cases) {
    EXPECT_EQ(MatchMask(C.Mask, C.Name), C.Match) << C.Mask << " " << C.Name;
  }
}

class FileTestsTest : public ::testing::Test {
 protected:
  FileTestsTest() { Sys.Clock = kNow; }
  bool Check(const std::string& Name, int32_t Day) {
    std::unique_ptr<Folder> Dir = Sys.OpenFolder("/d");
    return CheckDate(Sys, *Dir, Entry{Name, EntryKind::kFile}, "/d/" + Name,
                     Day);
  }
  int Free(const std::string& Name) {
    return IsFileFree(*Sys.OpenFolder("/d"), Entry{Name, EntryKind::kFile});
  }
  FakePlatform Sys;
};

TEST_F(FileTestsTest, CheckDateReportsOnlyFilesItCannotExamine) {
  Sys.Add("/d/old", kNow - 30 * kDay);
  Sys.Add("/d/young", kNow - 30 * kDay + 1);
  Sys.Add("/d/held");
  Sys.At("/d/held").OpensUntilHeld = 0;
  Sys.Add("/d/nostatus");
  Sys.Fail(FakePlatform::Op::kStatus, "/d/nostatus");
  Sys.Add("/d/noclose");
  Sys.Fail(FakePlatform::Op::kClose, "/d/noclose");
  EXPECT_TRUE(Check("old", 30));
  EXPECT_FALSE(Check("young", 30));
  EXPECT_FALSE(Check("missing", 0));
  EXPECT_FALSE(Check("held", 0));
  EXPECT_FALSE(Check("nostatus", 0));
  EXPECT_FALSE(Check("noclose", 0));  // not due, and the run goes on
  EXPECT_EQ(Sys.Output,
            (Lines{"Cannot open file: /d/missing", "Cannot open file: /d/held",
                   "Error in BOOL CheckDate(CString FileName, int Day)"}));
  EXPECT_EQ(Sys.OpenFiles, 0);
}

TEST_F(FileTestsTest, IsFileFreeRefusesHeldFilesSilently) {
  Sys.Add("/d/free");
  Sys.Add("/d/held");
  Sys.At("/d/held").OpensUntilHeld = 0;
  Sys.Add("/d/noclose");
  Sys.Fail(FakePlatform::Op::kClose, "/d/noclose");
  EXPECT_EQ(Free("free"), 1);
  EXPECT_EQ(Free("held") + Free("noclose") + Free("missing"), 0);
  EXPECT_EQ(Sys.OpenFiles, 0);
  EXPECT_TRUE(Sys.Output.empty());
}

TEST_F(FileTestsTest, IsFolderAndIsFileMaskOnPosixPaths) {
  Sys.Add("/srv/file.log");
  EXPECT_EQ(IsFolder(Sys, "/") + IsFolder(Sys, "/srv") + IsFolder(Sys, "/srv/"),
            3);
  EXPECT_EQ(IsFolder(Sys, "/srv/file.log") + IsFolder(Sys, "/nothing"), 0);
  EXPECT_EQ(IsFileMask(Sys, "/srv") + IsFileMask(Sys, "/nothing"), 0);
  EXPECT_EQ(IsFileMask(Sys, "/srv/file.log") + IsFileMask(Sys, "/no*/x") +
                IsFileMask(Sys, "/no/x?"),
            3);
}

TEST_F(FileTestsTest, IsFolderOnWindowsDriveRootsAndShortNames) {
  FakePlatform Win(FakePlatform::Style::kWindows);
  Win.Add("C:\\abc", 0, EntryKind::kFolder);
  Win.Add("abc", 0, EntryKind::kFolder);
  Win.Fail(FakePlatform::Op::kStatus, "C:");  // a present root needs no status
  EXPECT_EQ(IsFolder(Win, "C:\\"), 1);
  EXPECT_EQ(IsFolder(Win, "Q:\\"), 0);
  EXPECT_EQ(IsFolder(Win, "abc"), 1);  // three bytes, not a root: a folder
  EXPECT_EQ(IsFileMask(Win, "abc"), 0);
}

}  // namespace
}  // namespace olvane
