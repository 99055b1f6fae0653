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

// Whether Arg is the long option Name, alone or with "=" and a value.
bool IsLong(const std::string& Arg, const std::string& Name) {
  return Arg.rfind(Name, 0) == 0 &&
         (Arg.size() == Name.size() || Arg[Name.size()] == '=');
}

namespace {

// The long options that are whole arguments without a value.
constexpr std::pair<const char*, ExactOption> kPlain[] = {
    {"--help", ExactOption::kHelp},
    {"--version", ExactOption::kVersion},
    {"--cross-mounts", ExactOption::kCrossMounts},
    {"--no-preserve-root", ExactOption::kNoPreserveRoot},
    {"--json", ExactOption::kJson},
};

// The long options that take "=VALUE".
constexpr std::pair<const char*, ExactOption> kValued[] = {
    {"--workers", ExactOption::kWorkers},
    {"--keep", ExactOption::kKeep},
    {"--max-size", ExactOption::kMaxSize},
    {"--min-free", ExactOption::kMinFree},
    {"--max-files", ExactOption::kMaxFiles},
};

std::string Lowered(std::string Text) {
  for (char& C : Text) {
    if (C >= 'A' && C <= 'Z') C = static_cast<char>(C - 'A' + 'a');
  }
  return Text;
}

// "/NAME" or "/NAME=..." where NAME is a long option's name in any case.
bool IsSlashLongName(const std::string& Arg) {
  const std::string Name = "--" + Lowered(Arg.substr(1, Arg.find('=') - 1));
  for (const auto& [Long, Which] : kPlain) {
    if (Name == Long) return true;
  }
  for (const auto& [Long, Which] : kValued) {
    if (Name == Long) return true;
  }
  return false;
}

}  // namespace

ExactOption ExactOptionOf(const std::string& Arg, bool SlashHelp) {
  if (Arg == "-h" || (SlashHelp && Arg == "/?")) return ExactOption::kHelp;
  for (const auto& [Name, Which] : kPlain) {
    if (Arg == Name) return Which;
  }
  for (const auto& [Name, Which] : kValued) {
    if (IsLong(Arg, Name)) return Which;
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
