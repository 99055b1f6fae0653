// The way down from a ranked run's target to the folders of the files it
// acts on.
#ifndef OLVANE_PURGE_FOLDER_WAY_H_
#define OLVANE_PURGE_FOLDER_WAY_H_

#include <memory>
#include <vector>

#include "platform/platform.h"
#include "purge/goals.h"
#include "purge/purge_folder.h"

namespace olvane {

// Reaches the folders of the chosen files from the target down, by the
// names their listings gave and never through a link, and only as the walk
// would have entered them; the last way down stays open for the next file.
class FolderWay {
 public:
  FolderWay(WalkContext& Run, std::unique_ptr<Folder> Target)
      : Run_(Run), Target_(std::move(Target)) {}

  // The folder of Node; null when it cannot be reached so.
  Folder* Reach(const FolderNode* Node);

 private:
  void CloseShallowest();

  WalkContext& Run_;
  std::unique_ptr<Folder> Target_;
  // The way below the target, of the round's nodes, and each folder of it
  // while it is open.
  std::vector<const FolderNode*> Nodes_;
  std::vector<std::unique_ptr<Folder>> Open_;
};

}  // namespace olvane

#endif  // OLVANE_PURGE_FOLDER_WAY_H_
