#include "fake_platform.h"

#include <algorithm>

#include "platform/path_syntax.h"

namespace olvane {

class FakeFile : public ExclusiveFile {
 public:
  FakeFile(FakePlatform& Sys, std::string Key) : Sys_(Sys), Key_(Key) {
    ++Sys_.OpenFiles;
  }
  ~FakeFile() override {
    if (Open_) --Sys_.OpenFiles;
  }
  bool CreationTime(int64_t* Seconds) override {
    const FakePlatform::Node* Item = Sys_.Lookup(Key_);
    if (!Item || Sys_.Fails(FakePlatform::Op::kStatus, Key_)) return false;
    *Seconds = Item->Created;
    return true;
  }
  bool Close() override {
    if (Open_) --Sys_.OpenFiles;
    Open_ = false;
    return !Sys_.Fails(FakePlatform::Op::kClose, Key_);
  }

 private:
  FakePlatform& Sys_;
  std::string Key_;
  bool Open_ = true;
};

class FakeListing : public Listing {
 public:
  FakeListing(const FakePlatform& Sys, std::string Key,
              std::vector<std::string> Names, std::string Mask)
      : Sys_(Sys), Key_(Key), Names_(Names), Mask_(Mask) {}
  bool Next(Entry* Item) override {
    while (Index_ < Names_.size()) {
      const std::string& Name = Names_[Index_++];
      const FakePlatform::Node* Found = Sys_.Lookup(Sys_.Join(Key_, Name));
      if (!Found || !MatchMask(Mask_, Name)) continue;
      *Item = Entry{Name, Found->Kind};
      return true;
    }
    return false;
  }

 private:
  const FakePlatform& Sys_;
  std::string Key_;
  std::vector<std::string> Names_;  // a snapshot: removals do not disturb it
  std::string Mask_;
  size_t Index_ = 0;
};

class FakeFolder : public Folder {
 public:
  FakeFolder(FakePlatform& Sys, std::string Key) : Sys_(Sys), Key_(Key) {}

  std::unique_ptr<Listing> List(const std::string& Mask) override {
    const FakePlatform::Node* Self = Sys_.Lookup(Key_);
    std::vector<std::string> Names;
    if (Self && !Sys_.Fails(FakePlatform::Op::kList, Key_)) {
      Names = Self->Children;
    }
    return std::make_unique<FakeListing>(Sys_, Key_, Names, Mask);
  }
  std::unique_ptr<Folder> OpenSubFolder(const std::string& Name) override {
    const std::string Child = Sys_.Join(Key_, Name);
    const FakePlatform::Node* Found = Sys_.Lookup(Child);
    if (!Found || Found->Kind != EntryKind::kFolder) return nullptr;
    return std::make_unique<FakeFolder>(Sys_, Child);
  }
  std::unique_ptr<ExclusiveFile> OpenExclusive(const Entry& Item) override {
    return Sys_.OpenExclusive(Sys_.Join(Key_, Item.Name));
  }
  bool Remove(const Entry& Item) override {
    return Sys_.RemoveFile(Sys_.Join(Key_, Item.Name));
  }
  MoveResult MoveOut(const Entry& Item,
                     const std::string& Destination) override {
    const std::string From = Sys_.Join(Key_, Item.Name);
    const std::string To = Sys_.Key(Destination);
    const FakePlatform::Node* Source = Sys_.Lookup(From);
    const FakePlatform::Node* ToParent = Sys_.Lookup(Sys_.Parent(To));
    if (!Source || Sys_.Fails(FakePlatform::Op::kMove, From) ||
        Sys_.Lookup(To) || !ToParent || ToParent->Kind != EntryKind::kFolder) {
      return MoveResult::kFailed;
    }
    FakePlatform::Node Moving = *Source;
    Sys_.Erase(From);
    Sys_.Insert(To, Moving);
    Sys_.Moved.emplace_back(From, To);
    return MoveResult::kMoved;
  }
  bool IsSameFile(const Entry& Item, const std::string& Path) override {
    return Sys_.Key(Path) == Sys_.Join(Key_, Item.Name);
  }

