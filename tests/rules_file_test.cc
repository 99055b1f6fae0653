// The reader of the rules file: each syntax case and each bad line as the
// rules and errors it gives, input that is no rules file at all, and the
// files of a folder.
#include "app/rules_file.h"

#include <fstream>
#include <random>
#include <sstream>

#include "app/command_line.h"
#include "fixture.h"
#include "platform/wide_text.h"

namespace olvane {
namespace {

using namespace std::string_literals;

// What a reading gives, one line each: the error that stops it, each rule
// as "[NAME] ARG ARG..." followed by its errors, then the errors of no rule.
Lines Summary(const RulesFile& Read) {
  Lines Out;
  if (!Read.Error.empty()) Out.push_back(Read.Error);
  for (const Rule& Each : Read.Rules) {
    Out.push_back("[" + Each.Name + "]");
    for (const std::string& Arg : Each.Args) Out.back() += " " + Arg;
    Out.insert(Out.end(), Each.Errors.begin(), Each.Errors.end());
  }
  Out.insert(Out.end(), Read.Errors.begin(), Read.Errors.end());
  return Out;
}

// Text as Notepad saves it as "Unicode": UTF-16LE after its byte-order mark.
std::string Utf16(const std::string& Text) {
  std::string Bytes = "\xFF\xFE";
  for (char16_t Unit : WideFromUtf8(Text)) {
    Bytes += static_cast<char>(Unit & 0xFF);
    Bytes += static_cast<char>(Unit >> 8);
  }
  return Bytes;
}

RulesFile Parsed(const std::string& Text, bool Windows = false) {
  FakePlatform Sys(Windows);
  Prepare(Sys, {});
  RulesFile Out;
  ParseRules("f", Text, Sys, &Out);
  return Out;
}

TEST(RulesFileTest, EachLineIsReadIntoItsRuleOrRefusesIt) {
  const std::string NotText = "f: not text: ";
  struct {
    std::string Text;
    Output Read;
    bool Windows = false;
  } Cases[] = {
      {"# nothing but\n; comments\n\n \t\n", ""},
      {"\xEF\xBB\xBF# c\r\n[ logs ]\r\n target = /var/log/*.log \r\n\tdays\t="
       "\t30\r\nrecurse = Yes\r\nreplace = 0\r\nprotect = *.keep\r\nprotect = "
       "\"  a;b #c  \"\r\nage-by = m",
       "[logs] --days=30 --recurse --protect=*.keep --protect=  a;b #c   "
       "--age-by=m /var/log/*.log"},
      {"[a]\ntarget=/srv/x\nmove-to=/srv/old\nremove-empty=true\n"
       "cross-mounts=1\nno-preserve-root=TRUE\nkeep=3\nmax-size=5G\n"
       "min-free=10%\nmax-files=100\nworkers=4\nreplace=yes\n[b]\ntarget=/y",
       "[a] --move-to=/srv/old --remove-empty --cross-mounts "
       "--no-preserve-root --keep=3 --max-size=5G --min-free=10% "
       "--max-files=100 --workers=4 --replace /srv/x\n[b] /y"},
      {"days=1\n[a]\ntarget=/x",
       "[a] /x\nf:1: days outside a rule: a [name] first"},
      {"[a]\ndays=3", "[a] --days=3\nf:1: the rule has no target"},
      {"[a]\ntarget=var/log",
       "[a] var/log\nf:2: the target must be a full path or mask (a "
       "scheduled job has no current folder): var/log"},
      {"[a]\ntarget=/x\n[a]\ntarget=/y",
       "[a] /x\nf:1: the rule name a is given twice (again at f:3)\n[a] /y\n"
       "f:3: the rule name a is given twice (first at f:1)"},
      // Each bad line of a rule, with the rule it refuses.
      {"[a]\ntarget=/x\ncolour=red\ndays=3d\nprotect=a/b\nrecurse=on\n"
       "move-to=old\nprotect=\"b\nno words\n= 5\ndays=1\ntarget=/y",
       "[a] /x\nf:3: unknown key colour\n"
       "f:4: Invalid number of days: --days=3d\n"
       "f:5: Invalid protect mask (a name, without a separator): "
       "--protect=a/b\n"
       "f:6: --recurse takes yes, no, true, false, 1 or 0: on\n"
       "f:7: --move-to must be a full path: old\n"
       "f:8: a value that begins with \" must end with \"\n"
       "f:9: neither a comment, a [name] nor key = value\n"
       "f:10: neither a comment, a [name] nor key = value\n"
       "f:11: days given twice (line 4)\nf:12: target given twice (line 2)"},
      {"[]\ntarget=/x", "[] /x\nf:1: an empty rule name"},
      {"[a\ntarget=/x", "[a] /x\nf:1: a [name] without its ]"},
      {"[a] b\ntarget=/x", "[a] /x\nf:1: text after the ] of a [name]"},
      {"[a\x7F]\ntarget=/x",
       "[a\x7F] /x\nf:1: a rule name with a control character"},
      {"[a]\ntarget=/\n[b]\ntarget=/\nno-preserve-root=yes",
       "[a] /\nf:2: Will not purge the whole root /: give a narrower target, "
       "or add --no-preserve-root\n[b] --no-preserve-root /"},
      {"[a]\ntarget=/srv/a-m:b/*",
       "[a] /srv/a-m:b/*\nf:2: the target holds "
       "-m:, -x: or -t:, which the command line "
       "reads as an option"},
      // Text in no form a rules file takes: the configuration is refused.
      {"[a]\ntarget=/x\0"s, NotText + "a NUL byte on line 2 (a binary file, "
                                      "or UTF-16 without its byte-order mark)"},
      {"[\0a\0]\0"s, NotText + "a NUL byte on line 1 (a binary file, or "
                               "UTF-16 without its byte-order mark)"},
      {"[a]\n[\xC3", NotText + "line 2 is not valid UTF-8"},
      {"[\xED\xA0\x80]", NotText + "line 1 is not valid UTF-8"},
      {"\xFF\xFE[\0a"s, NotText + "UTF-16 with an odd number of bytes (cut "
                                  "short)"},
      {"\xFF\xFE[\0\x3D\xD8"s, NotText + "line 1 is not valid UTF-16"},
      {"\xFE\xFF\0["s,
       "f: UTF-16 big-endian: save it as UTF-8, or as UTF-16 "
       "little-endian"},
      {Utf16("[Журнал]\r\ntarget = D:\\Логи\\*.log\r\ndays = 7\r\n"),
       "[Журнал] --days=7 D:\\Логи\\*.log", true},
      {"[a]\r\ntarget=\\Logs\r\n[b]\r\ntarget=C:\\",
       "[a] \\Logs\nf:2: the target must be a full path or mask (a scheduled "
       "job has no current folder): \\Logs\n[b] C:\\\nf:4: Will not purge "
       "the whole root C:\\: give a narrower target, or add "
       "--no-preserve-root",
       true},
  };
  for (const auto& C : Cases) {
    EXPECT_EQ(Summary(Parsed(C.Text, C.Windows)), Lines(C.Read))
        << testing::PrintToString(C.Text);
  }
}

// A line of a megabyte and ten thousand rules are read whole; an error
// quotes a long line cut short.
TEST(RulesFileTest, LargeInputIsReadWhole) {
  const std::string Mega(1 << 20, 'a');
  std::string Text =
      "[long]\ntarget=/x\nprotect=" + Mega + "\n" + Mega + "=1\n";
  for (int I = 0; I < 10000; ++I) {
    Text += "[r" + std::to_string(I % 9999) + "]\ntarget=/x/" +
            std::to_string(I) + "\ndays=" + std::to_string(I) + "\n";
  }
  const RulesFile Out = Parsed(Text);
  ASSERT_EQ(Out.Rules.size(), 10001u);
  EXPECT_EQ(Out.Rules[0].Args[0], "--protect=" + Mega);
  ASSERT_EQ(Out.Rules[0].Errors.size(), 1u);
  EXPECT_LT(Out.Rules[0].Errors[0].size(), 120u);
  // Only the two rules named r0 are refused.
  size_t Refused = 0;
  for (const Rule& Each : Out.Rules) Refused += !Each.Errors.empty();
  EXPECT_EQ(Refused, 3u);
  EXPECT_EQ(Out.Rules[10000].Errors.size(), 1u);
}

// Random lines of the file's own words and random bytes, whole or cut
// short, in UTF-8 and UTF-16: every rule read is refused, or is a command
// line that runs on its full target.
TEST(RulesFileTest, RandomInputGivesRulesThatRunOrAreRefused) {
  const Lines Keys = Words(
      "target target days recurse protect keep move-to "
      "age-by no-preserve-root x");
  const Lines Values = Words(
      "/x / C:\\x \\x yes no 3 -1 a/b *.k \"/q_q\" "
      "/a-x:b 10% c \xD0\x96 \" [a] \xC3");
  std::mt19937 Random(40);
  auto Any = [&](const Lines& From) { return From[Random() % From.size()]; };
  for (int Trial = 0; Trial < 3000; ++Trial) {
    std::string Text;
    for (int Line = Random() % 12; Line > 0; --Line) {
      const int Kind = Random() % 4;
      if (Kind == 0) Text += "[" + Any(Values) + "]";
      if (Kind == 1) Text += Any(Keys) + " = " + Any(Values);
      for (int Bytes = Kind == 2 ? Random() % 9 : 0; Bytes > 0; --Bytes)
        Text += static_cast<char>(Random());
      Text += Random() % 2 ? "\n" : "\r\n";
    }
    if (Trial % 3 == 0) Text = Utf16(Text);
    if (Trial % 5 == 0) Text.resize(Random() % (Text.size() + 1));
    FakePlatform Sys(Trial % 2);
    Prepare(Sys, {});
    RulesFile Out;
    ParseRules("f", Text, Sys, &Out);
    EXPECT_TRUE(Out.Error.empty() || Out.Rules.empty());
    for (const Rule& Each : Out.Rules) {
      for (const std::string& Error : Each.Errors)
        EXPECT_EQ(Error.find('\n'), std::string::npos);
      if (!Each.Errors.empty()) continue;
      const CommandLine Line = ReadCommandLine(Sys, Each.Args);
      EXPECT_TRUE(Line.What == CommandLine::Action::kRun && Line.Found &&
                  Sys.IsFullPath(Each.Args.back()))
          << testing::PrintToString(Text);
    }
  }
}

// The "*.conf" files of a folder in name order, leftovers and folders
// skipped; a name is unique across the files; a file that cannot be read
// stops the whole configuration.
TEST(RulesFileTest, AFolderIsReadFileByFileInNameOrder) {
  FakePlatform Sys;
  Prepare(Sys, {"/etc/o.d/sub.conf/x"});
  for (const std::string& Name :
       Words("b.conf a.conf .a.conf a.conf~ a.conf.swp a.conf.dpkg-old "
             "a.conf.rpmnew a.conf.bak notes.txt")) {
    Sys.Add("/etc/o.d/" + Name, Node{0, 0});
    Sys.Files["/etc/o.d/" + Name] = "[" + Name + "]\ntarget=/x";
  }
  Sys.Files["/etc/o.d/b.conf"] = "\n[a.conf]\ntarget=/y";
  const std::string Twice = ": the rule name a.conf is given twice (";
  EXPECT_EQ(
      Summary(ReadRules(Sys, "/etc/o.d")),
      Lines({"[a.conf] /x",
             "/etc/o.d/a.conf:1" + Twice + "again at /etc/o.d/b.conf:2)",
             "[a.conf] /y",
             "/etc/o.d/b.conf:2" + Twice + "first at /etc/o.d/a.conf:1)"}));
  EXPECT_EQ(Summary(ReadRules(Sys, "/etc/o.d/b.conf")), Lines{"[a.conf] /y"});
  EXPECT_EQ(ReadRules(Sys, "/etc/none").Error,
            "/etc/none: no such file or folder");
  Sys.Files.erase("/etc/o.d/b.conf");
  EXPECT_EQ(Summary(ReadRules(Sys, "/etc/o.d")),
            Lines{"/etc/o.d/b.conf: cannot be read (no access, not a file, or "
                  "over 16 MiB)"});
}

// The samples of docs/ read without an error, each on its system's paths.
TEST(RulesFileTest, TheSamplesAreValid) {
  for (bool Windows : {false, true}) {
    std::ifstream In(
        std::string(OLVANE_SOURCE_DIR) +
        (Windows ? "/docs/olvane-windows.conf" : "/docs/olvane.conf"));
    std::stringstream Text;
    Text << In.rdbuf();
    const RulesFile Out = Parsed(Text.str(), Windows);
    EXPECT_EQ(Out.Rules.size(), Windows ? 3u : 4u);
    for (const std::string& Line : Summary(Out))
      EXPECT_EQ(Line[0], '[') << Line;
  }
}

}  // namespace
}  // namespace olvane
