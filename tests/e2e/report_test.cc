// The report is the record of a run: every line written or the loss said,
// one line per action whatever the names, and report-only runs that change
// nothing and say what a real run would do.
#include "e2e/e2e.h"

namespace olvane_e2e {
namespace {

const std::string kLost =
    "olvane: report incomplete: standard output could not be written";
// Runs the command with its standard output on $OUT or closed.
const std::string kFull = "sh -c 'exec \"$@\" >$OUT' sh",
                  kClosed = "sh -c 'exec \"$@\" >&-' sh";

}  // namespace

TEST_F(EndToEndTest, TheReportSaysAllOrSaysWhatIsMissing) {
  setenv("OUT", "/dev/full", 1);
  const std::string Big(5000, 'b');
  std::vector<Case> Cases = {
      // A log that cannot be written stops no purge.
      {"a.log d/b.log", "-d0 ~ -r", {kLost}, "d/", kFull, "", 3},
      // Entries named like the option, in the current folder and in the
      // target, become part of the target; the run stays report-only.
      {"-n/ x/-n x/a.log", "-d0 -n ~/x -r -n", Predicted(Deleted("~/x/-n")),
       "-n/ x/-n x/a.log"}};
  if (OtherFileSystem()) {
    // No report line can end up in a file the move writes.
    Cases.push_back({"^/ t/a.log=alpha t/s/b.log=" + Big, "-d0 ~/t -r -m:^",
                     kLost, "t/s/ ^/a.log=alpha ^/b.log=" + Big, kClosed, "",
                     3});
  }
  if (!Windows()) {  // Windows names cannot hold control characters
    Cases.push_back(
        {"", "-d0 ~",
         "Delete file: ~/y\\n     999 file(s) deleted.\n"
         "Delete file: ~/a\\nCannot open file: x.db\n"
         "Delete file: ~/t\\tab\\x1b[2J\\r\nDelete file: ~/s\\xed\\xa0\\x80\n"
         "     4 file(s) deleted.",
         "",
         // Files of these names, which printf expands, before the run.
         "for n in 'y\\n     999 file(s) deleted.' 'a\\nCannot open file: "
         "x.db' 't\\tab\\033[2J\\r' 's\\355\\240\\200'; do printf x "
         ">\"$(printf \"$n\")\"; done &&"});
    // A standard output handed over in non-blocking mode and read slowly:
    // a full pipe is waited for, no line is lost.
    std::string Paths = "~/f0";
    for (int I = 1; I < 3000; ++I) Paths += " ~/f" + std::to_string(I);
    Cases.push_back(
        {"", "-d0 ~", Deleted(Paths), "",
         "seq -f f%g 0 2999 | xargs touch && sh -c 'python3 -c \"import os, "
         "sys; os.set_blocking(1, False); os.execvp(sys.argv[1], "
         "sys.argv[1:])\" \"$@\" | python3 -c \"import sys, time\nwhile b := "
         "sys.stdin.buffer.raw.read(512): sys.stdout.buffer.write(b); "
         "time.sleep(0.001)\"' sh"});
  }
  Check(Cases);
}

// What the real run cannot do, a report-only run says too; a folder that
// cannot be entered is named.
TEST_F(EndToEndTest, ReportOnlyRunsPredictAndClosedFoldersAreNamed) {
  const bool Chattr =
      !Windows() && Shell("cd .. && touch p && chattr +i p && chattr -i p");
  if (!Windows() && !Chattr) std::cout << "no chattr here: no immutable rows\n";
  const std::string Nobody = " && " + kAsNobody;
  std::vector<Case> Cases;
  if (CanBeNobody()) {
    for (const char* Target : {"~/s -r", "~/s/locked/*.log"}) {
      Cases.push_back({"s/locked/b.log", std::string("-d0 ") + Target,
                       Deleted("", "Cannot open folder: ~/s/locked"),
                       "s/locked/b.log",
                       "chmod 755 .. . s && chmod 000 s/locked" + Nobody});
    }
    // Nobody's own file in root's folder. Without leases it cannot prove
    // the file free of root's processes.
    Cases.push_back({"w/mine.log", "-d0 ~/w",
                     Deleted("", Env("OLVANE_NO_LEASES") != "1"
                                     ? "File ~/w/mine.log cannot be removed."
                                     : "Cannot open file: ~/w/mine.log"),
                     "w/mine.log",
                     "chmod 755 .. . w && chown nobody w/mine.log" + Nobody});
  }
  if (Chattr) {
    Cases.push_back(
        {"keep.log app.log free.log", "-d0 ~",
         Deleted("~/free.log",
                 "File ~/keep.log cannot be removed.\n"
                 "File ~/app.log cannot be removed."),
         "app.log keep.log",
         "chattr +i keep.log && chattr +a app.log && sh -c '\"$@\"; "
         "S=$?; chattr -ia keep.log app.log; exit $S' sh"});
    // An immutable folder keeps the folder emptied in it, and so itself.
    Cases.push_back(
        {"a/b/f.log", "-d0 ~ -r -e",
         Deleted("~/a/b/f.log", "     0 folder(s) deleted."), "a/b/",
         "chattr +i a && sh -c '\"$@\"; S=$?; chattr -i a; exit $S' sh"});
  }
  if (Windows()) {
    Cases.push_back({"ro.log free.log", "-d0 ~",
                     Deleted("~/free.log", "File ~/ro.log cannot be removed."),
                     "ro.log", "chmod a-w ro.log &&"});
  }
  for (Case& C : Cases) C.Predict = true;
  Check(Cases);
}

}  // namespace olvane_e2e

