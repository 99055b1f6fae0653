#include "fixture.h"

namespace olvane {
namespace {

// The rule that governs each file a rules file reaches twice: the one whose
// target folder is the deepest, of one folder the one listed first; a rule
// that does not reach a file (not recursive, another mask) leaves it to the
// others, and -e keeps every other rule's target folder and those above it.
TEST(RulesRunTest, EachFileIsGovernedByOneRule) {
  const std::string Broad = "[broad]\ntarget = /b\ndays = 30\nrecurse = yes\n",
                    Deep = "[deep]\ntarget = /b/s/*.bak\ndays = 30\n",
                    Logs = "[logs]\ntarget = /b/s/*.log\ndays = 30\n",
                    Flat = "[flat]\ntarget = /b/s\ndays = 30\n";
  const std::pair<std::string, std::string> Rows[] = {
      {Broad + Deep, "broad a.log s/a.log s/t/a.bak,deep s/a.bak"},
      {Deep + Broad, "deep s/a.bak,broad a.log s/a.log s/t/a.bak"},
      {Logs + Flat, "logs s/a.log,flat s/a.bak"},
      {Flat + Logs, "flat s/a.bak s/a.log,logs"},
      {Broad + "remove-empty = yes\n[keep]\ntarget = /b/k/t/*.x\ndays = 9\n",
       "broad a.log e/ s/a.bak s/a.log s/t/a.bak s/t/ s/,keep"}};
  for (const auto& [Rules, Blocks] : Rows) {
    FakePlatform Sys;
    Prepare(Sys, {"/b/a.log", "/b/s/a.log", "/b/s/a.bak", "/b/s/t/a.bak",
                  Item("/b/e", 100, kFolder), Item("/b/k", 100, kFolder),
                  "/r.conf"});
    Sys.Files["/r.conf"] = Rules;
    EXPECT_EQ(RunCommand(Sys, {"--config=/r.conf"}), kExitOk);
    // Each rule's block: its name, and what it deleted below /b.
    Lines Expected, Out;
    for (const std::string& Block : Words(Blocks, ',')) {
      const Lines Part = Words(Block);
      Expected.push_back("Rule " + Part[0]);
      for (size_t I = 1; I < Part.size(); ++I) Expected.push_back(Part[I]);
    }
    for (const std::string& Line : Words(Sys.Output, '\n')) {
      if (Line.rfind("Rule ", 0) == 0)
        Out.push_back(Line.substr(0, Line.find(':')));
      if (Line.rfind("Delete f", 0) == 0)
        Out.push_back(Line.substr(Line.find("/b/") + 3) +
                      (Line[8] == 'o' ? "/" : ""));
    }
    EXPECT_EQ(Out, Expected) << Rules;
  }
}

}  // namespace
}  // namespace olvane
