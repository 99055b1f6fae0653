// End-to-end: a rules file run as one job. Each rule with its own term, one
// rule for each file where rules overlap, -n, --json, --check and --rule
// with a configuration, a folder of files in name order, and the lock.
#include "e2e.h"

namespace olvane_e2e {
namespace {

class RulesTest : public EndToEndTest {
 protected:
  // Writes Text, "~" and "^" expanded, as the rules file Name beside the
  // tree; answers the argument that runs it.
  std::string Rules(const std::string& Text,
                    const std::string& Name = "rules.conf") {
    fs::create_directories((Base / Name).parent_path());
    std::ofstream(Base / Name, std::ios::binary) << Expand(Text);
    return "--config=~/../" + Name;
  }
};

// A broader rule listed before or after a deeper one: the deeper governs
// the files it reaches, the broader takes the others.
TEST_F(RulesTest, EachFileHasOneRule) {
  const std::string Broad =
      "[broad]\ntarget = ~/b\ndays = 30\nrecurse = yes\n"
      "age-by = modification\n";
  const std::string Dumps =
      "[dumps]\ntarget = \"~/b/sql/*.bak\"\ndays = 1\nkeep = 1\nage-by = m\n";
  const std::string Files =
      "b/a.log b/new.log b/sql/d1.bak b/sql/d2.bak b/sql/x.txt";
  const std::string Age =
      "touch -m -d '40 days ago' b`a.log b`sql`x.txt b`sql`d1.bak && "
      "touch -m -d '20 days ago' b`sql`d2.bak &&";
  const Output Block =
      "Rule broad: ~/b\nDelete file: ~/b/a.log\nDelete file: ~/b/sql/x.txt\n"
      "     2 file(s) deleted.\nRule dumps: ~/b/sql/*.bak\n"
      "Delete file: ~/b/sql/d1.bak\n     1 file(s) deleted.";
  for (const bool DumpsFirst : {false, true}) {
    const std::string Arg = Rules(DumpsFirst ? Dumps + Broad : Broad + Dumps);
    Check({{Files, Arg, Block, "b/new.log b/sql/d2.bak", Age, "", 0, true}});
  }
  // The record: every object of a rule names it, and a total ends it.
  const std::string Arg = Rules(Broad + Dumps);
  Make(Files);
  ASSERT_TRUE(Shell(Expand(Age) + " true"));
  const Lines Out = Run({Arg, "--json", "--rule=dumps"});
  ASSERT_EQ(Out.size(), 5u);
  EXPECT_EQ(Out[0].rfind("{\"event\":\"rule\",\"rule\":\"dumps\",\"path\":", 0),
            0u);
  EXPECT_EQ(Out[1].rfind("{\"event\":\"deleted\",\"rule\":\"dumps\",", 0), 0u);
  // Why the newest dump stays.
  EXPECT_EQ(Out[2].rfind("{\"event\":\"kept\",\"rule\":\"dumps\",", 0), 0u);
  EXPECT_EQ(Out[2].substr(Out[2].size() - 24), "d2.bak\",\"reason\":\"keep\"}");
  EXPECT_EQ(Out[3].rfind("{\"event\":\"summary\",\"rule\":\"dumps\",", 0), 0u);
  EXPECT_EQ(Out[4].rfind("{\"event\":\"total\",\"rules\":1,\"files\":1,"
                         "\"folders\":0,\"bytes_freed\":",
                         0),
            0u);
  EXPECT_EQ(Out[4].substr(Out[4].size() - 12), ",\"status\":0}");
}

// A rule with a fault runs nothing, the others run, and the status says
// so; --check prints each rule as the command line it means; arguments
// beside --config are few.
TEST_F(RulesTest, AFaultRefusesItsRuleAlone) {
  const std::string Arg = Rules(
      "# two rules\n[good]\ntarget = ~/my-nginx\ndays = 0\n\n"
      "[bad]\ntarget = ~/b\ndays = 3x\n");
  const std::string Error = "   Config error: " + Expand("~/../rules.conf") +
                            ":8: Invalid number of days: --days=3x";
  // A "-n" in a target is no report-only option.
  Check({{"my-nginx/a.log b/a.log", Arg,
          Deleted("~/my-nginx/a.log", Error + "\nRule good: ~/my-nginx"),
          "b/a.log my-nginx/", "", "", 2},
         {"my-nginx/a.log", Arg + " --check",
          Error + "\nRule good: olvane --days=0 ~/my-nginx", "my-nginx/a.log",
          "", "", 2},
         {"g/a.log", Arg + " -r", "   Not with --config: -r", "g/a.log", "", "",
          2}});
}

// A file saved as Notepad's "Unicode": UTF-16LE with its byte-order mark,
// CRLF line ends, names beyond ASCII.
TEST_F(RulesTest, AUtf16FileIsReadAsItsText) {
  Rules("[архив]\r\ntarget = ~/данные/*.log\r\ndays = 0\r\n");
  ASSERT_TRUE(Succeeds("cd " + Quote(Base) +
                       " && (printf '\\377\\376' && iconv -f UTF-8 -t "
                       "UTF-16LE rules.conf) >u16.conf"));
  Check({{"данные/a.log данные/b.txt", "--config=~/../u16.conf",
          Deleted("~/данные/a.log", "Rule архив: ~/данные/*.log"),
          "данные/b.txt"}});
}

// Of a folder, the *.conf files in name order (the unit table has the
// leftovers passed over).
TEST_F(RulesTest, AFolderOfRulesRunsInNameOrder) {
  Rules("[two]\ntarget = ~/y\ndays = 0\n", "d/2.conf");
  Rules("[one]\ntarget = ~/x\ndays = 0\n", "d/1.conf");
  Check({{"x/a y/b", "--config=~/../d",
          "Rule one: ~/x\nDelete file: ~/x/a\n     1 file(s) deleted.\n"
          "Rule two: ~/y\nDelete file: ~/y/b\n     1 file(s) deleted.",
          "x/ y/", "", "", 0, false, true}});
}

// One run of a configuration at a time: the first kept waiting on a full
// pipe, the second refused at once.
TEST_F(RulesTest, ASecondRunOfTheSameRulesIsRefused) {
  const std::string Arg = Rules("[many]\ntarget = ~/m\ndays = 0\n");
  ASSERT_TRUE(Shell("mkdir m && cd m && seq -f " + std::string(100, 'x') +
                    "%g 2000 | xargs touch"));
  // The second starts once the first has begun to delete, and so holds
  // the lock until its reader wakes ("true;" keeps the run's "cd" in front).
  const Lines Out =
      Run({Arg},
          "true; ($OLVANE_PROGRAM '" + Arg +
              "' | (sleep 10; cat >`dev`null)) & for i in $(seq 300); do "
              "[ $(ls m | wc -l) -lt 2000 ] && break; sleep 0.03; done;",
          5);
  EXPECT_EQ(Out, Lines{"   Another run of this configuration is under way: " +
                       Expand("~/../rules.conf")});
  Succeeds("sleep 10");
}

}  // namespace
}  // namespace olvane_e2e
