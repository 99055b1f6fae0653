// Move mode for the items of --folders: each one goes whole into the move
// folder under its own name.
#include "move/move.h"
#include "platform/path_syntax.h"
#include "purge/set_removal.h"

namespace olvane {
namespace {

void AddStuck(const std::string& Path, const std::string& Where,
              FileReport& Report) {
  Event E{EventKind::kSetStuck, Path, Where};
  E.MoveMode = true;
  Report.Events.push_back(std::move(E));
}

}  // namespace

void MoveDisposal::DisposeSet(WalkContext& Run, Folder& Parent,
                              const std::string& Name, const std::string& Path,
                              FileReport& Report) {
  std::unique_ptr<Folder> Archive =
      Settings_.MovePathValid ? Sys_.OpenFolder(Settings_.MovePath) : nullptr;
  if (!Archive) return AddStuck(Path, Path, Report);
  std::string Destination = Settings_.MovePath;
  TrimSeparators(Sys_.Separator(), &Destination);
  Destination += Sys_.Separator() + Name;
  const bool DryRun = Settings_.DryRun;
  int Exists = CheckExist(Sys_, Destination);
  // A name the report-only run would have filled counts as filled.
  const std::string Key = DryRun ? Sys_.NameKey(Destination) : "";
  const bool WouldFill = DryRun && WouldFill_.count(Key) != 0;
  if (WouldFill && Exists == 0) Exists = 1;
  FileIdentity There;
  const bool Filled =
      WouldFill || (Exists != 0 && Sys_.IdentityOf(Destination, &There) &&
                    Filled_.count(There) != 0);
  const std::string Hidden = HiddenName(Name);
  if (Exists != 0) {
    // -Y replaces a folder there before the run, never a file, never one
    // this run moved there or one made or changed since the run began.
    Entry Old;
    Old.Name = Name;
    FileTimes Times;
    if (!Settings_.Overwrite || Filled ||
        (Exists < 0 &&
         (!Archive->EntryTimes(Old, &Times) || Times.Creation > Started_))) {
      Report.Add(EventKind::kAlreadyExists, Path, Destination);
      return;
    }
    if (Exists > 0 || !ProveSet(Run, *Archive, Name, Destination,
                                SetWork::kRemoval, nullptr, Report)) {
      Report.Add(EventKind::kCannotRemove, Destination);
      return AddStuck(Path, Path, Report);
    }
    // The old folder steps aside under its hidden name until the new one
    // has taken its place.
    if (!DryRun &&
        Archive->MoveSubFolder(Name, *Archive, Hidden) != FolderMove::kMoved) {
      Report.Add(EventKind::kCannotRemove, Destination);
      return AddStuck(Path, Path, Report);
    }
  }
  if (DryRun) {
    WouldFill_.insert(Key);
    Report.Add(EventKind::kWouldMoveSet, Path, Destination);
    Report.Counted = true;
    return;
  }
  if (Parent.MoveSubFolder(Name, *Archive, Name) != FolderMove::kMoved) {
    if (Exists != 0) Archive->MoveSubFolder(Hidden, *Archive, Name);
    return AddStuck(Path, Path, Report);
  }
  if (Sys_.IdentityOf(Destination, &There)) Filled_.insert(There);
  Report.Add(EventKind::kSetMoved, Path, Destination);
  Report.Counted = true;
  // The old folder's removal says something only where it fails.
  FileReport Old;
  const std::string OldPath =
      Destination.substr(0, Destination.size() - Name.size()) + Hidden;
  if (Exists != 0 && !FinishLeftover(Run, *Archive, Hidden, OldPath, Old)) {
    Report.Events.insert(Report.Events.end(), Old.Events.begin(),
                         Old.Events.end());
  }
}

}  // namespace olvane
