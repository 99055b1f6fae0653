#include "report/printable.h"

#include <gtest/gtest.h>

namespace olvane {
namespace {

TEST(PrintableTest, EscapesWhatCouldBreakOrDriveALineAndNothingElse) {
  struct {
    std::string Path, Printed;
  } Cases[] = {
      {"/srv/a b/~$x\\y.log", "/srv/a b/~$x\\y.log"},
      {"/d/отчёт日本😀 nb\xc2\xa0", "/d/отчёт日本😀 nb\xc2\xa0"},
      {"a\nb\tc\rd\x1b[2J\x7f\x01", "a\\nb\\tc\\rd\\x1b[2J\\x7f\\x01"},
      {"c1 \xc2\x85", "c1 \\xc2\\x85"},
      {"bad\xff \xc3 \x80 \xe6\x97", "bad\\xff \\xc3 \\x80 \\xe6\\x97"},
      {"long\xc0\xaf \xe0\x80\xaf", "long\\xc0\\xaf \\xe0\\x80\\xaf"},
      {"\xf0\x80\x80\xaf", "\\xf0\\x80\\x80\\xaf"},
      {"\xf4\x90\x80\x80 \xf4\x8f\xbf\xbf",
       "\\xf4\\x90\\x80\\x80 \xf4\x8f\xbf\xbf"},
      {"lone\xed\xa0\x80 \xed\x9f\xbf", "lone\\xed\\xa0\\x80 \xed\x9f\xbf"},
  };
  for (const auto& C : Cases) EXPECT_EQ(Printable(C.Path), C.Printed) << C.Path;
  // Where names carry unpaired surrogates so, they stay.
  EXPECT_EQ(Printable("lone\xed\xa0\x80\x01", true), "lone\xed\xa0\x80\\x01");
}

}  // namespace
}  // namespace olvane
