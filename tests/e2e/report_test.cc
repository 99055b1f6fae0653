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
