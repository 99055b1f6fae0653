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
    const fs::path Links =
        fs::path(Env("WINEPREFIX").empty() ? Env("HOME") + "/.wine"
                                           : Env("WINEPREFIX")) /
        "dosdevices";
    if (!fs::is_directory(Links)) GTEST_SKIP() << "no " << Links;
    for (const char* Letter : {"q:", "r:"}) {
      // A link left by a run that did not end is removed; a live one stays.
      if (fs::exists(Links / Letter)) GTEST_SKIP() << Letter << " is taken";
      std::error_code Dangling;
      fs::remove(Links / Letter, Dangling);
    }
    Devices = Links;
    fs::create_directory_symlink(Tree / "q", Devices / "q:");
    fs::create_directory_symlink(Other, Devices / "r:");
  }
  void TearDown() override {
    if (!Devices.empty()) {
      fs::remove(Devices / "q:");
      fs::remove(Devices / "r:");
    }
    if (!Base.empty()) EndToEndTest::TearDown();
  }

  std::string Row(std::string Text) const {
    std::string Slashed = Tree.string();
    std::replace(Slashed.begin(), Slashed.end(), '/', '`');
    for (size_t At; (At = Text.find_first_of("@%")) != std::string::npos;) {
      Text.replace(At, 1, Text[At] == '@' ? Tree.string() : Slashed);
    }
    return Text;
  }

  fs::path Devices;
};

TEST_F(WindowsPathsTest, EachFormNamesWhatWindowsMeansByIt) {
  const std::string Files =
      "x sub/a.log sub/b.txt sub/keep/ logs/app.txt logs/keep/ other/logs "
      "other/deep/logs q/a.log q/sub/c.log q/sub/keep/";
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
  };
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
    Cases.push_back({"sub/a.log arch/ q/",
                     Row("-d0 sub ") + Row(Folder),
                     {"Move file: ~/sub/a.log", "     1 file(s) moved."},
                     Q ? "sub/ arch/ q/a.log" : "sub/ arch/a.log q/"});
  }
  Check(Cases);
}

// "/?" is help before anything is read; the one-letter file stays.
TEST_F(WindowsPathsTest, SlashQuestionMarkIsHelp) {
  Make("x sub/y");
  const Lines Help = Run({"-d0", "--help"});
  EXPECT_EQ(Run({"-d0", "`?"}), Help);
  EXPECT_EQ(Run({"-d0", "-r", "`?", "-e"}), Help);
  EXPECT_EQ(Leaves(), Sorted({"sub/y", "x"}));
}

// Each row twice on the same tree: report-only, then the real run, whose
// lines it predicts. Neither changes anything.
TEST_F(WindowsPathsTest, ReportOnlyRunsPredictTheRealOutcome) {
  const std::string NoMove = "File ~/s/a cannot be moved.",
                    NoRemove = "File ~/m/a cannot be removed.",
                    NoShort = "File ~/s/REPO~Y2J.TXT cannot be moved.",
                    Short = "m/report-2023.txt s/REPO~Y2J.TXT",
                    RO = "chmod a-w ";
  struct {
    std::string Files, Args;
    Lines Real;  // before the summary
    // Left: what the real run leaves, having moved one file; unchanged if
    // empty.
    std::string Prefix = "", Held = "", Left = "";
  } Rows[] = {
      {"s/a m/a=old", "-d0 s -Y -m:m", {"Move file: ~/s/a"}, "", "", "m/a s/"},
      {"s/a", "-d0 s", {"File ~/s/a cannot be removed."}, RO + "s`a &&"},
      // Under Wine only another drive letter shows another volume.
      {"s/a ^/keep", "-d0 s -m:R:", {NoMove}, RO + "s`a &&"},
      {"s/a m/a", "-d0 s -Y -m:m", {NoRemove, NoMove}, RO + "m`a &&"},
      {"s/a m/a", "-d0 s -Y -m:m", {NoRemove, NoMove}, "", "~/m/a"},
      // Held by a view of it alone, the file can be renamed but not deleted:
      // it is held for moves too. So is the file in the way.
      {"s/a m/", "-d0 s -m:m", {NoMove}, "", "map:~/s/a"},
      {"s/a", "-d0 s", {"File ~/s/a cannot be removed."}, "", "map:~/s/a"},
      {"s/a m/a", "-d0 s -Y -m:m", {NoRemove, NoMove}, "", "map:~/m/a"},
      // Wine lists a Unix link as the file it leads to, and would delete
      // that file through it.
      {"o/keep s/l->~/o/keep", "-d0 s", {"Cannot open file: ~/s/l"}},
      // A folder held without sharing its deletion stays.
      {"s/d/", "-d0 s -r -e", {"     0 folder(s) deleted."}, "", "~/s/d"},
      // A due file named as another file's short name reaches nothing.
      {Short, "-d0 s -Y -m:m", {NoShort}},
      {Short, "-d0 s -m:m", {NoShort}},
  };
  // Wine makes short names from a hash of the long name; a volume may make
  // none.
  Make(Short);
  std::system((Words(Env("OLVANE_PROGRAM"))[0] + " cmd /c if exist " +
               Quote(Expand("~/m/REPO") + "~Y2J.TXT") + " echo short >" +
               Quote(Base / "short") + " 2>&1 </dev/null")
                  .c_str());
  const bool HasShort = ReadFile(Base / "short").find("short") == 0;
  std::vector<Case> Cases;
  for (auto& R : Rows) {
    if (R.Files == Short && !HasShort) continue;
    Lines Dry;
    for (std::string Line : R.Real) {
      if (Line[0] == ' ') Line.insert(Line.find(") ") + 2, "would be ");
      Dry.push_back(Line[0] == 'M' ? "Would m" + Line.substr(1) : Line);
    }
    const std::string Summary =
        "     " + std::to_string(R.Left.empty() ? 0 : 1) + " file(s) ";
    const char* Kind =
        R.Args.find("-m:") != std::string::npos ? "moved." : "deleted.";
    Dry.push_back(Summary + "would be " + Kind);
    R.Real.push_back(Summary + Kind);
    Cases.push_back({R.Files, R.Args + " -n", Dry, R.Files, R.Prefix, R.Held});
    Cases.push_back({R.Files, R.Args, R.Real, R.Left.empty() ? R.Files : R.Left,
                     R.Prefix, R.Held});
  }
  Check(Cases);
  // Names that differ in case alone take one place in the move folder.
  Wipe(Tree);
  fs::create_directories(Tree);
  Make("s/A s/a m/");
  const Lines Dry = Run(Words("-d0 s -m:m -n")),
              Done = Run(Words("-d0 s -m:m"));
  ASSERT_EQ(Done.size(), 3u);
  EXPECT_EQ(Dry[0], "Would m" + Done[0].substr(1));
  EXPECT_EQ(Dry[1], Done[1]);
  EXPECT_NE(Done[1].find(" already exist."), std::string::npos);
  // A failed move folder changes nothing: no emptied folder goes either.
  Make("s/empty/");  // beside what the moves left
  EXPECT_EQ(Run(Words("-d0 s -r -e -m:nowhere")).back(),
            "     0 folder(s) deleted.");
  EXPECT_TRUE(fs::is_directory(Tree / "s/empty"));
  if (!HasShort) GTEST_SKIP() << "this volume makes no short names";
}

}  // namespace
}  // namespace olvane_e2e
