// Runs the per-file work of the walk on a pool of workers and writes every
// file's lines in the order in which the walk handed the files in, so that
// the output is the one-thread walk's, line for line.
//
// The walk (one thread) lists folders and hands in files; the files of one
// folder travel in chunks, and a worker takes a whole chunk, preferring one
// of a folder that no other worker is in. A chunk's lines are written as soon
// as every chunk before it is done: the first chunk's worker writes each
// line as its file is done, the others keep theirs until their turn.
#ifndef OLVANE_PURGE_FILE_QUEUE_H_
#define OLVANE_PURGE_FILE_QUEUE_H_

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
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

// A folder of the walk with the queue's bookkeeping. Only the walk's thread
// creates and destroys one, and only once WaitFor has answered for it.
struct OpenFolder {
  std::unique_ptr<Folder> Dir;
  int Pending = 0;  // files handed in and not yet done (under the lock)
  int Busy = 0;     // workers in one of its chunks (under the lock)
  int Counted = 0;  // of its files, those counted (under the lock)
};

class FileQueue {
 public:
  // Work is done for each file on some worker thread, and must be safe to
  // run for several files at once. With Workers below 2, every file is done
  // at once on the calling thread.
  using Work = std::function<void(OpenFolder& Dir, const Entry& Item,
                                  const std::string& FileName,
                                  FileReport& Report)>;
  FileQueue(Platform& Sys, int Workers, Work DoFile);
  ~FileQueue();  // drains the queue

  // Hands in one file of Dir. False once a stop has been requested: the
  // file is not done, and the walk should hand in no more.
  bool Submit(OpenFolder& Dir, const Entry& Item, const std::string& FileName);

  // Puts Line (ending in "\n") into the output after every file handed in
  // so far, adding Folders to FolderCount when it is written.
  void SubmitLine(const std::string& Line, int Folders);

  // Returns once every file of Dir handed in so far is done.
  void WaitFor(OpenFolder& Dir);

  // Returns once every file handed in so far is done and its lines written.
  void Drain();

  // What the written lines counted.
  RunCounts Counts();

 private:
  struct Chunk {
    OpenFolder* Dir = nullptr;  // null for a line of its own
    std::vector<std::pair<Entry, std::string>> Files;
    std::string Lines;     // lines not yet written
    int Counted = 0;       // counted files among them
    int Folders = 0;       // folders the chunk's line counts
    bool Queued = false;   // handed to the workers
    bool Taken = false;    // a worker is in it
    bool Done = false;
  };

  void DoInline(OpenFolder& Dir, const Entry& Item, const std::string& Name);
  void Close();  // hands the chunk being filled to the workers
  void RunWorker();
  Chunk* Pick();
  void RunChunk(Chunk& Job);
  void WriteDone();  // writes the finished chunks at the head (locked)

  Platform& Sys_;
  Work DoFile_;
  std::mutex Lock_;
  std::condition_variable Changed_;
  std::deque<std::unique_ptr<Chunk>> Window_;  // in the walk's order
  Chunk* Filling_ = nullptr;                   // the walk's, not yet queued
  std::atomic<Chunk*> Head_{nullptr};          // the oldest chunk unwritten
  RunCounts Counts_;
  bool Quit_ = false;
  std::vector<std::thread> Workers_;
};

}  // namespace olvane

#endif  // OLVANE_PURGE_FILE_QUEUE_H_
