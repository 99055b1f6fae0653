#include "app/front_end.h"

#include "fixture.h"
#include "purge/workers.h"

namespace olvane {
namespace {

// The usage screen and help are checked end to end.
TEST(FrontEndTest, AFailedStartPrintsTheFatalErrorAlone) {
  FakePlatform Sys;
  Prepare(Sys, {"/work/a"});
  Sys.StartFails = true;
  EXPECT_EQ(RunCommand(Sys, {"-d1", "/work"}), kExitCannotStart);
  EXPECT_EQ(Sys.Errors, Lines{"Fatal Error: MFC initialization failed"});
  EXPECT_TRUE(Sys.Output.empty() && Sys.Log.empty());
}

TEST(FrontEndTest, ScanTargetBuildsTheTargetInArgumentOrder) {
  FakePlatform Win(true);
  Win.Add("C:\\Run\\Logs\\Old", 0, kFolder);
  Win.Add("C:\\Logs", 0, kFolder);
  struct {
    const char* Cwd;
    const char* Args;
    const char* Path;
    bool Found;
  } Cases[] = {
      {"C:\\Run", "-d30 D:\\Logs\\*.log -r", "D:\\Logs\\*.log", true},
      {"C:\\Run", "Nope", "C:\\Run", false},
      {"C:\\", "Logs", "C:\\Logs", true},
      {"C:\\Run", "*.log D:\\Logs\\", "D:\\Logs\\", true},
      {"C:\\Run", "\\\\Srv\\Arc\\*.zip", "\\\\Srv\\Arc\\*.zip", true},
      {"C:\\Run", "-m:C:\\Logs", "C:\\Run", false},
      {"", "*.log", "", false},  // no current directory: no base
      // Root- and drive-relative forms, "/" and trailing separators.
      {"C:\\Run", "\\Logs\\*.log", "C:\\Logs\\*.log", true},
      {"C:\\Run", "/Logs/", "C:\\Logs", true},
      {"C:\\Run", "\\", "C:\\Run", false},
      {"C:\\Run", "Logs/ Old\\\\ *.log", "C:\\Run\\Logs\\Old\\*.log", true},
      {"C:\\Run", "c:*.log", "C:\\Run\\*.log", true},
      {"C:\\Run", "D:x*", "D:\\x*", true},
      {"C:\\Run", "x\\\\y:\\z", "C:\\Run", false},  // not a full path
  };
  for (const auto& C : Cases) {
    Win.Cwd = C.Cwd;
    const TargetScan Target = ScanTarget(Win, Words(C.Args));
    EXPECT_EQ(Target.Path, C.Path) << C.Args;
    EXPECT_EQ(Target.Found, C.Found) << C.Args;
  }
}

// The scans in their order: help and version, days, the move folder. No
// option text is read out of a path that became the target or a move folder.
TEST(FrontEndTest, OptionsAreReadInOrderAndNeverOutOfPaths) {
  const std::vector<Item> Ages{Item("/work/a", 30), Item("/work/b", 29),
                               Item("/work/c", 0), Item("/work/f", -1)};
  const std::vector<Item> Srv{Item("/srv/Old-Data/young.log", 1),
                              "/srv/my-reports/sub/old", "/srv/old-names/a",
                              "/srv/old-exports/sub/b"};
  auto Bad = [&](const std::string& Arg) {
    const Lines Out{"   Invalid number of days: " + Arg, "", "USAGE"};
    return Case{.Tree = Ages,
                .Args = {Arg, "-m:/nowhere", "/work"},
                .Out = Out,
                .Status = kExitUsage};
  };
  Check({
      {{Item("/work/logs/a.log", 31), Item("/work/logs/b.log", 29),
        Item("/work/logs/sub/c.log", 31)},
       {"-d10", "logs/*.log", "-D30", "-Rx"},
       Deleted("/work/logs/a.log /work/logs/sub/c.log")},
      // No days option: 32768 days.
      {{Item("/work/d", 32768), Item("/work/e", 32767)},
       {"/work"},
       Deleted("/work/d")},
      {Ages, {"-D 30", "/work"}, Deleted("/work/a")},
      Bad("-D 30x"),
      Bad("-d0.5"),
      {Ages, {"-d+0", "/work"}, Deleted("/work/a /work/b /work/c")},
      {Ages, {"-d-1", "/work"}, Deleted("/work/a /work/b /work/c /work/f")},
      Bad("-d"),
      Bad("-dx"),
      Bad("x-d30"),
      Bad("-d2147483648"),
      Bad("-d-2147483649"),
      {Ages, {"-dx", "/work", "--version"}, {"olvane " OLVANE_VERSION}},
      {Ages, {"/?"}, Deleted("")},  // a POSIX path
      {Ages,
       {"-d365", "-r"},
       {"   Path don't find", "", "USAGE", "     0 file(s) deleted."}},
      {Srv, {"-d30", "/srv/Old-Data/*.log"}, Deleted("")},
      {Srv, {"-d30", "/srv/my-reports"}, Deleted("")},
      {Srv,
       {"-d30", "/srv/old-exports", "-r"},
       Deleted("/srv/old-exports/sub/b")},
      // Report-only wins wherever its text stands, but for exact options.
      {Srv,
       {"-d30", "/srv/old-names"},
       {"Would delete file: /srv/old-names/a",
        "     1 file(s) would be deleted."}},
      // Value and exact options: never targets, never read for others.
      {Srv,
       {"-x:my-data", "/srv/old-names"},
       {"     0 file(s) would be deleted."}},
      {Srv, {"-d0", "-x:my-reports", "/srv/my-reports"}, Deleted("")},
      {Srv, {"-d0", "/srv/old-exports", "--no-preserve-root"}, Deleted("")},
      // The guard asks the folder the walk opened too.
      {{Item("/work/t", 0, kFolder | kOpensAsRoot), "/work/t/a"},
       {"-d0", "/work/t"},
       {"   Will not purge the whole root /: give a narrower target, or add "
        "--no-preserve-root"},
       .Status = kExitUsage},
      {{Item("/work/t", 0, kFolder | kOpensAsRoot), "/work/t/a"},
       {"-d0", "/work/t", "--no-preserve-root"},
       Deleted("/work/t/a")},
      {{"/work/-x:a/f", "/work/-t:c/f", "/work/--no-preserve-root/f"},
       {"-d0", "-x:a", "-t:c", "--no-preserve-root"},
       {"   Path don't find", "", "USAGE", "     0 file(s) deleted."}},
  });
}

// Refusals come before the move folder's check, and nothing is walked.
Case Refused(const std::vector<Item>& Tree, const std::string& Arg,
             const std::string& Why) {
  const Lines Args{"-d0", Arg, "-m:/nowhere", "/work/t"};
  return {.Tree = Tree,
          .Args = Args,
          .Out = {"   " + Why + Arg},
          .Status = kExitUsage};
}

// The age counts from the time asked for, for files and emptied folders.
TEST(FrontEndTest, TheTimeKindIsOneLetter) {
  const std::vector<Item> Tree{
      Item("/work/t/a", 1, 0, 1, 100), Item("/work/t/c", 100, 0, 0, 0),
      Item("/work/t/m", 1, 0, 100), Item("/work/t/dm", 1, kFolder, 100)};
  const auto Run = [&](const char* Kind, const char* File, bool Folder) {
    Lines Out{"Delete file: /work/t/" + std::string(File)};
    if (Folder) Out.push_back("Delete folder: /work/t/dm");
    Out.push_back("     1 file(s) deleted.");
    Out.push_back("     " + std::to_string(Folder) + " folder(s) deleted.");
    return Case{Tree, {"-d30", Kind, "/work/t", "-r", "-e"}, Out};
  };
  std::vector<Case> Cases{Run("-t:c", "c", false), Run("-t:m", "m", true),
                          Run("-T:a", "a", false)};
  for (const char* Bad : {"-t:", "-t:x", "-t:mc", "-T:C", "x-t:m"})
    Cases.push_back(
        Refused(Tree, Bad, "Invalid time kind (-t:c, -t:m or -t:a): "));
  Check(Cases);
}

// Any number of workers gives the one-worker output; one outside 1 to 128
// is refused, and never read for another option.
TEST(FrontEndTest, TheWorkersAreOneTo128) {
  const std::vector<Item> Tree{Item("/work/t/a", 31), Item("/work/t/b", 29)};
  std::vector<Case> Cases{
      {Tree, {"-d0", "--workers=128", "/work/t"}, Deleted("/work/t/a /work/t/b")},
      {Tree, {"--workers=007", "-d30", "/work/t"}, Deleted("/work/t/a")}};
  for (const char* Bad : {"--workers", "--workers=", "--workers=0",
                          "--workers=129", "--workers=8x", "--workers=-n"})
    Cases.push_back(Refused(Tree, Bad,
                            "Invalid number of workers (--workers=1 to 128): "));
  Check(Cases);
}

// The default: by the processors on a local file system, enough to hide the
// round trips on a share, the higher where a walk may cross onto another.
TEST(FrontEndTest, TheDefaultWorkersSuitTheFileSystem) {
  const FileSystemKind Local = FileSystemKind::kLocal,
                       Network = FileSystemKind::kNetwork;
  struct {
    FileSystemKind Kind;
    int Processors;
    bool CrossMounts;
    int Workers;
  } Cases[] = {
      {Local, 0, false, 1},   {Local, 2, false, 2},    {Local, 64, false, 8},
      {Network, 1, false, 128}, {Network, 64, false, 128}, {Local, 2, true, 128},
  };
  for (const auto& C : Cases) {
    EXPECT_EQ(DefaultWorkers(C.Kind, C.Processors, C.CrossMounts), C.Workers)
        << C.Processors << (C.CrossMounts ? " across mounts" : "");
  }
  // The platform tells the kind; a number set stands whatever it is.
  FakePlatform Sys;
  Sys.Share = "/srv";
  RunSettings Set;
  Set.Workers = 0;
  EXPECT_EQ(WorkersFor(Sys, Set, "/srv/archive"), 128);
  EXPECT_LE(WorkersFor(Sys, Set, "/work"), 8);
  Set.Workers = 5;
  EXPECT_EQ(WorkersFor(Sys, Set, "/srv/archive"), 5);
}

// Protected files stay, protected folders are neither entered nor removed,
// in folder and in mask mode, and count as entries for -e.
TEST(FrontEndTest, ProtectedNamesAreNeverTouched) {
  const std::vector<Item> Tree{
      "/work/t/a.log",         "/work/t/a.keep",
      "/work/t/current/b.log", "/work/t/old/c.log",
      "/work/t/old/current",   Item("/work/t/empty.keep", 100, kFolder)};
  const std::string Why =
      "Invalid protect mask (a name, without a separator): ";
  Check({{Tree,
          {"-d0", "/work/t", "-r", "-e", "-x:*.keep", "-x:current"},
          {"Delete file: /work/t/a.log", "Delete file: /work/t/old/c.log",
           "     2 file(s) deleted.", "     0 folder(s) deleted."}},
         {Tree,
          {"-d0", "/work/t/*.log", "-r", "-x:cur*"},
          Deleted("/work/t/a.log /work/t/old/c.log")},
         {Tree,
          {"-d0", "/work/t", "-r", "-e", "-N", "-x:current"},
          {"Would delete file: /work/t/a.keep",
           "Would delete file: /work/t/a.log",
           "Would delete folder: /work/t/empty.keep",
           "Would delete file: /work/t/old/c.log",
           "     3 file(s) would be deleted.",
           "     1 folder(s) would be deleted."}},
         Refused(Tree, "-x:", Why),
         Refused(Tree, "-x:old/c.log", Why)});
}

// Stopped after the 100th open: the files under way are finished and
// reported, and no other one is started.
TEST(FrontEndTest, AStoppedRunReportsItsSummaryAndTheSignal) {
  for (int Workers : {1, 3}) {
    FakePlatform Sys;
    Prepare(Sys, {});
    for (int File = 0; File < 300; ++File)
      Sys.Add("/work/f" + std::to_string(File), 0);
    Sys.StopAfterOpens = 100;
    EXPECT_EQ(RunCommand(Sys, {"-d0", "/work"}, Workers), 143);
    const Lines Out = Words(Sys.Output, '\n');
    const size_t Done = Sys.Log.size();
    ASSERT_EQ(Out.size(), Done + 1);
    EXPECT_EQ(Out.back(), "     " + std::to_string(Done) + " file(s) deleted.");
    EXPECT_TRUE(Done >= 100 && Done < 300 && (Workers > 1 || Done == 100))
        << Done << " with " << Workers;
    CheckLog(Sys, {});
  }
}

}  // namespace
}  // namespace olvane
