#include "purge/file_queue.h"

#include <utility>

namespace olvane {
namespace {

// Files per chunk: large enough that taking one is rare, small enough that
// the workers share a folder of a few hundred files.
constexpr size_t kChunkFiles = 64;
// Chunks under way at once, which bounds the memory a run needs however
// large the tree, and how far the walk runs ahead of the output.
constexpr size_t kWindowChunks = 64;

}  // namespace

FileQueue::FileQueue(Platform& Sys, int Workers, Work DoFile)
    : Sys_(Sys), DoFile_(std::move(DoFile)) {
  for (int I = 0; Workers > 1 && I < Workers; ++I) {
    Workers_.emplace_back([this] { RunWorker(); });
  }
}

FileQueue::~FileQueue() {
  Drain();
  {
    std::lock_guard<std::mutex> Guard(Lock_);
    Quit_ = true;
  }
  Changed_.notify_all();
  for (std::thread& Worker : Workers_) Worker.join();
}

void FileQueue::DoInline(OpenFolder& Dir, const Entry& Item,
                         const std::string& Name) {
  FileReport Report;
  DoFile_(Dir, Item, Name, Report);
  if (!Report.Lines.empty()) Sys_.PrintLines(Report.Lines);
  if (Report.Counted) {
    ++Counts_.FileCount;
    ++Dir.Counted;
  }
}

bool FileQueue::Submit(OpenFolder& Dir, const Entry& Item,
                       const std::string& FileName) {
  if (Sys_.StopStatus() != 0) return false;
  if (Workers_.empty()) {
    DoInline(Dir, Item, FileName);
    return true;
  }
  if (Filling_ && (Filling_->Dir != &Dir || Filling_->Files.size() >= kChunkFiles)) {
    Close();
  }
  std::unique_lock<std::mutex> Guard(Lock_);
  if (!Filling_) {
    Changed_.wait(Guard, [this] { return Window_.size() < kWindowChunks; });
    Window_.push_back(std::make_unique<Chunk>());
    Filling_ = Window_.back().get();
    Filling_->Dir = &Dir;
    if (Window_.size() == 1) Head_ = Filling_;
  }
  Filling_->Files.emplace_back(Item, FileName);
  ++Dir.Pending;
  return true;
}

void FileQueue::Close() {
  if (!Filling_) return;
  {
    std::lock_guard<std::mutex> Guard(Lock_);
    Filling_->Queued = true;
    Filling_ = nullptr;
  }
  Changed_.notify_all();
}

void FileQueue::SubmitLine(const std::string& Line, int Folders) {
  if (Workers_.empty()) {
    Sys_.PrintLines(Line);
    Counts_.FolderCount += Folders;
    return;
  }
  Close();
  auto Own = std::make_unique<Chunk>();
  Own->Lines = Line;
  Own->Folders = Folders;
  Own->Queued = Own->Taken = Own->Done = true;
  std::unique_lock<std::mutex> Guard(Lock_);
  Changed_.wait(Guard, [this] { return Window_.size() < kWindowChunks; });
  Window_.push_back(std::move(Own));
  if (Window_.size() == 1) Head_ = Window_.front().get();
  WriteDone();
}

void FileQueue::WaitFor(OpenFolder& Dir) {
  if (Filling_ && Filling_->Dir == &Dir) Close();
  std::unique_lock<std::mutex> Guard(Lock_);
  Changed_.wait(Guard, [&Dir] { return Dir.Pending == 0; });
}

void FileQueue::Drain() {
  Close();
  std::unique_lock<std::mutex> Guard(Lock_);
  Changed_.wait(Guard, [this] { return Window_.empty(); });
}

RunCounts FileQueue::Counts() {
  std::lock_guard<std::mutex> Guard(Lock_);
  return Counts_;
}

FileQueue::Chunk* FileQueue::Pick() {
  Chunk* First = nullptr;
  for (const std::unique_ptr<Chunk>& Job : Window_) {
    if (!Job->Queued || Job->Taken) continue;
    if (Job->Dir->Busy == 0) return Job.get();
    if (!First) First = Job.get();
  }
  return First;
}

void FileQueue::RunWorker() {
  std::unique_lock<std::mutex> Guard(Lock_);
  for (;;) {
    Chunk* Job = nullptr;
    Changed_.wait(Guard, [&] { return Quit_ || (Job = Pick()) != nullptr; });
    if (!Job) return;
    Job->Taken = true;
    ++Job->Dir->Busy;
    Guard.unlock();
    RunChunk(*Job);
    Guard.lock();
    --Job->Dir->Busy;
    Job->Dir->Pending -= static_cast<int>(Job->Files.size());
    Job->Dir->Counted += Job->Counted;
    Job->Done = true;
    WriteDone();
    Changed_.notify_all();
  }
}

void FileQueue::RunChunk(Chunk& Job) {
  FileReport Report;
  for (const auto& [Item, FileName] : Job.Files) {
    // A stop lets every file under way finish, and starts no other.
    if (Sys_.StopStatus() != 0) break;
    Report.Lines.clear();
    Report.Counted = false;
    DoFile_(*Job.Dir, Item, FileName, Report);
    Job.Lines += Report.Lines;
    Job.Counted += Report.Counted;
    if (Head_.load() == &Job && !Job.Lines.empty()) {
      // Every line before this chunk's is out: this one may follow now.
      std::lock_guard<std::mutex> Guard(Lock_);
      Sys_.PrintLines(Job.Lines);
      Job.Lines.clear();
    }
  }
}

void FileQueue::WriteDone() {
  std::string Out;
  while (!Window_.empty() && Window_.front()->Done) {
    Chunk& Job = *Window_.front();
    Out += Job.Lines;
    Counts_.FileCount += Job.Counted;
    Counts_.FolderCount += Job.Folders;
    Window_.pop_front();
  }
  if (!Out.empty()) Sys_.PrintLines(Out);
  Head_ = Window_.empty() ? nullptr : Window_.front().get();
}

}  // namespace olvane
