#include "purge/ranked_purge.h"

#include <algorithm>
#include <map>
#include <vector>

#include "purge/file_tests.h"
#include "purge/goals.h"
#include "purge/walker.h"

namespace olvane {
namespace {

// The report of the examinations after the first: what they meet was
// reported once already.
class QuietRenderer : public Renderer {
 public:
  void Render(const Event& /*E*/, std::string* /*Out*/) const override {}
};

// Reaches the folders of the chosen files from the target down, by name and
// never through a link, and only as the walk would have entered them; the
// last way down stays open for the next file.
class FolderWay {
 public:
  FolderWay(WalkContext& Run, std::unique_ptr<Folder> Target)
      : Run_(Run), Target_(std::move(Target)) {}

  // The folder RelDir ("" for the target, else names each after a
  // separator); null when it cannot be reached so.
  Folder* Reach(const std::string& RelDir) {
    std::vector<std::string> Names;
    for (size_t At = 0; At < RelDir.size();) {
      const size_t End = RelDir.find(Run_.Sys.Separator(), At + 1);
      Names.push_back(RelDir.substr(At + 1, End - At - 1));
      At = End == std::string::npos ? RelDir.size() : End;
    }
    size_t Same = 0;
    while (Same < Names.size() && Same < Names_.size() &&
           Names[Same] == Names_[Same]) {
      ++Same;
    }
    Names_.resize(Same);
    Open_.resize(Same);
    Folder* Dir = Open_.empty() ? Target_.get() : Open_.back().get();
    for (size_t I = Same; I < Names.size(); ++I) {
      if (IsProtected(Run_, Names[I]) ||
          (!Run_.Settings.CrossMounts && Dir->IsOtherMount(Names[I]))) {
        return nullptr;
      }
      std::unique_ptr<Folder> Sub = Dir->OpenSubFolder(Names[I]);
      if (!Sub || (Run_.KeepOut && Run_.KeepOut(*Sub))) return nullptr;
      Dir = Sub.get();
      Names_.push_back(Names[I]);
      Open_.push_back(std::move(Sub));
    }
    return Dir;
  }

 private:
  WalkContext& Run_;
  std::unique_ptr<Folder> Target_;
  std::vector<std::string> Names_;  // of the folders open below the target
  std::vector<std::unique_ptr<Folder>> Open_;
};

// A folder's times when the run first saw it, and how many of its files
// the run acted on: for -e once the files are done.
struct FolderNote {
  bool Timed = false;
  FileTimes Times;
  int Acted = 0;
};

class RankedRun {
 public:
  RankedRun(WalkContext& Run, const std::string& Path, const std::string& Mask,
            int32_t Day)
      : Run_(Run),
        Goal_(Run.Settings.Goal),
        Path_(Path),
        Mask_(Mask),
        Day_(Day) {
    DiskSpace Space;
    if (Goal_.MinFreeBytes >= 0 || Goal_.MinFreePercent >= 0) {
      // Measured once: each disposal then counts what it frees.
      HasSpace_ = Run.Sys.SpaceOf(Path, &Space);
      Available_ = Space.Available;
      FreeGoal_ = FreeGoal(Goal_, Space.Total);
    }
  }

  RunCounts Purge(std::unique_ptr<Folder> Target);

 private:
  bool Stopped() { return Run_.Sys.StopStatus() != 0; }
  std::unique_ptr<Folder> Reopen();
  void Examine(std::unique_ptr<Folder> Target, DueChoice* Choice, bool First);
  void Consider(WalkFolder& Dir, const Entry& Item, DueChoice* Choice);
  int64_t SizeNeed() const;
  int64_t FreeNeed() const;
  Needs NeedsNow() const;
  bool Done() const;
  Cause DecidingGoal() const;
  void ActOn(FolderWay& Way, const Candidate& Chosen);
  void RemoveEmptied();

