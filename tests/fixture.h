// What the unit tests share: an in-memory platform, and runs of the whole
// command against it, one table row each.
//
// The platform keeps a tree in a map and lists it in name order, has a clock
// the test sets, files held open by "another process", failures per path, and
// a log of every change made to the tree. It speaks either path syntax, and
// may be used from several threads at once.
#ifndef OLVANE_TESTS_FIXTURE_H_
#define OLVANE_TESTS_FIXTURE_H_

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "app/front_end.h"
#include "lines.h"
#include "platform/path_syntax.h"
#include "platform/platform.h"
#include "purge/file_tests.h"
#include "purge/keep_periods.h"

namespace olvane {

// What an entry does when the walk comes to it: held open by another
// process; opened by another process after the walk opened it; a status that
// cannot be read on the open handle; failures; an open that takes 20 ms, so
// that other workers overtake; gone once listed; gone after its first status
// query (a ranked run's examination). And whether it is a folder (links and
// other kinds are the end-to-end suite's).
constexpr int kHeld = 1, kOpenedLater = 2, kNoStatus = 4, kNoRemove = 8,
              kNoMove = 16, kNoList = 32, kSlow = 64, kFolder = 128,
              kGone = 256, kVanishes = 512;

struct Node {
  int64_t Created = 0;
  int Flags = kFolder;
  int64_t Modified = Created, Accessed = Created;
  uint64_t Id = 0;  // the identity, which a move keeps
  int64_t Size = -1;  // bytes on disk of a file of one name; -1: unknown
};

class FakePlatform : public Platform {
 public:
  using Guard = std::lock_guard<std::recursive_mutex>;

  explicit FakePlatform(bool Windows = false) : Windows_(Windows) {}

  // Adds an entry (by default a folder), and the folders above it that are
  // missing.
  void Add(const std::string& Path, Node Added = {}) {
    const std::string Item = Key(Path);
    const size_t Cut = Item.rfind(Separator());
    if (Cut != std::string::npos && !At(Item.substr(0, Cut)))
      Add(Item.substr(0, Cut));
    Added.Id = Nodes.size();
    Nodes.emplace(Item, Added);
  }
  // Keys are paths without a trailing separator: "" is the POSIX root and
  // "C:" a drive.
  std::string Key(const std::string& Path) const {
    if (!Windows_ && Path == "/") return "";
    return Windows_ && HasWindowsDriveRootForm(Path) ? Path.substr(0, 2) : Path;
  }
  // The entry at Key, unless one of Flags is set on it.
  Node* At(const std::string& Key, int Flags = 0) {
    auto Found = Nodes.find(Key);
    if (Found == Nodes.end() || (Found->second.Flags & Flags)) return nullptr;
    return &Found->second;
  }
  std::vector<std::string> Children(const std::string& Key) {
    std::vector<std::string> Names;
    const std::string Prefix = Key + Separator();
    for (auto I = Nodes.upper_bound(Prefix);
         I != Nodes.end() && I->first.rfind(Prefix, 0) == 0; ++I) {
      const std::string Name = I->first.substr(Prefix.size());
      if (Name.find(Separator()) == std::string::npos) Names.push_back(Name);
    }
    return Names;
  }

  std::recursive_mutex Lock;  // around each use of the tree
  std::map<std::string, Node> Nodes{{"", Node()}};
  // Log: every change, in the words of the report ("Delete file: PATH",
  // "Delete folder: PATH", "Move file: FROM", "Replace file: TO"), in the
  // order made. SystemLog: "EVENTID TEXT" of each entry.
  std::string Output;  // standard output
  std::vector<std::string> Errors, Opened, Log, SystemLog;
  int64_t Clock = 0;
  std::string Cwd;
  bool StartFails = false;
  size_t StopAfterOpens = 0;    // 0: never; else a SIGTERM after that many
  int64_t MillisPerOpen = 0;    // how the monotonic clock runs
  bool LogFull = false;         // every write to a log fails
  std::string Share = "-";      // the folder below which a network share lies
  std::string LockedElsewhere;  // a rules file another run holds
  std::map<std::string, std::string> Files;  // what ReadFile reads, by path
  // Listings made on other threads than the run's own: those made ahead.
  const std::thread::id Runner = std::this_thread::get_id();
  size_t ListedAhead = 0;
  int64_t Free = -1;  // the space available; -1: it cannot be measured
  size_t Slowed = 0, MostSlowed = 0;  // slow opens under way, at most

