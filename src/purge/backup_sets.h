// A run with --folders: the target's mask selects folders, each one an item
// (a backup set) aged by the newest time in its tree, and each due item is
// deleted or moved whole, oldest first, within the goals.
#ifndef OLVANE_PURGE_BACKUP_SETS_H_
#define OLVANE_PURGE_BACKUP_SETS_H_

#include <cstdint>
#include <memory>
#include <string>

#include "platform/platform.h"
#include "purge/purge_folder.h"

namespace olvane {

// Purges the items of Target, the open folder Path, that Mask ("" takes
// every subfolder) selects, with the term Day: with -r at any depth below
// it, never inside an item. Links to folders are never items. What an
// interrupted removal left hidden in a folder searched is finished first.
RunCounts PurgeSets(WalkContext& Run, std::unique_ptr<Folder> Target,
                    const std::string& Path, const std::string& Mask,
                    int32_t Day);

}  // namespace olvane

#endif  // OLVANE_PURGE_BACKUP_SETS_H_
