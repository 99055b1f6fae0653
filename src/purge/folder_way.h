// The way down from a ranked run's target to the folders of the files it
// acts on.
#ifndef OLVANE_PURGE_FOLDER_WAY_H_
#define OLVANE_PURGE_FOLDER_WAY_H_

#include <memory>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "purge/file_queue.h"
#include "purge/goals.h"
#include "purge/purge_folder.h"

namespace olvane {

// Reaches the folders of the chosen files from the target down, by the
// names their listings gave and never through a link, and only as the walk
// would have entered them; the last way down stays open for the next file.
// Its folders are the queue's, so that the files in flight hold theirs
// while the way goes on.
class FolderWay {
 public:
  FolderWay(WalkContext& Run, FileQueue& Queue, std::unique_ptr<Folder> Target,
            const std::string& Path);
  FolderWay(const FolderWay&) = delete;
  FolderWay& operator=(const FolderWay&) = delete;
  ~FolderWay();  // lets go of the way's holds

  // The folder of Node; null when it cannot be reached so.
  WalkFolder* Reach(const FolderNode* Node);
  // The full path of the folder of Node.
  std::string PathOf(const FolderNode* Node) const;

 private:
  void CloseFrom(size_t Depth);
  void CloseShallowest();

  WalkContext& Run_;
  FileQueue& Queue_;
  WalkFolder* Target_;
  // The way below the target, of the round's nodes, and each folder of it
  // while it is open (null once closed).
  std::vector<const FolderNode*> Nodes_;
  std::vector<WalkFolder*> Open_;
};

}  // namespace olvane

#endif  // OLVANE_PURGE_FOLDER_WAY_H_
