#include "platform/path_syntax.h"

#include <gtest/gtest.h>

namespace olvane {
namespace {

TEST(PathSyntaxTest, MatchMaskWildcards) {
  struct Case {
    const char* Mask;
    const char* Name;
    bool Match;
  } Cases[] = {
      {"*", ".hidden", true},     {"*.log", "a.log", true},
      {"*.log", ".log", true},    {"*.log", "a.log.gz", false},
      {"a?c", "abc", true},       {"a?c", "ac", false},
      {"*a*b*", "xxaxxbxx", true}, {"*a*b", "ab_a", false},
      {"A.LOG", "a.log", false},  {"exact", "exact", true},
      {"", "", true},             {"**?", "", false},
      {"*" "*" "*" "*" "*" "*" "*" "*" "x", "aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaay", false},
  };
  for (const Case& C : Cases) {
    EXPECT_EQ(MatchMask(C.Mask, C.Name), C.Match) << C.Mask << " " << C.Name;
  }
}

TEST(PathSyntaxTest, FullPathsAndDriveRoots) {
  EXPECT_TRUE(IsPosixFullPath("/srv"));
  EXPECT_FALSE(IsPosixFullPath("srv/x"));
  EXPECT_FALSE(IsPosixFullPath(""));
  EXPECT_TRUE(IsWindowsFullPath("D:\\Logs"));
  EXPECT_TRUE(IsWindowsFullPath("\\\\Server\\Archive"));
  EXPECT_TRUE(IsWindowsFullPath("x\\\\y"));  // anywhere in the argument
  EXPECT_FALSE(IsWindowsFullPath("\\Logs"));
  EXPECT_FALSE(IsWindowsFullPath("D:Logs"));
  EXPECT_TRUE(HasWindowsDriveRootForm("C:\\"));
  EXPECT_TRUE(HasWindowsDriveRootForm("?:\\"));
  EXPECT_FALSE(HasWindowsDriveRootForm("C:\\x"));
  EXPECT_FALSE(HasWindowsDriveRootForm("abc"));
}

}  // namespace
}  // namespace olvane