  char Separator() const override { return Windows_ ? '\\' : '/'; }
  bool IsSeparator(char C) const override {
    return C == '/' || (Windows_ && C == '\\');
  }
  bool IsFullPath(const std::string& Arg) const override {
    return Windows_ ? IsWindowsFullPath(Arg) : IsPosixFullPath(Arg);
  }
  std::string ResolvePath(const std::string& Base,
                          const std::string& Arg) override {
    if (!Windows_) return ResolvePosixPath(Base, Arg);
    // A drive's current folder: the current directory's on its drive.
    const bool OnDrive = Cwd.size() > 1 && Arg.size() > 1 &&
                         std::toupper(Cwd[0]) == std::toupper(Arg[0]);
    return ResolveWindowsPath(Base, Arg, Cwd,
                              OnDrive ? Cwd : Arg.substr(0, 2) + "\\");
  }
  size_t RootLength(const std::string& Path) const override {
    return Windows_ ? WindowsRootLength(Path) : IsPosixFullPath(Path);
  }
  // No table here moves on Windows, where names would compare case-blind.
  std::string NameKey(const std::string& Path) override { return Path; }
  bool SlashHelp() const override { return Windows_; }
  bool NamesInWtf8() const override { return Windows_; }
  // A read-only file refuses the rename over it as a held one does.
  Replaceable CanReplaceFile(const std::string& Path) override {
    Guard Hold(Lock);
    return Find(Path) == PathKind::kFile && At(Key(Path), kHeld | kNoRemove)
               ? Replaceable::kYes
               : Replaceable::kNo;
  }
  DriveRoot QueryDriveRoot(const std::string& Path) override {
    Guard Hold(Lock);
    if (Windows_ ? !HasWindowsDriveRootForm(Path) : Path != "/")
      return DriveRoot::kNotRoot;
    return At(Key(Path)) ? DriveRoot::kPresent : DriveRoot::kAbsent;
  }
  bool MatchName(const std::string& Mask,
                 const std::string& Name) const override {
    return MatchMask(Mask, Name);
  }
  // Roots as written and trimmed: "" and "C:".
  std::string WholeRoot(const std::string& Folder,
                        const std::string& Mask) override {
    const bool Root =
        Windows_ ? Folder.size() == 2 && Folder[1] == ':' : Folder.empty();
    if (!Root || !MaskTakesEveryName(Mask, Windows_)) return "";
    return Windows_ ? Folder + "\\" : "/";
  }
  bool SpaceOf(const std::string&, DiskSpace* Space) override {
    *Space = {Free, int64_t{1} << 40};
    return Free >= 0;
  }
  FileSystemKind FileSystemOf(const std::string& Path) override {
    return Path.rfind(Share, 0) == 0 ? FileSystemKind::kNetwork
                                     : FileSystemKind::kLocal;
  }
  std::vector<std::string> Arguments(int, char**) override { return {}; }
  // Taken by another run where a test says so.
  ConfigLock LockConfiguration(const std::string& Path) override {
    if (Find(Path) == PathKind::kNothing) return ConfigLock::kFailed;
    return Path == LockedElsewhere ? ConfigLock::kBusy : ConfigLock::kTaken;
  }
  bool Start() override { return !StartFails; }
  int SignalStatus() override {
    Guard Hold(Lock);
    return StopAfterOpens && Opened.size() >= StopAfterOpens ? 143 : 0;
  }
  // Never reached here: the end-to-end suite walks deeper trees.
  size_t FolderBudget() override { return 1 << 16; }
  std::string CurrentDirectory() override { return Cwd; }
  int64_t Now() override { return Clock; }
  // Milliseconds pass only as files are opened, MillisPerOpen each.
  int64_t Monotonic() override {
    Guard Hold(Lock);
    return static_cast<int64_t>(Opened.size()) * MillisPerOpen;
  }
  int32_t UtcOffset(int64_t) override { return 3600; }
  // A log or status file is what Files holds under its path; one in a
  // folder not there cannot be had.
  LogOpened OpenLog(const std::string& Path, int64_t, int,
                    std::unique_ptr<LogFile>* Log) override;
  bool ReplaceContent(const std::string& Path,
                      const std::string& Text) override {
    Guard Hold(Lock);
    if (Find(Path.substr(0, Path.rfind(Separator()))) != PathKind::kFolder)
      return false;
    Files[Path] = Text;
    return true;
  }
  // Local time: a fixed zone an hour east of UTC, with no daylight time.
  bool FromLocalTime(const CivilTime& Local, int64_t* Utc) override {
    *Utc = DaysFromCivil(Local.Year, Local.Month, Local.Day) * 86400 +
           Local.Hour * 3600 + Local.Minute * 60 + Local.Second - 3600;
    return true;
  }
  bool ToLocalTime(int64_t Utc, CivilTime* Local) override {
    const int64_t Seconds = Utc + 3600;
    const int64_t Days = Seconds / 86400 - (Seconds % 86400 < 0 ? 1 : 0);
    const int64_t Rest = Seconds - Days * 86400;
    *Local = CivilFromDays(Days);
    Local->Hour = static_cast<int>(Rest / 3600);
    Local->Minute = static_cast<int>(Rest / 60 % 60);
    Local->Second = static_cast<int>(Rest % 60);
    return true;
  }
  void Print(const std::string& Line) override { PrintLines(Line + "\n"); }
  void PrintLines(const std::string& Lines) override {
    Guard Hold(Lock);
    Output += Lines;
  }
  void PrintError(const std::string& Line) override { Errors.push_back(Line); }
  bool ErrorIsTerminal() override { return false; }
  int TerminalColumns() override { return 80; }
  void ShowProgress(const std::string&) override {}
  bool OutputLost() override { return false; }
  bool WriteSystemLog(LogLevel, int Id, const std::string& Text) override {
    Guard Hold(Lock);
    SystemLog.push_back(std::to_string(Id) + " " + Text);
    return true;
  }
  PathKind Find(const std::string& Path) override {
    Guard Hold(Lock);
    const Node* Found =
        Path.empty() || IsSeparator(Path.back()) ? nullptr : At(Key(Path));
    if (!Found) return PathKind::kNothing;
    return Found->Flags & kFolder ? PathKind::kFolder : PathKind::kFile;
  }
  PathKind Status(const std::string& Path) override {
    // Like stat(), the status query looks through trailing separators.
    std::string Bare = Path;
    while (Bare.size() > 1 && IsSeparator(Bare.back())) Bare.pop_back();
    Guard Hold(Lock);
    if (At(Key(Bare)) && !At(Key(Bare), kNoStatus)) return PathKind::kNothing;
    return Find(Bare);
  }
  std::unique_ptr<Folder> OpenFolder(const std::string& Path) override;
  bool IdentityOf(const std::string& Path, FileIdentity* Id) override {
    Guard Hold(Lock);
    const Node* Found = At(Key(Path));
    if (Found) *Id = {1, Found->Id};
    return Found;
  }
  void RemoveStaleCopies(const std::string&) override {}
  bool ReadFile(const std::string& Path, std::string* Bytes,
                size_t Most) override {
    Guard Hold(Lock);
    const auto Found = Files.find(Path);
    if (Found == Files.end() || Found->second.size() > Most) return false;
    *Bytes = Found->second;
    return true;
  }
  bool Times(const std::string& Key, int Unless, FileTimes* Out) {
    Guard Hold(Lock);
    const Node* Found = At(Key, Unless);
    if (Found) {
      *Out = {Found->Created, Found->Modified, Found->Accessed};
      Out->Id = {1, Found->Id};
      Out->Kind =
          Found->Flags & kFolder ? EntryKind::kFolder : EntryKind::kFile;
      if (Found->Size >= 0) {
        Out->Allocated = Found->Size;
        Out->Links = 1;
      }
    }
    return Found;
  }

