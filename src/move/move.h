// Move mode: due files go into a move folder instead of being deleted.
#ifndef OLVANE_MOVE_MOVE_H_
#define OLVANE_MOVE_MOVE_H_

#include <string>
#include <vector>

#include "platform/platform.h"
#include "purge/run_settings.h"

namespace olvane {

// True for an argument that names the move folder ("-m:" or "-M:" anywhere).
bool IsMoveArgument(const std::string& Arg);

// The move scan: every move argument sets MoveMode, and the last one gives
// MovePath (the argument less its first three characters). Each move folder
// that is not an existing folder is reported, with the usage screen.
void ScanMoveOption(RunContext& Run, const std::vector<std::string>& Args);

// The overwrite scan: "-Y" or "-y:" anywhere in an argument sets Overwrite.
// Arguments flagged in NotOptions (the target's parts and move arguments)
// are passed over.
void ScanOverwriteOption(RunSettings& Settings,
                         const std::vector<std::string>& Args,
                         const std::vector<bool>& NotOptions);

// 1 when Path names an existing entry that is not a folder, -1 when it names
// a folder (a drive root included), 0 when nothing of that path exists.
int CheckExist(Platform& Sys, const std::string& Path);

// Moves the due and free file Item of Dir (full path FileName) into the move
// folder, replacing a file of the same name there only with Overwrite.
// Reports the outcome and counts each file moved.
void MoveFileOut(RunContext& Run, Folder& Dir, const Entry& Item,
                 const std::string& FileName);

}  // namespace olvane

#endif  // OLVANE_MOVE_MOVE_H_
