#include "fake_platform.h"

#include <algorithm>
#include <chrono>
#include <thread>

#include "platform/path_syntax.h"

namespace olvane {
namespace {

using Op = FakePlatform::Op;
using Guard = std::lock_guard<std::recursive_mutex>;

class FakeFile : public ExclusiveFile {
 public:
  FakeFile(FakePlatform& Sys, std::string Key) : Sys_(Sys), Key_(Key) {}
  bool CreationTime(int64_t* Seconds) override {
    Guard Hold(Sys_.Lock);
    const FakePlatform::Node* Item = Sys_.Lookup(Key_);
    if (!Item || Sys_.Fails(Op::kStatus, Key_)) return false;
    *Seconds = Item->Created;
    return true;
  }
  bool IsStillExclusive() override {
    Guard Hold(Sys_.Lock);
    return !Sys_.Lookup(Key_)->OpenedLater;
  }
  bool Remove() override { return Sys_.RemoveFile(Key_); }
  MoveResult MoveTo(const std::string& Destination) override {
    Guard Hold(Sys_.Lock);
    const std::string To = Sys_.Key(Destination);
    const FakePlatform::Node* Source = Sys_.Lookup(Key_);
    if (!Source || Sys_.Fails(Op::kMove, Key_) || Sys_.Lookup(To) ||
        Sys_.Find(To.substr(0, To.rfind(Sys_.Separator()))) !=
            PathKind::kFolder) {
      return MoveResult::kFailed;
    }
    FakePlatform::Node Moving = *Source;
    Sys_.Erase(Key_);
    Sys_.Insert(To, Moving);
    Sys_.Moved.emplace_back(Key_, To);
    return MoveResult::kMoved;
  }
  bool Close() override { return true; }

 private:
  FakePlatform& Sys_;
  std::string Key_;
};

class FakeListing : public Listing {
 public:
  FakeListing(FakePlatform& Sys, std::string Key, std::string Mask)
      : Sys_(Sys), Key_(Key), Mask_(Mask) {
    Guard Hold(Sys_.Lock);
    FakePlatform::Node* Self = Sys_.Lookup(Key_);
    if (Self && !Sys_.Fails(Op::kList, Key_)) Names_ = Self->Children;
  }
  bool Next(Entry* Item) override {
    Guard Hold(Sys_.Lock);
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
    Guard Hold(Sys_.Lock);
    const FakePlatform::Node* Found = Sys_.Lookup(Sys_.Join(Key_, Name));
    if (!Found || Found->Kind != EntryKind::kFolder) return nullptr;
    return std::make_unique<FakeFolder>(Sys_, Sys_.Join(Key_, Name));
  }
  std::unique_ptr<ExclusiveFile> OpenExclusive(const Entry& Item) override {
    const std::string Key = Sys_.Join(Key_, Item.Name);
    int Delay = 0;
    {
      Guard Hold(Sys_.Lock);
      FakePlatform::Node* Found = Sys_.Lookup(Key);
      if (!Found || Found->Kind == EntryKind::kFolder ||
          Sys_.Fails(Op::kOpen, Key) ||
          (Found->Held && Found->Kind != EntryKind::kFileLink)) {
        return nullptr;
      }
      Sys_.Opened.push_back(Key);
      Delay = Found->DelayMs;
    }
    // Outside the lock, so that other workers overtake this one.
    std::this_thread::sleep_for(std::chrono::milliseconds(Delay));
    return std::make_unique<FakeFile>(Sys_, Key);
  }
  bool CreationTime(int64_t* Seconds) override {
    Guard Hold(Sys_.Lock);
    *Seconds = Sys_.Lookup(Key_)->Created;
    return true;
  }
  bool RemoveSubFolder(const std::string& Name) override {
    Guard Hold(Sys_.Lock);
    const std::string Key = Sys_.Join(Key_, Name);
    const FakePlatform::Node* Found = Sys_.Lookup(Key);
    if (!Found || Found->Kind != EntryKind::kFolder ||
        !Found->Children.empty() || Sys_.Fails(Op::kRemoveFolder, Key)) {
      return false;
    }
    Sys_.Erase(Key);
    Sys_.Removed.push_back(Key);
    return true;
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
  Guard Hold(Lock);
  if (!Windows())
    return Path == "/" ? DriveRoot::kPresent : DriveRoot::kNotRoot;
  if (!HasWindowsDriveRootForm(Path)) return DriveRoot::kNotRoot;
  return Lookup(Key(Path)) ? DriveRoot::kPresent : DriveRoot::kAbsent;
}

int FakePlatform::StopStatus() {
  Guard Hold(Lock);
  return StopAfterOpens && Opened.size() >= StopAfterOpens ? 143 : 0;
}

void FakePlatform::PrintLines(const std::string& Lines) {
  Guard Hold(Lock);
  for (size_t Start = 0, End; Start < Lines.size(); Start = End + 1) {
    End = Lines.find('\n', Start);
    Output.push_back(Lines.substr(Start, End - Start));
  }
}

// Keys name entries without a trailing separator: "" is the POSIX root and
// "C:" a drive.
std::string FakePlatform::Key(const std::string& Path) const {
  if (!Windows() && Path == "/") return "";
  if (Windows() && HasWindowsDriveRootForm(Path)) return Path.substr(0, 2);
  return Path;
}

FakePlatform::Node* FakePlatform::Lookup(const std::string& Key) {
  auto Found = Nodes_.find(Key);
  return Found == Nodes_.end() ? nullptr : &Found->second;
}

void FakePlatform::Insert(const std::string& Key, Node Item) {
  if (Nodes_.count(Key)) return;
  const size_t Cut = Key.rfind(Separator());
  if (Cut != std::string::npos) {  // else a drive
    Insert(Key.substr(0, Cut), Node());
    Nodes_[Key.substr(0, Cut)].Children.push_back(Key.substr(Cut + 1));
  }
  Nodes_[Key] = Item;
}

void FakePlatform::Erase(const std::string& Key) {
  Nodes_.erase(Key);
  const size_t Cut = Key.rfind(Separator());
  std::vector<std::string>& Names = Nodes_[Key.substr(0, Cut)].Children;
  Names.erase(std::find(Names.begin(), Names.end(), Key.substr(Cut + 1)));
}

void FakePlatform::Add(const std::string& Path, int64_t Created,
                       EntryKind Kind) {
  Node Item;
  Item.Kind = Kind;
  Item.Created = Created;
  Insert(Key(Path), Item);
}

PathKind FakePlatform::Find(const std::string& Path) {
  Guard Hold(Lock);
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
  Guard Hold(Lock);
  if (Path.empty() && Windows()) return nullptr;
  const Node* Found = Lookup(Key(Path));
  if (!Found || Found->Kind != EntryKind::kFolder) return nullptr;
  return std::make_unique<FakeFolder>(*this, Key(Path));
}

bool FakePlatform::RemoveFile(const std::string& Path) {
  Guard Hold(Lock);
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
