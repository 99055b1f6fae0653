#include "purge/file_tests.h"

#include "fixture.h"
#include "platform/path_syntax.h"

namespace olvane {
namespace {

TEST(ExpiryTest, IsExpiredHoldsAtTheDayBoundaries) {
  struct {
    int64_t Age;
    int32_t Day;
    bool Expired;
  } Cases[] = {
      {30 * kDay, 30, true},          {30 * kDay - 1, 30, false},
      {0, 0, true},                   {-1, 0, false},
      {-1, -1, true},                 {5 * kDay, 6, false},
      {32767 * kDay, 32768, false},   {0, INT32_MAX, false},
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
      {"*", ".hidden", true},   {"*.log", "a.log", true},
      {"*.log", "a.log.gz", false}, {"a?c", "abc", true},
      {"a?c", "ac", false},     {"*a*b", "ab_a", false},
      {"A.LOG", "a.log", false}, {"**?", "", false},
      {"*******x", "aaaaaaaaaaaaaaaaaaaaaaay", false},
  };
  for (const auto& C : Cases) {
    EXPECT_EQ(MatchMask(C.Mask, C.Name), C.Match) << C.Mask << " " << C.Name;
  }
}

TEST_F(PlatformTest, CheckDateReportsOnlyFilesItCannotExamine) {
  Sys.Add("/d/old", kNow - 30 * kDay);
  Sys.Add("/d/young", kNow - 30 * kDay + 1);
  Sys.Add("/d/held");
  Sys.At("/d/held").Held = true;
  Sys.Add("/d/nostatus");
  Sys.Fail(FakePlatform::Op::kStatus, "/d/nostatus");
  struct {
    const char* Name;
    bool Due;
    const char* Line;
  } Cases[] = {
      {"old", true, ""},
      {"young", false, ""},
      {"missing", false, "Cannot open file: /d/missing\n"},
      {"held", false, "Cannot open file: /d/held\n"},
      {"nostatus", false,
       "Error in BOOL CheckDate(CString FileName, int Day)\n"},
  };
  std::unique_ptr<Folder> Dir = Sys.OpenFolder("/d");
  for (const auto& C : Cases) {
    FileReport Report;
    std::unique_ptr<ExclusiveFile> File;
    EXPECT_EQ(CheckDate(Sys, *Dir, Entry{C.Name, EntryKind::kFile},
                        std::string("/d/") + C.Name, 30, &File, Report),
              C.Due)
        << C.Name;
    EXPECT_EQ(Report.Lines, C.Line);
    EXPECT_EQ(File != nullptr, C.Due) << "only a due file stays open";
  }
}

TEST_F(PlatformTest, IsFolderAndIsFileMaskOnBothSyntaxes) {
  Sys.Add("/srv/file.log");
  EXPECT_EQ(IsFolder(Sys, "/") + IsFolder(Sys, "/srv") + IsFolder(Sys, "/srv/"),
            3);
  EXPECT_EQ(IsFolder(Sys, "/srv/file.log") + IsFolder(Sys, "/nothing"), 0);
  EXPECT_EQ(IsFileMask(Sys, "/srv") + IsFileMask(Sys, "/nothing"), 0);
  EXPECT_EQ(IsFileMask(Sys, "/srv/file.log") + IsFileMask(Sys, "/no*/x") +
                IsFileMask(Sys, "/no/x?"),
            3);
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
