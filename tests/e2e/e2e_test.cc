// End-to-end tests of the built command in temporary folders.
#include "e2e/e2e.h"

namespace olvane_e2e {

// The usage screen is the checked-in one, byte for byte; help begins with it.
TEST_F(EndToEndTest, UsageHelpAndVersionWalkNothing) {
  const Lines Usage = Run({});
  EXPECT_EQ(Usage, SplitLines(ReadFile(OLVANE_USAGE_FILE), "\n"));
  Make("a.log");
  for (const char* Help : {"--help", "-h"}) {
    const Lines Out = Run({"-d0", Help, "~"});
    ASSERT_GT(Out.size(), Usage.size());
    EXPECT_EQ(Lines(Out.begin(), Out.begin() + Usage.size()), Usage);
    // The newer options under their headings, within 80 columns.
    for (const char* Heading :
         {"   What is purged:", "   How:", "   Goals and retention:",
          "   Record:", "   Unattended runs:"})
      EXPECT_NE(std::find(Out.begin(), Out.end(), Heading), Out.end());
    for (const std::string& Line : Out) EXPECT_LE(Line.size(), 80u) << Line;
  }
  EXPECT_EQ(Run({"-d0", "~", "--version"}), Lines{"olvane 1.0.0"});
  EXPECT_EQ(Leaves(), Lines{"a.log"});
}

TEST_F(EndToEndTest, PurgesDueFilesOnlyAndReportOnlyRunsChangeNothing) {
  const std::string
      Logs = "r.log logs/a.log logs/b.txt logs/x/y/c.log",
      Names = "Данные/отчёт.log Данные/日本語😀.log Данные/日本語😀.txt";
  std::vector<Case> Cases = {
      // An expanding runtime would turn *.log into r.log.
      {Logs, "-d0 logs *.log -r", Deleted("~/logs/a.log ~/logs/x/y/c.log"),
       "logs/b.txt logs/x/y/ r.log", "", "", 0, true},
      {Logs, "-d1 logs *.log -r", Deleted(""), Logs},
      {Names, "-d0 Данные *.log",
       Deleted("~/Данные/отчёт.log", "Cannot open file: ~/Данные/日本語😀.log"),
       "Данные/日本語😀.log Данные/日本語😀.txt", "", "~/Данные/日本語😀.log"},
      // A dot or a space that ends a name belongs to it.
      {"", "-d0 ~ -r -e",
       Output{"Delete file: ~/trail ", "Delete file: ~/trailing.",
              "Delete file: ~/sp /f", "Delete folder: ~/sp ",
              "     3 file(s) deleted.", "     1 folder(s) deleted."},
       "", "mkdir 'sp ' && touch trailing. 'trail ' 'sp `f' &&"}};
  // A folder is judged by the times it had before the walk listed and
  // emptied it. The long names mean what the short forms mean.
  for (const char* Args :
       {"-d30 ~ -r -e -t:m", "-d30 ~ -r -e -t:a",
        "--days=30 ~ --recurse --remove-empty --age-by=modification"}) {
    Cases.push_back(
        {"old/a.log old/s/b.log", Args,
         Deleted("~/old/a.log ~/old/s/b.log",
                 "Delete folder: ~/old/s\nDelete folder: ~/old\n"
                 "     2 folder(s) deleted."),
         "", "touch -d '40 days ago' old`s`b.log old`a.log old`s old &&"});
  }
  if (Windows()) {  // case does not count, in any script
    Cases.push_back({"архив1.log АРХИВ2.LOG другое.log архив3.txt",
                     "-d0 ~/архив*.log", Deleted("~/АРХИВ2.LOG ~/архив1.log"),
                     "архив3.txt другое.log"});
  }
  Check(Cases);
}

// What needs POSIX file kinds, the race library or a second user.
TEST_F(EndToEndTest, LinksRacesAndOtherUsersCannotMisleadTheWalk) {
  if (Windows()) GTEST_SKIP() << "POSIX only";
  const std::string Swap =
      "outside/precious.log outside/deep/precious.log t/trigger.log t/a/a.log "
      "t/b/b.log t/c/c.log";
  const std::string Swapped =
      "aside/b.log outside/deep/precious.log outside/precious.log t/a/ "
      "t/b->~/outside t/c/";
  const std::string Out = "~/t/trigger.log ~/t/a/a.log ~/t/c/c.log";
  // One worker: the swap must come before the walk reaches the folder, which
  // the walk's own thread opens whatever the number of workers.
  const std::string Race =
      "OLVANE_WORKERS=1 " + kRace +
      "OLVANE_RACE_TRIGGER=trigger.log OLVANE_RACE_SWAP=~/t/b "
      "OLVANE_RACE_OUTSIDE=~/outside OLVANE_RACE_ASIDE=~/aside";
  std::vector<Case> Cases = {
      {"outside/precious t/d/dirlink->~/outside "
       "t/filelink->~/outside/precious t/fifo|",
       "-d0 ~/t -r", Deleted("~/t/filelink"),
       "outside/precious t/d/dirlink->~/outside t/fifo|"},
      {"t/2026/01/a.log t/2026/02/b.log t/busy/held.log outside/keep "
       "t/link->~/outside",
       "-d0 ~/t -r -e",
       Deleted("~/t/2026/01/a.log ~/t/2026/02/b.log",
               "Delete folder: ~/t/2026/01\nDelete folder: ~/t/2026/02\n"
               "Delete folder: ~/t/2026\nCannot open file: ~/t/busy/held.log\n"
               "     3 folder(s) deleted."),
       "outside/keep t/busy/held.log t/link->~/outside", "",
       "~/t/busy/held.log"},
      // Listed as a folder, it is a link when the walk comes to open it.
      {Swap, "-d0 ~/t -r", Deleted(Out, "Cannot open folder: ~/t/b"), Swapped,
       Race},
      {Swap, "-d0 ~/t/*.log -r", Deleted(Out), Swapped, Race},
      // The other process opens the file once the expiry test has it.
      {"taken.log free.log", "-d0 ~",
       Deleted("~/free.log", "Cannot delete file: ~/taken.log"), "taken.log",
       kRace + "OLVANE_RACE_OPENER=taken.log"},
      // Listed as a link, then a file held open took its name: a ranked run
      // proves the file free, and passes over what was listed as a file.
      // One worker, so that the swap at the first expiry test comes before
      // the link is looked at again.
      {"a/cur cur->~/gone h", "-d0 ~ -r --max-files=3 --workers=1",
       Deleted("~/a/cur", "Cannot open file: ~/cur\nCannot open file: ~/h"),
       "a/ cur h->~/gone", kRace + "OLVANE_RACE_EXCHANGE=~/cur:~/h", "~/h"},
      // A chosen file replaced, after the examination, by a newer one that
      // another process holds open (a log rotated into its name): passed
      // over without a word, as a run that had just listed it would.
      // One worker, so that b waits for the removal of a.
      {"t/a t/b t/c new", "-d1 ~/t -t:m --max-files=3 --workers=1",
       Deleted("~/t/a ~/t/c"), "t/b",
       "touch -m -d '3 days ago' t/a t/b t/c && " + kRace +
           "OLVANE_RACE_AT=remove OLVANE_RACE_TRIGGER=a "
           "OLVANE_RACE_RENAME=~/new:~/t/b",
       "~/new"},
      // A mapping holds a file whose descriptor was closed.
      {"mapped.log free.log", "-d0 ~",
       Deleted("~/free.log", "Cannot open file: ~/mapped.log"), "mapped.log",
       "", "map:~/mapped.log"},
  };
  // The kernel holds a loop device's backing file for no process.
  if (geteuid() == 0 && std::system("losetup -f >/dev/null 2>&1") == 0) {
    Cases.push_back(
        {"img.log free.log", "-d0 ~",
         Deleted("~/free.log", "Cannot open file: ~/img.log"), "img.log",
         "sh -c 'L=$(losetup -f --show img.log 2>/dev/null) && trap "
         "\"losetup -d $L\" EXIT && \"$0\" \"$@\"'"});
  } else {
    std::cerr << "No loop device to be had: the backing file row is left out\n";
  }
  // An ordinary user can take no lease on another user's file and cannot
  // read the tables of root's processes: without proof the file stays. Its
  // own files have leases, which root's holding process also denies; in a
  // build without leases they stay too.
  if (CanBeNobody()) {
    const bool Leases = Env("OLVANE_NO_LEASES") != "1";
    Cases.push_back(
        {"s/held.log s/own.log s/mine.log", "-d0 ~/s",
         Deleted(Leases ? "~/s/own.log" : "",
                 "Cannot open file: ~/s/held.log\n"
                 "Cannot open file: ~/s/mine.log"),
         Leases ? "s/held.log s/mine.log" : "s/held.log s/mine.log s/own.log",
         "chmod 755 .. . && chmod 777 s && chown nobody s/own.log s/mine.log "
         "&& " +
             kAsNobody,
         "~/s/held.log ~/s/mine.log"});
    if (!Leases) Cases.back().Out.push_back("Cannot open file: ~/s/own.log");
  }
  Check(Cases);
}

// Due files move into the move folder, within a file system and onto
// another one, keeping content, permission bits and modification time; with
// -Y they replace older copies.
TEST_F(EndToEndTest, MovesKeepTheFileAndReplaceOnlyWithY) {
  std::string Deep = std::string(58, 'd') + "10";  // 16 levels, 976 bytes
  for (int Level = 11; Level < 26; ++Level)
    Deep += "/" + std::string(58, 'd') + std::to_string(Level);
  std::vector<std::pair<std::string, std::string>> Moves = {
      {"t", "archive"}, {Deep, "Архив"}, {"Архив", Deep}};
  if (OtherFileSystem()) Moves.push_back({"t", "^"});
  const std::string Big(70000, 'b'), Name = "/отчёт😀.log";
  for (const auto& [From, To] : Moves) {
    const std::string Into = To == "^" ? "^" : "~/" + To;
    const std::string Files = From + Name + "=" + Big + " " + From +
                              "/same.log=new " + To + "/same.log=old";
    // Permission bits and a modification time (that of a file beside the
    // tree), which the move keeps.
    const std::string Touch = "chmod 640 " + Quote(From + Name) +
                              " && touch -d @1000000000 ../time " +
                              Quote(From + Name) + " &&";
    Check({{Files, "-d0 ~/" + From + " -m:" + Into,
            Moved("~/" + From + Name,
                  "File " + Into + "/same.log already exist."),
            From + "/same.log=new " + To + Name + "=" + Big + " " + To +
                "/same.log=old"},
           {Files, "-d0 ~/" + From + " -Y -m:" + Into,
            Moved("~/" + From + Name + " ~/" + From + "/same.log"),
            From + "/ " + To + Name + "=" + Big + " " + To + "/same.log=new",
            Windows() ? "" : Touch}});
    const fs::path There = (To == "^" ? Other : Tree / To) / Name.substr(1);
    if (!Windows()) {
      EXPECT_EQ(fs::status(There).permissions(), fs::perms(0640));
      EXPECT_EQ(fs::last_write_time(There), fs::last_write_time(Base / "time"));
    }
  }
}

// 600 levels (6.6 KB of path) on Linux, walked by four workers in a process
// that may hold only 128 descriptors; 16 levels and 1,000 characters on
// Windows. Each level holds a side folder with a file and, beside the folder
// the walk goes into, a file of its own; the deepest one a file.
TEST_F(EndToEndTest, TreesBeyondThePathLimitArePurgedWhole) {
  const int Levels = Windows() ? 16 : 600;
  const std::string Step(Windows() ? 60 : 10, 'd');
  // One level at a time: the whole path is too long for one call.
  ASSERT_TRUE(Shell("for i in $(seq " + std::to_string(Levels) +
                    "); do mkdir s " + Step +
                    " && echo x >s/f.log && echo x >g.log && cd -P " + Step +
                    "; done && echo x >f.log"));
  std::string Path = "~", Files,
              Folders =
                  "     " + std::to_string(2 * Levels) + " folder(s) deleted.";
  for (int Level = 0; Level < Levels; ++Level, Path += "/" + Step) {
    Files += " " + Path + "/s/f.log " + Path + "/g.log";
    Folders +=
        "\nDelete folder: " + Path + "/s\nDelete folder: " + Path + "/" + Step;
  }
  if (Windows()) {  // the deepest folder given directly
    EXPECT_EQ(Run({"-d0", Path + "/*.log"}), Deleted(Expand(Path + "/f.log")));
  } else {
    Files += " " + Path + "/f.log";
  }
  const std::string Limit =
      Windows() ? "" : "ulimit -n 128 && OLVANE_WORKERS=4";
  // A ranked run reaches each file again from the target, within as few.
  EXPECT_EQ(Run({"-d0", "~", "-r", "-n", "--max-files=5000"}, Limit).back(),
            "     " + std::to_string(Words(Files.substr(1)).size()) +
                " file(s) would be deleted.");
  EXPECT_EQ(Sorted(Run({"-d0", "~", "-r", "-e"}, Limit)),
            Sorted(Deleted(Expand(Files.substr(1)), Expand(Folders))));
  EXPECT_TRUE(fs::is_empty(Tree));
}

}  // namespace olvane_e2e
