#include "purge/backup_sets.h"

#include <algorithm>
#include <map>
#include <set>
#include <tuple>
#include <utility>
#include <vector>

#include "purge/file_queue.h"
#include "purge/file_tests.h"
#include "purge/folder_way.h"
#include "purge/goals.h"
#include "purge/keep_periods.h"
#include "purge/set_removal.h"
#include "purge/walker.h"

namespace olvane {
namespace {

// An item as the search found it.
struct SetItem {
  std::shared_ptr<const FolderNode> Dir;  // its parent
  std::string Path;                       // its full path
  // Its name, and its own times with the newest time of its tree as the
  // one of the run's kind: the shape of a file's entry, for the choices
  // made over the files of a folder.
  Entry Item;
  TimeKey Newest;
  int64_t Size = 0;   // what its files take on disk, each file once
  int64_t Frees = 0;  // of that, what no name outside it keeps
};

// What the tree of an item holds.
struct TreeMeasure {
  TimeKey Newest;
  int64_t Size = 0;
  int64_t Frees = 0;
  std::map<FileIdentity, uint32_t> Names;  // of the files of several names
};

void SetTime(TimeKind Kind, const TimeKey& Time, FileTimes* Times) {
  switch (Kind) {
    case TimeKind::kModification:
      Times->Modification = Time.Seconds;
      Times->ModificationNanos = Time.Nanos;
      return;
    case TimeKind::kAccess:
      Times->Access = Time.Seconds;
      Times->AccessNanos = Time.Nanos;
      return;
    case TimeKind::kCreation:
      Times->Creation = Time.Seconds;
      Times->CreationNanos = Time.Nanos;
      return;
  }
}

class SetRun {
 public:
  SetRun(WalkContext& Run, const std::string& Path, const std::string& Mask,
         int32_t Day)
      : Run_(Run),
        Goal_(Run.Settings.Goal),
        Path_(Path),
        Mask_(Mask.empty() ? "*" : Mask),
        Day_(Day),
        Free_(Run.Sys, Goal_, Path) {}

  RunCounts Purge(std::unique_ptr<Folder> Target);

 private:
  bool Stopped() { return Run_.Sys.StopStatus() != 0; }
  std::string Below(const std::string& Dir, const std::string& Name) const {
    return Dir + Run_.Sys.Separator() + Name;
  }
  std::unique_ptr<Folder> Enter(Folder& Dir, const std::string& Name,
                                const std::string& Path);
  void Search(Folder& Dir, const std::shared_ptr<const FolderNode>& Node,
              const std::string& DirPath);
  bool Take(Folder& Dir, const std::shared_ptr<const FolderNode>& Node,
            const std::string& DirPath, const std::string& Name, SetItem* Set);
  void Finish(Folder& Dir, const std::string& DirPath,
              const std::vector<std::string>& Leftovers);
  void Choose(std::vector<SetItem> Found);
  bool Measure(Folder& Dir, TreeMeasure* Tree);
  int64_t SizeNeed() const;
  int64_t FreeNeed() const;
  bool Done() const;
  Cause DecidingGoal() const;
  void ActOn(FolderWay& Way, const SetItem& Set);