 private:
  FakePlatform& Sys_;
  std::string Key_;
};

FakePlatform::FakePlatform(Style Syntax) : Syntax_(Syntax) {
  if (Syntax_ == Style::kPosix) Nodes_[""] = Node(EntryKind::kFolder);
}

char FakePlatform::Separator() const {
  return Syntax_ == Style::kPosix ? '/' : '\\';
}

bool FakePlatform::IsSeparator(char C) const {
  return C == '/' || (Syntax_ == Style::kWindows && C == '\\');
}

bool FakePlatform::IsFullPath(const std::string& Arg) const {
  return Syntax_ == Style::kPosix ? IsPosixFullPath(Arg)
                                  : IsWindowsFullPath(Arg);
}

DriveRoot FakePlatform::QueryDriveRoot(const std::string& Path) {
  if (Syntax_ == Style::kPosix) {
    return Path == "/" ? DriveRoot::kPresent : DriveRoot::kNotRoot;
  }
  if (!HasWindowsDriveRootForm(Path)) return DriveRoot::kNotRoot;
  return Lookup(Key(Path)) ? DriveRoot::kPresent : DriveRoot::kAbsent;
}

std::string FakePlatform::Key(const std::string& Path) const {
  if (Syntax_ == Style::kPosix && Path == "/") return "";
  if (Syntax_ == Style::kWindows && HasWindowsDriveRootForm(Path)) {
    return Path.substr(0, 2);
  }
  return Path;
}

std::string FakePlatform::Parent(const std::string& Key) const {
  size_t Cut = Key.rfind(Separator());
  return Cut == std::string::npos ? std::string("?") : Key.substr(0, Cut);
}

std::string FakePlatform::Join(const std::string& Key,
                               const std::string& Name) const {
  return Key + Separator() + Name;
}

const FakePlatform::Node* FakePlatform::Lookup(const std::string& Key) const {
  auto Found = Nodes_.find(Key);
  return Found == Nodes_.end() ? nullptr : &Found->second;
}

bool FakePlatform::Fails(Op Operation, const std::string& Key) const {
  return Failures_.count({Operation, Key}) != 0;
}

void FakePlatform::Insert(const std::string& Key, Node Item) {
  if (Nodes_.count(Key)) return;
  // A key without a separator is a drive ("C:").
  if (Key.find(Separator()) != std::string::npos) {
    AddFolder(Parent(Key));
    Nodes_[Parent(Key)].Children.push_back(Key.substr(Key.rfind(Separator()) + 1));
  }
  Nodes_[Key] = Item;
}

void FakePlatform::Erase(const std::string& Key) {
  Nodes_.erase(Key);
  auto Up = Nodes_.find(Parent(Key));
  if (Up == Nodes_.end()) return;
  std::vector<std::string>& Names = Up->second.Children;
  Names.erase(std::find(Names.begin(), Names.end(),
                        Key.substr(Key.rfind(Separator()) + 1)));
}

void FakePlatform::AddFolder(const std::string& Path) {
  Insert(Key(Path), Node(EntryKind::kFolder));
}

void FakePlatform::AddFile(const std::string& Path, int64_t Created) {
  AddEntry(Path, EntryKind::kFile, Created);
}

void FakePlatform::AddEntry(const std::string& Path, EntryKind Kind,
                            int64_t Created) {
  Node Item(Kind);
  Item.Created = Created;
  Insert(Key(Path), Item);
}

void FakePlatform::HoldOpen(const std::string& Path) {
  Nodes_.at(Key(Path)).Held = true;
}

void FakePlatform::HoldAfter(const std::string& Path, int Opens) {
  Nodes_.at(Key(Path)).OpensBeforeHeld = Opens;
}

void FakePlatform::Fail(Op Operation, const std::string& Path) {
  Failures_.insert({Operation, Key(Path)});
}

bool FakePlatform::Has(const std::string& Path) const {
  return Lookup(Key(Path)) != nullptr;
}

PathKind FakePlatform::Find(const std::string& Path) {
  const Node* Found = Path.empty() || IsSeparator(Path.back())
                          ? nullptr
                          : Lookup(Key(Path));
  if (!Found) return PathKind::kNothing;
  return Found->Kind == EntryKind::kFolder ||
                 Found->Kind == EntryKind::kFolderLink
             ? PathKind::kFolder
             : PathKind::kFile;
}

PathKind FakePlatform::Status(const std::string& Path) {
  // Like stat(), the status query looks through trailing separators.
  std::string Bare = Path;
  while (Bare.size() > 1 && IsSeparator(Bare.back())) Bare.pop_back();
  if (Fails(Op::kStatus, Key(Bare))) return PathKind::kNothing;
  return Find(Bare);
}

std::unique_ptr<Folder> FakePlatform::OpenFolder(const std::string& Path) {
  if (Path.empty() && Syntax_ == Style::kWindows) return nullptr;
  const Node* Found = Lookup(Key(Path));
  if (!Found || Found->Kind != EntryKind::kFolder) return nullptr;
  return std::make_unique<FakeFolder>(*this, Key(Path));
}

bool FakePlatform::RemoveFile(const std::string& Path) {
  const std::string Name = Key(Path);
  const Node* Found = Lookup(Name);
  if (!Found || Found->Kind == EntryKind::kFolder || Fails(Op::kRemove, Name)) {
    return false;
  }
  Erase(Name);
  Removed.push_back(Name);
  return true;
}

std::unique_ptr<ExclusiveFile> FakePlatform::OpenExclusive(
    const std::string& Key) {
  auto Found = Nodes_.find(Key);
  if (Found == Nodes_.end() || Fails(Op::kOpen, Key)) return nullptr;
  Node& Item = Found->second;
  const bool Link = Item.Kind == EntryKind::kFileLink;
  if (Item.Kind == EntryKind::kFolder || (Item.Held && !Link)) return nullptr;
  if (Item.OpensBeforeHeld > 0 && --Item.OpensBeforeHeld == 0) Item.Held = true;
  Opened.push_back(Key);
  return std::make_unique<FakeFile>(*this, Key);
}

}  // namespace olvane
