#include "purge/folder_way.h"

#include <algorithm>

#include "purge/walker.h"

namespace olvane {

FolderWay::FolderWay(WalkContext& Run, FileQueue& Queue,
                     std::unique_ptr<Folder> Target, const std::string& Path)
    : Run_(Run), Queue_(Queue), Target_(Queue.Open(std::move(Target), Path)) {}

FolderWay::~FolderWay() {
  CloseFrom(0);
  Queue_.Release(*Target_);
}

WalkFolder* FolderWay::Reach(const FolderNode* Node) {
  // The files of a folder come one after another, oldest first.
  if (!Nodes_.empty() && Node == Nodes_.back() && Open_.back()) {
    return Open_.back();
  }
  std::vector<const FolderNode*> Down;
  for (; Node && Node->Above; Node = Node->Above.get()) Down.push_back(Node);
  std::reverse(Down.begin(), Down.end());
  size_t Same = 0;
  while (Same < Down.size() && Same < Nodes_.size() &&
         Down[Same] == Nodes_[Same]) {
    ++Same;
  }
  CloseFrom(Same);
  // From the deepest folder of the common way still open.
  size_t From = Same;
  while (From > 0 && !Open_[From - 1]) --From;
  WalkFolder* Dir = From == 0 ? Target_ : Open_[From - 1];
  std::string Path = Dir->Path;
  Folder* Above = &Dir->Dir();
  for (size_t I = From; I < Down.size(); ++I) {
    const std::string& Name = Down[I]->Name;
    if (IsProtected(Run_, Name) ||
        (!Run_.Settings.CrossMounts && Above->IsOtherMount(Name))) {
      return nullptr;
    }
    // The files in flight hold folders of their own.
    Queue_.WaitForFewerOpen(Run_.Sys.FolderBudget());
    std::unique_ptr<Folder> Sub = Above->OpenSubFolder(Name);
    if (!Sub || (Run_.KeepOut && Run_.KeepOut(*Sub))) return nullptr;
    Path += Run_.Sys.Separator() + Name;
    WalkFolder* Opened = Queue_.Open(std::move(Sub), Path);
    if (I == Open_.size()) {
      Nodes_.push_back(Down[I]);
      Open_.push_back(nullptr);
    }
    if (Open_[I]) Queue_.Release(*Open_[I]);
    Open_[I] = Opened;
    Above = &Opened->Dir();
    Dir = Opened;
    CloseShallowest();
  }
  return Dir;
}

std::string FolderWay::PathOf(const FolderNode* Node) const {
  std::vector<const std::string*> Names;
  for (; Node && Node->Above; Node = Node->Above.get())
    Names.push_back(&Node->Name);
  std::string Path = Target_->Path;
  for (auto Name = Names.rbegin(); Name != Names.rend(); ++Name)
    Path += Run_.Sys.Separator() + **Name;
  return Path;
}

// Lets go of the way from Depth down.
void FolderWay::CloseFrom(size_t Depth) {
  for (size_t I = Depth; I < Open_.size(); ++I) {
    if (Open_[I]) Queue_.Release(*Open_[I]);
  }
  Nodes_.resize(std::min(Depth, Nodes_.size()));
  Open_.resize(std::min(Depth, Open_.size()));
}

// Within half the folders a walk may hold open: a tree deeper than that
// is opened again from a shallower folder when the way turns back.
void FolderWay::CloseShallowest() {
  const size_t Most = std::max<size_t>(2, Run_.Sys.FolderBudget() / 2);
  size_t Held = 0;
  for (WalkFolder* Dir : Open_) Held += Dir != nullptr;
  for (size_t I = 0; Held > Most && I + 1 < Open_.size(); ++I) {
    if (Open_[I]) {
      Queue_.Release(*Open_[I]);
      Open_[I] = nullptr;
      --Held;
    }
  }
}

}  // namespace olvane