  WalkContext& Run_;
  const Goals& Goal_;
  const std::string Path_;
  const std::string Mask_;
  const int32_t Day_;
  int64_t Now_ = 0;
  const FreeSpaceGoal Free_;
  int64_t FreedHere_ = 0;  // freed on the target's file system
  int64_t Total_ = 0;      // bytes of every item found
  int64_t Left_ = 0;       // bytes of the items acted on
  int64_t Acted_ = 0;      // items acted on (or that would be)
  std::vector<SetItem> Due_;
  RunCounts Counts_;
};

// The subfolder Name of Dir as the walk would enter it: never another
// mount unless asked, never the move folder. Null where it is not entered.
std::unique_ptr<Folder> SetRun::Enter(Folder& Dir, const std::string& Name,
                                      const std::string& Path) {
  if (!Run_.Settings.CrossMounts && Dir.IsOtherMount(Name)) return nullptr;
  std::unique_ptr<Folder> Sub = Dir.OpenSubFolder(Name);
  if (!Sub) {
    Run_.Out.Emit(Event{EventKind::kCannotOpenFolder, Path});
    return nullptr;
  }
  if (Run_.KeepOut && Run_.KeepOut(*Sub)) return nullptr;
  return Sub;
}

// The items of Dir, and with -r those below the folders that are none.
void SetRun::Search(Folder& Dir, const std::shared_ptr<const FolderNode>& Node,
                    const std::string& DirPath) {
  if (Stopped()) return;
  std::vector<std::string> Leftovers, Items, Subs;
  {
    std::unique_ptr<Listing> List = Dir.List("*");
    // Only real folders: a link to one is never an item nor followed.
    for (Entry E; List->Next(&E);) {
      if (E.Kind != EntryKind::kFolder) continue;
      if (IsHiddenName(E.Name)) {
        Leftovers.push_back(E.Name);
      } else if (IsProtected(Run_, E.Name)) {
        continue;
      } else if (Run_.Sys.MatchName(Mask_, E.Name)) {
        Items.push_back(E.Name);
      } else if (Run_.Settings.Recurse) {
        Subs.push_back(E.Name);
      }
    }
    if (List->Failed()) {
      Run_.Out.Emit(Event{EventKind::kCannotOpenFolder, DirPath});
    }
  }
  if (!Leftovers.empty()) Finish(Dir, DirPath, Leftovers);
  std::vector<SetItem> Found;
  for (const std::string& Name : Items) {
    SetItem Set;
    if (Take(Dir, Node, DirPath, Name, &Set)) Found.push_back(std::move(Set));
  }
  Choose(std::move(Found));
  for (const std::string& Name : Subs) {
    const std::string Path = Below(DirPath, Name);
    if (std::unique_ptr<Folder> Sub = Enter(Dir, Name, Path)) {
      Search(*Sub, std::make_shared<const FolderNode>(FolderNode{Node, Name}),
             Path);
    }
  }
}

// The item Name of Dir, of the folder node Node and the full path DirPath,
// as it is now. False where it is not entered or cannot be seen whole: it
// is not aged, and stays.
bool SetRun::Take(Folder& Dir, const std::shared_ptr<const FolderNode>& Node,
                  const std::string& DirPath, const std::string& Name,
                  SetItem* Set) {
  // A date in its name is the item's age; a name without one is never due.
  TimeKey Named;
  const bool ByName = Run_.Settings.NameDates.has_value();
  if (ByName && !AgeOf(Run_.Sys, Run_.Settings, Name, FileTimes(), &Named)) {
    ++Counts_.Undated;
    return false;
  }
  Set->Path = Below(DirPath, Name);
  std::unique_ptr<Folder> Sub = Enter(Dir, Name, Set->Path);
  if (!Sub) return false;
  FileTimes& Own = Set->Item.Times;
  TreeMeasure Tree;
  if (!Sub->Times(&Own) || !Measure(*Sub, &Tree)) {
    Run_.Out.Emit(Event{EventKind::kCannotOpenFolder, Set->Path});
    return false;
  }
  Set->Newest =
      ByName ? Named : std::max(Tree.Newest, KeyOf(Own, Run_.Settings.Age));
  Set->Dir = Node;
  Set->Item.Name = Name;
  Set->Item.Kind = EntryKind::kFolder;
  Set->Item.Timed = true;
  SetTime(Run_.Settings.Age, Set->Newest, &Own);
  Own.Allocated = Set->Size = Tree.Size;
  Own.Links = 1;  // one item, whatever names its folder has
  Set->Frees = Tree.Frees;
  Total_ += Set->Size;
  return true;
}

// What an interrupted removal left hidden in Dir, removed before anything
// else there.
void SetRun::Finish(Folder& Dir, const std::string& DirPath,
                    const std::vector<std::string>& Leftovers) {
  for (const std::string& Name : Leftovers) {
    FileReport Report;
    FinishLeftover(Run_, Dir, Name, Below(DirPath, Name), Report);
    Run_.Out.Write(Report.Events);
  }
}

// The due items among those Found in one folder: the keep rules keep the
// newest (of the folder, and of each of its last periods), each with its
// reason in the record.
void SetRun::Choose(std::vector<SetItem> Found) {
  std::vector<bool> Kept(Found.size(), false);
  if (Goal_.Keep > 0 || Goal_.KeepsPeriods()) {
    std::vector<KeepCandidate> Items(Found.size());
    for (size_t I = 0; I < Found.size(); ++I) {
      Items[I].Name = Found[I].Item.Name;
      Items[I].Time = Found[I].Newest;
      if (Run_.Settings.NameDates) {
        Items[I].Local = *Run_.Settings.NameDates->DateIn(Items[I].Name);
      } else {
        Run_.Sys.ToLocalTime(Items[I].Time.Seconds, &Items[I].Local);
      }
    }
    for (const KeptItem& Keep : ChooseKept(Items, Goal_)) {
      Kept[Keep.Index] = true;
      Event Stays{EventKind::kKept, Found[Keep.Index].Path};
      Stays.Reason = Keep.Reason;
      Run_.Out.Emit(Stays);
    }
  }
  for (size_t I = 0; I < Found.size(); ++I) {
    const TimeKey& Newest = Found[I].Newest;
    // A time in the future is never due, whatever the term.
    if (!Kept[I] && Newest.Seconds <= Now_ &&
        IsExpired(Newest.Seconds, Now_, Day_)) {
      Due_.push_back(std::move(Found[I]));
    }
  }
}

// The newest time in the tree of Dir, and the bytes of its files, into
// *Tree. False when some of it could not be seen.
bool SetRun::Measure(Folder& Dir, TreeMeasure* Tree) {
  std::vector<std::string> Subs;
  std::unique_ptr<Listing> List = Dir.List("*");
  for (Entry E; List->Next(&E);) {
    FileTimes Times = E.Times;
    if (!E.Timed && !Dir.EntryTimes(E, &Times)) continue;  // gone since
    Tree->Newest = std::max(Tree->Newest, KeyOf(Times, Run_.Settings.Age));
    if (E.Kind == EntryKind::kFolder) Subs.push_back(E.Name);
    if (E.Kind != EntryKind::kFile) continue;
    const int64_t Size = std::max<int64_t>(0, Times.Allocated);
    if (Times.Links > 1 && Times.Id.Index != 0) {
      // A file of several names counts once, as du counts it, and frees
      // its bytes only where every name of it is in the item.
      const uint32_t Seen = ++Tree->Names[Times.Id];
      if (Seen == 1) Tree->Size += Size;
      if (Seen == Times.Links) Tree->Frees += Size;
    } else {
      Tree->Size += Size;
      Tree->Frees += Size;
    }
  }
  if (List->Failed()) return false;
  List.reset();
  for (const std::string& Name : Subs) {
    // Another mount is no part of the item; its removal stops there.
    if (Dir.IsOtherMount(Name)) continue;
    std::unique_ptr<Folder> Sub = Dir.OpenSubFolder(Name);
    if (!Sub || !Measure(*Sub, Tree)) return false;
  }
  return true;
}

int64_t SetRun::SizeNeed() const {
  if (Goal_.MaxSize < 0) return -1;
  return std::max<int64_t>(0, Total_ - Left_ - Goal_.MaxSize);
}

int64_t SetRun::FreeNeed() const {
  return Free_.Need(FreedHere_);
}

bool SetRun::Done() const {
  if (Goal_.MaxFiles >= 0 && Acted_ >= Goal_.MaxFiles) return true;
  const int64_t Size = SizeNeed(), Free = FreeNeed();
  return (Size >= 0 || Free >= 0) && Size <= 0 && Free <= 0;
}

// The goal the next item is taken for, as in a ranked run of files.
Cause SetRun::DecidingGoal() const {
  if (SizeNeed() > 0) return Cause::kMaxSize;
  if (FreeNeed() > 0) return Cause::kMinFree;
  return Goal_.Ranks() ? Cause::kMaxFiles : Cause::kAge;
}

void SetRun::ActOn(FolderWay& Way, const SetItem& Set) {
  FileReport Report;
  Report.Know(Set.Path, Set.Item.Times, Set.Newest.Seconds);
  WalkFolder* Reached = Way.Reach(Set.Dir.get());
  Folder* Parent = Reached ? &Reached->Dir() : nullptr;
  const SetWork Work =
      Run_.Settings.MoveMode ? SetWork::kMove : SetWork::kRemoval;
  TimeKey Newest;
  if (!Parent) {
    Report.Add(EventKind::kCannotOpenFolder, Set.Path);
  } else if (ProveSet(Run_, *Parent, Set.Item.Name, Set.Path, Work, &Newest,
                      Report)) {
    // A file written since the search makes the item young again, unless
    // its name tells its age.
    const int64_t Now = Run_.Sys.Now();
    if (!Run_.Settings.NameDates &&
        (Newest.Seconds > Now || !IsExpired(Newest.Seconds, Now, Day_))) {
      return;
    }
    Run_.Dispose.DisposeSet(Run_, *Parent, Set.Item.Name, Set.Path, Report);
  }
  const Cause Why = DecidingGoal();
  for (Event& E : Report.Events) E.Why = Why;
  Run_.Out.Write(Report.Events);
  if (!Report.Counted) return;
  ++Acted_;
  ++Counts_.FolderCount;
  Left_ += Set.Size;
  const int64_t Freed = Run_.Dispose.FreesSpace(*Parent) ? Set.Frees : 0;
  Counts_.BytesFreed += Freed;
  FreedHere_ += Freed;
}

RunCounts SetRun::Purge(std::unique_ptr<Folder> Target) {
  Now_ = Run_.Sys.Now();
  Search(*Target, std::make_shared<const FolderNode>(), Path_);
  // Oldest first; the path decides between equal times, so that -n
  // predicts the very order.
  std::sort(Due_.begin(), Due_.end(), [](const SetItem& A, const SetItem& B) {
    return A.Newest != B.Newest ? A.Newest < B.Newest : A.Path < B.Path;
  });
  // Items go one at a time: the queue only holds the way's folders.
  FileQueue Queue(Run_.Sys, Run_.Out, 1, nullptr, nullptr);
  FolderWay Way(Run_, Queue, std::move(Target), Path_);
  for (const SetItem& Set : Due_) {
    if (Stopped() || Done()) break;
    ActOn(Way, Set);
  }
  if (!Stopped()) {
    Counts_.SizeOver = std::max<int64_t>(0, SizeNeed());
    Counts_.FreeShort = Free_.Short(FreedHere_);
  }
  return Counts_;
}

}  // namespace

RunCounts PurgeSets(WalkContext& Run, std::unique_ptr<Folder> Target,
                    const std::string& Path, const std::string& Mask,
                    int32_t Day) {
  SetRun Sets(Run, Path, Mask, Day);
  return Sets.Purge(std::move(Target));
}

}  // namespace olvane
