#include "purge/file_queue.h"

#include <algorithm>
#include <utility>

namespace olvane {

FileQueue::FileQueue(Platform& Sys, int Workers, FileWork DoFile,
                     FolderWork DoFolder)
    : Sys_(Sys),
      DoFile_(std::move(DoFile)),
      DoFolder_(std::move(DoFolder)),
      Threads_(Workers > 1 ? static_cast<size_t>(Workers) : 0) {
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

void FileQueue::Opened(OpenFolder& /*Dir*/) {
  std::lock_guard<std::mutex> Guard(Lock_);
  ++Open_;
}

void FileQueue::Suspended(bool Open) {
  std::lock_guard<std::mutex> Guard(Lock_);
  Open ? ++Open_ : --Open_;
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

void FileQueue::Unhold(OpenFolder* Dir, OpenFolder* Dead[2], int* Count) {
  if (--Dir->Refs == 0) Dead[(*Count)++] = Dir;
}

void FileQueue::Delete(OpenFolder* Dead[2], int Count) {
  if (Count == 0) return;
  for (int I = 0; I < Count; ++I) delete Dead[I];
  // Counted as open until really closed.
  std::lock_guard<std::mutex> Guard(Lock_);
  Open_ -= static_cast<size_t>(Count);
  if (Waiting_) Walk_.notify_one();
}

int FileQueue::Finish(Place& Job, OpenFolder* Dead[2]) {
  int Count = 0;
  Job.Now = State::kDone;
  if (Job.Removal) {
    if (Job.Removed) ++Job.Dir->Parent->Gone;
    OpenFolder* Parent = Job.Dir->Parent;
    Unhold(Job.Dir, Dead, &Count);
    Unhold(Parent, Dead, &Count);
  } else {
    Job.Dir->Counted += Job.Report.Counted;
    Unhold(Job.Dir, Dead, &Count);
  }
  if (Waiting_) Walk_.notify_one();
  return Count;
}

void FileQueue::DoNow(OpenFolder* Dir, const Entry* Item) {
  // Everything before is done: this one may be done at once.
  Place Job;
  Job.Dir = Dir;
  Job.Removal = Item == nullptr;
  if (Item) Job.Item = *Item;
  std::unique_lock<std::mutex> Guard(Lock_);
  ++Dir->Refs;
  if (Job.Removal) ++Dir->Parent->Refs;
  Guard.unlock();
  Run(Job);
  Guard.lock();
  OpenFolder* Dead[2];
  const int Count = Finish(Job, Dead);
  Counts_.FileCount += Job.Report.Counted;
  Counts_.FolderCount += Job.Removed;
  Guard.unlock();
  if (!Job.Report.Lines.empty()) Sys_.PrintLines(Job.Report.Lines);
  Delete(Dead, Count);
}

FileQueue::Place& FileQueue::NewPlace(std::unique_lock<std::mutex>& Guard) {
  if (Tail_ - Head_ >= kWindowPlaces) {
    Waiting_ = true;
    Walk_.wait(Guard, [this] { return Tail_ - Head_ < kWindowPlaces; });
    Waiting_ = false;
  }
  Place& Job = Places_[Tail_++ % kWindowPlaces];
  Job.Removal = false;
  Job.Now = State::kQueued;
  return Job;
}

void FileQueue::Flush() {
  if (Batch_.empty()) return;
  std::unique_lock<std::mutex> Guard(Lock_);
  for (auto& [Dir, Item] : Batch_) {
    Place& Job = NewPlace(Guard);
    Job.Dir = Dir;
    Job.Item = std::move(Item);
    ++Dir->Refs;
    if (Idle_ > 0) Work_.notify_one();
  }
  Batch_.clear();
}

bool FileQueue::Submit(OpenFolder& Dir, const Entry& Item) {
  if (Sys_.StopStatus() != 0) return false;
  if (Threads_ == 0) {
    DoNow(&Dir, &Item);
    return true;
  }
  Batch_.emplace_back(&Dir, Item);
  if (Batch_.size() >= kBatch) Flush();
  return true;
}

void FileQueue::SubmitRemoval(OpenFolder& Sub) {
  OpenFolder* Dead[2];
  int Count = 0;
  if (Threads_ == 0) {
    DoNow(&Sub, nullptr);
  } else {
    Flush();
    std::unique_lock<std::mutex> Guard(Lock_);
    Place& Job = NewPlace(Guard);
    Job.Dir = &Sub;
    Job.Removal = true;
    ++Sub.Refs;
    ++Sub.Parent->Refs;
    if (Head_ + 1 == Tail_) Work_.notify_one();
  }
  // The place holds Sub now, in the walk's stead.
  {
    std::lock_guard<std::mutex> Guard(Lock_);
    Unhold(&Sub, Dead, &Count);
  }
  Delete(Dead, Count);
}

void FileQueue::SubmitLine(const std::string& Line) {
  if (Threads_ == 0) {
    Sys_.PrintLines(Line);
    return;
  }
  Flush();
  std::unique_lock<std::mutex> Guard(Lock_);
  Place& Job = NewPlace(Guard);
  Job.Dir = nullptr;
  Job.Now = State::kDone;
  Job.Report.Lines = Line;
  Publish(Guard);
}

void FileQueue::Release(OpenFolder& Dir) {
  Flush();
  OpenFolder* Dead[2];
  int Count = 0;
  {
    std::lock_guard<std::mutex> Guard(Lock_);
    Unhold(&Dir, Dead, &Count);
  }
  Delete(Dead, Count);
}

void FileQueue::WaitFor(OpenFolder& Dir) {
  Flush();
  std::unique_lock<std::mutex> Guard(Lock_);
  Waiting_ = true;
  Walk_.wait(Guard, [&Dir] { return Dir.Refs == 1; });
  Waiting_ = false;
}

void FileQueue::WaitForFewerOpen(size_t Budget) {
  Flush();
  std::unique_lock<std::mutex> Guard(Lock_);
  Waiting_ = true;
  Walk_.wait(Guard, [&] { return Open_ < Budget; });
  Waiting_ = false;
}

void FileQueue::Drain() {
  Flush();
  std::unique_lock<std::mutex> Guard(Lock_);
  Waiting_ = true;
  Walk_.wait(Guard, [this] { return Head_ == Tail_ && !Writing_; });
  Waiting_ = false;
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
  OpenFolder* Dead[2 * kBatch];
  std::unique_lock<std::mutex> Guard(Lock_);
  for (;;) {
    size_t Count = 0;
    ++Idle_;
    Work_.wait(Guard, [&] { return Quit_ || (Count = Pick(Taken)) != 0; });
    --Idle_;
    if (Count == 0) return;
    Guard.unlock();
    for (size_t I = 0; I < Count; ++I) {
      Run(Places_[Taken[I] % kWindowPlaces]);
    }
    Guard.lock();
    int Gone = 0;
    for (size_t I = 0; I < Count; ++I) {
      Gone += Finish(Places_[Taken[I] % kWindowPlaces], Dead + Gone);
    }
    Publish(Guard);
    if (Gone > 0) {
      Guard.unlock();
      Delete(Dead, Gone);
      Guard.lock();
    }
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
    Out_.clear();
    while (End < Tail_) {
      Place& Job = Places_[End % kWindowPlaces];
      if (Job.Now != State::kDone) break;
      Out_ += Job.Report.Lines;
      Counts_.FileCount += Job.Report.Counted;
      Counts_.FolderCount += Job.Removed;
      Job.Report.Lines.clear();
      Job.Report.Counted = Job.Removed = false;
      ++End;
    }
    if (End == Head_) break;
    if (!Out_.empty()) {
      std::string Lines;
      Lines.swap(Out_);
      Guard.unlock();
      Sys_.PrintLines(Lines);
      Guard.lock();
    }
    Head_ = End;
    if (Waiting_) Walk_.notify_one();
    // A removal now waits for no other place.
    if (Head_ < Tail_ && Places_[Head_ % kWindowPlaces].Removal) {
      Work_.notify_one();
    }
  }
  Writing_ = false;
}

}  // namespace olvane
