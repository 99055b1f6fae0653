// The reader of the rules file: each syntax case and each bad line, input
// that is no rules file, and the files of a folder.
#include "app/rules_file.h"

#include <fstream>
#include <iterator>
#include <random>

#include "fixture.h"
#include "platform/wide_text.h"

namespace olvane {
namespace {

using namespace std::string_literals;

// A reading, a line each: the error that stops it, each rule as "[NAME]
// ARG..." and its errors, then the errors of no rule.
Lines Summary(const RulesFile& Read) {
  Lines Out = Read.Error.empty() ? Lines{} : Lines{Read.Error};
  for (const Rule& Each : Read.Rules) {
    Out.push_back("[" + Each.Name + "]");
    for (const std::string& Arg : Each.Args) Out.back() += " " + Arg;
    Out.insert(Out.end(), Each.Errors.begin(), Each.Errors.end());
  }
  Out.insert(Out.end(), Read.Errors.begin(), Read.Errors.end());
  return Out;
}

// Notepad's "Unicode": UTF-16LE after its byte-order mark.
std::string Utf16(const std::string& Text) {
  std::string Bytes = "\xFF\xFE";
  for (char16_t Unit : WideFromUtf8(Text))
    Bytes += {static_cast<char>(Unit), static_cast<char>(Unit >> 8)};
  return Bytes;
}

RulesFile Parsed(FakePlatform& Sys, const std::string& Text) {
  Prepare(Sys, {});
  RulesFile Out;
  ParseRules("f", Text, Sys, &Out);
  return Out;
}

TEST(RulesFileTest, EachLineIsReadIntoItsRuleOrRefusesIt) {
  const std::string Bad = "f: not text: ", Nul = Bad + "a NUL byte on line ";
  const std::string Utf =
      " (a binary file, or UTF-16 without its byte-order mark)";
  const std::string Full =
      ": the target must be a full path or mask (a "
      "scheduled job has no current folder): ";
  const std::string Neither = ": neither a comment, a [name] nor key = value";
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
      {"days=1\n[a]\ndays=3\n[b]\ntarget=var\n[c]\ntarget=/\n[d]\ntarget=/\n"
       "no-preserve-root=yes\n[e]\ntarget=/a-m:b/*",
       "[a] --days=3\nf:2: the rule has no target\n[b] var\nf:5" + Full +
           "var\n[c] /\nf:7: Will not purge the whole root /: give a narrower "
           "target, or add --no-preserve-root\n[d] --no-preserve-root /\n[e] "
           "/a-m:b/*\nf:12: the target holds "
           "-m:, -x: or -t:, which the command line reads as an option\n"
           "f:1: days outside a rule: a [name] first"},
      {"[a]\ntarget=/x\n[a]\ntarget=/y",
       "[a] /x\nf:1: the rule name a is given twice (again at f:3)\n[a] /y\n"
       "f:3: the rule name a is given twice (first at f:1)"},
      {"[a]\ntarget=/x\ncolour=red\ndays=3d\nprotect=a/b\nrecurse=on\n"
       "move-to=old\nprotect=\"b\nno words\n= 5\ndays=1\ntarget=/y",
       "[a] /x\nf:3: unknown key colour\nf:4: Invalid number of days: "
       "--days=3d\nf:5: Invalid protect mask (a name, without a separator): "
       "--protect=a/b\nf:6: --recurse takes yes, no, true, false, 1 or 0: on\n"
       "f:7: --move-to must be a full path: old\nf:8: a value that begins "
       "with \" must end with \"\nf:9" +
           Neither + "\nf:10" + Neither +
           "\nf:11: days given twice (line 4)\nf:12: target given twice "
           "(line 2)"},
      {"[]\ntarget=/x\n[a\n[b] c\n[d\x7F]",
       "[] /x\nf:1: an empty rule name\n[a]\nf:3: a [name] without its ]\n"
       "f:3: the rule has no target\n[b]\nf:4: text after the ] of a [name]\n"
       "f:4: the rule has no target\n[d\x7F]\nf:5: a rule name with a control "
       "character\nf:5: the rule has no target"},
      // Text in no form a rules file takes: the configuration is refused.
      {"[a]\ntarget=/x\0"s, Nul + "2" + Utf},
      {"[\0a\0]\0"s, Nul + "1" + Utf},
      {"[a]\n[\xC3", Bad + "line 2 is not valid UTF-8"},
      {"[\xED\xA0\x80]", Bad + "line 1 is not valid UTF-8"},
      {"\xFF\xFE[\0a"s, Bad + "UTF-16 with an odd number of bytes (cut short)"},
      {"\xFF\xFE[\0\x3D\xD8"s, Bad + "line 1 is not valid UTF-16"},
      {"\xFE\xFF\0["s,
       "f: UTF-16 big-endian: save it as UTF-8, or as UTF-16 "
       "little-endian"},
      {Utf16("[Журнал]\r\ntarget = D:\\Логи\\*.log\r\n[a]\r\ntarget=\\L"),
       "[Журнал] D:\\Логи\\*.log\n[a] \\L\nf:4" + Full + "\\L", true},
  };
  for (const auto& C : Cases) {
    FakePlatform Sys(C.Windows);
    EXPECT_EQ(Summary(Parsed(Sys, C.Text)), Lines(C.Read))
        << testing::PrintToString(C.Text);
  }
  // The samples of docs/, each on its system's paths: installed, they hold
  // no rule; their examples, once uncommented ("#[a]" to "[a]"), are valid.
  for (bool Windows : {false, true}) {
    std::ifstream In(std::string(OLVANE_SOURCE_DIR) + "/docs/olvane" +
                     (Windows ? "-windows.conf" : ".conf"));
    const std::string Shipped{std::istreambuf_iterator<char>(In), {}};
    std::string Uncommented;
    for (size_t At = 0; At < Shipped.size(); ++At)
      if (!((At == 0 || Shipped[At - 1] == '\n') &&
            Shipped[At] == (Windows ? ';' : '#') &&
            std::string(" \n").find(Shipped[At + 1]) == std::string::npos))
        Uncommented += Shipped[At];
    FakePlatform Sys(Windows);
    EXPECT_EQ(Summary(Parsed(Sys, Shipped)), Lines{});
    const Lines Read = Summary(Parsed(Sys, Uncommented));
    EXPECT_EQ(Read.size(), Windows ? 4u : 6u);
    for (const std::string& Line : Read) EXPECT_EQ(Line[0], '[') << Line;
  }
}

// A line of a megabyte, ten thousand rules and random input: a clear
// error, never a crash. Random lines of the file's own words and random
// bytes, whole or cut short, in UTF-8 and UTF-16: every rule read is
// refused, or is a command line that runs on its full target.
TEST(RulesFileTest, BadInputIsRefusedClearly) {
  const std::string Mega(1 << 20, 'a');
  std::string Text = "[1]\ntarget=/x\nprotect=" + Mega + "\n" + Mega + "=1\n";
  for (int I = 0; I < 10000; ++I)
    Text += "[r" + std::to_string(I % 9999) + "]\ntarget=/x/" +
            std::to_string(I) + "\ndays=" + std::to_string(I) + "\n";
  FakePlatform Big;
  const RulesFile Out = Parsed(Big, Text);
  ASSERT_EQ(Out.Rules.size(), 10001u);
  EXPECT_EQ(Out.Rules[0].Args[0], "--protect=" + Mega);
  EXPECT_EQ(Out.Rules[0].Errors,
            Lines{"f:4: unknown key " + std::string(80, 'a') + "..."});
  size_t Refused = 0;  // and the two named r0
  for (const Rule& Each : Out.Rules) Refused += !Each.Errors.empty();
  EXPECT_EQ(Refused, 3u);
  const Lines Keys = Words("target target days recurse protect keep x");
  const Lines Values = Words(
      "/x / C:\\x \\x yes no 3 -1 a/b \"/q_q\" /a-x:b "
      "10% c \xD0\x96 \" [a] \xC3");
  std::mt19937 Random(40);
  auto Any = [&](const Lines& From) { return From[Random() % From.size()]; };
  for (int Trial = 0; Trial < 3000; ++Trial) {
    Text.clear();
    for (int Line = Random() % 12; Line > 0; --Line) {
      const int Kind = Random() % 4;
      Text += Kind == 0   ? "[" + Any(Values) + "]"
              : Kind == 1 ? Any(Keys) + "=" + Any(Values)
                          : "";
      for (int Bytes = Kind == 2 ? Random() % 9 : 0; Bytes > 0; --Bytes)
        Text += static_cast<char>(Random());
      Text += Random() % 2 ? "\n" : "\r\n";
    }
    if (Trial % 3 == 0) Text = Utf16(Text);
    if (Trial % 5 == 0) Text.resize(Random() % (Text.size() + 1));
    FakePlatform Sys(Trial % 2);
    const RulesFile Read = Parsed(Sys, Text);
    EXPECT_TRUE(Read.Error.empty() || Read.Rules.empty());
    for (const Rule& Each : Read.Rules) {
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
  EXPECT_EQ(ReadRules(Sys, "/etc/none").Error,
            "/etc/none: no such file or folder");
  Sys.Files.erase("/etc/o.d/b.conf");
  EXPECT_EQ(Summary(ReadRules(Sys, "/etc/o.d")),
            Lines{"/etc/o.d/b.conf: cannot be read (no access, not a file, or "
                  "over 16 MiB)"});
}

}  // namespace
}  // namespace olvane
