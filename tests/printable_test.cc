#include "report/printable.h"

#include <gtest/gtest.h>

#include "report/json_text.h"
#include "report/progress.h"

namespace olvane {
namespace {

TEST(PrintableTest, EscapesWhatCouldBreakOrDriveALineAndNothingElse) {
  const std::pair<std::string, std::string> Cases[] = {
      {"/srv/a b/~$x\\y.log", "/srv/a b/~$x\\y.log"},
      {"/d/отчёт日本😀 nb\xc2\xa0", "/d/отчёт日本😀 nb\xc2\xa0"},
      {"a\nb\tc\rd\x1b[2J\x7f\x01", "a\\nb\\tc\\rd\\x1b[2J\\x7f\\x01"},
      {"c1 \xc2\x85", "c1 \\xc2\\x85"},
      {"bad\xff \xc3 \x80 \xe6\x97", "bad\\xff \\xc3 \\x80 \\xe6\\x97"},
      {"long\xc0\xaf \xe0\x80\xaf", "long\\xc0\\xaf \\xe0\\x80\\xaf"},
      {"\xf0\x80\x80\xaf", "\\xf0\\x80\\x80\\xaf"},
      {"\xf4\x90\x80\x80 \xf4\x8f\xbf\xbf",
       "\\xf4\\x90\\x80\\x80 \xf4\x8f\xbf\xbf"},
      {"lone\xed\xa0\x80 \xed\x9f\xbf", "lone\\xed\\xa0\\x80 \xed\x9f\xbf"}};
  for (const auto& [Path, Printed] : Cases)
    EXPECT_EQ(Printable(Path), Printed) << Path;
  // Where names carry unpaired surrogates so, they stay.
  EXPECT_EQ(Printable("lone\xed\xa0\x80\x01", true), "lone\xed\xa0\x80\\x01");
}

// A name in the JSON record: a string with JSON's escapes, readable when it
// is not UTF-8, and then exact in base64.
TEST(JsonTextTest, NamesAreEscapedMadeReadableAndKeptExactly) {
  // The name, its JSON and its base64 (none where the string is exact).
  const std::string Cases[][3] = {
      {"/srv/a\"b\\c d/ж😀", "\"/srv/a\\\"b\\\\c d/ж😀\"", ""},
      {"t\x01\n\x1f\x7f\xc2\x85", "\"t\\u0001\\u000a\\u001f\x7f\xc2\x85\"", ""},
      {"bad\xff\xc3", "\"bad\xef\xbf\xbd\xef\xbf\xbd\"", "YmFk/8M="},
      {"\xe6\x97x", "\"\xef\xbf\xbdx\"", "5pd4"},  // one for the run
      {"\xc0\xaf\xf4\x90",
       "\"\xef\xbf\xbd\xef\xbf\xbd\xef\xbf\xbd\xef\xbf\xbd\"", "wK/0kA=="},
      {"lone\xed\xa0\x80", "\"lone\xef\xbf\xbd\"", "bG9uZe2ggA=="}};
  for (const auto& C : Cases) {
    bool Changed = true;
    std::string Json;
    AppendJsonString(ValidUtf8(C[0], &Changed), &Json);
    EXPECT_EQ(Json, C[1]) << C[0];
    EXPECT_EQ(Changed ? Base64(C[0]) : "", C[2]) << C[0];
  }
  EXPECT_EQ(Base64(""), "");
}

TEST(JsonTextTest, TimesAreIsoInUtc) {
  const std::pair<int64_t, const char*> Cases[] = {
      {0, "1970-01-01T00:00:00Z"},
      {-1, "1969-12-31T23:59:59Z"},
      {951782400, "2000-02-29T00:00:00Z"},
      {1767323045, "2026-01-02T03:04:05Z"},
      {253402300799, "9999-12-31T23:59:59Z"},
      {-62135596800, "0001-01-01T00:00:00Z"},
      {-62135596801, ""},  // no RFC 3339 year: given as seconds
      {253402300800, ""}};
  for (const auto& [Seconds, Iso] : Cases) EXPECT_EQ(IsoUtcTime(Seconds), Iso);
}

}  // namespace
}  // namespace olvane

namespace olvane {
namespace {

// The progress line never wraps and never drives the terminal: the counts
// first, the folder escaped and cut from the left to what is left.
TEST(ProgressTextTest, FitsTheTerminalAndTellsAGoalsNeed) {
  ProgressState Walk{12, 3, 5 << 20, "/srv/logs/\x1b[2Jdeep/app", {}, -1, -1};
  ProgressState Act = Walk;
  Act.Stage = ProgressState::Phase::kActing;
  Act.NeedFiles = 7;
  Act.NeedBytes = 1536;
  ProgressState Accents = Walk;
  Accents.Folder = "/srv/logs/\u00e4\u00e4\u00e4\u00e4\u00e4\u00e4/\u00e9\u00e9";
  const struct {
    const ProgressState& State;
    int Columns;
    std::string Line;
  } Cases[] = {
      {Walk, 80,
       "12 examined, 3 deleted, 5.0 MiB freed  /srv/logs/\\x1b[2Jdeep/app"},
      {Walk, 50, "12 examined, 3 deleted, 5.0 MiB freed  ...eep/app"},
      {Walk, 20, "12 examined, 3 dele"},
      {Accents, 50,
       "12 examined, 3 deleted, 5.0 MiB freed  "
       "...\u00e4\u00e4\u00e4\u00e4/\u00e9\u00e9"},
      {Act, 200,
       "12 examined, 3 deleted, 5.0 MiB freed; acting, goal needs 7 file(s) "
       "and 1.5 KiB  /srv/logs/\\x1b[2Jdeep/app"}};
  for (const auto& C : Cases)
    EXPECT_EQ(ProgressText(C.State, "deleted", C.Columns), C.Line);
}

}  // namespace
}  // namespace olvane
