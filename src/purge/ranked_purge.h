// A run with goals beyond the term (--max-size, --min-free, --max-files):
// the walk examines every selected file first, by one status query each and
// opening none, and the due files are then acted on oldest first, each one
// tested and proven free as in any run, until the goals are met.
#ifndef OLVANE_PURGE_RANKED_PURGE_H_
#define OLVANE_PURGE_RANKED_PURGE_H_

#include <cstdint>
#include <memory>
#include <string>

#include "platform/platform.h"
#include "purge/purge_folder.h"

namespace olvane {

// Purges Target, the open folder Path, with the file mask Mask ("" for
// folder mode) and the term Day, by the goals of Run's settings. Folders
// that -e removes go after the files. What is still missing of a goal once
// every due file was tried, or the cap was reached, is in the counts.
RunCounts PurgeRanked(WalkContext& Run, std::unique_ptr<Folder> Target,
                      const std::string& Path, const std::string& Mask,
                      int32_t Day);

}  // namespace olvane

#endif  // OLVANE_PURGE_RANKED_PURGE_H_
