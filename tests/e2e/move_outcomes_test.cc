// End-to-end tests of what a move leaves behind: names this run filled,
// replacements that fail or meet a held file, the move folder inside the
// walked tree, holes of sparse files, races with other processes, and runs
// killed mid-copy.
#include "e2e/e2e.h"

namespace olvane_e2e {

// The lines of a run whose move of t/f fails.
const std::string Kept = "File ~/t/f cannot be moved.\n     0 file(s) moved.";

TEST_F(EndToEndTest, MovesKeepEveryCopyAndStayOutOfTheMoveFolder) {
  std::vector<Case> Cases = {
      // A name this run filled is never replaced, nor predicted replaced.
      {"t/2024/report.txt=24 t/2025/report.txt=25 a/", "-d0 ~/t -r -Y -m:~/a",
       Moved("~/t/2024/report.txt", "File ~/a/report.txt already exist."),
       "a/report.txt=24 t/2024/ t/2025/report.txt=25", "", "", 0, true},
      // A held old copy stays, and so does the new one.
      {"t/f=new a/f=old", "-d0 ~/t -Y -m:~/a",
       "File ~/a/f cannot be removed.\n" + Kept, "a/f=old t/f=new", "", "~/a/f",
       0, true},
      // The walk keeps out of the move folder, and -e leaves it and the
      // folders on its path.
      {"t/b/archive/ t/c/f", "-d0 ~/t -r -e -m:~/t/b/archive",
       Moved("~/t/c/f", "Delete folder: ~/t/c\n     1 folder(s) deleted."),
       "t/b/archive/f"}};
  if (!Windows()) {
    // A file put in the move folder during the run (here at the expiry
    // test, set off by an exchange of two other files) was not there before
    // it: -Y leaves it.
    Cases.push_back({"t/f=new new=fresh x/f x/g a/", "-d0 ~/t -Y -m:~/a",
                     "File ~/a/f already exist.\n     0 file(s) moved.",
                     "a/f=fresh t/f=new x/f x/g",
                     kRace + "OLVANE_RACE_RENAME=~/new:~/a/f "
                             "OLVANE_RACE_EXCHANGE=~/x/f:~/x/g"});
    // However the move folder is written.
    Cases.push_back({"t/b/archive/old m->~/t/b/archive", "-d0 ~/t -r -m:~/m",
                     Moved(""), "m->~/t/b/archive t/b/archive/old"});
  }
  if (OtherFileSystem()) {
    // A move across file systems that fails keeps the file, and a
    // replacement the old copy: a copy or a move folder that cannot be
    // flushed to disk holds no sure copy; a read-only file on Windows.
    for (const std::string& Fails :
         Windows() ? Lines{} : Lines{"file", "folder"})
      Cases.push_back({"t/f=new ^/keep", "-d0 ~/t -m:^", Kept, "^/keep t/f=new",
                       kRace + "OLVANE_RACE_FSYNC=" + Fails});
    Cases.push_back({"t/f=new ^/f=old", "-d0 ~/t -Y -m:^", Kept,
                     "^/f=old t/f=new",
                     Windows() ? "(cd t && chmod a-w f) &&"
                               : kRace + "OLVANE_RACE_FSYNC=file"});
  }
  Check(Cases);
}

// A move onto another file system keeps the holes of a sparse file: each of
// these 8 MiB files fits in an archive of 1 MiB only so, with the same bytes
// (data at the start and in the middle, at the end only, none).
TEST_F(EndToEndTest, MovesAcrossFileSystemsKeepHoles) {
  if (!CanMount()) GTEST_SKIP() << "a small tmpfs, in a namespace as root";
  ASSERT_TRUE(Shell(
      "mkdir a && for d in t ../r; do mkdir $d && truncate -s 8M $d/head "
      "$d/tail "
      "$d/none && printf ab | dd of=$d/head conv=notrunc status=none && "
      "printf cd | dd of=$d/head bs=1 seek=4M conv=notrunc status=none && "
      "printf ef | dd of=$d/tail bs=1 seek=8388606 conv=notrunc status=none; "
      "done"));
  const Lines Out = Run(
      {"-d0", "~/t", "-m:~/a"},
      "unshare -m sh -c 'mount -t tmpfs -o size=1M none a && \"$0\" \"$@\"; "
      "cd a && for f in *; do cmp $f ../../r/$f && echo $f; done'");
  EXPECT_EQ(Sorted(Out), Sorted(Moved(Expand("~/t/head ~/t/none ~/t/tail"),
                                      "head\nnone\ntail")));
  EXPECT_TRUE(fs::is_empty(Tree / "t"));
}

// Between the copy across file systems and the removal of the source, a new
// version saved over the name, or an open of the file: the source stays.
// Between the tests and a deletion, the name swapped for a held file's.
TEST_F(EndToEndTest, TheSourceGoesOnlyWhileItIsTheFileProvenFree) {
  if (Windows()) GTEST_SKIP() << "the race library is for Linux";
  std::vector<Case> Cases = {
      {"f=mine other=held", "-d0 ~/f",
       Deleted("", "File ~/f cannot be removed."), "f=held other=mine",
       kRace + "OLVANE_RACE_EXCHANGE=~/f:~/other", "~/other"}};
  if (OtherFileSystem()) {
    Cases.push_back({"t/f=old new=fresh ^/keep", "-d0 ~/t -m:^", Kept,
                     "^/keep t/f=fresh",
                     kRace + "OLVANE_RACE_AT=flush "
                             "OLVANE_RACE_RENAME=~/new:~/t/f"});
    Cases.push_back({"t/f=data ^/keep", "-d0 ~/t -m:^", Kept, "^/keep t/f=data",
                     kRace + "OLVANE_RACE_AT=flush OLVANE_RACE_OPENER=f"});
  }
  Check(Cases);
}

// The look sees a file held by a thread with a descriptor table of its own,
// and by a process whose main thread has ended.
TEST_F(EndToEndTest, TheLookSeesEveryThreadsTable) {
  if (Windows()) GTEST_SKIP() << "threads' own tables are a Linux matter";
  const std::string Files = "s/held.log s/free.log";
  const Lines Out = Deleted("~/s/free.log", "Cannot open file: ~/s/held.log");
  Check({{Files, "-d0 ~/s", Out, "s/held.log", "", "--thread ~/s/held.log"},
         {Files, "-d0 ~/s", Out, "s/held.log", "", "--orphan ~/s/held.log"}});
}

// Runs killed at any moment of copies onto another file system that replace
// older copies, with unnamed copies and with temporary names, and one run
// after them: the move folder holds only whole files under their own names,
// the old copy or the new one, and at last every new one.
TEST_F(EndToEndTest, KilledMovesLeaveOnlyWholeFiles) {
  if (Windows() || !OtherFileSystem())
    GTEST_SKIP() << "needs /dev/shm on another file system, and POSIX signals";
  for (const char* Unnamed : {"0", "1"}) {
    SCOPED_TRACE(Unnamed);
    std::string Files;
    Lines All;
    for (int I = 0; I < 16; ++I) {
      const std::string Name = std::to_string(I) + "=",
                        Content(2 << 20, static_cast<char>('a' + I));
      Files += " ^/" + Name + Content + " a/" + Name + "old";
      All.push_back("a/" + Name + Content);
    }
    Make(Files.substr(1));
    const std::string Command =
        kRace + "OLVANE_RACE_NO_TMPFILE=" + std::string(Unnamed) + " " +
        Env("OLVANE_PROGRAM") + " -d0 " + Quote(Other.string()) + " -m:a -Y";
    ASSERT_TRUE(Shell("{ for i in 3 5 7 9; do " + Command +
                      " >/dev/null 2>&1 & sleep 0.0$i; kill -9 $!; wait $!; "
                      "done; } 2>/dev/null; " +
                      Command + " >/dev/null"));
    // Not EXPECT_EQ: it would print every file's two megabytes.
    EXPECT_TRUE(Leaves() == Sorted(All))
        << "a part of a file, a name of its own or a file left behind";
    Wipe(Tree);
  }
}

}  // namespace olvane_e2e
