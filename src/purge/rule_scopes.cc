#include "purge/rule_scopes.h"

namespace olvane {

bool IsSameOrBelow(Platform& Sys, const std::string& Path,
                   const std::string& Folder) {
  const std::string Key = Sys.NameKey(Path), Top = Sys.NameKey(Folder);
  if (Key.compare(0, Top.size(), Top) != 0) return false;
  // A root keeps its own separator: "/" holds "/srv".
  return Key.size() == Top.size() ||
         (!Top.empty() && Sys.IsSeparator(Top.back())) ||
         Sys.IsSeparator(Key[Top.size()]);
}

bool IsGovernedElsewhere(Platform& Sys, const RunSettings& Settings,
                         const std::string& DirPath, const std::string& Name) {
  for (const RuleScope& Other : Settings.Outranking) {
    if (!Sys.MatchName(Other.Mask, Name)) continue;
    if (Other.Recurse ? IsSameOrBelow(Sys, DirPath, Other.Folder)
                      : Sys.NameKey(DirPath) == Sys.NameKey(Other.Folder)) {
      return true;
    }
  }
  return false;
}

bool HoldsRuleFolder(Platform& Sys, const RunSettings& Settings,
                     const std::string& Path) {
  for (const std::string& Folder : Settings.RuleFolders) {
    if (IsSameOrBelow(Sys, Folder, Path)) return true;
  }
  return false;
}

}  // namespace olvane
