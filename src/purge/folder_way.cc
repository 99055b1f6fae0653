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
  // From the deepest folder of the common way still open.
  size_t From = Same;
  while (From > 0 && !Open_[From - 1]) --From;
  Folder* Dir = From == 0 ? Target_.get() : Open_[From - 1].get();
  for (size_t I = From; I < Down.size(); ++I) {
    const std::string& Name = Down[I]->Name;
    if (IsProtected(Run_, Name) ||
        (!Run_.Settings.CrossMounts && Dir->IsOtherMount(Name))) {
      return nullptr;
    }
    std::unique_ptr<Folder> Sub = Dir->OpenSubFolder(Name);
    if (!Sub || (Run_.KeepOut && Run_.KeepOut(*Sub))) return nullptr;
    Dir = Sub.get();
    if (I == Open_.size()) {
      Nodes_.push_back(Down[I]);
      Open_.emplace_back();
    }
    Open_[I] = std::move(Sub);
    CloseShallowest();
  }
  return Dir;
}

// Within half the folders a walk may hold open: a tree deeper than that
// is opened again from a shallower folder when the way turns back.
void FolderWay::CloseShallowest() {
  const size_t Most = std::max<size_t>(2, Run_.Sys.FolderBudget() / 2);
  size_t Held = 0;
  for (const std::unique_ptr<Folder>& Dir : Open_) Held += Dir != nullptr;
  for (size_t I = 0; Held > Most && I + 1 < Open_.size(); ++I) {
    if (Open_[I]) {
      Open_[I].reset();
      --Held;
    }
  }
}

}  // namespace olvane
