#include "platform/wide_text.h"

#include <gtest/gtest.h>

#include "lines.h"
#include "platform/path_syntax.h"

namespace olvane {
namespace {

// Every UTF-16 name round-trips through WTF-8; ill-formed UTF-8 becomes
// replacement characters; the strict form replaces unpaired surrogates.
TEST(WideTextTest, Utf8AndUtf16ConvertBothWays) {
  const std::u16string R(1, 0xFFFD);
  struct {
    std::string Utf8;
    std::u16string Wide;
    bool RoundTrip = true;
    std::string Strict = "";  // where it differs from the UTF-8 of Wide
  } Cases[] = {
      {"\xF4\x8F\xBF\xBF", u"\U0010FFFF"},
      {"\xED\xA0\x80x", std::u16string(1, 0xD800) + u"x", true,
       "\xEF\xBF\xBDx"},
      // A trail before a lead is no pair: two unpaired surrogates.
      {"\xED\xB0\x80\xED\xA0\x80", std::u16string{0xDC00, 0xD800}, true,
       "\xEF\xBF\xBD\xEF\xBF\xBD"},
      {"a\x80z", u"a" + R + u"z", false},          // stray continuation
      {"\xC0\xAF", R + R, false},                  // overlong "/"
      {"\xE6\x97z", R + u"z", false},              // truncated, one U+FFFD
      {"\xF0\x9F\x98", R, false},                  // truncated at the end
      {"\xF4\x90\x80\x80", R + R + R + R, false},  // beyond U+10FFFF
      {"bad\xFF\xF5", u"bad" + R + R, false},      // never a lead byte
      {"\xED\xA0\xBD\xED\xB8\x80", u"😀", false},   // surrogate forms that pair
  };
  for (const auto& C : Cases) {
    EXPECT_EQ(WideFromUtf8(C.Utf8), C.Wide) << testing::PrintToString(C.Utf8);
    if (C.RoundTrip) {
      EXPECT_EQ(Utf8FromWide(C.Wide), C.Utf8);
    }
    EXPECT_EQ(StrictUtf8(C.Utf8),
              C.Strict.empty() ? Utf8FromWide(C.Wide) : C.Strict);
  }
}

TEST(WideTextTest, LongPathFormIsFullAndPrefixed) {
  // The path, the current folder, and the long form.
  const std::u16string Cases[][3] = {
      {u"C:\\Logs\\a.log", u"D:\\x", u"\\\\?\\C:\\Logs\\a.log"},
      {u"C:/Logs//sub/", u"", u"\\\\?\\C:\\Logs\\sub\\"},
      {u"C:\\", u"", u"\\\\?\\C:\\"},
      {u"C:\\a\\.\\b\\..\\..\\..\\c", u"", u"\\\\?\\C:\\c"},
      {u"C:\\a\\name. ", u"", u"\\\\?\\C:\\a\\name. "},
      {u"\\\\srv\\share\\d\\..\\..\\f", u"", u"\\\\?\\UNC\\srv\\share\\f"},
      {u"\\\\srv", u"C:\\", u""},
      {u"logs\\Данные", u"C:\\work", u"\\\\?\\C:\\work\\logs\\Данные"},
      {u"..\\x", u"\\\\srv\\share\\a", u"\\\\?\\UNC\\srv\\share\\x"},
      {u"\\x", u"C:\\work\\deep", u"\\\\?\\C:\\x"},
      {u"c:x", u"C:\\work", u"\\\\?\\C:\\work\\x"},
      {u"D:x", u"C:\\work", u"\\\\?\\D:\\x"},
      {u"x", u"\\\\?\\C:\\work", u"\\\\?\\C:\\work\\x"},
      {u"x", u"", u""},
      {u"\\\\?\\C:\\a\\..\\b/c", u"", u"\\\\?\\C:\\a\\..\\b/c"},
      {u"\\\\.\\C:\\a\\..\\b", u"", u"\\\\?\\C:\\b"}};
  for (const auto& C : Cases) {
    EXPECT_EQ(LongPathForm(C[0], C[1]), C[2])
        << Utf8FromWide(C[0]) << " in " << Utf8FromWide(C[1]);
  }
}

// The root no wildcard reaches and no mask split cuts into: each path, and
// the length of its root.
TEST(WideTextTest, WindowsRootsEndAfterTheirSeparator) {
  for (const char* Row :
       {"C:\\*.log 3", "c:/x 3", "C:x? 2", "\\x 1", "x\\\\?\\y 0",
        "\\\\srv\\share\\* 12", "\\\\srv 5", "\\\\?\\C:\\a? 7", "//./C:/a 7",
        "\\\\?\\unc\\srv\\sh\\* 15", "\\\\?\\Volume{1}\\ 14"}) {
    const Lines Cells = Words(Row);
    EXPECT_EQ(WindowsRootLength(Cells[0]), std::stoul(Cells[1])) << Row;
  }
}

// Each command line, and its words parted by "|".
TEST(WideTextTest, CommandLineSplitsAsTheCRuntimeDoes) {
  const std::pair<std::u16string, std::string> Cases[] = {
      {u"\"C:\\a b\\olvane.exe\"-d1 *.log", "C:\\a b\\olvane.exe|-d1|*.log"},
      {u"o  \t\"C:\\My Logs\\*.lo?\"  -r ", "o|C:\\My Logs\\*.lo?|-r"},
      {u"o a\\\\b \"c\\\\\" d\\\"e", "o|a\\\\b|c\\|d\"e"},
      {u"o \"a\"\"b c\" d", "o|a\"b|c d"},
      {u"o \"\" x\"y z\"", "o||xy z"},
      {u"o \"日本語😀 x", "o|日本語😀 x"}};
  for (const auto& [Line, Split] : Cases) {
    std::vector<std::u16string> Words;
    for (const std::string& Word : olvane::Words(Split, '|'))
      Words.push_back(WideFromUtf8(Word));
    EXPECT_EQ(SplitCommandLine(Line), Words) << Utf8FromWide(Line);
  }
}

// The byte mask of Linux matches case-sensitively; the wide mask of Windows
// by character, with case folded (here for ASCII). Each row: the mask, the
// name, and whether each matches.
TEST(WideTextTest, MasksMatchAnyRunOrOneCharacter) {
  const auto Upper = [](char16_t C) -> char16_t {
    return C >= u'a' && C <= u'z' ? C - 32 : C;
  };
  for (const char* Row :
       {"* .hidden 11", "*.log a.log.gz 00", "a?c abc 11", "a?c ac 00",
        "*a*b ab_a 00", "*.LOG a.log 01", "**?  00", "?.log 😀.log 01",
        "??.log 😀.log 00", "*😀* 日本語😀.log 11",
        "*******x aaaaaaaaaaaaaaaaaaaaaaay 00"}) {
    const Lines Cells = Words(Row);
    EXPECT_EQ(MatchMask(Cells[0], Cells[1]), Cells[2][0] == '1') << Row;
    EXPECT_EQ(
        MatchWideMask(WideFromUtf8(Cells[0]), WideFromUtf8(Cells[1]), Upper),
        Cells[2][1] == '1')
        << Row;
  }
}

}  // namespace
}  // namespace olvane
