#include "platform/wide_text.h"

#include <gtest/gtest.h>

namespace olvane {
namespace {

TEST(WideTextTest, EveryUtf16NameRoundTripsThroughWtf8) {
  struct {
    std::u16string Wide;
    std::string Utf8;
  } Cases[] = {
      {u"plain.log", "plain.log"},
      {u"Данные", "\xD0\x94\xD0\xB0\xD0\xBD\xD0\xBD\xD1\x8B\xD0\xB5"},
      {u"日本語😀.log",
       "\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E\xF0\x9F\x98\x80.log"},
      {u"\U0010FFFF", "\xF4\x8F\xBF\xBF"},
      {std::u16string(1, 0xD800) + u"x", "\xED\xA0\x80x"},
      {u"x" + std::u16string(1, 0xDFFF), "x\xED\xBF\xBF"},
      // A trail before a lead is no pair: two unpaired surrogates.
      {std::u16string{0xDC00, 0xD800}, "\xED\xB0\x80\xED\xA0\x80"},
  };
  for (const auto& C : Cases) {
    EXPECT_EQ(Utf8FromWide(C.Wide), C.Utf8) << C.Utf8;
    EXPECT_EQ(WideFromUtf8(C.Utf8), C.Wide) << C.Utf8;
  }
}

TEST(WideTextTest, IllFormedUtf8BecomesReplacementCharacters) {
  const std::u16string R(1, 0xFFFD);
  struct {
    std::string Utf8;
    std::u16string Wide;
  } Cases[] = {
      {"a\x80z", u"a" + R + u"z"},          // stray continuation
      {"\xC0\xAF", R + R},                  // overlong "/"
      {"\xE0\x80\xAF", R + R + R},          // overlong, three bytes
      {"\xE6\x97z", R + u"z"},              // truncated, one U+FFFD
      {"\xF0\x9F\x98", R},                  // truncated at the end
      {"\xF4\x90\x80\x80", R + R + R + R},  // beyond U+10FFFF
      {"\xFF\xF5", R + R},                  // never a lead byte
      {"\xED\xA0\xBD\xED\xB8\x80", u"😀"},   // surrogate forms that pair
  };
  for (const auto& C : Cases) {
    EXPECT_EQ(WideFromUtf8(C.Utf8), C.Wide) << testing::PrintToString(C.Utf8);
  }
}

TEST(WideTextTest, StrictUtf8ReplacesOnlyUnpairedSurrogates) {
  struct {
    std::string In, Out;
  } Cases[] = {
      {"x\xED\xA0\x80y", "x\xEF\xBF\xBDy"},
      {"\xF0\x9F\x98\x80 \xD0\x94", "\xF0\x9F\x98\x80 \xD0\x94"},
      {"bad\xFF", "bad\xEF\xBF\xBD"},
  };
  for (const auto& C : Cases) EXPECT_EQ(StrictUtf8(C.In), C.Out);
}

TEST(WideTextTest, LongPathFormIsFullAndPrefixed) {
  struct {
    std::u16string Path, Current, Long;
  } Cases[] = {
      {u"C:\\Logs\\a.log", u"D:\\x", u"\\\\?\\C:\\Logs\\a.log"},
      {u"C:/Logs//sub/", u"", u"\\\\?\\C:\\Logs\\sub\\"},
      {u"C:\\", u"", u"\\\\?\\C:\\"},
      {u"C:\\a\\.\\b\\..\\..\\..\\c", u"", u"\\\\?\\C:\\c"},
      {u"C:\\a\\..", u"", u"\\\\?\\C:\\"},
      {u"C:\\a\\name. ", u"", u"\\\\?\\C:\\a\\name. "},
      {u"\\\\srv\\share\\d\\..\\..\\f", u"", u"\\\\?\\UNC\\srv\\share\\f"},
      {u"//srv/share", u"", u"\\\\?\\UNC\\srv\\share"},
      {u"\\\\srv", u"C:\\", u""},
      {u"logs\\Данные", u"C:\\work", u"\\\\?\\C:\\work\\logs\\Данные"},
      {u"..\\x", u"\\\\srv\\share\\a", u"\\\\?\\UNC\\srv\\share\\x"},
      {u"\\x", u"C:\\work\\deep", u"\\\\?\\C:\\x"},
      {u"c:x", u"C:\\work", u"\\\\?\\C:\\work\\x"},
      {u"D:x", u"C:\\work", u"\\\\?\\D:\\x"},
      {u"x", u"\\\\?\\C:\\work", u"\\\\?\\C:\\work\\x"},
      {u"x", u"", u""},
      {u"\\\\?\\C:\\a\\..\\b/c", u"", u"\\\\?\\C:\\a\\..\\b/c"},
      {u"\\\\.\\C:\\a\\..\\b", u"", u"\\\\?\\C:\\b"},
  };
  for (const auto& C : Cases) {
    EXPECT_EQ(LongPathForm(C.Path, C.Current), C.Long)
        << Utf8FromWide(C.Path) << " in " << Utf8FromWide(C.Current);
  }
}

TEST(WideTextTest, CommandLineSplitsAsTheCRuntimeDoes) {
  using Words = std::vector<std::u16string>;
  struct {
    std::u16string Line;
    Words Split;
  } Cases[] = {
      {u"olvane.exe", Words{u"olvane.exe"}},
      {u"\"C:\\a b\\olvane.exe\"-d1 *.log",
       Words{u"C:\\a b\\olvane.exe", u"-d1", u"*.log"}},
      {u"o  \t\"C:\\My Logs\\*.lo?\"  -r ",
       Words{u"o", u"C:\\My Logs\\*.lo?", u"-r"}},
      {u"o a\\\\b \"c\\\\\" d\\\"e", Words{u"o", u"a\\\\b", u"c\\", u"d\"e"}},
      {u"o \"a\"\"b c\" d", Words{u"o", u"a\"b", u"c d"}},
      {u"o \"\" x\"y z\"", Words{u"o", u"", u"xy z"}},
      {u"o \"日本語😀 x", Words{u"o", u"日本語😀 x"}},
  };
  for (const auto& C : Cases) {
    EXPECT_EQ(SplitCommandLine(C.Line), C.Split) << Utf8FromWide(C.Line);
  }
}

char16_t UpcaseAscii(char16_t C) {
  return C >= u'a' && C <= u'z' ? static_cast<char16_t>(C - 32) : C;
}

TEST(WideTextTest, MaskMatchesCaseInsensitivelyByCharacter) {
  struct {
    std::u16string Mask, Name;
    bool Match;
  } Cases[] = {
      {u"*.LOG", u"a.log", true},
      {u"*.log", u"a.log.gz", false},
      {u"?.log", u"😀.log", true},
      {u"??.log", u"😀.log", false},
      {u"*😀*", u"日本語😀.log", true},
      {u"a?c", u"ac", false},
      {u"*a*b", u"ab_a", false},
      {u"*", u".hidden", true},
      {u"*******x", u"aaaaaaaaaaaaaaaaaaaaaaay", false},
  };
  for (const auto& C : Cases) {
    EXPECT_EQ(MatchWideMask(C.Mask, C.Name, UpcaseAscii), C.Match)
        << Utf8FromWide(C.Mask) << " " << Utf8FromWide(C.Name);
  }
}

}  // namespace
}  // namespace olvane
