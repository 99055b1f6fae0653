#include "purge/goals.h"

#include <algorithm>

#include "purge/file_tests.h"

namespace olvane {
namespace {

// Newer first in heap order: the oldest on top of a heap of the newest.
struct Older {
  TimeKind Kind;
  bool operator()(const Entry& A, const Entry& B) const {
    const TimeKey TimeA = KeyOf(A.Times, Kind), TimeB = KeyOf(B.Times, Kind);
    return TimeA != TimeB ? TimeB < TimeA : A.Name > B.Name;
  }
};

// Folders between the target and Dir, Dir among them.
int DepthOf(const FolderNode* Dir) {
  int Depth = 0;
  for (; Dir && Dir->Above; Dir = Dir->Above.get()) ++Depth;
  return Depth;
}

// One level up a path: *Name becomes the name of *Dir, in the folder above.
void Up(const FolderNode** Dir, const std::string** Name) {
  *Name = &(*Dir)->Name;
  *Dir = (*Dir)->Above.get();
}

}  // namespace

bool Candidate::operator<(const Candidate& Other) const {
  if (Time != Other.Time) return Time < Other.Time;
  if (Dir == Other.Dir) return Name < Other.Name;
  // The names from the target down, compared from the bottom up, without
  // building either path: the highest that differ decide, and a path that
  // begins the other comes first.
  const FolderNode *Mine = Dir.get(), *Theirs = Other.Dir.get();
  const std::string *MyName = &Name, *TheirName = &Other.Name;
  int MyDepth = DepthOf(Mine), TheirDepth = DepthOf(Theirs);
  bool Less = MyDepth < TheirDepth;
  for (; MyDepth > TheirDepth; --MyDepth) Up(&Mine, &MyName);
  for (; TheirDepth > MyDepth; --TheirDepth) Up(&Theirs, &TheirName);
  for (;;) {
    if (*MyName != *TheirName) Less = *MyName < *TheirName;
    // The same folder, or the target (of this round or an earlier one):
    // nothing above differs.
    if (Mine == Theirs || !Mine || !Mine->Above) return Less;
    Up(&Mine, &MyName);
    Up(&Theirs, &TheirName);
  }
}

void KeepNewest::Offer(const Entry& Item, std::vector<Entry>* Out) {
  const FileIdentity& Id = Item.Times.Id;
  // A file of one name has no other to keep with it.
  const bool Known = Id.Index != 0 && Item.Times.Links != 1;
  if (Known) {
    auto Held = Names_.find(Id);
    if (Held != Names_.end()) {
      Held->second.push_back(Item);
      return;
    }
  }
  const Older Cmp{Kind_};
  if (static_cast<int64_t>(Held_.size()) < N_) {
    Held_.push_back(Item);
    std::push_heap(Held_.begin(), Held_.end(), Cmp);
    if (Known) Names_[Id];
    return;
  }
  // Not newer than the oldest held: Item is none of the newest N.
  if (Held_.empty() || !Cmp(Item, Held_.front())) {
    Out->push_back(Item);
    return;
  }
  std::pop_heap(Held_.begin(), Held_.end(), Cmp);
  Out->push_back(std::move(Held_.back()));
  Held_.back() = Item;
  std::push_heap(Held_.begin(), Held_.end(), Cmp);
  if (auto Gone = Names_.find(Out->back().Times.Id); Gone != Names_.end()) {
    Out->insert(Out->end(), Gone->second.begin(), Gone->second.end());
    Names_.erase(Gone);
  }
  if (Known) Names_[Id];
}

std::vector<Entry> KeepNewest::Held() const {
  std::vector<Entry> All = Held_;
  for (const auto& Names : Names_) {
    All.insert(All.end(), Names.second.begin(), Names.second.end());
  }
  return All;
}

bool DueChoice::Covers(const Needs& Need, const Candidate* Newest) const {
  // The newest held is let go when the others cover every need without it.
  const size_t Most = Need.Files >= 0
                          ? std::min<size_t>(kMostRemembered, Need.Files)
                          : kMostRemembered;
  if (Held_.size() > Most) return true;
  if (Need.Size < 0 && Need.Free < 0) return false;
  const int64_t Size = Size_ - (Newest ? Newest->Size : 0),
                Frees = Frees_ - (Newest ? Newest->Frees : 0);
  return (Need.Size < 0 || Size >= Need.Size) &&
         (Need.Free < 0 || Frees >= Need.Free);
}

void DueChoice::Offer(Candidate C, const Needs& Need) {
  if ((Floor_ && C < *Floor_) || (Horizon_ && !(C < *Horizon_))) return;
  Size_ += C.Size;
  Frees_ += C.Frees;
  Held_.push_back(std::move(C));
  // What is held is put in order only once some of it may have to go:
  // a goal that needs every due file sorts them once, at the end.
  if (!Heaped_) {
    if (!Covers(Need, nullptr)) return;
    std::make_heap(Held_.begin(), Held_.end());
    Heaped_ = true;
  } else if (!(Held_.back() < Held_.front()) && Covers(Need, &Held_.back())) {
    // Newer than everything held, and not needed: the heap would let it go
    // first. In a listing of no particular order, most offers of a long
    // walk end so, at no cost in the heap.
    Size_ -= Held_.back().Size;
    Frees_ -= Held_.back().Frees;
    Horizon_ = std::move(Held_.back());
    Held_.pop_back();
  } else {
    std::push_heap(Held_.begin(), Held_.end());
  }
  while (!Held_.empty() && Covers(Need, &Held_.front())) {
    std::pop_heap(Held_.begin(), Held_.end());
    Size_ -= Held_.back().Size;
    Frees_ -= Held_.back().Frees;
    Horizon_ = std::move(Held_.back());
    Held_.pop_back();
  }
}

std::vector<Candidate> DueChoice::TakeOldestFirst() {
  if (Heaped_) {
    std::sort_heap(Held_.begin(), Held_.end());
  } else {
    std::sort(Held_.begin(), Held_.end());
  }
  Heaped_ = false;
  Size_ = Frees_ = 0;
  return std::move(Held_);
}

FreeSpaceGoal::FreeSpaceGoal(Platform& Sys, const Goals& Goal,
                             const std::string& Path) {
  if (Goal.MinFreeBytes < 0 && Goal.MinFreePercent < 0) return;
  DiskSpace Space;
  HasSpace_ = Sys.SpaceOf(Path, &Space);
  Available_ = Space.Available;
  // In hundredths without overflow: a file system of up to 2^63 bytes.
  Goal_ = Goal.MinFreePercent >= 0
              ? Space.Total / 100 * Goal.MinFreePercent +
                    Space.Total % 100 * Goal.MinFreePercent / 100
              : Goal.MinFreeBytes;
}

int64_t FreeSpaceGoal::Need(int64_t Freed) const {
  if (Goal_ < 0) return -1;
  if (!HasSpace_) return 0;
  return std::max<int64_t>(0, Goal_ - Available_ - Freed);
}

int64_t FreeSpaceGoal::Short(int64_t Freed) const {
  if (Goal_ < 0) return 0;
  return HasSpace_ ? Need(Freed) : RunCounts::kUnmeasured;
}

}  // namespace olvane
