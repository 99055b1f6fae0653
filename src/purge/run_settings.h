// What one run was asked to do, filled from the command line before the walk
// starts and only read afterwards, except the counter.
#ifndef OLVANE_PURGE_RUN_SETTINGS_H_
#define OLVANE_PURGE_RUN_SETTINGS_H_

#include <cstdint>
#include <string>

namespace olvane {

class Platform;

struct RunSettings {
  bool Recurse = false;    // walk every subfolder too
  bool MoveMode = false;   // move due files instead of deleting them
  bool Overwrite = false;  // replace a file of the same name in the move folder
  std::string MovePath;    // the move folder as written
  // The move folder passed its check. A run whose move folder failed it
  // moves and removes nothing.
  bool MovePathValid = false;
  int32_t FileCount = 0;  // files deleted or moved so far
};

// What the walk works with: the system and the run's settings.
struct RunContext {
  Platform& Sys;
  RunSettings& Settings;
};

}  // namespace olvane

#endif  // OLVANE_PURGE_RUN_SETTINGS_H_
