#include "purge/file_queue.h"

#include <algorithm>
#include <utility>

namespace olvane {

WalkFolder::WalkFolder(FileQueue& Queue, std::unique_ptr<Folder> Dir,
                       std::string Path, WalkFolder* Parent, std::string Name)
    : Path(std::move(Path)),
      Parent(Parent),
      Name(std::move(Name)),
      Queue_(Queue),
      Dir_(std::move(Dir)) {}

WalkFolder::~WalkFolder() {
  Dir_.reset();
  // Counted as open until really closed.
  Queue_.Closed();
}

void WalkFolder::Unref() {
  if (Refs_.fetch_sub(1, std::memory_order_acq_rel) == 1) delete this;
}

void WalkFolder::Suspend() {
  Dir_->Suspend();
  Queue_.Reopened(false);
}

void WalkFolder::Resume(WalkFolder& Child) {
  Dir_->Resume(*Child.Dir_);
  Queue_.Reopened(true);
}

FileQueue::FileQueue(Platform& Sys, Report& Out, int Workers, FileWork DoFile,
                     FolderWork DoFolder, SettleWork Settle)
    : Sys_(Sys),
      Out_(Out),
      DoFile_(std::move(DoFile)),
      DoFolder_(std::move(DoFolder)),
      Settle_(std::move(Settle)),
      Threads_(Workers > 1 ? static_cast<size_t>(Workers) : 0),
      Room_(std::clamp<size_t>(kWindowPlaces - std::min(kWindowPlaces,
                                                        2 * Threads_),
                               1, kBatch)),
      HandOn_(std::clamp<size_t>(256 / std::max<size_t>(Threads_, 1),
                                 kBatch / 2, kBatch)) {
  for (size_t I = 0; I < Threads_; ++I) {
    Workers_.emplace_back([this] { RunWorker(); });
  }
}

FileQueue::~FileQueue() {
  Drain();
  {
    std::lock_guard<std::mutex> Guard(Lock_);
    Quit_ = true;
  }
  Work_.notify_all();
  for (std::thread& Worker : Workers_) Worker.join();
}

WalkFolder* FileQueue::Open(std::unique_ptr<Folder> Dir, std::string Path,
                            WalkFolder* Parent, std::string Name) {
  {
    std::lock_guard<std::mutex> Guard(Lock_);
    ++Open_;
  }
  return new WalkFolder(*this, std::move(Dir), std::move(Path), Parent,
                        std::move(Name));
}

void FileQueue::Reopened(bool Open) {
  std::lock_guard<std::mutex> Guard(Lock_);
  Open ? ++Open_ : --Open_;
}

void FileQueue::Closed() {
  std::lock_guard<std::mutex> Guard(Lock_);
  --Open_;
  WakeWalk();
}

size_t FileQueue::OpenFolders() {
  std::lock_guard<std::mutex> Guard(Lock_);
  return Open_;
}

void FileQueue::Run(Place& Job) {
  // A stop lets every place under way finish, and starts no other.
  if (Sys_.StopStatus() != 0) return;
  if (Job.Removal) {
    Job.Removed = DoFolder_(*Job.Dir, Job.Report);
  } else {
    DoFile_(*Job.Dir, Job.Item, Job.Report);
  }
}

void FileQueue::LetGo(std::unique_lock<std::mutex>& Guard,
                      WalkFolder* const* Held, int Count) {
  for (int I = 0; I < Count; ++I) Held[I]->Unref();
  Guard.lock();
  // The walk may be waiting for a folder to be held by it alone.
  WakeWalk();
}

int FileQueue::Finish(Place& Job, WalkFolder* Held[2]) {
  Job.Now = State::kDone;
  if (Job.Removal) {
    if (Job.Removed) ++Job.Dir->Parent->Gone;
  } else {
    Job.Dir->Counted += Job.Report.Counted;
  }
  Held[0] = Job.Dir;
  // A removal held the parent it removes its folder from too.
  if (Job.Removal) Held[1] = Job.Dir->Parent;
  WakeWalk();
  return Job.Removal ? 2 : 1;
}

void FileQueue::DoNow(WalkFolder* Dir, const Entry* Item) {
  // Everything before is done: this one may be done at once.
  Place Job;
  Job.Dir = Dir;
  Job.Removal = Item == nullptr;
  if (Item) Job.Item = *Item;
  Dir->Ref();
  if (Job.Removal) Dir->Parent->Ref();
  Run(Job);
  WalkFolder* Held[2];
  std::unique_lock<std::mutex> Guard(Lock_);
  const int Count = Finish(Job, Held);
  if (Settle_) Settle_(Job.Report);
  Counts_.FileCount += Job.Report.Counted;
  Counts_.FolderCount += Job.Removed;
  Counts_.BytesFreed += Job.Report.Freed;
  Guard.unlock();
  Out_.Write(Job.Report.Events);
  LetGo(Guard, Held, Count);
}

FileQueue::Place& FileQueue::NewPlace(std::unique_lock<std::mutex>& Guard) {
  if (Tail_ - Head_ >= kWindowPlaces) {
    Waits_ = WalkWait::kRoom;
    Walk_.wait(Guard, [this] { return HasRoom(); });
    Waits_ = WalkWait::kNone;
  }
  Place& Job = Places_[Tail_++ % kWindowPlaces];
  Job.Removal = false;
  Job.Now = State::kQueued;
  return Job;
}

void FileQueue::WakeWalk() {
  if (Waits_ == WalkWait::kOther || (Waits_ == WalkWait::kRoom && HasRoom())) {
    Walk_.notify_one();
  }
}

void FileQueue::WakeWorkers(size_t Queued) {
  if (Queued == 0 || Idle_ == 0) return;
  if (Queued >= static_cast<size_t>(Idle_)) {
    Work_.notify_all();
    return;
  }
  for (size_t I = 0; I < Queued; ++I) Work_.notify_one();
}

void FileQueue::Flush() {
  if (Batch_.empty()) return;
  std::unique_lock<std::mutex> Guard(Lock_);
  size_t Queued = 0;
  for (auto& [Dir, Item] : Batch_) {
    // The workers must have what is queued before the walk waits for room.
    if (Tail_ - Head_ >= kWindowPlaces) {
      WakeWorkers(Queued);
      Queued = 0;
    }
    Place& Job = NewPlace(Guard);
    Job.Dir = Dir;
    Job.Item = std::move(Item);
    Dir->Ref();
    ++Queued;
  }
  WakeWorkers(Queued);
  Batch_.clear();
}

bool FileQueue::Submit(WalkFolder& Dir, const Entry& Item) {
  if (Sys_.StopStatus() != 0) return false;
  if (Threads_ == 0) {
    DoNow(&Dir, &Item);
    return true;
  }
  Batch_.emplace_back(&Dir, Item);
  if (Batch_.size() >= HandOn_) Flush();
  return true;
}

void FileQueue::SubmitRemoval(WalkFolder& Sub) {
  if (Threads_ == 0) {
    DoNow(&Sub, nullptr);
  } else {
    Flush();
    std::unique_lock<std::mutex> Guard(Lock_);
    Place& Job = NewPlace(Guard);
    Job.Dir = &Sub;
    Job.Removal = true;
    Sub.Ref();
    Sub.Parent->Ref();
    if (Head_ + 1 == Tail_) Work_.notify_one();
  }
  // The place holds Sub now, in the walk's stead.
  Sub.Unref();
}

void FileQueue::SubmitEvent(const Event& E) {
  if (Threads_ == 0) {
    FileReport Report;
    Report.Events.push_back(E);
    if (Settle_) Settle_(Report);
    Out_.Write(Report.Events);
    return;
  }
  Flush();
  std::unique_lock<std::mutex> Guard(Lock_);
  Place& Job = NewPlace(Guard);
  Job.Dir = nullptr;
  Job.Now = State::kDone;
  Job.Report.Events.push_back(E);
  Publish(Guard);
}

void FileQueue::ReadTimes(WalkFolder& Dir, std::vector<Entry>* Items) {
  std::unique_lock<std::mutex> Guard(Lock_);
  Reading_ = Reading{&Dir, Items->data(), 0, Items->size(), Items->size()};
  if (Idle_ > 0) Work_.notify_all();
  while (ReadSome(Guard)) {
  }
  Waits_ = WalkWait::kOther;
  Walk_.wait(Guard, [this] { return Reading_.Left == 0; });
  Waits_ = WalkWait::kNone;
  Reading_ = Reading();
}

bool FileQueue::ReadSome(std::unique_lock<std::mutex>& Guard) {
  if (Reading_.Next >= Reading_.End) return false;
  // A share of what is left, so that every thread has some.
  const size_t Share = std::clamp<size_t>(
      (Reading_.End - Reading_.Next) / (2 * Threads_ + 2), 1, kBatch);
  Entry* const From = Reading_.Items + Reading_.Next;
  Entry* const To = From + std::min(Share, Reading_.End - Reading_.Next);
  Reading_.Next += static_cast<size_t>(To - From);
  Folder& Dir = Reading_.Dir->Dir();
  Guard.unlock();
  for (Entry* Item = From; Item != To; ++Item) {
    if (Item->Kind == EntryKind::kFile && !Item->Timed) {
      Item->Timed = Dir.EntryTimes(*Item, &Item->Times);
    }
  }
  Guard.lock();
  Reading_.Left -= static_cast<size_t>(To - From);
  if (Reading_.Left == 0) WakeWalk();
  return true;
}

void FileQueue::Release(WalkFolder& Dir) {
  Flush();
  Dir.Unref();
}

void FileQueue::WaitFor(WalkFolder& Dir) {
  Flush();
  std::unique_lock<std::mutex> Guard(Lock_);
  Waits_ = WalkWait::kOther;
  Walk_.wait(Guard, [&Dir] { return Dir.HeldOnce(); });
  Waits_ = WalkWait::kNone;
}

void FileQueue::WaitForFewerOpen(size_t Budget) {
  Flush();
  std::unique_lock<std::mutex> Guard(Lock_);
  Waits_ = WalkWait::kOther;
  Walk_.wait(Guard, [&] { return Open_ < Budget; });
  Waits_ = WalkWait::kNone;
}

void FileQueue::Drain() {
  Flush();
  std::unique_lock<std::mutex> Guard(Lock_);
  Waits_ = WalkWait::kOther;
  Walk_.wait(Guard, [this] { return Head_ == Tail_ && !Writing_; });
  Waits_ = WalkWait::kNone;
}

RunCounts FileQueue::Counts() {
  std::lock_guard<std::mutex> Guard(Lock_);
  return Counts_;
}

size_t FileQueue::Pick(uint64_t* Taken) {
  // A removal is taken alone, and only once everything before it is done.
  if (Head_ < Tail_) {
    Place& First = Places_[Head_ % kWindowPlaces];
    if (First.Removal && First.Now == State::kQueued) {
      First.Now = State::kTaken;
      Taken[0] = Head_;
      return 1;
    }
  }
  if (Take_ < Head_) Take_ = Head_;
  while (Take_ < Tail_ &&
         Places_[Take_ % kWindowPlaces].Now != State::kQueued) {
    ++Take_;
  }
  // A share of what waits, so that every worker has some.
  const size_t Share =
      std::clamp<size_t>((Tail_ - Take_) / (2 * Threads_), 1, kBatch);
  size_t Count = 0;
  for (uint64_t I = Take_; I < Tail_ && Count < Share; ++I) {
    Place& Job = Places_[I % kWindowPlaces];
    if (Job.Now == State::kQueued && !Job.Removal) {
      Job.Now = State::kTaken;
      Taken[Count++] = I;
    }
  }
  return Count;
}

void FileQueue::RunWorker() {
  uint64_t Taken[kBatch];
  WalkFolder* Held[kBatch + 1];  // a removal is taken alone
  std::unique_lock<std::mutex> Guard(Lock_);
  for (;;) {
    size_t Count = 0;
    ++Idle_;
    Work_.wait(Guard, [&] {
      return Quit_ || Reading_.Next < Reading_.End ||
             (Count = Pick(Taken)) != 0;
    });
    --Idle_;
    // The walk waits for the statuses it reads: they come first.
    if (Count == 0 && ReadSome(Guard)) continue;
    if (Count == 0) return;
    Guard.unlock();
    for (size_t I = 0; I < Count; ++I) {
      Run(Places_[Taken[I] % kWindowPlaces]);
    }
    Guard.lock();
    int Holds = 0;
    for (size_t I = 0; I < Count; ++I) {
      Holds += Finish(Places_[Taken[I] % kWindowPlaces], Held + Holds);
    }
    Publish(Guard);
    Guard.unlock();
    LetGo(Guard, Held, Holds);
  }
}

void FileQueue::Publish(std::unique_lock<std::mutex>& Guard) {
  // One thread writes at a time, unlocked, in the order the lines came due;
  // the others leave theirs to it. A place is let go only once its lines
  // are out, so that the window bounds the removals not yet reported.
  if (Writing_) return;
  Writing_ = true;
  for (;;) {
    uint64_t End = Head_;
    Pending_.clear();
    while (End < Tail_) {
      Place& Job = Places_[End % kWindowPlaces];
      if (Job.Now != State::kDone) break;
      if (Settle_) Settle_(Job.Report);
      for (Event& E : Job.Report.Events) Pending_.push_back(std::move(E));
      Counts_.FileCount += Job.Report.Counted;
      Counts_.FolderCount += Job.Removed;
      Counts_.BytesFreed += Job.Report.Freed;
      Job.Report = FileReport();
      Job.Removed = false;
      ++End;
    }
    if (End == Head_) break;
    if (!Pending_.empty()) {
      Guard.unlock();
      Out_.Write(Pending_);
      Guard.lock();
    }
    Head_ = End;
    WakeWalk();
    // A removal now waits for no other place.
    if (Head_ < Tail_ && Places_[Head_ % kWindowPlaces].Removal) {
      Work_.notify_one();
    }
  }
  Writing_ = false;
}

}  // namespace olvane
