#include "app/options.h"

#include <algorithm>
#include <iterator>
#include <utility>

namespace olvane {
namespace {

struct OptionTexts {
  const char* Text;
  const char* OtherText;
};

// In the order of the Option enumerators.
constexpr OptionTexts kTexts[] = {
    {"-d", "-D"}, {"-m:", "-M:"}, {"-Y", "-y:"},  {"-r", "-R"},
    {"-n", "-N"}, {"-e", "-E"},   {"-x:", "-X:"}, {"-t:", "-T:"},
};

// Where either text of Which first occurs in Arg, or npos.
size_t FirstAt(const std::string& Arg, Option Which) {
  const OptionTexts& Texts = kTexts[static_cast<int>(Which)];
  return std::min(Arg.find(Texts.Text), Arg.find(Texts.OtherText));
}

}  // namespace

bool HasOption(const std::string& Arg, Option Which) {
  return FirstAt(Arg, Which) != std::string::npos;
}

bool IsValueOption(const std::string& Arg, Option* Which) {
  size_t First = std::string::npos;
  for (Option Each : {Option::kMove, Option::kProtect, Option::kAge}) {
    const size_t At = FirstAt(Arg, Each);
    if (At < First) {
      First = At;
      if (Which) *Which = Each;
    }
  }
  return First != std::string::npos;
}

std::string OptionValue(const std::string& Arg) {
  return Arg.size() > 3 ? Arg.substr(3) : std::string();
}

namespace {

// The headings the help screen lists the long options under, in order.
enum class Group { kPurged, kHow, kGoals, kRecord, kUnattended, kOther };
constexpr const char* kHeadings[] = {
    "What is purged", "How",   "Goals and retention", "Record",
    "Unattended runs", nullptr};

struct LongOption {
  Group Under;
  const char* Name;  // "--days"
  ExactOption Which;
  const char* Value;  // what "=VALUE" holds, as the help names it; null: none
  const char* Short;  // the short form it is the long name of; null: none
  const char* Help;   // its help lines, parted by "\n"
};

// Every long option, in the order the help screen lists them.
constexpr LongOption kLong[] = {
    {Group::kPurged, "--days", ExactOption::kDays, "N", "-dN",
     "the term: files created N or more days ago are due"},
    {Group::kPurged, "--recurse", ExactOption::kRecurse, nullptr, "-r",
     "also purge every subfolder, carrying the mask along"},
    {Group::kHow, "--dry-run", ExactOption::kDryRun, nullptr, "-n",
     "report only: list what would be deleted or moved, and\n"
     "change nothing"},
    {Group::kHow, "--remove-empty", ExactOption::kRemoveEmpty, nullptr, "-e",
     "with -r: also delete each subfolder the run leaves\n"
     "empty, once its own age reaches the term"},
    {Group::kHow, "--move-to", ExactOption::kMoveTo, "FOLDER", "-m:FOLDER",
     "move due files into FOLDER instead of deleting them"},
    {Group::kHow, "--replace", ExactOption::kReplace, nullptr, "-Y",
     "with -m: replace a file of the same name in FOLDER"},
    {Group::kPurged, "--protect", ExactOption::kProtect, "MASK", "-x:MASK",
     "never delete or move a file, nor enter or remove a\n"
     "folder, whose name matches MASK (repeatable)"},
    {Group::kPurged, "--age-by", ExactOption::kAgeBy, "creation|modification|access",
     "-t:c|m|a",
     "count the age from the creation (default), the last\n"
     "modification or the last access"},
    {Group::kPurged, "--cross-mounts", ExactOption::kCrossMounts, nullptr, nullptr,
     "with -r: walk into other mounts below the target"},
    {Group::kPurged, "--folders", ExactOption::kFolders, nullptr, nullptr,
     "the mask selects folders (backup sets): each one is\n"
     "aged by the newest file in it, deleted or moved whole,\n"
     "and counted as one by the goals below"},
    {Group::kGoals, "--keep", ExactOption::kKeep, "N", nullptr,
     "in each folder never delete or move the N newest\n"
     "selected files (--keep=7: the last week's backups)"},
    {Group::kGoals, "--max-size", ExactOption::kMaxSize, "SIZE", nullptr,
     "purge due files, oldest first, only until the\n"
     "selected files take SIZE or less (500M, 20G: K M G T)"},
    {Group::kGoals, "--min-free", ExactOption::kMinFree, "SIZE|P%", nullptr,
     "purge due files, oldest first, only until the\n"
     "disk has that much free (--min-free=15%); this goal or\n"
     "--max-size not met ends with status 4"},
    {Group::kGoals, "--max-files", ExactOption::kMaxFiles, "N", nullptr,
     "act on at most N files, the oldest due first\n"
     "(--max-files=5000): a cap, which ends with status 0"},
    {Group::kPurged, "--date-from-name", ExactOption::kDateFromName, "FORMAT", nullptr,
     "a file's time is the date in its name (%Y %m %d, and\n"
     "%H %M %S: --date-from-name=db-%Y-%m-%d), in local time;\n"
     "names without one are left alone"},
    {Group::kGoals, "--keep-daily", ExactOption::kKeepDaily, "N", nullptr,
     "in each folder keep the newest file of each of the\n"
     "last N days that hold one"},
    {Group::kGoals, "--keep-weekly", ExactOption::kKeepWeekly, "N", nullptr,
     "the same, of the last N weeks (ISO, Monday first)"},
    {Group::kGoals, "--keep-monthly", ExactOption::kKeepMonthly, "N", nullptr,
     "the same, of the last N months"},
    {Group::kGoals, "--keep-yearly", ExactOption::kKeepYearly, "N", nullptr,
     "the same, of the last N years; what any keep rule\n"
     "or --keep keeps stays"},
    {Group::kRecord, "--json", ExactOption::kJson, nullptr, nullptr,
     "the report as JSON Lines: one object per line, with\n"
     "sizes, times, reasons and the bytes freed"},
    {Group::kRecord, "--no-progress", ExactOption::kNoProgress, nullptr, nullptr,
     "show no progress line on the terminal (it is shown only\n"
     "where standard error is one, and never in the report)"},
    {Group::kHow, "--no-preserve-root", ExactOption::kNoPreserveRoot, nullptr, nullptr,
     "allow a target that takes every file of a\n"
     "whole root (/, C:\\)"},
    {Group::kHow, "--workers", ExactOption::kWorkers, "N", nullptr,
     "work on up to N files at once (1 to 128; by\n"
     "default 128 on a share, else the processors up to 8)"},
    {Group::kUnattended, "--config", ExactOption::kConfig, "PATH", nullptr,
     "run the rules of the file PATH, or of every *.conf file\n"
     "of the folder PATH, in place of a target and its options"},
    {Group::kUnattended, "--check", ExactOption::kCheck, nullptr, nullptr,
     "with --config: read the rules and print each one as\n"
     "the command line it means; walk nothing"},
    {Group::kUnattended, "--rule", ExactOption::kRule, "NAME", nullptr,
     "with --config: run only the rule NAME (repeatable)"},
    {Group::kRecord, "--log", ExactOption::kLog, "FILE", nullptr,
     "append the report to FILE, between a line that tells\n"
     "the start, version and arguments and one that tells the\n"
     "duration and exit status; standard output stays silent.\n"
     "A FILE that cannot be opened ends the run with status 3"},
    {Group::kRecord, "--log-max", ExactOption::kLogMax, "SIZE", nullptr,
     "with --log: before appending, rename a FILE larger than\n"
     "SIZE (default 10M: K M G) to FILE.1, FILE.1 to FILE.2..."},
    {Group::kRecord, "--log-keep", ExactOption::kLogKeep, "N", nullptr,
     "with --log: keep N old logs, FILE.1 to FILE.N (default 5)"},
    {Group::kRecord, "--status-file", ExactOption::kStatusFile, "FILE", nullptr,
     "at the end replace FILE by one JSON object: when the\n"
     "run started and ended, its status and counts"},
    {Group::kUnattended, "--max-time", ExactOption::kMaxTime, "DURATION", nullptr,
     "start no file once DURATION (45s, 90m, 2h) has passed;\n"
     "the run then ends with status 4"},
    {Group::kRecord, "--system-log", ExactOption::kSystemLog, nullptr, nullptr,
     "one entry per run (with --config: per rule, and the\n"
     "total) in the system's log: syslog, ident olvane; on\n"
     "Windows the Application Event Log, source olvane, IDs\n"
     "1000 done, 1001 goal not met or files left, 1002 errors"},
    {Group::kOther, "--help", ExactOption::kHelp, nullptr, "-h", "this screen"},
    {Group::kOther, "--version", ExactOption::kVersion, nullptr, nullptr, "the version"},
};

// Whether Arg is the long option Of: its name alone, or with "=" and a
// value where it takes one.
bool IsLong(const std::string& Arg, const LongOption& Of) {
  const size_t Size = std::char_traits<char>::length(Of.Name);
  return Arg.compare(0, Size, Of.Name) == 0 &&
         (Arg.size() == Size || (Of.Value && Arg[Size] == '='));
}

std::string Lowered(std::string Text) {
  for (char& C : Text) {
    if (C >= 'A' && C <= 'Z') C = static_cast<char>(C - 'A' + 'a');
  }
  return Text;
}

// "/NAME" or "/NAME=..." where NAME is a long option's name in any case.
bool IsSlashLongName(const std::string& Arg) {
  const std::string Name = "--" + Lowered(Arg.substr(1, Arg.find('=') - 1));
  for (const LongOption& Each : kLong) {
    if (Name == Each.Name) return true;
  }
  return false;
}

}  // namespace

ExactOption ExactOptionOf(const std::string& Arg, bool SlashHelp) {
  if (Arg == "-h" || (SlashHelp && Arg == "/?")) return ExactOption::kHelp;
  for (const LongOption& Each : kLong) {
    if (IsLong(Arg, Each)) return Each.Which;
  }
  return ExactOption::kNone;
}

bool IsUnknownOption(const std::string& Arg, bool SlashHelp) {
  if (ExactOptionOf(Arg, SlashHelp) != ExactOption::kNone) return false;
  static const char* const kDashes[] = {"--", "\xE2\x80\x94", "\xE2\x80\x93"};
  for (const char* Dash : kDashes) {
    if (Arg.rfind(Dash, 0) == 0) return true;
  }
  if (!SlashHelp || Arg.size() < 2 || Arg[0] != '/') return false;
  // A word with "=" and no further separator is no path anyone writes.
  const bool Word = Arg.find_first_of("/\\", 1) == std::string::npos &&
                    Arg.find_first_of("*?") == std::string::npos;
  return Word && (Arg.find('=') != std::string::npos || IsSlashLongName(Arg));
}

namespace {

// One option's lines on the help screen.
void AddHelp(const LongOption& Each, std::string* Text) {
  *Text += "      ";
  if (Each.Short) *Text += std::string(Each.Short) + ", ";
  *Text += Each.Name;
  if (Each.Value) *Text += std::string("=") + Each.Value;
  *Text += "\n              ";
  for (const char* At = Each.Help; *At; ++At) {
    *Text += *At;
    if (*At == '\n') *Text += "              ";
  }
  *Text += '\n';
}

}  // namespace

std::string OptionsHelp() {
  std::string Text = "   More options:\n   -------------\n";
  for (size_t Heading = 0; Heading < std::size(kHeadings); ++Heading) {
    Text += kHeadings[Heading] ? std::string("   ") + kHeadings[Heading] + ":\n"
                               : std::string("\n");
    for (const LongOption& Each : kLong) {
      if (static_cast<size_t>(Each.Under) == Heading) AddHelp(Each, &Text);
    }
  }
  return Text + "\n";
}

std::string LongOptionValue(const std::string& Arg) {
  const size_t Equals = Arg.find('=');
  return Equals == std::string::npos ? std::string() : Arg.substr(Equals + 1);
}

bool ParseCount(const std::string& Text, int64_t Least, int64_t* Count) {
  if (Text.empty() || Text.size() > 18 ||
      Text.find_first_not_of("0123456789") != std::string::npos) {
    return false;
  }
  const int64_t Value = std::stoll(Text);
  if (Value < Least) return false;
  *Count = Value;
  return true;
}

bool ParseSize(const std::string& Text, int64_t* Bytes) {
  static const std::string kSuffixes = "KMGT";
  std::string Digits = Text;
  int Shift = 0;
  if (!Digits.empty()) {
    const size_t Suffix = kSuffixes.find(static_cast<char>(
        Digits.back() >= 'a' && Digits.back() <= 'z' ? Digits.back() - 32
                                                     : Digits.back()));
    if (Suffix != std::string::npos) {
      Shift = 10 * static_cast<int>(Suffix + 1);
      Digits.pop_back();
    }
  }
  int64_t Value = 0;
  if (!ParseCount(Digits, 0, &Value) || Value > (INT64_MAX >> Shift)) {
    return false;
  }
  *Bytes = Value << Shift;
  return true;
}

bool ParseDuration(const std::string& Text, int64_t* Millis) {
  static const std::string kUnits = "smh";
  static const int64_t kUnitMillis[] = {1000, 60000, 3600000};
  const size_t Unit =
      Text.empty() ? std::string::npos : kUnits.find(Text.back());
  int64_t Value = 0;
  if (Unit == std::string::npos ||
      !ParseCount(Text.substr(0, Text.size() - 1), 1, &Value) ||
      Value > (int64_t{1} << 62) / kUnitMillis[Unit]) {
    return false;
  }
  *Millis = Value * kUnitMillis[Unit];
  return true;
}

bool ParseFreeGoal(const std::string& Text, int64_t* Bytes, int* Percent) {
  if (Text.empty() || Text.back() != '%') return ParseSize(Text, Bytes);
  int64_t Value = 0;
  if (!ParseCount(Text.substr(0, Text.size() - 1), 0, &Value) || Value > 100) {
    return false;
  }
  *Percent = static_cast<int>(Value);
  return true;
}

bool ParseWorkers(const std::string& Arg, int Most, int* Workers) {
  int64_t Value = 0;
  if (!ParseCount(LongOptionValue(Arg), 1, &Value) || Value > Most) {
    return false;
  }
  *Workers = static_cast<int>(Value);
  return true;
}

}  // namespace olvane
