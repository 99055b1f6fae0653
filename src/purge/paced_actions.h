// The actions of a ranked run on the workers: as many files in flight as
// the goals may still need if every one of them succeeds, and every line in
// the ranked order, so that the run acts on exactly the files a run of one
// thread acts on and says the same.
#ifndef OLVANE_PURGE_PACED_ACTIONS_H_
#define OLVANE_PURGE_PACED_ACTIONS_H_

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "purge/file_queue.h"
#include "purge/goals.h"
#include "purge/purge_folder.h"

namespace olvane {

// The goals as the actions see them. Met and Takes must not decrease and
// increase respectively as the actions bring more: then a file may go while
// earlier ones are in flight, as long as the goals are not met even if all
// of those bring the most they can.
class PacedGoals {
 public:
  virtual ~PacedGoals() = default;
  // Whether the goals are met once Extra comes on top of what is settled.
  virtual bool Met(const Gain& Extra) const = 0;
  // Whether C is acted on once Extra comes on top of what is settled.
  virtual bool Takes(const Candidate& C, const Gain& Extra) const = 0;
  // The outcome of the action on C, in the ranked order; may change its
  // events. Dir's identity (and whether its files free space) is known.
  virtual void Settle(const Candidate& C, const FileIdentity* Dir,
                      bool DirFrees, FileReport& Report) = 0;
};

class PacedActions {
 public:
  // The action on a candidate, Item of Dir, on some worker.
  using Act = std::function<void(WalkFolder& Dir, const Entry& Item,
                                 FileReport& Report)>;

  PacedActions(WalkContext& Run, PacedGoals& Goals, int Workers, Act DoAct);

  // Acts on Chosen (oldest first) in turn, until the goals are met, every
  // one is done, or a stop; returns once every action's lines are out.
  // Target is the open folder Path from which the candidates are reached.
  void Run(const std::vector<Candidate>& Chosen, std::unique_ptr<Folder> Target,
           const std::string& Path);

 private:
  // One candidate handed to the workers and not yet settled.
  struct Flight {
    const Candidate* Chosen = nullptr;
    bool Known = false;  // DirId holds its folder's identity
    FileIdentity DirId;
    bool DirFrees = true;
  };
  enum class Turn { kAct, kPass, kEnd };

  Turn TurnOf(const Candidate& C, FileQueue& Queue);
  void Settle(FileReport& Report);
  bool Stopped() { return Run_.Sys.StopStatus() != 0; }

  WalkContext& Run_;
  PacedGoals& Goals_;
  const int Workers_;
  Act DoAct_;
  std::mutex Lock_;
  std::condition_variable Settled_;
  std::deque<Flight> Flying_;  // oldest first; GUARDED_BY Lock_
  Gain Most_;                  // they bring at most; GUARDED_BY Lock_
  uint64_t Settles_ = 0;       // GUARDED_BY Lock_
};

}  // namespace olvane

#endif  // OLVANE_PURGE_PACED_ACTIONS_H_
