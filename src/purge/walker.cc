#include "purge/walker.h"

#include <algorithm>
#include <utility>

#include "purge/file_tests.h"
#include "purge/rule_scopes.h"

namespace olvane {
namespace {

bool IsDisposable(EntryKind Kind) {
  return Kind == EntryKind::kFile || Kind == EntryKind::kFileLink;
}

// The end of the file rule, on the due File open on Item.
void DisposeIfFree(WalkContext& Run, Folder& Dir, const Entry& Item,
                   ExclusiveFile& File, const std::string& FileName,
                   FileReport& Report) {
  if (!IsFileFree(File)) {
    Report.Add(Run.Dispose.RefusalKind(), FileName);
    return;
  }
  Run.Dispose.Dispose(Dir, Item, File, FileName, Report);
}

// The part of the file rule that holds the file open: it is closed on
// return.
void OpenAndDispose(WalkContext& Run, int32_t Day, Folder& Dir,
                    const Entry& Item, const std::string& FileName,
                    FileReport& Report) {
  std::unique_ptr<ExclusiveFile> File;
  if (CheckDate(Run.Sys, Dir, Item, FileName, Day, Run.Settings, &File,
                Report)) {
    DisposeIfFree(Run, Dir, Item, *File, FileName, Report);
  }
}

}  // namespace

bool IsProtected(const WalkContext& Run, const std::string& Name) {
  for (const std::string& Mask : Run.Settings.ProtectMasks) {
    if (Run.Sys.MatchName(Mask, Name)) return true;
  }
  return false;
}

void ApplyFileRule(WalkContext& Run, int32_t Day, Folder& Dir,
                   const std::string& DirPath, const Entry& Item,
                   FileReport& Report) {
  bool Gone = false;
  FileTimes Times;
  const bool Due =
      IsDueUnopened(Run.Sys, Dir, Item, Day, Run.Settings, &Gone, &Times);
  if (!Due && !Gone) return;
  const std::string FileName = DirPath + Run.Sys.Separator() + Item.Name;
  if (Gone) {
    Report.Add(EventKind::kCannotOpen, FileName);
    return;
  }
  // The identity the status gave, before the open: another name of the
  // file that a worker has open is waited for.
  const bool Taken = Run.InFlight.Take(Times);
  OpenAndDispose(Run, Day, Dir, Item, FileName, Report);
  if (Taken) Run.InFlight.Give(Times.Id);
}

bool ApplyFileRuleToKnown(WalkContext& Run, int32_t Day, Folder& Dir,
                          const std::string& DirPath, const Entry& Item,
                          FileReport& Report) {
  std::unique_ptr<ExclusiveFile> File = Dir.OpenExclusive(Item);
  FileTimes Now;
  // Another file at the name, or a second name since: the open proves
  // nothing, and it is closed untouched.
  if (!File || !File->Times(&Now) || !(Now.Id == Item.Times.Id) ||
      Now.Links != 1 || (Now.MountRoot && !Run.Settings.CrossMounts)) {
    return false;
  }
  const std::string FileName = DirPath + Run.Sys.Separator() + Item.Name;
  if (IsDueOpen(Run.Sys, Item.Name, FileName, Now, Day, Run.Settings,
                Report)) {
    DisposeIfFree(Run, Dir, Item, *File, FileName, Report);
  }
  return true;
}

// DoFile, which also counts on the progress line what it acted on.
FileQueue::FileWork CountedOnLine(ProgressLine* Progress,
                                  FileQueue::FileWork DoFile) {
  if (!Progress) return DoFile;
  return [Progress, DoFile = std::move(DoFile)](
             WalkFolder& Dir, const Entry& Item, FileReport& Report) {
    DoFile(Dir, Item, Report);
    if (Report.Counted) Progress->Acted(1, Report.Freed);
  };
}

Walker::Walker(WalkContext& Run, int32_t Day, std::string Mask, int Workers,
               FileQueue::FileWork DoFile, KeptWork OnKept, EnterWork OnEnter)
    : Run_(Run),
      Day_(Day),
      Mask_(std::move(Mask)),
      OneName_(!Mask_.empty() &&
               Mask_.find_first_of("*?") == std::string::npos),
      Budget_(std::max<size_t>(4, Run.Sys.FolderBudget())),
      OnKept_(std::move(OnKept)),
      OnEnter_(std::move(OnEnter)),
      Keep_(Run.Sys, Run.Settings),
      Queue_(Run.Sys, Run.Out, Run.Dispose.InAnyOrder() ? Workers : 1,
             CountedOnLine(Run.Progress, std::move(DoFile)),
             [this](WalkFolder& Sub, FileReport& Report) {
               return RemoveIfEmptied(Sub, Report);
             }) {}

void Walker::ListAhead(int Threads) {
  // What it holds open must leave the walk room for a deep tree.
  if (Budget_ < 8 * static_cast<size_t>(Threads)) return;
  AheadThreads_ = static_cast<size_t>(Threads);
  Ahead_ =
      std::make_unique<Lookahead>(Run_, Mask_.empty() ? "*" : Mask_, Threads);
}

// Starts the subfolders of Current that come next, as many as the
// lookahead's threads and the folder budget allow; each one started holds a
// descriptor until the walk enters it.
void Walker::StartAhead(Frame& Current) {
  if (!Ahead_) return;
  while (Current.Ahead.size() < AheadThreads_ &&
         Current.Next + Current.Ahead.size() < Current.SubFolders.size() &&
         Ahead_->Outstanding() < 4 * AheadThreads_ &&
         Queue_.OpenFolders() + Ahead_->Outstanding() + 2 < Budget_) {
    Current.Ahead.push_back(Ahead_->Start(
        *Current.Dir, Current.SubFolders[Current.Next + Current.Ahead.size()]));
  }
}

RunCounts Walker::Walk(std::unique_ptr<Folder> Target,
                       const std::string& Path) {
  if (Run_.Sys.FileSystemOf(Path) == FileSystemKind::kNetwork) {
    ListAhead(kListersAhead);
  }
  Stack_.push_back(Frame{Queue_.Open(std::move(Target), Path), {}, 0, false});
  List(Stack_.back());
  while (!Stack_.empty()) {
    Frame& Current = Stack_.back();
    if (!Stopped() && Current.Next < Current.SubFolders.size()) {
      StartAhead(Current);
      Enter(Current, std::move(Current.SubFolders[Current.Next++]));
    } else {
      Leave();
    }
  }
  Queue_.Drain();
  RunCounts Counts = Queue_.Counts();
  Counts.Undated = Undated_;
  return Counts;
}

// Hands in a selected file of Dir, unless a keep rule keeps it: with one,
// a file goes in only once it is sure not to be kept, so the kept ones are
// chosen before anything of the folder is acted on.
void Walker::Select(WalkFolder& Dir, Entry Item) {
  TimeKey Dated;
  // A name without a date is never due: left alone, and counted.
  if (Run_.Settings.NameDates &&
      !AgeOf(Run_.Sys, Run_.Settings, Item.Name, Item.Times, &Dated)) {
    ++Undated_;
    return;
  }
  // A link takes no slot: what is kept is the files a run could delete.
  if (Keep_.Weighs() && Item.Kind == EntryKind::kFile) {
    FileTimes Times;
    // One that has gone since its listing is handed in, for its line.
    if (Item.Timed || Dir.Dir().EntryTimes(Item, &Times)) {
      if (!Item.Timed) {
        Item.Timed = true;
        Item.Times = Times;
      }
      std::vector<Entry> Older;
      Keep_.Offer(Item, &Older);
      for (const Entry& One : Older) Submit(Dir, One);
      return;
    }
  }
  Submit(Dir, Item);
}

// Selects the files of Dir gathered for --keep, in their listing's order,
// once the workers have read their statuses.
void Walker::SelectGathered(WalkFolder& Dir, std::vector<Entry>* Files) {
  Queue_.ReadTimes(Dir, Files);
  for (Entry& Item : *Files) {
    Select(Dir, std::move(Item));
    if (Halted_) break;
  }
  Files->clear();
}

void Walker::Submit(WalkFolder& Dir, const Entry& Item) {
  if (!Halted_ && !Queue_.Submit(Dir, Item)) Halted_ = true;
}

// The files of Dir that no keep rule keeps, once its listing is done, then
// one event for each kept one, which says why it stays.
void Walker::EndSelection(WalkFolder& Dir) {
  if (!Keep_.Weighs()) return;
  std::vector<Entry> Rest;
  std::vector<std::pair<Entry, std::string>> Kept;
  Keep_.End(&Rest, &Kept);
  for (const Entry& One : Rest) Submit(Dir, One);
  for (const auto& [Item, Why] : Kept) {
    if (OnKept_) OnKept_(Dir, Item);
    Event Stays{EventKind::kKept, Dir.Path + Run_.Sys.Separator() + Item.Name};
    Stays.Reason = Why;
    Queue_.SubmitEvent(Stays);
  }
}

// Lists the folder of Current and hands in its files. An empty mask is
// folder mode: every file is a candidate. Otherwise only files matching
// the mask are, and folders matching it are left alone.
void Walker::List(Frame& Current, std::unique_ptr<Listing> Files) {
  WalkFolder& Dir = *Current.Dir;
  const bool MaskMode = !Mask_.empty();
  const bool Recurse = Run_.Settings.Recurse;
  Entry Item;
  // A name without a wildcard names one entry, even where a listing
  // matches names case-blind in a folder that holds both "a" and "A".
  Entry Named;
  // With a keep rule, files are chosen by their times: the workers read
  // them a few hundred at a time, so that a big folder does not wait on the
  // walk.
  std::vector<Entry> Gathered;
  const bool Gathers = Keep_.Weighs();
  if (!Files) Files = Dir.Dir().List(MaskMode ? Mask_ : "*");
  if (Run_.Progress) Run_.Progress->Entering(Dir.Path);
  while (!Stopped() && Files->Next(&Item)) {
    ++Dir.Entries;
    // The one place where a listed entry is decided on.
    if (IsDisposable(Item.Kind)) {
      if (Run_.Progress) Run_.Progress->Examined();
      if (IsProtected(Run_, Item.Name) ||
          IsGovernedElsewhere(Run_.Sys, Run_.Settings, Dir.Path, Item.Name) ||
          IsOwnFile(Run_.Sys, Run_.Settings, Dir.Dir(), Item.Name))
        continue;
      if (OneName_) {
        if (Named.Name.empty() || Item.Name == Mask_) Named = Item;
      } else if (Gathers) {
        Gathered.push_back(Item);
        if (Gathered.size() >= kGathered) SelectGathered(Dir, &Gathered);
        if (Halted_) break;
      } else {
        Select(Dir, Item);
        if (Halted_) break;
      }
    } else if (!MaskMode && Recurse && Item.Kind == EntryKind::kFolder) {
      Current.SubFolders.push_back(Item.Name);
    }
  }
  if (!Gathered.empty() && !Stopped()) SelectGathered(Dir, &Gathered);
  if (!Named.Name.empty() && !Stopped()) Select(Dir, Named);
  EndSelection(Dir);
  bool Unreadable = Files->Failed();
  Files.reset();
  // The workers need not wait for more of the next folder.
  Queue_.Flush();
  if (Recurse && MaskMode) {
    Dir.Entries = 0;
    std::unique_ptr<Listing> All = Dir.Dir().List("*");
    while (!Stopped() && All->Next(&Item)) {
      ++Dir.Entries;
      if (Item.Kind == EntryKind::kFolder) {
        Current.SubFolders.push_back(Item.Name);
      }
    }
    Unreadable |= All->Failed();
  }
  if (Unreadable) CannotOpen(Dir.Path);
}

// Opens the subfolder Name of Current and lists it: the one place where a
// subfolder is decided on before it is entered.
void Walker::Enter(Frame& Current, std::string Name) {
  // What the lookahead found of it, where it started it: the same checks,
  // made on its thread.
  std::shared_ptr<ListedAhead> Job;
  if (!Current.Ahead.empty()) {
    Job = std::move(Current.Ahead.front());
    Current.Ahead.pop_front();
    Ahead_->Wait(*Job);
    if (Job->Now != ListedAhead::Outcome::kOpened) Ahead_->Taken();
    if (Job->Now == ListedAhead::Outcome::kSkipped) return;
  } else if (IsProtected(Run_, Name) ||
             // Nothing inside another mount is listed, tested or changed.
             (!Run_.Settings.CrossMounts &&
              Current.Dir->Dir().IsOtherMount(Name))) {
    return;
  }
  MakeRoom();
  std::unique_ptr<Folder> Sub =
      Job ? std::move(Job->Dir) : Current.Dir->Dir().OpenSubFolder(Name);
  const std::string Path = Current.Dir->Path + Run_.Sys.Separator() + Name;
  if (!Sub) {
    CannotOpen(Path);
    return;
  }
  // Kept out: never walked nor removed, so the folders above it stay too.
  if (!Job && Run_.KeepOut && Run_.KeepOut(*Sub)) return;
  FileTimes Times = Job ? Job->Times : FileTimes();
  const bool Timed = Job ? Job->Timed : Sub->Times(&Times);
  WalkFolder* Dir = Queue_.Open(std::move(Sub), Path, Current.Dir, Name);
  if (Job) Ahead_->Taken();  // counted as open from now on
  Dir->Timed = Timed;
  Dir->Times = Times;
  if (OnEnter_) OnEnter_(*Dir);
  Stack_.push_back(Frame{Dir, {}, 0, false});
  List(Stack_.back(), Job ? std::move(Job->Files) : nullptr);
}

// Keeps the folders open within the platform's budget before one more is
// opened. The shallowest folder of the way down gives up its descriptor
// once nothing of it is under way, and takes it back when the walk
// returns to it; else the walk waits for folders that are done.
void Walker::MakeRoom() {
  // The folders the lookahead holds open (the one to enter among them) take
  // their share of the budget.
  const size_t Budget = Budget_ - (Ahead_ ? Ahead_->Outstanding() : 0);
  while (Queue_.OpenFolders() >= Budget) {
    size_t First = 1;
    while (First < Stack_.size() && Stack_[First].Suspended) ++First;
    if (First + 1 >= Stack_.size()) {
      Queue_.WaitForFewerOpen(Budget);
      return;
    }
    Queue_.WaitFor(*Stack_[First].Dir);
    Stack_[First].Dir->Suspend();
    Stack_[First].Suspended = true;
  }
}

// The walk is done with the folder on top: its parent takes its descriptor
// back through it if need be, and with -e it is removed once its subtree
// is done.
void Walker::Leave() {
  // Subfolders started but never entered, after a stop.
  for (const std::shared_ptr<ListedAhead>& Job : Stack_.back().Ahead) {
    Ahead_->Wait(*Job);
    Ahead_->Taken();
  }
  WalkFolder* Dir = Stack_.back().Dir;
  Stack_.pop_back();
  if (Stack_.empty()) {
    Queue_.Release(*Dir);
    return;
  }
  Frame& Parent = Stack_.back();
  if (Parent.Suspended) {
    // Folders done below wait for their removal meanwhile.
    Queue_.WaitForFewerOpen(Budget_);
    Parent.Dir->Resume(*Dir);
    Parent.Suspended = false;
  }
  if (Run_.Settings.EmptyFolders && !Stopped()) {
    Queue_.SubmitRemoval(*Dir);
  } else {
    Queue_.Release(*Dir);
  }
}

// Removes Sub from its parent if it is empty and its own term is due, by
// the times it had before the walk listed and emptied it. A report-only
// run goes by whether every entry it held left it.
bool Walker::RemoveIfEmptied(WalkFolder& Sub, FileReport& Report) {
  // A mount point stays, even once a walk across mounts has emptied it;
  // without --cross-mounts the walk never entered one.
  // So does another rule's target folder, and a folder above one.
  if ((Run_.Settings.CrossMounts && Sub.Parent->Dir().IsOtherMount(Sub.Name)) ||
      HoldsRuleFolder(Run_.Sys, Run_.Settings, Sub.Path) || !Sub.Timed ||
      !IsExpired(TimeOf(Sub.Times, Run_.Settings.Age), Run_.Sys.Now(), Day_)) {
    return false;
  }
  // A folder's own size is not counted as freed.
  FileTimes Times = Sub.Times;
  Times.Allocated = -1;
  Report.Know(Sub.Path, Times, TimeOf(Times, Run_.Settings.Age));
  // A folder being removed must not be held open by the walk itself.
  Sub.Close();
  if (Run_.Settings.DryRun) {
    if (Sub.Entries != Sub.Counted + Sub.Gone ||
        !Sub.Parent->Dir().CanRemoveSubFolder(Sub.Name)) {
      return false;
    }
    Report.Add(EventKind::kWouldDeleteFolder, Sub.Path);
    return true;
  }
  // One call that fails if anything has appeared in the meantime.
  if (!Sub.Parent->Dir().RemoveSubFolder(Sub.Name)) return false;
  Report.Add(EventKind::kFolderDeleted, Sub.Path);
  return true;
}

// A folder whose files stay unseen is reported, as a file that cannot be
// opened is; the exit status stays as it is.
void Walker::CannotOpen(const std::string& DirPath) {
  Queue_.SubmitEvent(Event{EventKind::kCannotOpenFolder, DirPath});
}

}  // namespace olvane
