// The walk of a target's tree: lists each folder once, hands each selected
// file to a piece of file work, descends into subfolders depth first and,
// with -e, removes the folders it leaves empty.
#ifndef OLVANE_PURGE_WALKER_H_
#define OLVANE_PURGE_WALKER_H_

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "purge/file_queue.h"
#include "purge/folder_keep.h"
#include "purge/lookahead.h"
#include "purge/purge_folder.h"

namespace olvane {

// The rule for one due candidate: expiry first, by the times had without
// opening the file, then on the open handle, then the probe, then the
// disposal. A file that is not due is never opened. Dir is the file's
// folder, DirPath its full path.
void ApplyFileRule(WalkContext& Run, int32_t Day, Folder& Dir,
                   const std::string& DirPath, const Entry& Item,
                   FileReport& Report);

// ApplyFileRule for a file of one name that the run found due before, its
// identity in Item.Times.Id: the file is opened first and proven on the
// open handle to be that file and still due, which spares a status query
// by name. False, with nothing reported and the file closed untouched,
// when the open finds another file, a second name or none: ApplyFileRule
// then proves by name what the entry is now.
bool ApplyFileRuleToKnown(WalkContext& Run, int32_t Day, Folder& Dir,
                          const std::string& DirPath, const Entry& Item,
                          FileReport& Report);

// Whether a protect mask covers Name: never disposed of, entered or removed.
bool IsProtected(const WalkContext& Run, const std::string& Name);

class Walker {
 public:
  // A selected file that a keep rule keeps; on the walk's thread.
  using KeptWork = std::function<void(WalkFolder& Dir, const Entry& Item)>;
  // A subfolder opened, before it is listed; on the walk's thread.
  using EnterWork = std::function<void(WalkFolder& Dir)>;

  // Mask: the file mask, "" for folder mode. DoFile is done for every
  // selected file that no keep rule keeps, on Workers threads (one for a
  // disposal that needs the walk's order).
  Walker(WalkContext& Run, int32_t Day, std::string Mask, int Workers,
         FileQueue::FileWork DoFile, KeptWork OnKept = nullptr,
         EnterWork OnEnter = nullptr);

  // Walks the tree of Target, the folder Path, to its end or to a stop. On
  // a share, subfolders are opened and listed ahead of the walk.
  RunCounts Walk(std::unique_ptr<Folder> Target, const std::string& Path);

 private:
  // A folder of the walk's way down, and the subfolders it is yet to enter.
  struct Frame {
    WalkFolder* Dir;
    // Gathered in full before the first is entered, so that changes made
    // below do not change which ones are walked.
    std::vector<std::string> SubFolders;
    size_t Next = 0;
    bool Suspended = false;
    // The subfolders from Next on that the lookahead has started.
    std::deque<std::shared_ptr<ListedAhead>> Ahead = {};
  };

  // The files of a folder whose statuses --keep reads at once.
  static constexpr size_t kGathered = 256;

  bool Stopped() { return Run_.Sys.StopStatus() != 0; }
  // Opens and lists up to Threads subfolders ahead of the walk, on threads
  // of their own (where folders are round trips to a server).
  void ListAhead(int Threads);
  void List(Frame& Current, std::unique_ptr<Listing> Files = nullptr);
  void StartAhead(Frame& Current);
  void Select(WalkFolder& Dir, Entry Item);
  void SelectGathered(WalkFolder& Dir, std::vector<Entry>* Files);
  void Submit(WalkFolder& Dir, const Entry& Item);
  void EndSelection(WalkFolder& Dir);
  void Enter(Frame& Current, std::string Name);
  void MakeRoom();
  void Leave();
  bool RemoveIfEmptied(WalkFolder& Sub, FileReport& Report);
  void CannotOpen(const std::string& DirPath);

  WalkContext& Run_;
  int32_t Day_;
  std::string Mask_;
  bool OneName_;  // the mask has no wildcard
  size_t Budget_;
  KeptWork OnKept_;
  EnterWork OnEnter_;
  FolderKeep Keep_;           // what the keep rules keep of the folder listed
  int32_t Undated_ = 0;       // names without a date, left alone
  bool Halted_ = false;       // a stop came while files were handed in
  std::vector<Frame> Stack_;  // from the target down
  FileQueue Queue_;
  // Destroyed first: its threads may drop the last hold of a folder.
  std::unique_ptr<Lookahead> Ahead_;
  size_t AheadThreads_ = 0;
};

}  // namespace olvane

#endif  // OLVANE_PURGE_WALKER_H_
