// Move mode: due files go into a move folder instead of being deleted.
#ifndef OLVANE_MOVE_MOVE_H_
#define OLVANE_MOVE_MOVE_H_

#include <functional>
#include <memory>
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
// same name there only with Overwrite, and never one this run moved there.
// With DryRun it looks everything up as a real run would and changes
// nothing, remembering which names it would have filled. Reports the outcome
// and counts each file moved.
class MoveDisposal : public Disposal {
 public:
  MoveDisposal(Platform& Sys, const RunSettings& Settings)
      : Sys_(Sys), Settings_(Settings) {}
  EventKind RefusalKind() const override {
    return EventKind::kCannotMoveOpened;
  }
  void Dispose(Folder& Dir, const Entry& Item, ExclusiveFile& File,
               const std::string& FileName, FileReport& Report) override;
  // The item goes into the move folder under its own name: in one rename
  // within its volume, else copied whole and then removed whole.
  void DisposeSet(WalkContext& Run, Folder& Parent, const std::string& Name,
                  const std::string& Path, FileReport& Report) override;
  // Two files bound for one name: the first one in the walk's order goes,
  // the second finds its place taken.
  bool InAnyOrder() const override { return false; }
  bool FreesSpace(Folder& Dir) override { return IsOffVolume(Dir); }

  // Before the walk: clears the move folder of what interrupted runs left
  // there, and answers which folders the walk keeps out of: the move folder,
  // wherever the walk meets it.
  std::function<bool(Folder&)> Prepare();

 private:
  // The report-only run's answer for a move to Destination (NameKey Key).
  void Predict(ExclusiveFile& File, const std::string& FileName,
               const std::string& Destination, const std::string& Key,
               FileReport& Report);
  void Move(ExclusiveFile& File, const std::string& FileName,
            const std::string& Destination, bool Replace, FileReport& Report);
  // Of an item of --folders (set_move.cc).
  bool ClearSetDestination(WalkContext& Run, Folder& Archive,
                           const std::string& Name, const std::string& Path,
                           const std::string& Destination, bool* Replacing,
                           FileReport& Report);
  bool MoveSetAcross(WalkContext& Run, Folder& Parent, Folder& Archive,
                     const std::string& Name, const std::string& Path,
                     FileReport& Report);

  Platform& Sys_;
  const RunSettings& Settings_;
  std::set<std::string> WouldFill_;  // report-only: names a move would take
  std::set<FileIdentity> Filled_;    // what this run has moved in
  // The move folder, open once Prepare has checked it: a name there that
  // is one of the run's own files (its log) is never replaced.
  std::unique_ptr<Folder> Archive_;
  int64_t Started_ = 0;              // when Prepare was called
  // The move folder's volume, once Prepare has read it.
  bool KnowsVolume_ = false;
  uint64_t ArchiveVolume_ = 0;

  // Whether a file of Dir moved into the move folder leaves its file
  // system, and so frees what it takes there.
  bool IsOffVolume(Folder& Dir);
};

}  // namespace olvane

#endif  // OLVANE_MOVE_MOVE_H_
