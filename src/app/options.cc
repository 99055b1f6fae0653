#include "app/options.h"

namespace olvane {
namespace {

struct OptionTexts {
  const char* Text;
  const char* OtherText;
};

// In the order of the Option enumerators.
constexpr OptionTexts kTexts[] = {
    {"-d", "-D"}, {"-m:", "-M:"}, {"-Y", "-y:"},
    {"-r", "-R"}, {"-n", "-N"},   {"-e", "-E"},
};

}  // namespace

bool HasOption(const std::string& Arg, Option Which) {
  const OptionTexts& Texts = kTexts[static_cast<int>(Which)];
  return Arg.find(Texts.Text) != std::string::npos ||
         Arg.find(Texts.OtherText) != std::string::npos;
}

bool IsHelpArgument(const std::string& Arg, bool SlashHelp) {
  return Arg == "--help" || Arg == "-h" || (SlashHelp && Arg == "/?");
}

bool IsVersionArgument(const std::string& Arg) { return Arg == "--version"; }

bool IsLongOption(const std::string& Arg) {
  for (const char* Long :
       {"--help", "--version", "--cross-mounts", "--no-preserve-root"}) {
    if (Arg == Long) return true;
  }
  return false;
}

}  // namespace olvane
