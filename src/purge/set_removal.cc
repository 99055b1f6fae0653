#include "purge/set_removal.h"

#include <algorithm>
#include <memory>
#include <utility>
#include <vector>

#include "purge/walker.h"

namespace olvane {
namespace {

// Tells what it was, and begins with a dot, which hides it from listings
// on POSIX systems. The search for items takes such a name for a leftover
// to finish, never for an item.
constexpr char kHiddenPrefix[] = ".olvane-removing.";

enum class Pass { kProveRemoval, kProveMove, kRemove };

// One pass over an item's tree, depth first, that ends at the first entry
// that stops it: which one, and why.
class TreeWork {
 public:
  TreeWork(WalkContext& Run, Pass How) : Run_(Run), How_(How) {}

  bool Work(Folder& Dir, const std::string& Path);
  const TimeKey& Newest() const { return Newest_; }

  // The event of the item Item that names the entry that stopped it.
  void Report(const std::string& Item, FileReport& Out) const {
    AddStop(Run_, Why_, Item, Where_, Out);
  }

  static void AddStop(const WalkContext& Run, EventKind Why,
                      const std::string& Item, const std::string& Where,
                      FileReport& Out) {
    Event E{Why, Item, Where};
    E.MoveMode = Run.Settings.MoveMode;
    Out.Events.push_back(std::move(E));
  }

 private:
  bool Stop(EventKind Why, const std::string& Where) {
    Why_ = Why;
    Where_ = Where;
    return false;
  }
  bool WorkFile(Folder& Dir, const Entry& Item, const std::string& Path);
  bool WorkFolder(Folder& Dir, const std::string& Name,
                  const std::string& Path);

