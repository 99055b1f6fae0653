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

namespace olvane {

// Places in the window: removals done whose lines may not be out yet when
// the process is killed without warning are never more.
constexpr size_t kWindowPlaces = 128;

// A folder of the walk with the queue's bookkeeping. The walk makes one for
// each folder it opens and hands it to the queue, which deletes it once
// nothing refers to it any more.
struct OpenFolder {
  std::unique_ptr<Folder> Dir;
  std::string Path;              // its full path
  OpenFolder* Parent = nullptr;  // the folder it was opened from
  std::string Name;              // its name there
  int Entries = 0;               // entries its listings held (set by the walk)
  // Its times as the walk first saw them, before its listing and the
  // removals in it changed them (set by the walk).
  bool Timed = false;
  FileTimes Times;
  // Under the queue's lock:
  int Refs = 1;     // the walk's own hold, and one per place that needs it
  int Counted = 0;  // of its files, those counted
  int Gone = 0;     // of its subfolders, those removed (or that would be)
};

class FileQueue {
 public:
  // Done for each file on some worker, for several files at once.
  using FileWork =
      std::function<void(OpenFolder& Dir, const Entry& Item, FileReport& R)>;
  // Removes the emptied Sub from its parent once its whole subtree is done;
  // true when it is gone (or would be), its line in R.
  using FolderWork = std::function<bool(OpenFolder& Sub, FileReport& R)>;

  // With Workers below 2, everything is done at once on the calling thread.
  FileQueue(Platform& Sys, int Workers, FileWork DoFile, FolderWork DoFolder);
  ~FileQueue();  // drains the queue

  // Counts Dir, new with the walk's own hold, as open.
  void Opened(OpenFolder& Dir);

  // Hands in one file of Dir. False once a stop has been requested: the
  // file is not done, and the walk should hand in no more.
  bool Submit(OpenFolder& Dir, const Entry& Item);

  // Hands in the removal of Sub, in place of the walk's own hold on it.
  void SubmitRemoval(OpenFolder& Sub);

  // Puts Line (ending in "\n") into the output after everything handed in
  // so far.
  void SubmitLine(const std::string& Line);

  // Drops the walk's own hold on Dir.
  void Release(OpenFolder& Dir);

  // Hands on the files the walk has gathered; done on its own every few
  // files and before any wait.
  void Flush();

  // Returns once nothing but the walk's own hold refers to Dir.
  void WaitFor(OpenFolder& Dir);

  // Dir gave up its descriptor (Open false) or took it back (Open true).
  void Suspended(bool Open);

  // Returns once fewer than Budget folders are open.
  void WaitForFewerOpen(size_t Budget);
  size_t OpenFolders();

  // Returns once everything handed in is done and its lines written.
  void Drain();

  // What the written lines counted.
  RunCounts Counts();

 private:
  enum class State { kQueued, kTaken, kDone };
  struct Place {
    OpenFolder* Dir = nullptr;  // the file's folder, or the folder to remove
    Entry Item;
    bool Removal = false;
    State Now = State::kQueued;
    bool Removed = false;
    FileReport Report;
  };

  static constexpr size_t kBatch = 16;  // files a thread hands on at once

  void Run(Place& Job);
  void DoNow(OpenFolder* Dir, const Entry* Item);  // with no workers
  Place& NewPlace(std::unique_lock<std::mutex>& Guard);
  // The bookkeeping of a place done (locked); the folders it let go, which
  // the caller deletes once unlocked.
  int Finish(Place& Job, OpenFolder* Dead[2]);
  void Unhold(OpenFolder* Dir, OpenFolder* Dead[2], int* Count);
  void Delete(OpenFolder* Dead[2], int Count);  // unlocked
  size_t Pick(uint64_t* Taken);  // up to kBatch places taken
  void Publish(std::unique_lock<std::mutex>& Guard);  // the done places
  void RunWorker();

  Platform& Sys_;
  FileWork DoFile_;
  FolderWork DoFolder_;
  const size_t Threads_;  // workers; 0: all on the walk's thread
  std::mutex Lock_;
  std::condition_variable Work_;  // for the workers: a place to take
  std::condition_variable Walk_;  // for the walk: a place, a folder, drained
  std::vector<Place> Places_ = std::vector<Place>(kWindowPlaces);
  std::vector<std::pair<OpenFolder*, Entry>> Batch_;  // the walk's own
  uint64_t Head_ = 0;     // the oldest place not written
  uint64_t Take_ = 0;     // no place before it is waiting to be taken
  uint64_t Tail_ = 0;     // the next place the walk fills
  size_t Open_ = 0;       // folders open and not suspended
  int Idle_ = 0;          // workers waiting for a place
  bool Waiting_ = false;  // the walk is waiting
  bool Writing_ = false;  // a thread is writing lines, unlocked
  std::string Out_;       // the lines being gathered for it
  RunCounts Counts_;
  bool Quit_ = false;
  std::vector<std::thread> Workers_;
};

}  // namespace olvane

#endif  // OLVANE_PURGE_FILE_QUEUE_H_
