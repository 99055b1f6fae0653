#include "app/options.h"

#include <algorithm>
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

struct LongOption {
  const char* Name;  // "--days"
  ExactOption Which;
  const char* Value;  // what "=VALUE" holds, as the help names it; null: none
  const char* Short;  // the short form it is the long name of; null: none
  const char* Help;   // its help lines, parted by "\n"
};

// Every long option, in the order the help screen lists them.
constexpr LongOption kLong[] = {
    {"--days", ExactOption::kDays, "N", "-dN",
     "the term: files created N or more days ago are due"},
    {"--recurse", ExactOption::kRecurse, nullptr, "-r",
     "also purge every subfolder, carrying the mask along"},
    {"--dry-run", ExactOption::kDryRun, nullptr, "-n",
     "report only: list what would be deleted or moved, and\n"
     "change nothing"},
    {"--remove-empty", ExactOption::kRemoveEmpty, nullptr, "-e",
     "with -r: also delete each subfolder the run leaves\n"
     "empty, once its own age reaches the term"},
    {"--move-to", ExactOption::kMoveTo, "FOLDER", "-m:FOLDER",
     "move due files into FOLDER instead of deleting them"},
    {"--replace", ExactOption::kReplace, nullptr, "-Y",
     "with -m: replace a file of the same name in FOLDER"},
    {"--protect", ExactOption::kProtect, "MASK", "-x:MASK",
     "never delete or move a file, nor enter or remove a\n"
     "folder, whose name matches MASK (repeatable)"},
    {"--age-by", ExactOption::kAgeBy, "creation|modification|access",
     "-t:c|m|a",
     "count the age from the creation (default), the last\n"
     "modification or the last access"},
    {"--cross-mounts", ExactOption::kCrossMounts, nullptr, nullptr,
     "with -r: walk into other mounts below the target"},
    {"--folders", ExactOption::kFolders, nullptr, nullptr,
     "the mask selects folders (backup sets): each one is\n"
     "aged by the newest file in it, deleted or moved whole,\n"
     "and counted as one by the goals below"},
    {"--keep", ExactOption::kKeep, "N", nullptr,
     "in each folder never delete or move the N newest\n"
     "selected files (--keep=7: the last week's backups)"},
    {"--max-size", ExactOption::kMaxSize, "SIZE", nullptr,
     "purge due files, oldest first, only until the\n"
     "selected files take SIZE or less (500M, 20G: K M G T)"},
    {"--min-free", ExactOption::kMinFree, "SIZE|P%", nullptr,
     "purge due files, oldest first, only until the\n"
     "disk has that much free (--min-free=15%); this goal or\n"
     "--max-size not met ends with status 4"},
    {"--max-files", ExactOption::kMaxFiles, "N", nullptr,
     "act on at most N files, the oldest due first\n"
     "(--max-files=5000): a cap, which ends with status 0"},
    {"--json", ExactOption::kJson, nullptr, nullptr,
     "the report as JSON Lines: one object per line, with\n"
     "sizes, times, reasons and the bytes freed"},
    {"--no-preserve-root", ExactOption::kNoPreserveRoot, nullptr, nullptr,
     "allow a target that takes every file of a\n"
     "whole root (/, C:\\)"},
    {"--workers", ExactOption::kWorkers, "N", nullptr,
     "work on up to N files at once (1 to 128; by\n"
     "default 128 on a share, else the processors up to 8)"},
    {"--config", ExactOption::kConfig, "PATH", nullptr,
     "run the rules of the file PATH, or of every *.conf file\n"
     "of the folder PATH, in place of a target and its options"},
    {"--check", ExactOption::kCheck, nullptr, nullptr,
     "with --config: read the rules and print each one as\n"
     "the command line it means; walk nothing"},
    {"--rule", ExactOption::kRule, "NAME", nullptr,
     "with --config: run only the rule NAME (repeatable)"},
    {"--help", ExactOption::kHelp, nullptr, "-h", "this screen"},
    {"--version", ExactOption::kVersion, nullptr, nullptr, "the version"},
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

std::string OptionsHelp() {
  std::string Text = "   More options:\n   -------------\n";
  for (const LongOption& Each : kLong) {
    Text += "      ";
    if (Each.Short) Text += std::string(Each.Short) + ", ";
    Text += Each.Name;
    if (Each.Value) Text += std::string("=") + Each.Value;
    Text += "\n              ";
    for (const char* At = Each.Help; *At; ++At) {
      Text += *At;
      if (*At == '\n') Text += "              ";
    }
    Text += '\n';
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
