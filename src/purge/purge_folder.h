// The folder walk: applies the file tests to every listed file, disposes of
// each one that is due and free, and descends into subfolders depth first.
#ifndef OLVANE_PURGE_PURGE_FOLDER_H_
#define OLVANE_PURGE_PURGE_FOLDER_H_

#include <cstdint>
#include <string>

#include "platform/platform.h"
#include "purge/run_settings.h"

namespace olvane {

// Purges the folder or file mask Path (trailing separators are ignored) with
// the expiry term Day, and with Recurse every subfolder below it. In mask
// mode the mask is carried into every subfolder and stays a mask there.
// Links to folders are never entered. Never stops on a failure: each one is
// reported on the console and the walk goes on.
void PurgeFolder(RunContext& Run, std::string Path, int32_t Day);

// Disposes of one due and free file: moves it in move mode, else deletes it.
// Reports the outcome and counts each file deleted or moved.
void PurgeFile(RunContext& Run, Folder& Dir, const Entry& Item,
               const std::string& FileName);

}  // namespace olvane

#endif  // OLVANE_PURGE_PURGE_FOLDER_H_
