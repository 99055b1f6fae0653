// Subfolders opened and listed ahead of the walk, on threads of their own,
// for file systems where every operation is a round trip to a server: the
// walk's own round trips for folders then overlap one another and the
// files' work, as the files' do.
#ifndef OLVANE_PURGE_LOOKAHEAD_H_
#define OLVANE_PURGE_LOOKAHEAD_H_

#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/platform.h"
#include "purge/file_queue.h"
#include "purge/purge_folder.h"

namespace olvane {

// The threads that list ahead on a share: enough to hide the round trips
// of a walk of many small folders behind one another.
constexpr int kListersAhead = 8;

// A subfolder of the walk as the lookahead found it.
struct ListedAhead {
  enum class Outcome {
    kPending,  // not yet done
    kSkipped,  // protected, another mount or kept out: never entered
    kFailed,   // it could not be opened
    kOpened,   // Dir holds it, and Files the start of its listing
  };
  std::string Name;
  Outcome Now = Outcome::kPending;  // GUARDED_BY Lookahead::Lock_
  std::unique_ptr<Folder> Dir;
  bool Timed = false;
  FileTimes Times;
  // The listing of the walk's mask, of which the first entries are read
  // ahead; the walk reads the rest itself.
  std::unique_ptr<Listing> Files;
};

class Lookahead {
 public:
  // Threads: how many folders are opened and listed at once. Mask: the
  // walk's listing mask ("*" in folder mode).
  Lookahead(WalkContext& Run, std::string Mask, int Threads);
  ~Lookahead();  // waits for the folders under way

  // Starts opening and listing Name of Parent, which it holds meanwhile.
  std::shared_ptr<ListedAhead> Start(WalkFolder& Parent,
                                     const std::string& Name);

  // Returns once Job is done; only the walk's thread touches it then.
  void Wait(ListedAhead& Job);

  // Folders started and not yet done or taken by the walk.
  size_t Outstanding() const { return Outstanding_; }
  // The walk has taken (or dropped) one.
  void Taken() { --Outstanding_; }

 private:
  void Do(WalkFolder& Parent, ListedAhead& Job);
  void RunThread();

  WalkContext& Run_;
  const std::string Mask_;
  std::mutex Lock_;
  std::condition_variable Work_;  // for the threads: a folder to do
  std::condition_variable Done_;  // for the walk: a folder done
  // GUARDED_BY Lock_.
  std::deque<std::pair<WalkFolder*, std::shared_ptr<ListedAhead>>> Queue_;
  bool Quit_ = false;        // GUARDED_BY Lock_
  size_t Outstanding_ = 0;   // the walk's own
  std::vector<std::thread> Threads_;
};

}  // namespace olvane

#endif  // OLVANE_PURGE_LOOKAHEAD_H_
