#include "purge/lookahead.h"

#include <utility>

#include "purge/walker.h"

namespace olvane {
namespace {

// Entries read ahead of a folder: a folder of any size costs no more.
constexpr size_t kEntriesAhead = 1024;

// The entries read ahead, then the rest of the listing.
class ListingAhead : public Listing {
 public:
  ListingAhead(std::vector<Entry> First, std::unique_ptr<Listing> Rest)
      : First_(std::move(First)), Rest_(std::move(Rest)) {}
  bool Next(Entry* Item) override {
    if (Next_ < First_.size()) {
      *Item = std::move(First_[Next_++]);
      return true;
    }
    return Rest_->Next(Item);
  }
  bool Failed() const override { return Rest_->Failed(); }

 private:
  std::vector<Entry> First_;
  size_t Next_ = 0;
  std::unique_ptr<Listing> Rest_;
};

}  // namespace

Lookahead::Lookahead(WalkContext& Run, std::string Mask, int Threads)
    : Run_(Run), Mask_(std::move(Mask)) {
  for (int I = 0; I < Threads; ++I) {
    Threads_.emplace_back([this] { RunThread(); });
  }
}

Lookahead::~Lookahead() {
  {
    std::lock_guard<std::mutex> Guard(Lock_);
    Quit_ = true;
  }
  Work_.notify_all();
  for (std::thread& Thread : Threads_) Thread.join();
}

std::shared_ptr<ListedAhead> Lookahead::Start(WalkFolder& Parent,
                                              const std::string& Name) {
  auto Job = std::make_shared<ListedAhead>();
  Job->Name = Name;
  Parent.Ref();
  ++Outstanding_;
  {
    std::lock_guard<std::mutex> Guard(Lock_);
    Queue_.emplace_back(&Parent, Job);
  }
  Work_.notify_one();
  return Job;
}

void Lookahead::Wait(ListedAhead& Job) {
  std::unique_lock<std::mutex> Guard(Lock_);
  Done_.wait(Guard, [&Job] { return Job.Now != ListedAhead::Outcome::kPending; });
}

// What the walk's Enter decides before it opens a subfolder, and the open
// and the first entries of the listing.
void Lookahead::Do(WalkFolder& Parent, ListedAhead& Job) {
  ListedAhead::Outcome Now = ListedAhead::Outcome::kSkipped;
  if (!IsProtected(Run_, Job.Name) &&
      (Run_.Settings.CrossMounts || !Parent.Dir().IsOtherMount(Job.Name))) {
    Job.Dir = Parent.Dir().OpenSubFolder(Job.Name);
    if (!Job.Dir) {
      Now = ListedAhead::Outcome::kFailed;
    } else if (!Run_.KeepOut || !Run_.KeepOut(*Job.Dir)) {
      Now = ListedAhead::Outcome::kOpened;
      Job.Timed = Job.Dir->Times(&Job.Times);
      std::unique_ptr<Listing> Files = Job.Dir->List(Mask_);
      std::vector<Entry> First;
      Entry Item;
      while (First.size() < kEntriesAhead && Files->Next(&Item)) {
        First.push_back(std::move(Item));
      }
      Job.Files =
          std::make_unique<ListingAhead>(std::move(First), std::move(Files));
    } else {
      Job.Dir.reset();
    }
  }
  std::lock_guard<std::mutex> Guard(Lock_);
  Job.Now = Now;
  Done_.notify_all();
}

void Lookahead::RunThread() {
  std::unique_lock<std::mutex> Guard(Lock_);
  for (;;) {
    Work_.wait(Guard, [this] { return Quit_ || !Queue_.empty(); });
    if (Queue_.empty()) return;
    auto [Parent, Job] = std::move(Queue_.front());
    Queue_.pop_front();
    Guard.unlock();
    Do(*Parent, *Job);
    Job.reset();
    // Never under the lock: the last hold closes the folder.
    Parent->Unref();
    Guard.lock();
  }
}

}  // namespace olvane
