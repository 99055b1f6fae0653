#include "app/front_end.h"

#include "fixture.h"
#include "purge/workers.h"

namespace olvane {
namespace {

// A command line as one text: the action; for a refusal its line; for a run
// the term, the target ("?" before it where no argument found one) and each
// setting that differs from a bare run's, in this order.
std::string Describe(const CommandLine& Line) {
  using A = CommandLine::Action;
  const std::map<A, std::string> Actions{
      {A::kUsage, "usage"}, {A::kHelp, "help"}, {A::kVersion, "version"}};
  if (Line.What == A::kRefuse) {  // the first line it prints
    std::string Text;
    TextRenderer().Render(Line.Refusal, &Text);
    return Text.substr(0, Text.find('\n'));
  }
  if (Line.What != A::kRun) return Actions.at(Line.What);
  const RunSettings& S = Line.Settings;
  std::string Text =
      std::to_string(Line.Day) + (Line.Found ? " " : " ?") + Line.Target;
  const std::pair<bool, const char*> Flags[] = {
      {S.Recurse, " r"},   {S.EmptyFolders, " e"}, {Line.CountFolders, " c"},
      {S.DryRun, " n"},    {S.Overwrite, " y"},    {S.CrossMounts, " X"},
      {Line.Json, " json"}};
  for (const auto& [On, Name] : Flags) Text += On ? Name : "";
  Text += std::vector<std::string>{"", " t:m", " t:a"}[int(S.Age)];
  for (const std::string& Mask : S.ProtectMasks) Text += " x:" + Mask;
  if (S.Workers) Text += " w:" + std::to_string(S.Workers);
  if (S.MoveMode) Text += (S.MovePathValid ? " m:" : " m?:") + S.MovePath;
  for (const std::string& Path : Line.MissingMoveFolders)
    Text += " missing:" + Path;
  const Goals& G = S.Goal;  // each that is set
  const int64_t Goals[] = {
      G.Keep ? G.Keep : -1, G.MaxSize,         G.MinFreeBytes,
      G.MinFreePercent,     G.MaxFiles,        G.KeepDaily - 1,
      G.KeepWeekly - 1,     G.KeepMonthly - 1, G.KeepYearly - 1};
  for (size_t I = 0; I < std::size(Goals); ++I) {
    if (Goals[I] >= 0)
      Text += " " +
              Words(
                  "keep size free free% files daily weekly monthly "
                  "yearly")[I] +
              ":" + std::to_string(Goals[I] + (I > 4));
  }
  if (!Line.Log.empty())
    Text += " log:" + Line.Log + "," + std::to_string(Line.LogMax) + "," +
            std::to_string(Line.LogKeep);
  if (!Line.StatusFile.empty()) Text += " status:" + Line.StatusFile;
  if (Line.MaxTimeMs) Text += " ms:" + std::to_string(Line.MaxTimeMs);
  return Text + (S.NameDates ? " dates:" + S.NameDates->Text() : "");
}

struct Reading {
  Arguments Args;
  std::string Line;  // as Describe writes it
  std::vector<Item> Tree = {};
  const char* Cwd = nullptr;  // by default the one Prepare sets
};

// Reads each row's arguments on a platform of its own, with its tree and
// the Common one.
void Read(const std::vector<Reading>& Rows, bool Windows = false,
          const std::vector<Item>& Common = {}) {
  for (const Reading& R : Rows) {
    FakePlatform Sys(Windows);
    Prepare(Sys, Common);
    Prepare(Sys, R.Tree);
    if (R.Cwd) Sys.Cwd = R.Cwd;
    EXPECT_EQ(Describe(ReadCommandLine(Sys, R.Args)), R.Line)
        << testing::PrintToString(R.Args);
  }
}

// The scans in their order: help and version, days, values, the root guard,
// the move folder. No option text is read out of a path that became the
// target, out of a value or out of an exact option; report-only wins
// wherever its text stands, but for exact options.
TEST(CommandLineTest, EachArgumentIsReadOnceInItsScan) {
  std::vector<Reading> Rows = {
      {"-d10 logs/*.log -D30 -Rx", "30 /work/logs/*.log r"},
      {{"-D 30", "/work"}, "30 /work"},
      {"-d+0 /work", "0 /work"},
      {"-d-1 /work", "-1 /work"},
      {"-d-2147483648 /work", "-2147483648 /work"},
      {"-dx /work --version", "version"},
      {"/?", "32768 /?"},  // a POSIX path
      {"-d30 /srv/Old-Data/*.log", "30 /srv/Old-Data/*.log"},
      {"-x:my-data /srv/old-names", "32768 /srv/old-names n x:my-data"},
      {"-d0 -x:my-reports /srv/my-reports", "0 /srv/my-reports x:my-reports"},
      {"-d0 /srv/old-exports --no-preserve-root", "0 /srv/old-exports"},
      // Value and exact options are never targets, whatever entries exist.
      {"-d0 -x:a -t:c --no-preserve-root",
       "0 ?/work x:a",
       {"/work/-x:a/f", "/work/-t:c/f", "/work/--no-preserve-root/f"}},
      {"-d0 -T:m -x:*.keep -X:b /work -r -e -N --json --cross-mounts "
       "--workers=128",
       "0 /work r e c n X json t:m x:*.keep x:b w:128"},
      {"-d0 -t:a /work --workers=007", "0 /work t:a w:7"},
      // The move folder is read from the fourth character on; each one that
      // is no folder is reported, and the last one is used.
      {"-d30 -m:/archive// -y: /work", "30 /work y m:/archive//"},
      {"-d30 -M:/archive -Y /work", "30 /work y m:/archive"},
      {"-d30 x-m:/archive /work",
       "30 /work m?:/work/:/archive missing:/work/:/archive"},
      {"-d30 -m/archive -y /work", "30 /work"},
      {"-d30 -m:/a -m:/archive /work", "30 /work m:/archive missing:/a"},
      {"-d30 /work -m:", "30 /work m?: missing:"},
      {"-d30 /work/my-Yearly -m:/Old-Yard", "30 /work/my-Yearly m:/Old-Yard"},
      // A run whose move folder failed its check removes no folder, and
      // counts them all the same.
      {"-d30 /work -r -e -m:/nowhere",
       "30 /work r c m?:/nowhere missing:/nowhere"},
      {"-d0 / -m:/nowhere",
       "   Will not purge the whole root /: give a narrower target, or add "
       "--no-preserve-root"},
      // The retention goals: the same value twice is one goal. A goal's text
      // turns on no flag, and a path that holds one stays a path.
      {"--keep=7 --max-size=500M --min-free=15% --max-files=5000",
       "32768 ?/work keep:7 size:524288000 free%:15 files:5000"},
      {"--keep=3 --keep=3 --max-size=20g --min-free=2G",
       "32768 ?/work keep:3 size:21474836480 free:2147483648"},
      {"--max-size=1K --max-size=1024", "32768 ?/work size:1024"},
      {"-d1 --keep=3 /srv/old--keep=3", "1 /srv/old--keep=3 keep:3"},
      {"--keep=3 --keep=4", "   Given twice with different values: --keep=4"},
      // Backups: a format's text turns on nothing either.
      {"--keep-daily=7 --keep-weekly=4 --keep-monthly=12 --keep-yearly=1 "
       "--date-from-name=b-n-r-d%Y%m%d_%H%M%S%% /work",
       "32768 /work daily:7 weekly:4 monthly:12 yearly:1 "
       "dates:b-n-r-d%Y%m%d_%H%M%S%%"},
      {"--keep-weekly=2 --keep-weekly=3",
       "   Given twice with different values: --keep-weekly=3"},
      {"--date-from-name=%Y%m%d --date-from-name=%d.%m.%Y",
       "   Given twice with different values: --date-from-name=%d.%m.%Y"},
      {"--min-free=5% --min-free=5G",
       "   Given twice with different values: --min-free=5G"},
      {"--workers=4 --workers=004 /work", "32768 /work w:4"},
      {"--workers=4 --workers=64",
       "   Given twice with different values: --workers=64"},
      // The long names mean what the short forms mean, in the same order,
      // and are never read for short texts.
      {"--days=30 --recurse --remove-empty --dry-run --replace "
       "--move-to=/archive --protect=*.keep --age-by=modification /work",
       "30 /work r e c n y t:m x:*.keep m:/archive"},
      {"-d5 --days=7 -t:m --age-by=access /work", "7 /work t:a"},
      {"--days=7 -d5 --age-by=a --age-by=creation /work", "5 /work"},
      {"--protect=my-data-r --move-to=/x-d0 /work",
       "32768 /work x:my-data-r m?:/x-d0 missing:/x-d0"},
      // A file named like a long option is reached as a path.
      {"-d0 /work/--x", "0 /work/--x"},
      // The options of unattended runs, beside a target or a rules file.
      {"--log=my-nightly.log --log-max=1K --log-keep=0 --max-time=90m "
       "--status-file=/s --log=/work/my-nightly.log /work",
       "32768 /work log:/work/my-nightly.log,1024,0 status:/s ms:5400000"},
      {"--max-time=2h --max-time=3h",
       "   Given twice with different values: --max-time=3h"},
      {"--status-file=s --log=/work/s",
       "   The log and the status file are one file: --log=/work/s"}};
  // Refusals come before the move folder's check.
  const std::pair<const char*, const char*> Refusals[] = {
      {"Invalid number of days: ",
       "-D 30x,-d0.5,-d,-dx,x-d30,-d2147483648,-d-2147483649,--days,--days=,"
       "--days=3x"},
      {"Invalid time kind (-t:c, -t:m or -t:a): ",
       "-t:,-t:x,-t:mc,-T:C,x-t:m,--age-by,--age-by=Creation,--age-by=cm"},
      {"Invalid protect mask (a name, without a separator): ",
       "-x:,-x:old/c.log,--protect=,--protect=old/c.log"},
      {"Invalid number of workers (--workers=1 to 128): ",
       "--workers,--workers=,--workers=0,--workers=129,--workers=8x,"
       "--workers=-n"},
      {"Invalid number to keep (--keep=1 or more): ",
       "--keep=0,--keep=-1,--keep=x,--keep"},
      {"Invalid size (--max-size=N, NK, NM, NG or NT): ",
       "--max-size=,--max-size=10Q,--max-size=1.5G,--max-size=8388608T,"
       "--max-size=99999999999999999999"},
      {"Invalid free space (--min-free=SIZE or 0% to 100%): ",
       "--min-free=101%,--min-free=-5%"},
      {"Invalid number of files (--max-files=0 or more): ", "--max-files=5x"},
      {"Invalid time limit (--max-time=N with s, m or h): ",
       "--max-time=0,--max-time=0s,--max-time=-5m,--max-time=5x,"
       "--max-time=1.5h,--max-time=,--max-time=5,--max-time=1281023894008h"},
      {"Invalid log size (--log-max=N, NK, NM or NG): ", "--log-max=1.5M"},
      {"Invalid number of old logs (--log-keep=0 or more): ",
       "--log-keep=-1,--log-keep=1001"},
      {"A file name is missing: ", "--log=,--status-file"},
      {"Invalid number to keep (--keep-daily, --keep-weekly, --keep-monthly, "
       "--keep-yearly=1 or more): ",
       "--keep-daily=0,--keep-weekly=-1,--keep-monthly=x,--keep-yearly=1.5,"
       "--keep-daily"},
      {"Invalid date format (%Y, %m and %d, with %H, %M, %S, %% and other "
       "characters): ",
       "--date-from-name=,--date-from-name,--date-from-name=%Y-%m,"
       "--date-from-name=%m%d,--date-from-name=%Y%m%d%q,"
       "--date-from-name=%Y%m%d%,--date-from-name=%d%m%Y%d"},
      {"Unknown option: ",
       "--keep:3,--Keep=3,--keep3,--max-file=1,--maxfiles=1,--max_files=1,"
       "--max-size:1M,--min-free:10%,--json=1,--worker=4,--HELP,--,"
       "--date-from:%Y,\u2014keep=3,\u2013keep=3"}};
  for (const auto& [Why, Args] : Refusals) {
    for (const std::string& Arg : Words(Args, ','))
      Rows.push_back(
          {{"-d0", Arg, "-m:/nowhere", "/work"}, "   " + (Why + Arg)});
  }
  Read(Rows, false,
       {Item("/archive", 0, kFolder), Item("/Old-Yard", 0, kFolder)});
}

// The target in argument order, from the current directory, in the forms
// Windows users write; "/?" is help before anything is read.
TEST(CommandLineTest, WindowsTargetsResolveAsWindowsDoes) {
  Read({{"Nope", "32768 ?C:\\Work"},
        {"Logs", "32768 C:\\Logs", {}, "C:\\"},
        {"*.log D:\\Logs\\", "32768 D:\\Logs\\"},
        {"\\\\Srv\\Arc\\*.zip", "32768 \\\\Srv\\Arc\\*.zip"},
        {"*.log", "32768 ?", {}, ""},  // no current directory: no base
        // A separator alone, trailing ones, the drive's current folder (the
        // end-to-end table has the other forms).
        {"\\", "32768 ?C:\\Work"},
        {"Logs/ Old\\\\ *.log", "32768 C:\\Work\\Logs\\Old\\*.log"},
        {"c:*.log", "32768 C:\\Work\\*.log"},
        {"x\\\\y:\\z", "32768 ?C:\\Work"},  // not a full path
        {"-d0 -r /? -e", "help"},
        {"-d0 C:\\Work /keep=3", "   Unknown option: /keep=3"},
        {"-d0 C:\\Work /JSON", "   Unknown option: /JSON"},
        // A drive root is a folder, whatever its status says; "C:" is the
        // drive's current folder.
        {"-d30 C:\\Work -m:C:\\",
         "30 C:\\Work m:C:\\",
         {Item("C:\\", 0, kFolder | kNoStatus)}},
        {"-d30 C:\\Work -m:Q:\\", "30 C:\\Work m?:Q:\\ missing:Q:\\"},
        {"-d30 C:\\Work\\Logs -m:C: -Y", "30 C:\\Work\\Logs y m:C:\\Work"}},
       true,
       {Item("C:\\Work\\Logs\\Old", 0, kFolder), Item("C:\\Logs", 0, kFolder)});
}

// The lines of the front end: a failed start prints its fatal error alone;
// a refusal its line (the command line's table has each), a bad term and a
// target not found the usage screen too, and a move folder not found comes
// before the target's line.
TEST(FrontEndTest, EachRefusalHasItsLine) {
  FakePlatform Sys;
  Prepare(Sys, {"/work/a"});
  Sys.StartFails = true;
  EXPECT_EQ(RunCommand(Sys, {"-d1", "/work"}), kExitCannotStart);
  EXPECT_EQ(Sys.Errors, Lines{"Fatal Error: MFC initialization failed"});
  EXPECT_TRUE(Sys.Output.empty() && Sys.Log.empty());
  const std::vector<Item> A{"/work/a"};
  Check({{A, "-d -m:/nowhere /work", "   Invalid number of days: -d\n\nUSAGE",
          Lines(), kExitUsage},
         {A, "-d30 -m:/nowhere nothing",
          "   Path don't find (-m:move_path)\n\nUSAGE\n   Path don't "
          "find\n\nUSAGE\n     0 file(s) moved."},
         // A goal that cannot be measured (here the free space cannot be
         // read, there the target is missing) is not met.
         {A, "-d0 /work --min-free=10%",
          Deleted("", "   Goal not met: --min-free=10% could not be measured"),
          Lines(), kExitGoalNotMet},
         {A, "-d0 /none --max-size=1M --max-files=1",
          Deleted("", "   Goal not met: --max-size=1M could not be measured"),
          Lines(), kExitGoalNotMet}});
  // A target that turns out to be a whole root once opened (a link
  // repointed since the command line was read): the record still ends with
  // its summary, the text with the refusal alone.
  for (const bool Json : {false, true}) {
    Prepare(Sys, {"/a"});
    CommandLine Line = ReadCommandLine(Sys, {"-d0", "/work"});
    Line.Target = "/";
    Sys.Output.clear();
    const TextRenderer Text;
    const JsonRenderer Record;
    Report Out(Sys, Json ? static_cast<const Renderer&>(Record) : Text);
    EXPECT_EQ(RunCommandLine(Sys, Line, 1, Out), kExitUsage);
    EXPECT_EQ(Sys.Output,
              Json ? "{\"event\":\"whole-root\",\"path\":\"/\"}\n"
                     "{\"event\":\"summary\",\"files\":0,\"folders\":0,"
                     "\"bytes_freed\":0,\"mode\":\"delete\",\"dry_run\":false,"
                     "\"status\":2}\n"
                   : "   Will not purge the whole root /: give a narrower "
                     "target, or add --no-preserve-root\n");
  }
}

// The age counts from the time asked for, for files and emptied folders.
TEST(FrontEndTest, TheTimeKindIsOneLetter) {
  const std::vector<Item> Tree{
      Item("/work/t/a", 1, 0, 1, 100), Item("/work/t/c", 100, 0, 0, 0),
      Item("/work/t/m", 1, 0, 100), Item("/work/t/dm", 1, kFolder, 100)};
  const std::string One = "\n     1 file(s) deleted.\n     ";
  Check({{Tree, "-d30 -t:c /work/t -r -e",
          "Delete file: /work/t/c" + One + "0 folder(s) deleted."},
         {Tree, "-d30 -t:m /work/t -r -e",
          "Delete file: /work/t/m\nDelete folder: /work/t/dm" + One +
              "1 folder(s) deleted."},
         {Tree, "-d30 -T:a /work/t -r -e",
          "Delete file: /work/t/a" + One + "0 folder(s) deleted."}});
}

// The default: by the processors on a local file system, enough to hide the
// round trips on a share, the higher where a walk may cross onto another.
TEST(FrontEndTest, TheDefaultWorkersSuitTheFileSystem) {
  const FileSystemKind Local = FileSystemKind::kLocal,
                       Network = FileSystemKind::kNetwork;
  const std::tuple<FileSystemKind, int, bool, int> Cases[] = {
      {Local, 0, false, 1},      {Local, 2, false, 2},
      {Local, 64, false, 8},     {Network, 1, false, 128},
      {Network, 64, false, 128}, {Local, 2, true, 128}};
  for (const auto& [Kind, Processors, CrossMounts, Workers] : Cases) {
    EXPECT_EQ(DefaultWorkers(Kind, Processors, CrossMounts), Workers)
        << Processors << (CrossMounts ? " across mounts" : "");
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
  const std::string A = "Delete file: /work/t/a.log\n",
                    C = "Delete file: /work/t/old/c.log\n";
  Check({{Tree, "-d0 /work/t -r -e -x:*.keep -x:current",
          A + C + "     2 file(s) deleted.\n     0 folder(s) deleted."},
         {Tree, "-d0 /work/t/*.log -r -x:cur*",
          A + C + "     2 file(s) deleted."},
         {.Tree = Tree,
          .Args = "-d0 /work/t -r -e -x:current",
          .Out = "Delete file: /work/t/a.keep\n" + A +
                 "Delete folder: /work/t/empty.keep\n" + C +
                 "     3 file(s) deleted.\n     1 folder(s) deleted.",
          .Predict = true}});
}

// Stopped after the 100th open, by a signal or by the time budget (a
// second passes with each open): the files under way are finished and
// reported, and no other one is started.
TEST(FrontEndTest, AStoppedRunReportsItsSummaryAndTheSignal) {
  for (int Workers : {1, 3}) {
    for (const bool Timed : {false, true}) {
      FakePlatform Sys;
      Prepare(Sys, {});
      for (int File = 0; File < 300; ++File)
        Sys.Add("/work/f" + std::to_string(File), {.Flags = 0});
      Sys.MillisPerOpen = Timed ? 100 : 0;
      Sys.StopAfterOpens = Timed ? 0 : 100;
      EXPECT_EQ(RunCommand(Sys, {"-d0", "/work", "--max-time=10s"}, Workers),
                Timed ? kExitGoalNotMet : 143);
      Lines Out = Words(Sys.Output, '\n');
      if (Timed) {
        EXPECT_EQ(Out.back(), "   Time limit reached: --max-time=10s");
        Out.pop_back();
      }
      const size_t Done = Sys.Log.size();
      ASSERT_EQ(Out.size(), Done + 1);
      EXPECT_EQ(Out.back(),
                "     " + std::to_string(Done) + " file(s) deleted.");
      EXPECT_TRUE(Done >= 100 && Done < 300 && (Workers > 1 || Done == 100))
          << Done << " with " << Workers;
      CheckLog(Sys, {});
    }
  }
}

// A rules run out of time: the rule under way ends with its summary, the
// rules not started are told, and the log and the status file say what the
// report says, a rule whose target is missing as such.
TEST(FrontEndTest, AnUnattendedRunLeavesItsLogAndStatus) {
  FakePlatform Sys;
  Prepare(Sys, {"/work/a/1", "/work/a/2", "/work/b/1"});
  Sys.Files["/r.conf"] =
      "[gone]\ntarget = /mnt/x\ndays = 0\n[a]\ntarget = /work/a\ndays = "
      "0\n[b]\ntarget = /work/b\ndays = 0\n";
  Sys.Add("/r.conf", {.Flags = 0});
  Sys.MillisPerOpen = 1000;
  const Lines Args = {"--config=/r.conf", "--log=/work/r.log", "--max-time=1s",
                      "--status-file=/work/s.json"};
  EXPECT_EQ(RunCommand(Sys, Args), kExitGoalNotMet);
  EXPECT_EQ(Sys.Output, "");
  EXPECT_EQ(Sys.Files["/work/r.log"],
            "--- 2027-01-15T09:00:00+01:00 olvane " OLVANE_VERSION
            ": --config=/r.conf --log=/work/r.log --max-time=1s "
            "--status-file=/work/s.json\n"
            "Rule gone: /mnt/x\n     0 file(s) deleted.\n"
            "Rule a: /work/a\nDelete file: /work/a/1\n     1 file(s) deleted.\n"
            "Rule b: not run, the time limit was reached\n"
            "   Time limit reached: --max-time=1s\n"
            "--- ended after 1.000 s, exit status 4\n");
  EXPECT_EQ(
      Sys.Files["/work/s.json"],
      "{\"started\":\"2027-01-15T09:00:00+01:00\",\"ended\":\"2027-01-15T09:"
      "00:00+01:00\",\"duration_s\":1.000,\"status\":4,\"files\":1,"
      "\"folders\":0,\"bytes_freed\":0,\"dry_run\":false,"
      "\"time_limit_reached\":true,\"rules\":["
      "{\"name\":\"gone\",\"ran\":true,\"files\":0,\"folders\":0,"
      "\"bytes_freed\":0,\"path_not_found\":\"/mnt/x\",\"status\":0},"
      "{\"name\":\"a\",\"ran\":true,\"files\":1,\"folders\":0,"
      "\"bytes_freed\":0,\"status\":4},"
      "{\"name\":\"b\",\"ran\":false,\"files\":0,\"folders\":0,"
      "\"bytes_freed\":0,\"status\":null}]}\n");
  // A status file whose folder is gone: the report is whole, the run is not.
  Sys.MillisPerOpen = 0;  // the budget set above never runs out
  EXPECT_EQ(RunCommand(Sys, {"-d0", "/work/b", "--status-file=/none/s"}),
            kExitOutputLost);
  // A log that can no longer be written: the run goes on, its report lost.
  Sys.LogFull = true;
  Sys.Output.clear();
  Sys.Add("/work/b/2", {.Flags = 0});
  EXPECT_EQ(RunCommand(Sys, {"-d0", "/work/b", "--log=/work/r.log"}),
            kExitOutputLost);
  EXPECT_EQ(Sys.Log.size(), 3u);
  EXPECT_EQ(Sys.Output, "");
  EXPECT_EQ(Sys.Errors,
            (Lines{"olvane: cannot replace the status file /none/s",
                   "olvane: report incomplete: the log /work/r.log could not "
                   "be written"}));
}

// A file bound for the name of the run's log in the move folder never
// replaces the log.
TEST(FrontEndTest, AMoveNeverReplacesTheLog) {
  FakePlatform Sys;
  Prepare(Sys, {"/work/t/run.log", "/arch/run.log"});
  EXPECT_EQ(RunCommand(Sys, {"-d0", "/work/t", "-m:/arch", "-Y",
                             "--log=/arch/run.log"}),
            kExitOk);
  EXPECT_TRUE(Sys.Log.empty());
  EXPECT_NE(Sys.Files["/arch/run.log"].find(
                "\nFile /arch/run.log already exist.\n     0 file(s) moved.\n"),
            std::string::npos);
}

}  // namespace
}  // namespace olvane