namespace olvane_e2e {
namespace {

// The lines a terminal shows for Text: a carriage return goes back to the
// start of the line, what follows writes over it, an erase to the end of
// the line (a console's way of blanking it) cuts it; trailing blanks and
// other escapes (a cursor shown or hidden) unseen.
Lines Screen(const std::string& Text) {
  Lines Out(1);
  size_t Column = 0;
  for (size_t At = 0; At < Text.size(); ++At) {
    const char C = Text[At];
    std::string& Line = Out.back();
    if (C == '\x1b' && Text.compare(At + 1, 1, "[") == 0) {
      At = Text.find_first_of("ABCDEFGHJKSTfhlm", At + 2);
      if (At == std::string::npos) break;
      if (Text[At] == 'K') Line.erase(std::min(Column, Line.size()));
    } else if (C == '\n') {
      Out.emplace_back();
      Column = 0;
    } else if (C == '\r') {
      Column = 0;
    } else {
      if (Column < Line.size()) Line[Column] = C;
      else Line += C;
      ++Column;
    }
  }
  for (std::string& Line : Out) Line.erase(Line.find_last_not_of(' ') + 1);
  while (!Out.empty() && Out.back().empty()) Out.pop_back();
  return Out;
}

// The counts of "N examined" in the order the terminal was shown them.
std::vector<long> Examined(const std::string& Text) {
  std::vector<long> Counts;
  for (size_t At = 0; (At = Text.find('\r', At)) != std::string::npos; ++At) {
    if (std::isdigit(static_cast<unsigned char>(Text[At + 1])) &&
        Text.find(" examined, ", At) < Text.find('\r', At + 1))
      Counts.push_back(std::stol(Text.substr(At + 1)));
  }
  return Counts;
}

}  // namespace

// A person at a terminal sees one line of progress on standard error, its
// counts growing; it is erased before each line of the report and at the
// end, so the screen holds the report a redirected run writes, byte for
// byte. A redirected standard error never gets it (every run's standard
// error is checked for stray lines).
// Under Wine the console is Wine's, on the pseudo-terminal.
TEST_F(EndToEndTest, AProgressLineOnATerminalLeavesTheReportAsItIs) {
  if (!Succeeds("command -v script >/dev/null"))
    GTEST_SKIP() << "needs script(1) for a pseudo-terminal";
  const int Files = Windows() ? 600 : 8000;
  ASSERT_TRUE(Shell("for d in $(seq 20); do mkdir $d && (cd $d && seq " +
                    std::to_string(Files / 20) + " | xargs touch); done"));
  const Lines Plain = Run({"-d0", "~", "-r", "-n"});
  ASSERT_EQ(Plain.back(), "     " + std::to_string(Files) +
                              " file(s) would be deleted.");
  const std::string Command =
      Env("OLVANE_PROGRAM") + " -d0 " + Quote(Expand("~")) + " -r -n";
  const auto OnTerminal = [&](const std::string& Line) {
    EXPECT_TRUE(Succeeds("script -qfec " + Quote(Line) + " /dev/null >" +
                         Quote(Base / "typescript") + " </dev/null"));
    return ReadFile(Base / "typescript");
  };
  // The pseudo-terminal ends lines in "\r\n", as a terminal is sent them.
  // Wine may say things of its own there first: only the report's lines.
  const std::string Shows = OnTerminal(Command);
  EXPECT_NE(Shows.find(" to delete, "), std::string::npos);
  Lines Shown = Screen(Shows);
  if (Windows())
    Shown.erase(std::remove_if(Shown.begin(), Shown.end(),
                               [](const std::string& Line) {
                                 return Line.rfind("Would delete", 0) != 0 &&
                                        Line.rfind("     ", 0) != 0;
                               }),
                Shown.end());
  EXPECT_EQ(Shown, Plain);
  if (Windows()) return;
  // Standard output to a pipe read late: the line stays on the terminal
  // alone, rewritten as the run goes on, and erased at the end.
  const std::string Slow = OnTerminal(Command + " | (sleep 1; cat >/dev/null)");
  const std::vector<long> Counts = Examined(Slow);
  ASSERT_GE(Counts.size(), 2u) << Slow;
  EXPECT_TRUE(std::is_sorted(Counts.begin(), Counts.end())) << Slow;
  EXPECT_LT(Counts.front(), Counts.back());
  EXPECT_EQ(Screen(Slow), Lines{});
  EXPECT_EQ(OnTerminal(Command + " --no-progress >/dev/null"), "");
}

}  // namespace olvane_e2e