  WalkContext& Run_;
  const Goals& Goal_;
  const std::string Path_;
  const std::string Mask_;
  const int32_t Day_;
  int64_t Now_ = 0;
  FileIdentity TargetId_;
  bool HasSpace_ = false;
  int64_t Available_ = 0;   // free at the start
  int64_t FreeGoal_ = -1;   // free space asked for; -1: none
  int64_t Total_ = 0;       // bytes of the selected files this round found
  int64_t Left_ = 0;        // bytes that left the selected files (or would)
  int64_t LeftBefore_ = 0;  // of those, before this round's examination
  int64_t Acted_ = 0;       // files acted on (or that would be)
  int64_t SizeLeft_ = -1;   // what --max-size needed after the last round
  RunCounts Counts_;
  std::map<std::string, FolderNote> Notes_;  // with -e, by relative path
  std::string FreesDir_;  // the folder FreesHere_ is known for
  bool FreesHere_ = true;
};

int64_t RankedRun::SizeNeed() const {
  if (Goal_.MaxSize < 0) return -1;
  // The examination of a real run no longer finds what earlier rounds
  // removed; a report-only run's does.
  const int64_t Selected =
      Total_ - Left_ + (Run_.Settings.DryRun ? 0 : LeftBefore_);
  return std::max<int64_t>(0, Selected - Goal_.MaxSize);
}

int64_t RankedRun::FreeNeed() const {
  if (FreeGoal_ < 0) return -1;
  // Without a measure of the space, no file is needed for it.
  if (!HasSpace_) return 0;
  return std::max<int64_t>(0, FreeGoal_ - Available_ - Counts_.BytesFreed);
}

Needs RankedRun::NeedsNow() const {
  // The selected files' total is known only once a walk is done: until
  // then what --max-size needs is what the last round left, and in the
  // first round only the cap on what a round remembers bounds the choice.
  int64_t Size = SizeNeed();
  if (Size >= 0) Size = SizeLeft_ < 0 ? INT64_MAX : std::max(Size, SizeLeft_);
  return Needs{Size, FreeNeed(),
               Goal_.MaxFiles >= 0 ? Goal_.MaxFiles - Acted_ : -1};
}

bool RankedRun::Done() const {
  if (Goal_.MaxFiles >= 0 && Acted_ >= Goal_.MaxFiles) return true;
  const int64_t Size = SizeNeed(), Free = FreeNeed();
  // A cap alone takes every due file, oldest first.
  return (Size >= 0 || Free >= 0) && Size <= 0 && Free <= 0;
}

// The goal the next file is taken for: the first still short of its mark,
// else the cap, which alone takes every due file.
Cause RankedRun::DecidingGoal() const {
  if (SizeNeed() > 0) return Cause::kMaxSize;
  if (FreeNeed() > 0) return Cause::kMinFree;
  return Cause::kMaxFiles;
}

// The target again, for a later round or for the actions: only while it is
// still the folder the first examination walked.
std::unique_ptr<Folder> RankedRun::Reopen() {
  std::unique_ptr<Folder> Target = Run_.Sys.OpenFolder(Path_);
  FileIdentity Id;
  if (!Target || !Target->Identity(&Id) || !(Id == TargetId_)) return nullptr;
  return Target;
}

// A selected file the examination meets: counted among the selected files'
// bytes, and offered to the choice when it is due.
void RankedRun::Consider(WalkFolder& Dir, const Entry& Item,
                         DueChoice* Choice) {
  FileTimes Times = Item.Times;
  if (!Item.Timed && !Dir.Dir().EntryTimes(Item, &Times)) return;
  // Nothing inside another mount is tested, a file mounted over a name too.
  if (Times.MountRoot && !Run_.Settings.CrossMounts) return;
  const int64_t Size = std::max<int64_t>(0, Times.Allocated);
  Total_ += Size;
  if (!Choice) return;  // kept by --keep
  const TimeKey Time = KeyOf(Times, Run_.Settings.Age);
  if (!IsExpired(Time.Seconds, Now_, Day_)) return;
  if (Dir.Path != FreesDir_) {
    FreesDir_ = Dir.Path;
    FreesHere_ = Run_.Dispose.FreesSpace(Dir.Dir());
  }
  Candidate C;
  C.Time = Time;
  C.Path = Dir.Path.substr(Path_.size()) + Run_.Sys.Separator() + Item.Name;
  C.Kind = Item.Kind;
  C.Size = Size;
  // Another name keeps the data of a file with hard links.
  C.Frees = FreesHere_ && Times.Links == 1 ? Size : 0;
  Choice->Offer(std::move(C), NeedsNow());
}

// One walk of the whole tree, on the walk's own thread, that opens no file.
void RankedRun::Examine(std::unique_ptr<Folder> Target, DueChoice* Choice,
                        bool First) {
  RunSettings Settings = Run_.Settings;
  Settings.EmptyFolders = false;
  const QuietRenderer Quiet;
  Report Silent(Run_.Sys, Quiet);
  WalkContext Look{Run_.Sys, Settings, Run_.Dispose, First ? Run_.Out : Silent,
                   Run_.KeepOut};
  Total_ = 0;
  LeftBefore_ = Left_;
  Now_ = Run_.Sys.Now();
  Walker::EnterWork Enter = nullptr;
  if (First && Run_.Settings.EmptyFolders) {
    Enter = [this](WalkFolder& Dir) {
      FolderNote& Note = Notes_[Dir.Path.substr(Path_.size())];
      Note.Timed = Dir.Timed;
      Note.Times = Dir.Times;
    };
  }
  Walker Walk(
      Look, Day_, Mask_, 1,
      [this, Choice](WalkFolder& Dir, const Entry& Item, FileReport&) {
        Consider(Dir, Item, Choice);
      },
      [this](WalkFolder& Dir, const Entry& Item) {
        Consider(Dir, Item, nullptr);
      },
      std::move(Enter));
  Walk.Walk(std::move(Target), Path_);
}

void RankedRun::ActOn(FolderWay& Way, const Candidate& Chosen) {
  const size_t Cut = Chosen.Path.rfind(Run_.Sys.Separator());
  const std::string RelDir = Chosen.Path.substr(0, Cut);
  FileReport Report;
  Folder* Dir = Way.Reach(RelDir);
  if (!Dir) {
    Report.Add(EventKind::kCannotOpen, Path_ + Chosen.Path);
  } else {
    Entry Item;
    Item.Name = Chosen.Path.substr(Cut + 1);
    Item.Kind = Chosen.Kind;
    ApplyFileRule(Run_, Day_, *Dir, Path_ + RelDir, Item, Report);
  }
  const Cause Why = DecidingGoal();
  for (Event& E : Report.Events) E.Why = Why;
  Run_.Out.Write(Report.Events);
  if (!Report.Counted) return;
  ++Acted_;
  ++Counts_.FileCount;
  Counts_.BytesFreed += Report.Freed;
  Left_ += Report.Size();
  if (Run_.Settings.EmptyFolders) ++Notes_[RelDir].Acted;
}

// The folders the files left empty, deepest first, each judged by the times
// it had when the run first saw it; a report-only run counts the files that
// would have gone as gone.
void RankedRun::RemoveEmptied() {
  std::unique_ptr<Folder> Target = Reopen();
  if (!Target) return;
  RunSettings Settings = Run_.Settings;
  Settings.Goal.Keep = 0;
  WalkContext Sweep{Run_.Sys, Settings, Run_.Dispose, Run_.Out, Run_.KeepOut};
  Walker Walk(
      Sweep, Day_, Mask_, 1, [](WalkFolder&, const Entry&, FileReport&) {},
      nullptr,
      [this](WalkFolder& Dir) {
        auto Note = Notes_.find(Dir.Path.substr(Path_.size()));
        if (Note == Notes_.end()) return;
        Dir.Timed = Note->second.Timed;
        Dir.Times = Note->second.Times;
        if (Run_.Settings.DryRun) Dir.Counted = Note->second.Acted;
      });
  Counts_.FolderCount += Walk.Walk(std::move(Target), Path_).FolderCount;
}

RunCounts RankedRun::Purge(std::unique_ptr<Folder> Target) {
  if (!Target->Identity(&TargetId_)) {
    Run_.Out.Emit(Event{EventKind::kCannotOpenFolder, Path_});
    return UnexaminedCounts(Goal_);
  }
  std::optional<Candidate> Floor;
  for (bool First = true; !Stopped(); First = false) {
    if (!First && !(Target = Reopen())) break;
    DueChoice Choice(Floor);
    Examine(std::move(Target), &Choice, First);
    std::unique_ptr<Folder> Again = Reopen();
    if (Stopped() || !Again) break;
    FolderWay Way(Run_, std::move(Again));
    for (const Candidate& Chosen : Choice.TakeOldestFirst()) {
      if (Done() || Stopped()) break;
      ActOn(Way, Chosen);
    }
    // Every due file tried, or the goals met: no other round is needed.
    if (Done() || !Choice.LetGo()) break;
    SizeLeft_ = SizeNeed();
    Floor = Choice.Horizon();
  }
  if (Run_.Settings.EmptyFolders && !Stopped()) RemoveEmptied();
  if (!Stopped()) {
    Counts_.SizeOver = std::max<int64_t>(0, SizeNeed());
    Counts_.FreeShort = FreeGoal_ >= 0 && !HasSpace_
                            ? RunCounts::kUnmeasured
                            : std::max<int64_t>(0, FreeNeed());
  }
  return Counts_;
}

}  // namespace

RunCounts PurgeRanked(WalkContext& Run, std::unique_ptr<Folder> Target,
                      const std::string& Path, const std::string& Mask,
                      int32_t Day) {
  RankedRun Ranked(Run, Path, Mask, Day);
  return Ranked.Purge(std::move(Target));
}

}  // namespace olvane
