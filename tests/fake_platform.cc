#include "fake_platform.h"

#include <algorithm>

#include "platform/path_syntax.h"

namespace olvane {
namespace {

using Op = FakePlatform::Op;

class FakeFile : public ExclusiveFile {
 public:
  FakeFile(FakePlatform& Sys, std::string Key) : Sys_(Sys), Key_(Key) {
    ++Sys_.OpenFiles;
  }
  ~FakeFile() override { Sys_.OpenFiles -= Open_; }
  bool CreationTime(int64_t* Seconds) override {
    const FakePlatform::Node* Item = Sys_.Lookup(Key_);
    if (!Item || Sys_.Fails(Op::kStatus, Key_)) return false;
    *Seconds = Item->Created;
    return true;
  }
  bool Close() override {
    Sys_.OpenFiles -= Open_;
    Open_ = false;
    return !Sys_.Fails(Op::kClose, Key_);
  }

 private:
  FakePlatform& Sys_;
  std::string Key_;
  bool Open_ = true;
};

class FakeListing : public Listing {
 public:
  FakeListing(FakePlatform& Sys, std::string Key, std::string Mask)
      : Sys_(Sys), Key_(Key), Mask_(Mask) {
    FakePlatform::Node* Self = Sys_.Lookup(Key_);
    if (Self && !Sys_.Fails(Op::kList, Key_)) Names_ = Self->Children;
  }
  bool Next(Entry* Item) override {
    while (Index_ < Names_.size()) {
      const std::string& Name = Names_[Index_++];
      const FakePlatform::Node* Found = Sys_.Lookup(Sys_.Join(Key_, Name));
      if (!Found || !MatchMask(Mask_, Name)) continue;  // gone since
      *Item = Entry{Name, Found->Kind};
      return true;
    }
    return false;
  }

 private:
  FakePlatform& Sys_;
  std::string Key_, Mask_;
  std::vector<std::string> Names_;  // a snapshot, as removals go on
  size_t Index_ = 0;
};

class FakeFolder : public Folder {
 public:
  FakeFolder(FakePlatform& Sys, std::string Key) : Sys_(Sys), Key_(Key) {}

  std::unique_ptr<Listing> List(const std::string& Mask) override {
    return std::make_unique<FakeListing>(Sys_, Key_, Mask);
  }
  std::unique_ptr<Folder> OpenSubFolder(const std::string& Name) override {
    const FakePlatform::Node* Found = Sys_.Lookup(Sys_.Join(Key_, Name));
    if (!Found || Found->Kind != EntryKind::kFolder) return nullptr;
    return std::make_unique<FakeFolder>(Sys_, Sys_.Join(Key_, Name));
  }
  std::unique_ptr<ExclusiveFile> OpenExclusive(const Entry& Item) override {
    const std::string Key = Sys_.Join(Key_, Item.Name);
    FakePlatform::Node* Found = Sys_.Lookup(Key);
    if (!Found || Found->Kind == EntryKind::kFolder ||
        Sys_.Fails(Op::kOpen, Key)) {
      return nullptr;
    }
    if (Found->Kind != EntryKind::kFileLink) {  // a link is never held open
      if (Found->OpensUntilHeld == 0) return nullptr;
      if (Found->OpensUntilHeld > 0) --Found->OpensUntilHeld;
    }
    Sys_.Opened.push_back(Key);
    return std::make_unique<FakeFile>(Sys_, Key);
  }
  bool Remove(const Entry& Item) override {
    return Sys_.RemoveFile(Sys_.Join(Key_, Item.Name));
  }
  MoveResult MoveOut(const Entry& Item,
                     const std::string& Destination) override {
    const std::string From = Sys_.Join(Key_, Item.Name);
    const std::string To = Sys_.Key(Destination);
    const FakePlatform::Node* Source = Sys_.Lookup(From);
    if (!Source || Sys_.Fails(Op::kMove, From) || Sys_.Lookup(To) ||
        Sys_.Find(To.substr(0, To.rfind(Sys_.Separator()))) !=
            PathKind::kFolder) {
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

}  // namespace

FakePlatform::FakePlatform(Style Syntax) : Syntax_(Syntax) {
  if (!Windows()) Nodes_[""] = Node();  // the root "/"
}

bool FakePlatform::IsFullPath(const std::string& Arg) const {
  return Windows() ? IsWindowsFullPath(Arg) : IsPosixFullPath(Arg);
}

DriveRoot FakePlatform::QueryDriveRoot(const std::string& Path) {
  if (!Windows())
    return Path == "/" ? DriveRoot::kPresent : DriveRoot::kNotRoot;
  if (!HasWindowsDriveRootForm(Path)) return DriveRoot::kNotRoot;
  return Lookup(Key(Path)) ? DriveRoot::kPresent : DriveRoot::kAbsent;
}

// Keys name entries without a trailing separator: "" is the POSIX root and
// "C:" a drive.
std::string FakePlatform::Key(const std::string& Path) const {
  if (!Windows() && Path == "/") return "";
  if (Windows() && HasWindowsDriveRootForm(Path)) return Path.substr(0, 2);
  return Path;
}

std::pair<std::string, std::string> FakePlatform::Split(
    const std::string& Key) const {
  const size_t Cut = Key.rfind(Separator());
  return {Key.substr(0, Cut), Key.substr(Cut + 1)};
}

FakePlatform::Node* FakePlatform::Lookup(const std::string& Key) {
  auto Found = Nodes_.find(Key);
  return Found == Nodes_.end() ? nullptr : &Found->second;
}

void FakePlatform::Insert(const std::string& Key, Node Item) {
  if (Nodes_.count(Key)) return;
  if (Key.find(Separator()) != std::string::npos) {  // else a drive
    auto [Parent, Name] = Split(Key);
    Insert(Parent, Node());
    Nodes_[Parent].Children.push_back(Name);
  }
  Nodes_[Key] = Item;
}

void FakePlatform::Erase(const std::string& Key) {
  Nodes_.erase(Key);
  auto [Parent, Name] = Split(Key);
  std::vector<std::string>& Names = Nodes_[Parent].Children;
  Names.erase(std::find(Names.begin(), Names.end(), Name));
}

void FakePlatform::Add(const std::string& Path, int64_t Created,
                       EntryKind Kind) {
  Node Item;
  Item.Kind = Kind;
  Item.Created = Created;
  Insert(Key(Path), Item);
}

PathKind FakePlatform::Find(const std::string& Path) {
  const Node* Found =
      Path.empty() || IsSeparator(Path.back()) ? nullptr : Lookup(Key(Path));
  if (!Found) return PathKind::kNothing;
  const bool Folder = Found->Kind == EntryKind::kFolder ||
                      Found->Kind == EntryKind::kFolderLink;
  return Folder ? PathKind::kFolder : PathKind::kFile;
}

PathKind FakePlatform::Status(const std::string& Path) {
  // Like stat(), the status query looks through trailing separators.
  std::string Bare = Path;
  while (Bare.size() > 1 && IsSeparator(Bare.back())) Bare.pop_back();
  return Fails(Op::kStatus, Key(Bare)) ? PathKind::kNothing : Find(Bare);
}

std::unique_ptr<Folder> FakePlatform::OpenFolder(const std::string& Path) {
  if (Path.empty() && Windows()) return nullptr;
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

}  // namespace olvane
