#include "purge/ranked_purge.h"

#include <algorithm>
#include <map>
#include <memory>
#include <mutex>
#include <utility>
#include <vector>

#include "purge/file_tests.h"
#include "purge/goals.h"
#include "purge/paced_actions.h"
#include "purge/walker.h"
#include "purge/workers.h"

namespace olvane {
namespace {

// The report of the examinations after the first: what they meet was
// reported once already.
class QuietRenderer : public Renderer {
 public:
  void Render(const Event& /*E*/, std::string* /*Out*/) const override {}
};

// The report of the walk that removes the emptied folders: the folders it
// cannot open or list, the first examination reported.
class SweepRenderer : public Renderer {
 public:
  explicit SweepRenderer(const Renderer& Form) : Form_(Form) {}
  void Render(const Event& E, std::string* Out) const override {
    if (E.Kind != EventKind::kCannotOpenFolder) Form_.Render(E, Out);
  }

 private:
  const Renderer& Form_;
};

// A folder's times when the run first saw it, and how many of its files
// the run acted on: for -e once the files are done.
struct FolderNote {
  bool Timed = false;
  FileTimes Times;
  int Acted = 0;
};

// A file of several names: how many of them the selection held when last
// examined, and how many the run acted on since.
struct NameCount {
  int64_t Found = 0;
  int64_t Acted = 0;
};

class RankedRun : public PacedGoals {
 public:
  RankedRun(WalkContext& Run, const std::string& Path, const std::string& Mask,
            int32_t Day)
      : Run_(Run),
        Goal_(Run.Settings.Goal),
        Path_(Path),
        Mask_(Mask),
        Day_(Day),
        CountsBytes_(Goal_.MaxSize >= 0 || Goal_.MinFreeBytes >= 0 ||
                     Goal_.MinFreePercent >= 0),
        Workers_(WorkersFor(Run.Sys, Run.Settings, Path)),
        Free_(Run.Sys, Goal_, Path) {}

  RunCounts Purge(std::unique_ptr<Folder> Target);

  bool Met(const Gain& Extra) const override;
  bool Takes(const Candidate& C, const Gain& Extra) const override;
  void Settle(const Candidate& C, const FileIdentity* Dir, bool DirFrees,
              FileReport& Report) override;

 private:
  bool Stopped() { return Run_.Sys.StopStatus() != 0; }
  std::unique_ptr<Folder> Reopen();
  void Examine(std::unique_ptr<Folder> Target, DueChoice* Choice, bool First);
  void EnterNode(WalkFolder& Dir, bool First);
  void Consider(WalkFolder& Dir, const Entry& Item, DueChoice* Choice);
  int64_t SizeNeed(const Gain& Extra = Gain()) const;
  int64_t FreeNeed(const Gain& Extra = Gain()) const;
  Needs NeedsNow() const;
  bool Done() const { return Met(Gain()); }
  Cause DecidingGoal() const;
  void ActOn(WalkFolder& Dir, const Entry& Chosen, FileReport& Report);
  void Count(const Candidate& Chosen, const FileIdentity* Dir, bool DirFrees,
             const FileReport& Report);
  void RemoveEmptied();
  void ShowStage(ProgressState::Phase Stage) const;

