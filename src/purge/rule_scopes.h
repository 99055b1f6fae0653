// Where the rules of one configuration meet: a file governed by another
// rule, and a folder another rule needs, as the walk of one rule asks.
#ifndef OLVANE_PURGE_RULE_SCOPES_H_
#define OLVANE_PURGE_RULE_SCOPES_H_

#include <string>

#include "platform/platform.h"
#include "purge/run_settings.h"

namespace olvane {

// Whether the file Name of the folder DirPath (a full path) lies in the
// tree of a rule of Outranking that takes its name: that rule governs it.
bool IsGovernedElsewhere(Platform& Sys, const RunSettings& Settings,
                         const std::string& DirPath, const std::string& Name);

// Whether the folder Path is another rule's target folder or lies above
// one: never removed as emptied.
bool HoldsRuleFolder(Platform& Sys, const RunSettings& Settings,
                     const std::string& Path);

// Whether Path is Folder or lies below it; names compare as the system
// compares them.
bool IsSameOrBelow(Platform& Sys, const std::string& Path,
                   const std::string& Folder);

}  // namespace olvane

#endif  // OLVANE_PURGE_RULE_SCOPES_H_