 private:
  bool Windows_;
};

// A snapshot of a folder's entries.
class FakeListing : public Listing {
 public:
  FakeListing(std::vector<Entry> Items, bool Failed)
      : Items_(std::move(Items)), Failed_(Failed) {}
  bool Next(Entry* Item) override {
    if (Index_ == Items_.size()) return false;
    *Item = Items_[Index_++];
    return true;
  }
  bool Failed() const override { return Failed_; }

 private:
  std::vector<Entry> Items_;
  bool Failed_;
  size_t Index_ = 0;
};

// What the walk opened, a folder or a file. The status on the open handle
// is the same call for both. A folder is never suspended, as the budget is
// never reached.
class FakeOpen : public Folder, public ExclusiveFile {
 public:
  FakeOpen(FakePlatform& Sys, std::string Key) : Sys_(Sys), Key_(Key) {}
  bool Times(FileTimes* Out) override {
    return Sys_.Times(Key_, kNoStatus, Out);
  }

  // The entries whose names match Mask.
  std::unique_ptr<Listing> List(const std::string& Mask) override {
    FakePlatform::Guard Hold(Sys_.Lock);
    Sys_.ListedAhead += std::this_thread::get_id() != Sys_.Runner;
    std::vector<Entry> Items;
    for (const std::string& Name :
         Has(kNoList) ? Sys_.Children(Key_) : Lines{}) {
      const bool Folder = Sys_.At(Path(Name))->Flags & kFolder;
      if (MatchMask(Mask, Name))
        Items.push_back(
            {Name, Folder ? EntryKind::kFolder : EntryKind::kFile, false, {}});
    }
    return std::make_unique<FakeListing>(Items, !Has(kNoList));
  }
  void Suspend() override { ADD_FAILURE() << "suspended: " << Key_; }
  bool Resume(Folder& /*Child*/) override { return false; }
  bool EntryTimes(const Entry& Item, FileTimes* Out) override {
    FakePlatform::Guard Hold(Sys_.Lock);
    if (!Sys_.Times(Path(Item.Name), kGone, Out)) return false;
    if (Sys_.At(Path(Item.Name))->Flags & kVanishes)
      Sys_.Nodes.erase(Path(Item.Name));
    return true;
  }
  // The walk opens only what the listing gave as a folder.
  std::unique_ptr<Folder> OpenSubFolder(const std::string& Name) override {
    return std::make_unique<FakeOpen>(Sys_, Path(Name));
  }
  bool IsOtherMount(const std::string&) override { return false; }
  std::unique_ptr<ExclusiveFile> OpenExclusive(const Entry& Item) override {
    bool Slow = false;
    {
      FakePlatform::Guard Hold(Sys_.Lock);
      const auto* Found = Sys_.At(Path(Item.Name), kHeld);
      if (!Found) return nullptr;
      Sys_.Opened.push_back(Path(Item.Name));
      Slow = Found->Flags & kSlow;
    }
    // Outside the lock, so that other workers overtake this one.
    if (Slow) {
      {
        FakePlatform::Guard Hold(Sys_.Lock);
        Sys_.MostSlowed = std::max(Sys_.MostSlowed, ++Sys_.Slowed);
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
      FakePlatform::Guard Hold(Sys_.Lock);
      --Sys_.Slowed;
    }
    return std::make_unique<FakeOpen>(Sys_, Path(Item.Name));
  }
  bool RemoveSubFolder(const std::string& Name) override {
    FakePlatform::Guard Hold(Sys_.Lock);
    if (!Sys_.Children(Path(Name)).empty()) return false;
    Sys_.Nodes.erase(Path(Name));
    Sys_.Log.push_back("Delete folder: " + Path(Name));
    return true;
  }
  bool IsSameFile(const Entry& Item, const std::string& Other) override {
    return Sys_.Key(Other) == Path(Item.Name);
  }
  bool Identity(FileIdentity* Id) override { return Sys_.IdentityOf(Key_, Id); }

  bool IsStillFree() override { return Has(kOpenedLater); }
  bool Remove() override {
    FakePlatform::Guard Hold(Sys_.Lock);
    if (!Sys_.At(Key_, kNoRemove)) return false;
    Sys_.Nodes.erase(Key_);
    Sys_.Log.push_back("Delete file: " + Key_);
    return true;
  }
  bool Removable() override { return Has(kNoRemove); }
  bool CanMoveTo(const std::string&) override { return Has(kNoMove); }
  // A replaced file is logged as such; a held one stays, and so does the
  // source.
  MoveResult MoveTo(const std::string& Destination, bool Replace) override {
    FakePlatform::Guard Hold(Sys_.Lock);
    const std::string To = Sys_.Key(Destination);
    const Node* From = Sys_.At(Key_, kNoMove);
    const Node* There = Sys_.At(To);
    if (There && Replace && (There->Flags & (kHeld | kNoRemove)))
      return MoveResult::kDestinationHeld;
    if (!From || (There && (!Replace || (There->Flags & kFolder))) ||
        Sys_.Find(To.substr(0, To.rfind(Sys_.Separator()))) !=
            PathKind::kFolder)
      return MoveResult::kFailed;
    if (There) Sys_.Log.push_back("Replace file: " + To);
    Sys_.Nodes[To] = *From;
    Sys_.Nodes.erase(Key_);
    Sys_.Log.push_back("Move file: " + Key_);
    return MoveResult::kMoved;
  }
  bool Close() override { return true; }

 private:
  std::string Path(const std::string& Name) const {
    return Key_ + Sys_.Separator() + Name;
  }
  // Whether the entry is there, unless one of Flags is set on it.
  bool Has(int Unless) {
    FakePlatform::Guard Hold(Sys_.Lock);
    return Sys_.At(Key_, Unless);
  }
  FakePlatform& Sys_;
  const std::string Key_;
};

class FakeLog : public LogFile {
 public:
  FakeLog(FakePlatform& Sys, std::string Path) : Sys_(Sys), Path_(Path) {}
  bool Append(const std::string& Text) override {
    FakePlatform::Guard Hold(Sys_.Lock);
    if (!Sys_.LogFull) Sys_.Files[Path_] += Text;
    return !Sys_.LogFull;
  }