  WalkContext& Run_;
  const Goals& Goal_;
  const std::string Path_;
  const std::string Mask_;
  const int32_t Day_;
  const bool CountsBytes_;  // a goal counts bytes, not only files
  const int Workers_;
  // Where the examination's workers add up what they find. The actions'
  // outcomes are settled one at a time (under the lock of PacedActions),
  // and the rest is the run's own thread's.
  std::mutex Lock_;
  int64_t Now_ = 0;
  FileIdentity TargetId_;
  const FreeSpaceGoal Free_;
  int64_t FreedHere_ = 0;   // of what was freed, on the target's file system
  int64_t Total_ = 0;       // bytes the round's selected files take; Lock_
  int64_t Left_ = 0;        // bytes that left the selected files (or would)
  int64_t LeftBefore_ = 0;  // of those, before this round's examination
  int64_t Acted_ = 0;       // files acted on (or that would be)
  int64_t SizeLeft_ = -1;   // what --max-size needed after the last round
  RunCounts Counts_;
  std::shared_ptr<const FolderNode> Root_;  // the target's node
  // The files of several names; GUARDED_BY Lock_ in the examination.
  std::map<FileIdentity, NameCount> Names_;
  std::map<FileIdentity, FolderNote> Notes_;  // with -e, of every folder
};

int64_t RankedRun::SizeNeed(const Gain& Extra) const {
  if (Goal_.MaxSize < 0) return -1;
  // The examination of a real run no longer finds what earlier rounds
  // removed; a report-only run's does.
  const int64_t Selected =
      Total_ - Left_ - Extra.Size + (Run_.Settings.DryRun ? 0 : LeftBefore_);
  return std::max<int64_t>(0, Selected - Goal_.MaxSize);
}

int64_t RankedRun::FreeNeed(const Gain& Extra) const {
  return Free_.Need(FreedHere_ + Extra.Frees);
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

bool RankedRun::Met(const Gain& Extra) const {
  if (Goal_.MaxFiles >= 0 && Acted_ + Extra.Files >= Goal_.MaxFiles)
    return true;
  const int64_t Size = SizeNeed(Extra), Free = FreeNeed(Extra);
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

// A file on another file system frees nothing of the target's: only
// --max-size, or a cap alone, takes it.
bool RankedRun::Takes(const Candidate& C, const Gain& Extra) const {
  return !C.Elsewhere || !Free_.Asked() || SizeNeed(Extra) > 0;
}

// The target again, for a later round or for the actions: only while it is
// still the folder the first examination walked.
std::unique_ptr<Folder> RankedRun::Reopen() {
  std::unique_ptr<Folder> Target = Run_.Sys.OpenFolder(Path_);
  FileIdentity Id;
  if (!Target || !Target->Identity(&Id) || !(Id == TargetId_)) return nullptr;
  return Target;
}

// A subfolder the examination opens: its node below its parent's, which is
// on the way down; with -e in the first round, its times as first seen.
void RankedRun::EnterNode(WalkFolder& Dir, bool First) {
  Dir.Node = std::make_shared<const FolderNode>(
      FolderNode{Dir.Parent->Node ? Dir.Parent->Node : Root_, Dir.Name,
                 Run_.Dispose.FreesSpace(Dir.Dir())});
  FileIdentity Id;
  if (First && Run_.Settings.EmptyFolders && Dir.Dir().Identity(&Id)) {
    FolderNote& Note = Notes_[Id];
    Note.Timed = Dir.Timed;
    Note.Times = Dir.Times;
  }
}

// A selected file the examination meets, on some worker: counted among the
// selected files' bytes, and offered to the choice when it is due.
void RankedRun::Consider(WalkFolder& Dir, const Entry& Item,
                         DueChoice* Choice) {
  FileTimes Times = Item.Times;
  if (!Item.Timed && !Dir.Dir().EntryTimes(Item, &Times)) return;
  // Nothing inside another mount is tested, a file mounted over a name too.
  if (Times.MountRoot && !Run_.Settings.CrossMounts) return;
  const int64_t Size = std::max<int64_t>(0, Times.Allocated);
  // A Windows listing gives no count of names: bytes counted by a goal
  // need it, or a file of three names would count three times.
  if (Times.Links == 0 && Size > 0 && CountsBytes_) {
    Dir.Dir().EntryNames(Item, &Times);
  }
  // A file of several names takes its bytes once, as du counts them.
  const bool Shared = Times.Links > 1 && Times.Id.Index != 0;
  // What needs no lock is done before it: the workers meet here for every
  // file.
  TimeKey Time;
  const bool Due = Choice &&
                   AgeOf(Run_.Sys, Run_.Settings, Item.Name, Times, &Time) &&
                   IsExpired(Time.Seconds, Now_, Day_);
  Candidate C;
  if (Due) {
    C.Time = Time;
    C.Dir = Dir.Node ? Dir.Node : Root_;
    C.Name = Item.Name;
    C.Kind = Item.Kind;
    // Only a walk across mounts leaves the target's file system (a btrfs
    // subvolume below it has a device of its own, yet shares its space). A
    // Windows listing names no volume (0): its files are the target's.
    C.Elsewhere = Run_.Settings.CrossMounts && Times.Id.Index != 0 &&
                  Times.Id.Volume != 0 && Times.Id.Volume != TargetId_.Volume;
    // Another name keeps the data of a file with hard links.
    C.Size = Shared ? 0 : Size;
    C.MostSize = Size;
    const bool Frees = C.Dir->FreesSpace && !C.Elsewhere;
    C.Frees = Frees && Times.Links == 1 ? Size : 0;
    C.MostFrees = Frees ? Size : 0;
    if (Times.Links == 1 && Times.Id.Volume != 0) C.Id = Times.Id;
  }
  std::lock_guard<std::mutex> Guard(Lock_);
  if (!Shared || Names_[Times.Id].Found++ == 0) Total_ += Size;
  if (!Due) return;  // or kept by --keep
  Choice->Offer(std::move(C), NeedsNow());
}

// Tells the progress line where the run is and, while it acts, what the
// goals still need.
void RankedRun::ShowStage(ProgressState::Phase Stage) const {
  if (!Run_.Progress) return;
  const bool Acting = Stage == ProgressState::Phase::kActing;
  const int64_t Bytes = std::max(SizeNeed(), FreeNeed());
  Run_.Progress->Ranking(
      Stage, Acting && Goal_.MaxFiles >= 0 ? Goal_.MaxFiles - Acted_ : -1,
      Acting && Bytes >= 0 ? Bytes : -1);
}

// One walk of the whole tree, as a plain run's with its workers, that opens
// no file.
void RankedRun::Examine(std::unique_ptr<Folder> Target, DueChoice* Choice,
                        bool First) {
  RunSettings Settings = Run_.Settings;
  Settings.EmptyFolders = false;
  const QuietRenderer Quiet;
  Report Silent(Run_.Sys, Quiet);
  WalkContext Look{Run_.Sys, Settings, Run_.Dispose, First ? Run_.Out : Silent,
                   Run_.KeepOut};
  Look.Progress = Run_.Progress;
  ShowStage(ProgressState::Phase::kExamining);
  Total_ = 0;
  LeftBefore_ = Left_;
  Now_ = Run_.Sys.Now();
  // A real run's examination finds the names left; a report-only run's
  // finds them all again, and those acted on stay counted so.
  if (!Run_.Settings.DryRun) Names_.clear();
  for (auto& [Id, Count] : Names_) Count.Found = 0;
  Root_ = std::make_shared<const FolderNode>(
      FolderNode{nullptr, "", Run_.Dispose.FreesSpace(*Target)});
  Walker Walk(
      Look, Day_, Mask_, Workers_,
      [this, Choice](WalkFolder& Dir, const Entry& Item, FileReport&) {
        Consider(Dir, Item, Choice);
      },
      [this](WalkFolder& Dir, const Entry& Item) {
        Consider(Dir, Item, nullptr);
      },
      [this, First](WalkFolder& Dir) { EnterNode(Dir, First); });
  const int32_t Undated = Walk.Walk(std::move(Target), Path_).Undated;
  if (First) Counts_.Undated = Undated;
}

// The action on a chosen file, Item of Dir, on some worker.
void RankedRun::ActOn(WalkFolder& Dir, const Entry& Chosen,
                      FileReport& Report) {
  if (Chosen.Kind == EntryKind::kFile && Chosen.Times.Id.Index != 0 &&
      ApplyFileRuleToKnown(Run_, Day_, Dir.Dir(), Dir.Path, Chosen, Report)) {
    return;
  }
  Entry Item = Chosen;
  // What the entry is now: a file that took a link's name gets the whole
  // proof of a file; any other change of kind passes it over. One that has
  // gone is the rule's to report.
  FileTimes Now;
  if (Dir.Dir().EntryTimes(Item, &Now)) {
    if (Now.Kind == EntryKind::kFile) Item.Kind = EntryKind::kFile;
    if (Now.Kind != Item.Kind) {
      Report.Add(EventKind::kCannotOpen,
                 Dir.Path + Run_.Sys.Separator() + Item.Name);
      return;
    }
    Item.Timed = true;
    Item.Times = Now;
  }
  ApplyFileRule(Run_, Day_, Dir.Dir(), Dir.Path, Item, Report);
}

// The outcome of the action on C, in the ranked order: the goal it was
// taken for, as a run of one thread decides it, and what it brought.
void RankedRun::Settle(const Candidate& C, const FileIdentity* Dir,
                       bool DirFrees, FileReport& Report) {
  const Cause Why = DecidingGoal();
  for (Event& E : Report.Events) E.Why = Why;
  if (Report.Counted) Count(C, Dir, DirFrees, Report);
}

// A file acted on (or that would be): what left the selected files with it
// and what that freed.
void RankedRun::Count(const Candidate& Chosen, const FileIdentity* Dir,
                      bool DirFrees, const FileReport& Report) {
  ++Acted_;
  ++Counts_.FileCount;
  int64_t Freed = Report.Freed, Leaves = Report.Size();
  const FileTimes& Known = Report.Status();
  if (Known.Links > 1 && Known.Id.Index != 0) {
    NameCount& Names = Names_[Known.Id];
    ++Names.Acted;
    // The selection keeps the file while it holds another of its names.
    if (Names.Acted < Names.Found) Leaves = 0;
    // A report-only run removes no name: the last one would free the file.
    if (Run_.Settings.DryRun && Names.Acted == Known.Links && DirFrees) {
      Freed = Report.Size();
    }
  }
  Counts_.BytesFreed += Freed;
  // The goals count a file no bigger than its examination saw it: what the
  // files in flight may bring is bounded so.
  if (!Chosen.Elsewhere) FreedHere_ += std::min(Freed, Chosen.MostFrees);
  Left_ += std::min(Leaves, Chosen.MostSize);
  if (Dir) ++Notes_[*Dir].Acted;
  if (Run_.Progress) {
    Run_.Progress->Acted(1, Freed);
    ShowStage(ProgressState::Phase::kActing);
  }
}

// The folders the files left empty, deepest first, each judged by the times
// it had when the run first saw it; a report-only run counts the files that
// would have gone as gone.
void RankedRun::RemoveEmptied() {
  std::unique_ptr<Folder> Target = Reopen();
  if (!Target) return;
  RunSettings Settings = Run_.Settings;
  Settings.Goal = Goals();  // what the examination kept, it reported
  const SweepRenderer Form(Run_.Out.Form());
  Report Out(Run_.Out, Form, Run_.Out.Rule());
  WalkContext Sweep{Run_.Sys, Settings, Run_.Dispose, Out, Run_.KeepOut};
  Walker Walk(
      Sweep, Day_, Mask_, 1, [](WalkFolder&, const Entry&, FileReport&) {},
      nullptr,
      [this](WalkFolder& Dir) {
        FileIdentity Id;
        if (!Dir.Dir().Identity(&Id)) return;
        auto Note = Notes_.find(Id);
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
    ShowStage(ProgressState::Phase::kActing);
    PacedActions Actions(
        Run_, *this, Workers_,
        [this](WalkFolder& Dir, const Entry& Item, FileReport& Report) {
          ActOn(Dir, Item, Report);
        });
    Actions.Run(Choice.TakeOldestFirst(), std::move(Again), Path_);
    // Every due file tried, or the goals met: no other round is needed.
    if (Done() || !Choice.LetGo()) break;
    SizeLeft_ = SizeNeed();
    Floor = Choice.Horizon();
  }
  if (Run_.Settings.EmptyFolders && !Stopped()) RemoveEmptied();
  if (!Stopped()) {
    Counts_.SizeOver = std::max<int64_t>(0, SizeNeed());
    Counts_.FreeShort = Free_.Short(FreedHere_);
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