  WalkContext& Run_;
  const Pass How_;
  EventKind Why_ = EventKind::kSetStuck;
  std::string Where_;
  TimeKey Newest_;  // of the files and folders met
};

bool TreeWork::Work(Folder& Dir, const std::string& Path) {
  // Listed in full first: a removal must not change what the listing
  // still has to produce.
  std::vector<Entry> Entries;
  {
    std::unique_ptr<Listing> List = Dir.List("*");
    for (Entry Item; List->Next(&Item);) Entries.push_back(Item);
    if (List->Failed()) return Stop(EventKind::kSetStuck, Path);
  }
  for (const Entry& Item : Entries) {
    const std::string Sub = Path + Run_.Sys.Separator() + Item.Name;
    if (IsProtected(Run_, Item.Name))
      return Stop(EventKind::kSetProtected, Sub);
    bool Done = false;
    if (Item.Kind == EntryKind::kFolder) {
      Done = WorkFolder(Dir, Item.Name, Sub);
    } else if (Item.Kind == EntryKind::kFile ||
               Item.Kind == EntryKind::kFileLink) {
      Done = WorkFile(Dir, Item, Sub);
    } else {
      // A link to a folder, a FIFO, a device: never removed.
      Done = Stop(EventKind::kSetStuck, Sub);
    }
    if (!Done) return false;
  }
  return true;
}

bool TreeWork::WorkFile(Folder& Dir, const Entry& Item,
                        const std::string& Path) {
  std::unique_ptr<ExclusiveFile> File = Dir.OpenExclusive(Item);
  FileTimes Times;
  if (!File || !File->Times(&Times)) return Stop(EventKind::kSetHeld, Path);
  Newest_ = std::max(Newest_, KeyOf(Times, Run_.Settings.Age));
  // Nothing of another mount goes with an item.
  if (Times.MountRoot) return Stop(EventKind::kSetStuck, Path);
  if (!File->IsStillFree()) return Stop(EventKind::kSetHeld, Path);
  const bool Done = How_ == Pass::kProveMove ? true
                    : How_ == Pass::kRemove  ? File->Remove()
                                             : File->Removable();
  return Done || Stop(EventKind::kSetStuck, Path);
}

bool TreeWork::WorkFolder(Folder& Dir, const std::string& Name,
                          const std::string& Path) {
  // Another mount's root is never emptied, whatever --cross-mounts says:
  // the item could not go whole.
  if (Dir.IsOtherMount(Name)) return Stop(EventKind::kSetStuck, Path);
  std::unique_ptr<Folder> Sub = Dir.OpenSubFolder(Name);
  // The move folder inside an item keeps it.
  if (!Sub || (Run_.KeepOut && Run_.KeepOut(*Sub))) {
    return Stop(EventKind::kSetStuck, Path);
  }
  FileTimes Times;
  if (Sub->Times(&Times)) {
    Newest_ = std::max(Newest_, KeyOf(Times, Run_.Settings.Age));
  }
  if (!Work(*Sub, Path)) return false;
  Sub.reset();
  const bool Done = How_ == Pass::kProveMove ? true
                    : How_ == Pass::kRemove  ? Dir.RemoveSubFolder(Name)
                                             : Dir.CanRemoveSubFolder(Name);
  return Done || Stop(EventKind::kSetStuck, Path);
}

}  // namespace

std::string HiddenName(const std::string& Name) { return kHiddenPrefix + Name; }

bool IsHiddenName(const std::string& Name, std::string* Original) {
  const size_t Size = sizeof kHiddenPrefix - 1;
  if (Name.size() <= Size || Name.compare(0, Size, kHiddenPrefix) != 0) {
    return false;
  }
  if (Original) *Original = Name.substr(Size);
  return true;
}

bool ProveSet(WalkContext& Run, Folder& Parent, const std::string& Name,
              const std::string& Path, SetWork Work, TimeKey* Newest,
              FileReport& Report) {
  std::unique_ptr<Folder> Item = Parent.OpenSubFolder(Name);
  if (!Item) {
    Report.Add(EventKind::kCannotOpenFolder, Path);
    return false;
  }
  TreeWork Tree(
      Run, Work == SetWork::kMove ? Pass::kProveMove : Pass::kProveRemoval);
  if (!Tree.Work(*Item, Path)) {
    Tree.Report(Path, Report);
    return false;
  }
  FileTimes Own;
  if (Newest) {
    *Newest = Tree.Newest();
    if (Item->Times(&Own)) {
      *Newest = std::max(*Newest, KeyOf(Own, Run.Settings.Age));
    }
  }
  Item.reset();
  if (Work == SetWork::kRemoval && !Parent.CanRemoveSubFolder(Name)) {
    TreeWork::AddStop(Run, EventKind::kSetStuck, Path, Path, Report);
    return false;
  }
  return true;
}

bool RemoveSet(WalkContext& Run, Folder& Parent, const std::string& Name,
               const std::string& Path, FileReport& Report) {
  const std::string Hidden = HiddenName(Name);
  if (Parent.MoveSubFolder(Name, Parent, Hidden) != FolderMove::kMoved) {
    TreeWork::AddStop(Run, EventKind::kSetStuck, Path, Path, Report);
    return false;
  }
  std::unique_ptr<Folder> Item = Parent.OpenSubFolder(Hidden);
  TreeWork Tree(Run, Pass::kRemove);
  // The lines name what stays where it is once it has its name back.
  const bool Opened = Item != nullptr;
  const bool Emptied = Opened && Tree.Work(*Item, Path);
  Item.reset();
  if (Emptied && Parent.RemoveSubFolder(Hidden)) return true;
  Parent.MoveSubFolder(Hidden, Parent, Name);
  if (Opened && !Emptied) {
    Tree.Report(Path, Report);
  } else {
    TreeWork::AddStop(Run, EventKind::kSetStuck, Path, Path, Report);
  }
  return false;
}

bool FinishLeftover(WalkContext& Run, Folder& Parent, const std::string& Name,
                    const std::string& Path, FileReport& Report) {
  const bool DryRun = Run.Settings.DryRun;
  if (DryRun) {
    if (!ProveSet(Run, Parent, Name, Path, SetWork::kRemoval, nullptr,
                  Report)) {
      return false;
    }
    Report.Add(EventKind::kWouldDeleteLeftover, Path);
    return true;
  }
  std::unique_ptr<Folder> Item = Parent.OpenSubFolder(Name);
  if (!Item) {
    Report.Add(EventKind::kCannotOpenFolder, Path);
    return false;
  }
  TreeWork Tree(Run, Pass::kRemove);
  const bool Emptied = Tree.Work(*Item, Path);
  Item.reset();
  if (!Emptied) {
    Tree.Report(Path, Report);
    return false;
  }
  if (!Parent.RemoveSubFolder(Name)) {
    TreeWork::AddStop(Run, EventKind::kSetStuck, Path, Path, Report);
    return false;
  }
  Report.Add(EventKind::kLeftoverDeleted, Path);
  return true;
}

void DeleteDisposal::DisposeSet(WalkContext& Run, Folder& Parent,
                                const std::string& Name,
                                const std::string& Path, FileReport& Report) {
  if (!DryRun_ && !RemoveSet(Run, Parent, Name, Path, Report)) return;
  Report.Add(DryRun_ ? EventKind::kWouldDeleteSet : EventKind::kSetDeleted,
             Path);
  Report.Counted = true;
}

}  // namespace olvane
