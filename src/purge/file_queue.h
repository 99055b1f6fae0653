// Runs the work of the walk on a pool of workers and writes every file's
// lines in the order in which the walk handed the files in, so that the
// output is the one-thread walk's, line for line.
//
// The walk (one thread) lists folders and hands in files, of as many folders
// as it gets to, into a window of a fixed number of places; workers take
// them in order, one at a time, from whichever folders they belong to. A
// place's lines are written as soon as every place before it is done, so the
// window bounds both the memory of a run and the removals whose lines are not
// yet out. The removal of an emptied folder is a place of its own, done once
// everything before it, its whole subtree among it, is done.
#ifndef OLVANE_PURGE_FILE_QUEUE_H_
#define OLVANE_PURGE_FILE_QUEUE_H_

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/platform.h"
#include "purge/disposal.h"
#include "purge/run_settings.h"
#include "report/report.h"

namespace olvane {

// Places in the window: removals done whose lines may not be out yet when
// the process is killed without warning are never more.
constexpr size_t kWindowPlaces = 128;

class FileQueue;
struct FolderNode;

// A folder of the walk, shared by the walk and the places of the queue that
// need it. It owns itself: the last Unref deletes it, which closes the folder
// and tells the queue. Unref is never called under the queue's lock.
class WalkFolder {
 public:
  WalkFolder(FileQueue& Queue, std::unique_ptr<Folder> Dir, std::string Path,
             WalkFolder* Parent, std::string Name);
  WalkFolder(const WalkFolder&) = delete;
  WalkFolder& operator=(const WalkFolder&) = delete;

  void Ref() { Refs_.fetch_add(1, std::memory_order_relaxed); }
  void Unref();
  // True while nothing but one hold (the walk's own) refers to it.
  bool HeldOnce() const { return Refs_.load(std::memory_order_acquire) == 1; }

  // Gives up the folder's descriptor (see Folder::Suspend), and takes it
  // back through Child.
  void Suspend();
  void Resume(WalkFolder& Child);

  Folder& Dir() { return *Dir_; }
  // Closes the folder before its removal, which must not find it open here.
  void Close() { Dir_.reset(); }

  const std::string Path;    // its full path
  // The folder it was opened from, which the walk holds while it walks
  // this one, and the removal of this one holds after.
  WalkFolder* const Parent;
  const std::string Name;    // its name there
  int Entries = 0;           // entries its listings held (the walk's own)
  // Its times as the walk first saw them, before its listing and the
  // removals in it changed them (set by the walk).
  bool Timed = false;
  FileTimes Times;
  int Counted = 0;           // of its files, those counted; GUARDED_BY Lock_
  int Gone = 0;  // of its subfolders, those removed (or would be); Lock_
  // A ranked run's node of it, which the candidates of its files share
  // (set by the walk on entering it).
  std::shared_ptr<const FolderNode> Node;

 private:
  ~WalkFolder();

  FileQueue& Queue_;
  std::unique_ptr<Folder> Dir_;
  std::atomic<int> Refs_{1};  // the walk's own hold, and one per place
};

class FileQueue {
 public:
  // Done for each file on some worker, for several files at once.
  using FileWork =
      std::function<void(WalkFolder& Dir, const Entry& Item, FileReport& R)>;
  // Removes the emptied Sub from its parent once its whole subtree is done;
  // true when it is gone (or would be), its line in R.
  using FolderWork = std::function<bool(WalkFolder& Sub, FileReport& R)>;
  // Done for each place in the walk's order, once everything before it is
  // settled, just before its events go out (may change them).
  using SettleWork = std::function<void(FileReport& R)>;

  // With Workers below 2, everything is done at once on the calling thread.
  // The events of each place go to Out in the walk's order.
  FileQueue(Platform& Sys, Report& Out, int Workers, FileWork DoFile,
            FolderWork DoFolder, SettleWork Settle = nullptr);
  ~FileQueue();  // drains the queue

  // Opens a folder of the walk, with the walk's own hold on it.
  WalkFolder* Open(std::unique_ptr<Folder> Dir, std::string Path,
                   WalkFolder* Parent = nullptr, std::string Name = "");

  // Hands in one file of Dir. False once a stop has been requested: the
  // file is not done, and the walk should hand in no more.
  bool Submit(WalkFolder& Dir, const Entry& Item);

  // Hands in the removal of Sub, in place of the walk's own hold on it.
  void SubmitRemoval(WalkFolder& Sub);

  // Puts E into the report after everything handed in so far.
  void SubmitEvent(const Event& E);

  // Reads the status of each untimed file of Items, entries of Dir, on the
  // workers and the calling thread at once; one that cannot be read stays
  // untimed. Returns once every one is read.
  void ReadTimes(WalkFolder& Dir, std::vector<Entry>* Items);

