#include "purge/folder_way.h"

#include <algorithm>

#include "purge/walker.h"

namespace olvane {

Folder* FolderWay::Reach(const FolderNode* Node) {
  std::vector<const FolderNode*> Down;
  for (; Node && Node->Above; Node = Node->Above.get()) Down.push_back(Node);
  std::reverse(Down.begin(), Down.end());
  size_t Same = 0;
  while (Same < Down.size() && Same < Nodes_.size() &&
         Down[Same] == Nodes_[Same]) {
    ++Same;
  }
  Nodes_.resize(Same);
  Open_.resize(Same);
  Folder* Dir = Open_.empty() ? Target_.get() : Open_.back().get();
  for (size_t I = Same; I < Down.size(); ++I) {
    const std::string& Name = Down[I]->Name;
    if (IsProtected(Run_, Name) ||
        (!Run_.Settings.CrossMounts && Dir->IsOtherMount(Name))) {
      return nullptr;
    }
    std::unique_ptr<Folder> Sub = Dir->OpenSubFolder(Name);
    if (!Sub || (Run_.KeepOut && Run_.KeepOut(*Sub))) return nullptr;
    Dir = Sub.get();
    Nodes_.push_back(Down[I]);
    Open_.push_back(std::move(Sub));
  }
  return Dir;
}

}  // namespace olvane
