// The choices of the retention goals: which files of a folder --keep keeps,
// and which due files a ranked run acts on first.
#ifndef OLVANE_PURGE_GOALS_H_
#define OLVANE_PURGE_GOALS_H_

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "purge/file_tests.h"
#include "purge/run_settings.h"

namespace olvane {

// The newest N of the files offered, a folder at a time. Newer goes by the
// time of the run's kind, to the fraction of a second recorded; of two equal
// times the name later in byte order counts as the newer ("backup-08" after
// "backup-07"). Names of one file (by the identity their times carry) are
// one file: it takes one place, and its other names are kept with it. Holds
// at most N files.
class KeepNewest {
 public:
  KeepNewest(int64_t N, TimeKind Kind) : N_(N), Kind_(Kind) {}

  // Offers Item, whose Times are read. Adds to *Out the entries now sure not
  // to be among the newest N: Item itself, or a file it displaced with
  // every name of it.
  void Offer(const Entry& Item, std::vector<Entry>* Out);

  // The names of the newest N offered since the last Clear: the ones kept.
  std::vector<Entry> Held() const;
  void Clear() {
    Held_.clear();
    Names_.clear();
  }

 private:
  int64_t N_;
  TimeKind Kind_;
  std::vector<Entry> Held_;  // a heap, the oldest of them on top
  // The other names of the files held whose identity is known.
  std::map<FileIdentity, std::vector<Entry>> Names_;
};

// A folder of a ranked run's tree, as its examination entered it: its
// listed name in the folder above. Shared by the candidates of its files
// and by its subfolders, so that what a run remembers of a file does not
// grow with the depth of its folder.
struct FolderNode {
  std::shared_ptr<const FolderNode> Above;  // null: the target itself
  std::string Name;
  // The disposal of its files frees space (a move may stay on the volume);
  // a ranked run's examination asks once per folder.
  bool FreesSpace = true;
};

// A due file of a ranked run, as its examination found it.
struct Candidate {
  TimeKey Time = {};  // the time its age counts from
  std::shared_ptr<const FolderNode> Dir = nullptr;
  std::string Name;  // in Dir, as listed
  // Bytes on disk that leave the selected files with it, and that its
  // disposal is expected to free on the target's file system: a file of
  // several names is counted as its names are acted on.
  int64_t Size = 0;
  int64_t Frees = 0;
  // The most its action counts toward --max-size and --min-free: what the
  // examination saw it take, whichever of its names goes last. A file that
  // grew since counts no more, so that files in flight, all succeeding,
  // bound what the goals may have reached before the next one.
  int64_t MostSize = 0;
  int64_t MostFrees = 0;
  // Where it has one name, and the identity names its volume: what the
  // action proves it still is on the open file. Else Index 0, and the
  // action reads the entry's status by name first.
  FileIdentity Id = {};
  EntryKind Kind = EntryKind::kFile;
  bool Elsewhere = false;  // on another file system than the target

  // Oldest first; the path decides between equal times.
  bool operator<(const Candidate& Other) const;
};

// What actions bring toward the goals, or may bring: files acted on, bytes
// that left the selected files, bytes freed on the target's file system.
struct Gain {
  int64_t Files = 0;
  int64_t Size = 0;
  int64_t Frees = 0;
};

// What a round of a ranked run still needs: bytes to leave the selected
// files, bytes to be freed, files to act on at most; -1: not asked for.
struct Needs {
  int64_t Size = -1;
  int64_t Free = -1;
  int64_t Files = -1;
};

// The most candidates one round remembers, whatever the goals: a round that
// lets others go leaves them to the next round.
constexpr size_t kMostRemembered = 65536;

// The oldest due files that can still be needed, of those offered at or
// after a floor (the horizon of the round before). Once the ones held cover
// every need, a newer one goes, and with it, for this round, everything as
// new or newer: its horizon. So what is held is exactly every candidate
// offered between the floor and the horizon, and the memory is bounded by
// what the needs take.
class DueChoice {
 public:
  explicit DueChoice(std::optional<Candidate> Floor)
      : Floor_(std::move(Floor)) {
    // Taken up only as it fills (pages untouched cost nothing): grown
    // instead, what is held would move to fresh pages at every doubling,
    // and each page's first touch is a fault.
    Held_.reserve(kMostRemembered);
  }

  // Needs may grow as the round goes on (the selected files' total does).
  void Offer(Candidate C, const Needs& Need);

  // Whether candidates were let go beyond what is held.
  bool LetGo() const { return Horizon_.has_value(); }
  const std::optional<Candidate>& Horizon() const { return Horizon_; }

  // What is held, oldest first; leaves the choice empty.
  std::vector<Candidate> TakeOldestFirst();

 private:
  // Whether what is held covers every need without Newest (null: with
  // everything held).
  bool Covers(const Needs& Need, const Candidate* Newest) const;

  std::optional<Candidate> Floor_;
  std::optional<Candidate> Horizon_;
  std::vector<Candidate> Held_;  // once Heaped_, a heap, the newest on top
  bool Heaped_ = false;
  int64_t Size_ = 0;             // of what is held
  int64_t Frees_ = 0;
};

// What --min-free asks of the file system of a run's target, measured once
// at the start: each act then counts what it frees.
class FreeSpaceGoal {
 public:
  FreeSpaceGoal(Platform& Sys, const Goals& Goal, const std::string& Path);

  bool Asked() const { return Goal_ >= 0; }
  // The bytes still to free once Freed have been: -1 where the goal was
  // not asked for, 0 where the space could not be measured (no file is
  // needed for it then).
  int64_t Need(int64_t Freed) const;
  // What the run ends short of, as RunCounts::FreeShort (0: met or not
  // asked for).
  int64_t Short(int64_t Freed) const;

 private:
  bool HasSpace_ = false;
  int64_t Available_ = 0;  // free at the start
  int64_t Goal_ = -1;      // free space asked for; -1: none
};

}  // namespace olvane

#endif  // OLVANE_PURGE_GOALS_H_
