// End-to-end tests of the path forms Windows users write, under Wine. Drive
// Q: is bound to the folder q of the tree and R: to the other folder, so
// that no row reaches a real drive root. In the rows "@" stands for the tree
// without its drive, "%" for the same with "/" separators.
#include "e2e/e2e.h"

namespace olvane_e2e {
namespace {

class WindowsPathsTest : public EndToEndTest {
 protected:
  void SetUp() override {
    if (!Windows()) GTEST_SKIP() << "Windows path forms: Windows build only";
    EndToEndTest::SetUp();
    if (!fs::is_directory(WineDevices())) GTEST_SKIP() << "no Wine drives";
    if (BindDrive('q', Tree / "q") != "Q:" || BindDrive('r', Other) != "R:")
      GTEST_SKIP() << "Q: or R: is taken";
  }

  std::string Row(std::string Text) const {
    std::string Slashed = Tree.string();
    std::replace(Slashed.begin(), Slashed.end(), '/', '`');
    for (size_t At; (At = Text.find_first_of("@%")) != std::string::npos;)
      Text.replace(At, 1, Text[At] == '@' ? Tree.string() : Slashed);
    return Text;
  }
};

TEST_F(WindowsPathsTest, EachFormNamesWhatWindowsMeansByIt) {
  const std::string Files =
      "x sub/a.log sub/b.txt sub/keep/ logs/app.txt logs/keep/ other/logs "
      "other/deep/logs q/a.log q/sub/c.log q/sub/keep/ q/report-2023.txt "
      "q/logs-2023/a.log q/logs-2023/b.txt";
  struct {
    const char *Args, *Printed, *Gone;
  } Forms[] = {
      // The prefix is never a wildcard: no file named "logs" elsewhere goes.
      {"-d0 //?/~/logs -r", "//?/~/", "logs/app.txt"},
      {"-d0 //?/~`sub`*.log", "//?/~/", "sub/a.log"},
      {"-d0 //./~/sub/*.log", "//./~/", "sub/a.log"},
      // The current folder's drive, either separator; trailing separators.
      {"-d0 @/sub/*.log", "~/", "sub/a.log"},
      {"-d0 %`sub`*.log", "~/", "sub/a.log"},
      {"-d0 Z:%`sub`*.log", "~/", "sub/a.log"},
      {"-d0 ~/sub`", "~/", "sub/a.log sub/b.txt"},
      {"-d0 sub/ *.log", "~/", "sub/a.log"},
      {"-d0 .`sub` *.log", "~/./", "sub/a.log"},
      // A drive's current folder, here its root.
      {"-d0 Q:*.log", "Q:/", "q/a.log"},
      {"-d0 Q:sub", "Q:/", "q/sub/c.log"},
      // An entry by its short name, which Wine makes from a hash of the
      // long one, is that entry.
      {"-d0 Q:/REPO~Y2J.TXT", "Q:/", "q/report-2023.txt"},
      {"-d0 Q: REPO~Y2J.TXT", "Q:/", "q/report-2023.txt"},
      {"-d0 Q: LOGS~G04/ *.log", "Q:/", "q/logs-2023/a.log"}};
  std::vector<Case> Cases;
  for (const auto& Form : Forms) {
    std::string Printed, Left;
    const Lines Gone = Words(Form.Gone);
    for (const std::string& File : Words(Files)) {
      if (std::find(Gone.begin(), Gone.end(), File) == Gone.end()) {
        Left += " " + File;
      } else {
        Printed += " " + (Form.Printed + File.substr(File[0] == 'q' ? 2 : 0));
      }
    }
    Cases.push_back(
        {Files, Row(Form.Args), Deleted(Printed.substr(1)), Left.substr(1)});
  }
  // The same forms as move folders, checked where they are used.
  for (const char* Folder : {"-m:@/arch", "-m:%`arch", "-m:Z:%`arch`",
                             "-m:arch/", "-m://?/~/arch", "-m:Q:"}) {
    const bool Q = std::string(Folder) == "-m:Q:";
    Cases.push_back({"sub/a.log arch/ q/", Row("-d0 sub ") + Row(Folder),
                     Moved("~/sub/a.log"),
                     Q ? "sub/ arch/ q/a.log" : "sub/ arch/a.log q/"});
  }
  Check(Cases);
}

// Report-only runs predict the real outcome, and change nothing.
TEST_F(WindowsPathsTest, ReportOnlyRunsPredictTheRealOutcome) {
  const std::string NoMove = "File ~/s/a cannot be moved.",
                    NoRemove = "File ~/s/a cannot be removed.",
                    Both = "File ~/m/a cannot be removed.\n" + NoMove,
                    NoShort = "File ~/s/REPO~Y2J.TXT cannot be moved.",
                    Short = "m/report-2023.txt s/REPO~Y2J.TXT",
                    RO = "chmod a-w ";
  std::vector<Case> Cases = {
      {"s/a m/a=old", "-d0 s -Y -m:m", Moved("~/s/a"), "m/a s/"},
      // Under Wine only another drive letter shows another volume.
      {"s/a ^/keep", "-d0 s -m:R:", Moved("", NoMove), "s/a ^/keep",
       RO + "s`a &&"},
      {"s/a m/a", "-d0 s -Y -m:m", Moved("", Both), "m/a s/a", RO + "m`a &&"},
      // Held by a view of it alone, the file can be renamed but not deleted:
      // it is held for moves too. So is the file in the way.
      {"s/a m/", "-d0 s -m:m", Moved("", NoMove), "m/ s/a", "", "map:~/s/a"},
      {"s/a", "-d0 s", Deleted("", NoRemove), "s/a", "", "map:~/s/a"},
      {"s/a m/a", "-d0 s -Y -m:m", Moved("", Both), "m/a s/a", "", "map:~/m/a"},
      // Wine lists a Unix link as the file it leads to, and would delete
      // that file through it.
      {"o/keep s/l->~/o/keep", "-d0 s", Deleted("", "Cannot open file: ~/s/l"),
       "o/keep s/l->~/o/keep"},
      // A Unix name holding a backslash is one entry to Wine: a ranked run
      // reaches it by its listed name, never a file of a subfolder.
      {"s/back\\keep.me s/back/keep.me", "-d0 s --max-files=9",
       Deleted("", "Cannot open file: ~/s/back\\keep.me"),
       "s/back/keep.me s/back\\keep.me"},
      // A folder held without sharing its deletion stays.
      {"s/d/", "-d0 s -r -e", Deleted("", "     0 folder(s) deleted."), "s/d/",
       "", "~/s/d"}};
  // A due file named as another file's short name reaches nothing. Wine
  // makes short names from a hash of the long name; a volume may make none.
  Make(Short);
  Succeeds(Words(Env("OLVANE_PROGRAM"))[0] + " cmd /c if exist " +
           Quote(Expand("~/m/REPO") + "~Y2J.TXT") + " echo short >" +
           Quote(Base / "short") + " 2>&1 </dev/null");
  const bool HasShort = ReadFile(Base / "short").find("short") == 0;
  for (const char* Args : {"-d0 s -Y -m:m", "-d0 s -m:m"})
    if (HasShort) Cases.push_back({Short, Args, Moved("", NoShort), Short});
  for (Case& C : Cases) C.Predict = true;
  Check(Cases);
  // Names that differ in case alone take one place in the move folder.
  Wipe(Tree);
  Make("s/A s/a m/");
  const Lines Dry = Run(Words("-d0 s -m:m -n")),
              Done = Run(Words("-d0 s -m:m"));
  ASSERT_EQ(Done.size(), 3u);
  EXPECT_EQ(Dry[0], "Would m" + Done[0].substr(1));
  EXPECT_EQ(Dry[1], Done[1]);
  EXPECT_NE(Done[1].find(" already exist."), std::string::npos);
  if (!HasShort) GTEST_SKIP() << "this volume makes no short names";
}

}  // namespace
}  // namespace olvane_e2e