  // Drops the walk's own hold on Dir.
  void Release(WalkFolder& Dir);

  // Hands on the files the walk has gathered; done on its own every few
  // files and before any wait.
  void Flush();

  // Returns once nothing but the walk's own hold refers to Dir.
  void WaitFor(WalkFolder& Dir);

  // Returns once fewer than Budget folders are open.
  void WaitForFewerOpen(size_t Budget);
  size_t OpenFolders();

  // Returns once everything handed in is done and its lines written.
  void Drain();

  // What the written lines counted.
  RunCounts Counts();

 private:
  friend class WalkFolder;
  enum class State { kQueued, kTaken, kDone };
  struct Place {
    WalkFolder* Dir = nullptr;  // the file's folder, or the folder to remove
    Entry Item;
    bool Removal = false;
    State Now = State::kQueued;
    bool Removed = false;
    FileReport Report;
  };

  static constexpr size_t kBatch = 32;  // files a thread hands on at once

  void Run(Place& Job);
  void DoNow(WalkFolder* Dir, const Entry* Item);  // with no workers
  Place& NewPlace(std::unique_lock<std::mutex>& Guard);
  // The bookkeeping of a place done (locked); the holds it let go, which
  // the caller drops once unlocked (see LetGo).
  int Finish(Place& Job, WalkFolder* Held[2]);
  // Called unlocked; returns locked.
  void LetGo(std::unique_lock<std::mutex>& Guard, WalkFolder* const* Held,
             int Count);
  void Closed();   // a folder was closed: one fewer open
  void Reopened(bool Open);  // one more or one fewer open, by Suspend/Resume
  size_t Pick(uint64_t* Taken);  // up to kBatch places taken
  void Publish(std::unique_lock<std::mutex>& Guard);  // the done places
  bool ReadSome(std::unique_lock<std::mutex>& Guard);  // of ReadTimes's
  void RunWorker();
  // A full window takes a few places again at once, so that the walk is not
  // woken for each place done, while the rest still keep every worker busy
  // (so one at a time where there are as many workers as places); locked.
  bool HasRoom() const { return Tail_ - Head_ + Room_ <= kWindowPlaces; }
  void WakeWalk();  // if what it waits for may have come; locked
  // Wakes as many idle workers as places were just queued, each once: a
  // worker woken stays idle until it has the lock; locked.
  void WakeWorkers(size_t Queued);

  Platform& Sys_;
  Report& Out_;
  FileWork DoFile_;
  FolderWork DoFolder_;
  SettleWork Settle_;
  const size_t Threads_;  // workers; 0: all on the walk's thread
  const size_t Room_;     // places a full window takes again at once
  // Files the walk gathers before it hands them on: on a local disk, where
  // a file takes microseconds, enough to take the lock rarely; with many
  // workers, each waiting on a server, fewer, so that they start sooner.
  const size_t HandOn_;
  std::mutex Lock_;
  std::condition_variable Work_;  // for the workers: a place to take
  std::condition_variable Walk_;  // for the walk: a place, a folder, drained
  // GUARDED_BY Lock_, but for the places a thread has taken, which are its
  // own until it marks them done.
  std::vector<Place> Places_ = std::vector<Place>(kWindowPlaces);
  std::vector<std::pair<WalkFolder*, Entry>> Batch_;  // the walk's own
  uint64_t Head_ = 0;     // the oldest place not written; GUARDED_BY Lock_
  uint64_t Take_ = 0;     // none before it waits to be taken; Lock_
  uint64_t Tail_ = 0;     // the next place the walk fills; Lock_
  size_t Open_ = 0;       // folders open and not suspended; Lock_
  int Idle_ = 0;          // workers waiting for a place; Lock_
  // What the walk waits for: room in the window, or anything else that
  // places done, folders closed or statuses read may bring; GUARDED_BY Lock_.
  enum class WalkWait { kNone, kRoom, kOther } Waits_ = WalkWait::kNone;
  bool Writing_ = false;  // a thread is writing, unlocked; Lock_
  std::vector<Event> Pending_;  // what it writes; its own while so
  RunCounts Counts_;      // GUARDED_BY Lock_
  // The statuses ReadTimes has yet to read: [Next, End) of Items, and how
  // many are still being read; GUARDED_BY Lock_.
  struct Reading {
    WalkFolder* Dir = nullptr;
    Entry* Items = nullptr;
    size_t Next = 0, End = 0, Left = 0;
  } Reading_;
  bool Quit_ = false;     // GUARDED_BY Lock_
  std::vector<std::thread> Workers_;
};

}  // namespace olvane

#endif  // OLVANE_PURGE_FILE_QUEUE_H_
