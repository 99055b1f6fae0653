#include "app/options.h"

#include <algorithm>

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

ExactOption ExactOptionOf(const std::string& Arg, bool SlashHelp) {
  if (Arg == "--help" || Arg == "-h" || (SlashHelp && Arg == "/?")) {
    return ExactOption::kHelp;
  }
  if (Arg == "--version") return ExactOption::kVersion;
  if (Arg == "--cross-mounts") return ExactOption::kCrossMounts;
  if (Arg == "--no-preserve-root") return ExactOption::kNoPreserveRoot;
  if (Arg.rfind("--workers", 0) == 0 && (Arg.size() == 9 || Arg[9] == '=')) {
    return ExactOption::kWorkers;
  }
  if (Arg == "--json") return ExactOption::kJson;
  return ExactOption::kNone;
}

bool ParseWorkers(const std::string& Arg, int Most, int* Workers) {
  const std::string Digits = Arg.substr(std::min<size_t>(Arg.size(), 10));
  if (Arg.size() <= 10 || Arg[9] != '=' || Digits.size() > 3 ||
      Digits.find_first_not_of("0123456789") != std::string::npos) {
    return false;
  }
  const int Value = std::stoi(Digits);
  if (Value < 1 || Value > Most) return false;
  *Workers = Value;
  return true;
}

}  // namespace olvane
