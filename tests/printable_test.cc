#include "purge/printable.h"

#include <gtest/gtest.h>

namespace olvane {
namespace {

TEST(PrintableTest, EscapesWhatCouldBreakOrDriveALineAndNothingElse) {
  struct {
    std::string Path, Printed;
  } Cases[] = {
      {"/srv/a b/~$x\\y.log", "/srv/a b/~$x\\y.log"},
      {"/d/отчёт日本😀", "/d/отчёт日本😀"},
      {"a\nb\tc\rd", "a\\nb\\tc\\rd"},
      {"e\x1b[2J\x7f\x01", "e\\x1b[2J\\x7f\\x01"},
      {"c1 \xc2\x85 \xc2\x9b nb\xc2\xa0",
       "c1 \\xc2\\x85 \\xc2\\x9b nb\xc2\xa0"},
      {"bad\xff \xc3 \x80", "bad\\xff \\xc3 \\x80"},
      {"over\xc0\xaf \xe0\x80\xaf \xf0\x80\x80\xaf",
       "over\\xc0\\xaf "
       "\\xe0\\x80\\xaf \\xf0\\x80\\x80\\xaf"},
      {"big\xf4\x90\x80\x80 top\xf4\x8f\xbf\xbf",
       "big\\xf4\\x90\\x80\\x80 "
       "top\xf4\x8f\xbf\xbf"},
      {"lone\xed\xa0\x80", "lone\xed\xa0\x80"},  // a Windows name's surrogate
      {"cut\xe6\x97", "cut\\xe6\\x97"},
  };
  for (const auto& C : Cases) EXPECT_EQ(Printable(C.Path), C.Printed) << C.Path;
}

}  // namespace
}  // namespace olvane
