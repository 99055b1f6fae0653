// Move mode for the items of --folders: each one goes whole into the move
// folder under its own name.
#include <vector>

#include "move/move.h"
#include "platform/path_syntax.h"
#include "purge/set_removal.h"

namespace olvane {
namespace {

void AddStuck(const std::string& Path, FileReport& Report) {
  Event E{EventKind::kSetStuck, Path, Path};
  E.MoveMode = true;
  Report.Events.push_back(std::move(E));
}

// The tree of From copied whole as the new folder Name of Into: every file
// and link with its metadata, each folder's own last, as filling it
// changes its times.
bool CopyTree(Folder& From, Folder& Into, const std::string& Name) {
  std::unique_ptr<Folder> Copy = Into.CreateSubFolder(Name);
  if (!Copy) return false;
  std::vector<Entry> Entries;
  {
    std::unique_ptr<Listing> List = From.List("*");
    for (Entry Item; List->Next(&Item);) Entries.push_back(Item);
    if (List->Failed()) return false;
  }
  for (const Entry& Item : Entries) {
    bool Done = false;
    if (Item.Kind == EntryKind::kFolder) {
      std::unique_ptr<Folder> Sub = From.OpenSubFolder(Item.Name);
      Done = Sub && CopyTree(*Sub, *Copy, Item.Name);
    } else if (Item.Kind == EntryKind::kFile ||
               Item.Kind == EntryKind::kFileLink) {
      std::unique_ptr<ExclusiveFile> File = From.OpenExclusive(Item);
      Done = File && File->CopyTo(*Copy, Item.Name);
    }
    if (!Done) return false;
  }
  return Copy->CopyMetadataFrom(From);
}

}  // namespace

// Onto another volume: the tree is copied into the move folder under the
// hidden name of a removal (a partial copy that a run cut short leaves is
// what a run over the move folder removes), named once complete, and the
// item is then removed whole as a deletion removes it.
bool MoveDisposal::MoveSetAcross(WalkContext& Run, Folder& Parent,
                                 Folder& Archive, const std::string& Name,
                                 const std::string& Path, FileReport& Report) {
  if (!ProveSet(Run, Parent, Name, Path, SetWork::kRemoval, nullptr, Report)) {
    return false;
  }
  std::string Staged = Settings_.MovePath;
  TrimSeparators(Sys_.Separator(), &Staged);
  Staged += Sys_.Separator() + HiddenName(Name);
  std::unique_ptr<Folder> Item = Parent.OpenSubFolder(Name);
  const bool Copied = Item && CopyTree(*Item, Archive, HiddenName(Name));
  Item.reset();
  if (!Copied || Archive.MoveSubFolder(HiddenName(Name), Archive, Name) !=
                     FolderMove::kMoved) {
    FileReport Partial;
    FinishLeftover(Run, Archive, HiddenName(Name), Staged, Partial);
    AddStuck(Path, Report);
    return false;
  }
  return RemoveSet(Run, Parent, Name, Path, Report);
}

// Whether the item Name, full path Path, may take Destination in Archive:
// free, or with -Y a folder there before the run that can go whole, which
// then steps aside under its hidden name (*Replacing).
bool MoveDisposal::ClearSetDestination(WalkContext& Run, Folder& Archive,
                                       const std::string& Name,
                                       const std::string& Path,
                                       const std::string& Destination,
                                       bool* Replacing, FileReport& Report) {
  const bool DryRun = Settings_.DryRun;
  int Exists = CheckExist(Sys_, Destination);
  // A name the report-only run would have filled counts as filled.
  const bool WouldFill =
      DryRun && WouldFill_.count(Sys_.NameKey(Destination)) != 0;
  if (WouldFill && Exists == 0) Exists = 1;
  *Replacing = Exists != 0;
  if (Exists == 0) return true;
  FileIdentity There;
  const bool Filled = WouldFill || (Sys_.IdentityOf(Destination, &There) &&
                                    Filled_.count(There) != 0);
  // -Y replaces a folder there before the run, never a file, never one
  // this run moved there or one made or changed since the run began.
  Entry Old;
  Old.Name = Name;
  FileTimes Times;
  if (!Settings_.Overwrite || Filled ||
      (Exists < 0 &&
       (!Archive.EntryTimes(Old, &Times) || Times.Creation > Started_))) {
    Report.Add(EventKind::kAlreadyExists, Path, Destination);
    return false;
  }
  if (Exists > 0 ||
      !ProveSet(Run, Archive, Name, Destination, SetWork::kRemoval, nullptr,
                Report) ||
      (!DryRun && Archive.MoveSubFolder(Name, Archive, HiddenName(Name)) !=
                      FolderMove::kMoved)) {
    Report.Add(EventKind::kCannotRemove, Destination);
    AddStuck(Path, Report);
    return false;
  }
  return true;
}

void MoveDisposal::DisposeSet(WalkContext& Run, Folder& Parent,
                              const std::string& Name, const std::string& Path,
                              FileReport& Report) {
  std::unique_ptr<Folder> Archive =
      Settings_.MovePathValid ? Sys_.OpenFolder(Settings_.MovePath) : nullptr;
  if (!Archive) return AddStuck(Path, Report);
  std::string Destination = Settings_.MovePath;
  TrimSeparators(Sys_.Separator(), &Destination);
  Destination += Sys_.Separator();
  const std::string Hidden = Destination + HiddenName(Name);
  Destination += Name;
  bool Replacing = false;
  if (!ClearSetDestination(Run, *Archive, Name, Path, Destination, &Replacing,
                           Report)) {
    return;
  }
  if (Settings_.DryRun) {
    WouldFill_.insert(Sys_.NameKey(Destination));
  } else {
    // Onto another volume only where no old folder stands aside for it.
    const FolderMove Moved = Parent.MoveSubFolder(Name, *Archive, Name);
    if (Moved != FolderMove::kMoved &&
        (Moved != FolderMove::kAcross || Replacing ||
         !MoveSetAcross(Run, Parent, *Archive, Name, Path, Report))) {
      if (Replacing) Archive->MoveSubFolder(HiddenName(Name), *Archive, Name);
      if (Report.Events.empty()) AddStuck(Path, Report);
      return;
    }
    FileIdentity There;
    if (Sys_.IdentityOf(Destination, &There)) Filled_.insert(There);
  }
  Report.Add(Settings_.DryRun ? EventKind::kWouldMoveSet : EventKind::kSetMoved,
             Path, Destination);
  Report.Counted = true;
  // The old folder's removal says something only where it fails.
  FileReport Old;
  if (Replacing && !Settings_.DryRun &&
      !FinishLeftover(Run, *Archive, HiddenName(Name), Hidden, Old)) {
    Report.Events.insert(Report.Events.end(), Old.Events.begin(),
                         Old.Events.end());
  }
}

}  // namespace olvane
