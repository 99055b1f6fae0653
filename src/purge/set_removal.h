// An item of --folders (a folder and its whole tree) removed or moved whole,
// or not at all: every file in it proven free as a single file is before
// anything changes, and a removal under a hidden name, so that an
// interrupted one never leaves part of the item under its own name.
#ifndef OLVANE_PURGE_SET_REMOVAL_H_
#define OLVANE_PURGE_SET_REMOVAL_H_

#include <string>

#include "platform/platform.h"
#include "purge/disposal.h"
#include "purge/file_tests.h"
#include "purge/purge_folder.h"

namespace olvane {

// The name an item takes in its parent while it is being removed, and the
// item's own name that such a name tells (false for any other name).
std::string HiddenName(const std::string& Name);
bool IsHiddenName(const std::string& Name, std::string* Original = nullptr);

// What an item is proven for.
enum class SetWork { kRemoval, kMove };

// Proves the item Name of Parent (full path Path) free for Work: every file
// in its tree can be opened with no sharing (held by nobody), none is
// protected by -x:, and for a removal each file and folder can be removed.
// False, with the one event naming the item and the first entry that
// stopped it in Report, otherwise. *Newest, if given, receives the newest
// time of the run's kind its files and folders have now.
bool ProveSet(WalkContext& Run, Folder& Parent, const std::string& Name,
              const std::string& Path, SetWork Work, TimeKey* Newest,
              FileReport& Report);

// Removes the proven item Name of Parent (full path Path): renamed to its
// hidden name first, then emptied, each file proven free again as it goes.
// A failure part-way gives what is left its name back. False, with the
// event that says why, on failure.
bool RemoveSet(WalkContext& Run, Folder& Parent, const std::string& Name,
               const std::string& Path, FileReport& Report);

// Finishes the removal of the hidden leftover Name of Parent (full path
// Path) that an interrupted run left. False, with the event that says why,
// when something in it stays.
bool FinishLeftover(WalkContext& Run, Folder& Parent, const std::string& Name,
                    const std::string& Path, FileReport& Report);

}  // namespace olvane

#endif  // OLVANE_PURGE_SET_REMOVAL_H_