 private:
  FakePlatform& Sys_;
  const std::string Path_;
};

inline LogOpened FakePlatform::OpenLog(const std::string& Path, int64_t, int,
                                       std::unique_ptr<LogFile>* Log) {
  if (Find(Path.substr(0, Path.rfind(Separator()))) != PathKind::kFolder)
    return LogOpened::kFailed;
  *Log = std::make_unique<FakeLog>(*this, Path);
  return LogOpened::kOpened;
}

inline std::unique_ptr<Folder> FakePlatform::OpenFolder(
    const std::string& Path) {
  Guard Hold(Lock);
  const Node* Found = At(Key(Path));
  // Where there are drives, "" is no folder.
  if ((Path.empty() && Windows_) || !Found || !(Found->Flags & kFolder))
    return nullptr;
  return std::make_unique<FakeOpen>(*this, Key(Path));
}

constexpr int64_t kNow = 1800000000, kDay = kSecondsPerDay;

// An entry of a test's tree: a path alone is a file 100 days old. Its last
// write and access are as old, unless given. Ages in days.
struct Item {
  Item(const char* Path, int64_t Age = 100, int Flags = 0, int64_t Write = -1,
       int64_t Access = -1)
      : Path(Path),
        Entry{kNow - Age * kDay, Flags, kNow - (Write < 0 ? Age : Write) * kDay,
              kNow - (Access < 0 ? Age : Access) * kDay, 0} {}
  std::string Path;
  Node Entry;
};

struct Case {
  std::vector<Item> Tree = {};
  Arguments Args = {};
  Output Out = {};     // a usage screen as the one line "USAGE"
  Lines Changes = {};  // in the log beyond the deletions and moves shown
  int Status = kExitOk;
  bool Predict = false;     // run with "-n" too, which predicts Out
  std::string Share = "-";  // the folder below which a network share lies
};

// A platform with the clock set and the working folder in place.
inline void Prepare(FakePlatform& Sys, const std::vector<Item>& Tree) {
  Sys.Clock = kNow;
  Sys.Cwd = Sys.Separator() == '/' ? "/work" : "C:\\Work";
  Sys.Add(Sys.Cwd);
  for (const Item& I : Tree) Sys.Add(I.Path, I.Entry);
}

// Every change in the log is one the output reports, or one of Changes; and
// every deletion reported was made.
inline void CheckLog(const FakePlatform& Sys, Lines Changes) {
  for (const std::string& Line : Words(Sys.Output, '\n')) {
    if (Line.rfind("Delete ", 0) == 0 || Line.rfind("Move file: ", 0) == 0)
      Changes.push_back(Line);
  }
  EXPECT_EQ(Sorted(Sys.Log), Sorted(Changes));
}

// Runs each case on a tree of its own, with one worker and with three: the
// output is the same. A report-only run changes nothing.
inline void Check(const std::vector<Case>& Cases, bool Windows = false) {
  std::string Usage;
  TextRenderer().Render(Event{EventKind::kUsage}, &Usage);
  for (const Case& C : Cases) {
    for (int Run = 0; Run < (C.Predict ? 4 : 2); ++Run) {
      const bool Dry = Run > 1;
      FakePlatform Sys(Windows);
      Prepare(Sys, C.Tree);
      Sys.Share = C.Share;
      Lines Args = C.Args;
      if (Dry) Args.push_back("-n");
      SCOPED_TRACE(testing::PrintToString(Args) + " with " +
                   std::to_string(Run % 2 * 2 + 1) + " workers");
      EXPECT_EQ(RunCommand(Sys, Args, Run % 2 * 2 + 1), C.Status);
      std::string Expected;
      for (const std::string& Line : Dry ? Predicted(C.Out) : Lines(C.Out))
        Expected += Line == "USAGE" ? Usage : Line + "\n";
      EXPECT_EQ(Sys.Output, Expected);
      CheckLog(Sys, Dry ? Lines{} : C.Changes);
      // On a share the walk lists its subfolders ahead, and only there.
      EXPECT_EQ(Sys.ListedAhead != 0, C.Share != "-");
      // No file is opened twice.
      std::sort(Sys.Opened.begin(), Sys.Opened.end());
      EXPECT_EQ(std::adjacent_find(Sys.Opened.begin(), Sys.Opened.end()),
                Sys.Opened.end());
    }
  }
}

}  // namespace olvane

#endif  // OLVANE_TESTS_FIXTURE_H_
