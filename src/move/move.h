// Move mode: due files go into a move folder instead of being deleted.
#ifndef OLVANE_MOVE_MOVE_H_
#define OLVANE_MOVE_MOVE_H_

#include <set>
#include <string>

#include "platform/platform.h"
#include "purge/disposal.h"
#include "purge/run_settings.h"

namespace olvane {

// 1 when Path names an existing entry that is not a folder, -1 when it names
// a folder (a drive root included), 0 when nothing of that path exists.
int CheckExist(Platform& Sys, const std::string& Path);

// Moves each due and free file into the move folder, replacing a file of the
// same name there only with Overwrite. With DryRun it looks everything up as
// a real run would and changes nothing, remembering which names it would
// have filled. Reports the outcome and counts each file moved.
class MoveDisposal : public Disposal {
 public:
  MoveDisposal(Platform& Sys, const RunSettings& Settings)
      : Sys_(Sys), Settings_(Settings) {}
  std::string RefusalText() const override { return "Cannot move file: "; }
  void Dispose(Folder& Dir, const Entry& Item, ExclusiveFile& File,
               const std::string& FileName, FileReport& Report) override;
  // Two files bound for one name: the first one in the walk's order goes,
  // the second finds its place taken.
  bool InAnyOrder() const override { return false; }

 private:
  Platform& Sys_;
  const RunSettings& Settings_;
  std::set<std::string> WouldFill_;  // report-only: names a move would take
};

}  // namespace olvane

#endif  // OLVANE_MOVE_MOVE_H_
