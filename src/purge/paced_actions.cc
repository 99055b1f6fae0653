#include "purge/paced_actions.h"

#include <utility>

#include "purge/folder_way.h"

namespace olvane {
namespace {

// The most an action on C brings toward the goals.
Gain MostOf(const Candidate& C) {
  return Gain{1, C.MostSize, C.Elsewhere ? 0 : C.MostFrees};
}

void Add(Gain* To, const Gain& More, int Sign) {
  To->Files += Sign * More.Files;
  To->Size += Sign * More.Size;
  To->Frees += Sign * More.Frees;
}

}  // namespace

PacedActions::PacedActions(WalkContext& Run, PacedGoals& Goals, int Workers,
                           Act DoAct)
    : Run_(Run), Goals_(Goals), Workers_(Workers), DoAct_(std::move(DoAct)) {}

void PacedActions::Run(const std::vector<Candidate>& Chosen,
                       std::unique_ptr<Folder> Target,
                       const std::string& Path) {
  // A disposal that needs the ranked order acts on one file at a time.
  FileQueue Queue(Run_.Sys, Run_.Out, Run_.Dispose.InAnyOrder() ? Workers_ : 1,
                  DoAct_, nullptr,
                  [this](FileReport& Report) { Settle(Report); });
  FolderWay Way(Run_, Queue, std::move(Target), Path);
  // The folder of the last file handed in: its identity, for -e, and
  // whether its files free space.
  const FolderNode* Last = nullptr;
  Flight Facts{};
  for (const Candidate& C : Chosen) {
    const Turn Next = TurnOf(C, Queue);
    if (Next == Turn::kEnd) break;
    if (Next == Turn::kPass) continue;
    WalkFolder* Dir = Way.Reach(C.Dir.get());
    if (Dir && C.Dir.get() != Last) {
      Last = C.Dir.get();
      Facts.Known =
          Run_.Settings.EmptyFolders && Dir->Dir().Identity(&Facts.DirId);
      Facts.DirFrees = Run_.Dispose.FreesSpace(Dir->Dir());
    }
    {
      std::lock_guard<std::mutex> Guard(Lock_);
      Flight Launched = Facts;
      Launched.Chosen = &C;
      Flying_.push_back(Launched);
      Add(&Most_, MostOf(C), 1);
    }
    Entry Item;
    Item.Name = C.Name;
    Item.Kind = C.Kind;
    Item.Times.Id = C.Id;  // not Timed: the times are the action's to read
    if (Dir) {
      Queue.Submit(*Dir, Item);
    } else {
      // A folder on the way that is gone or changed: the file with it.
      Last = nullptr;
      Queue.SubmitEvent(
          Event{EventKind::kCannotOpen,
                Way.PathOf(C.Dir.get()) + Run_.Sys.Separator() + C.Name});
    }
  }
  Queue.Drain();
}

// Whether C goes to the workers now: the goals are not met, even if every
// file in flight brings the most it can, and they take C. Otherwise it
// waits for those to settle, until what a run of one thread decides is
// certain. What was handed in goes to the workers before that wait, and
// not file by file, which would wake a worker for each.
PacedActions::Turn PacedActions::TurnOf(const Candidate& C, FileQueue& Queue) {
  std::unique_lock<std::mutex> Guard(Lock_);
  for (;;) {
    if (Stopped()) return Turn::kEnd;
    if (!Goals_.Met(Most_) && Goals_.Takes(C, Most_)) return Turn::kAct;
    if (Flying_.empty()) return Goals_.Met(Gain()) ? Turn::kEnd : Turn::kPass;
    const uint64_t Before = Settles_;
    // The queue settles under its own lock, which is taken before this one.
    Guard.unlock();
    Queue.Flush();
    Guard.lock();
    Settled_.wait(Guard, [&] { return Settles_ != Before; });
  }
}

// The oldest file in flight is done: its outcome counts, in the ranked
// order, before its lines go out.
void PacedActions::Settle(FileReport& Report) {
  std::lock_guard<std::mutex> Guard(Lock_);
  const Flight Done = Flying_.front();
  Flying_.pop_front();
  Add(&Most_, MostOf(*Done.Chosen), -1);
  Goals_.Settle(*Done.Chosen, Done.Known ? &Done.DirId : nullptr, Done.DirFrees,
                Report);
  ++Settles_;
  Settled_.notify_one();
}

}  // namespace olvane
