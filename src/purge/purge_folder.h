// The folder walk: applies the file tests to every listed file, hands each
// one that is due and free to the run's disposal, and descends into
// subfolders depth first.
#ifndef OLVANE_PURGE_PURGE_FOLDER_H_
#define OLVANE_PURGE_PURGE_FOLDER_H_

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <set>
#include <string>

#include "platform/platform.h"
#include "purge/disposal.h"
#include "purge/run_settings.h"
#include "report/progress.h"
#include "report/report.h"

namespace olvane {

// The files that have a name open in the run. Two names of one file open at
// once would each spoil the other's proof that nobody else holds it, so a
// name of a file with several waits for the other's to be done.
class FilesInFlight {
 public:
  // Waits until no other name of the file Times describes is open, and
  // marks it open; false (nothing to give back) where it has one name or
  // its identity is not known.
  bool Take(const FileTimes& Times);
  void Give(const FileIdentity& Id);

 private:
  std::mutex Lock_;
  std::condition_variable Given_;
  std::set<FileIdentity> Open_;  // GUARDED_BY Lock_
};

// What the walk works with.
struct WalkContext {
  Platform& Sys;
  const RunSettings& Settings;
  Disposal& Dispose;
  Report& Out;  // where the walk's events go
  // Whether the walk keeps out of a subfolder it has opened: neither walked
  // nor removed (the move folder). Null: it keeps out of none.
  std::function<bool(Folder&)> KeepOut = nullptr;
  // Whether the walk refuses the target folder it has opened, with the mask
  // it is to be purged with: nothing is then walked. Null: it refuses none.
  std::function<bool(Folder&, const std::string&)> RefuseTarget = nullptr;
  FilesInFlight InFlight{};  // of the walk's workers
  // The line a person watching the terminal sees; null: none.
  ProgressLine* Progress = nullptr;
};

// Purges the folder or file mask Path (trailing separators are ignored) with
// the expiry term Day, and with Recurse every subfolder below it. In mask
// mode the mask is carried into every subfolder and stays a mask there.
// Links to folders are never entered. Never stops on a failure: each one is
// reported and the walk goes on; a stop request ends it early, once the
// files under way are done and reported. The output is in the one-thread
// walk's order whatever the number of workers.
RunCounts PurgeFolder(WalkContext& Run, std::string Path, int32_t Day);

}  // namespace olvane

#endif  // OLVANE_PURGE_PURGE_FOLDER_H_
