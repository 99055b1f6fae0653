#include "purge/purge_folder.h"

#include <algorithm>
#include <memory>
#include <vector>

#include "platform/path_syntax.h"
#include "purge/file_queue.h"
#include "purge/file_tests.h"
#include "purge/workers.h"

namespace olvane {
namespace {

bool IsDisposable(EntryKind Kind) {
  return Kind == EntryKind::kFile || Kind == EntryKind::kFileLink;
}

// A name a protect mask covers: never disposed of, entered or removed.
bool IsProtected(const WalkContext& Run, const std::string& Name) {
  for (const std::string& Mask : Run.Settings.ProtectMasks) {
    if (Run.Sys.MatchName(Mask, Name)) return true;
  }
  return false;
}

// Expiry first, by the times had without opening the file, then on the
// open handle, then the probe: a file that is not due is never opened.
void ApplyFileRule(WalkContext& Run, int32_t Day, WalkFolder& Dir,
                   const Entry& Item, FileReport& Report) {
  const TimeKind Kind = Run.Settings.Age;
  bool Gone = false;
  const bool Due = IsDueUnopened(Run.Sys, Dir.Dir(), Item, Day, Kind,
                                 Run.Settings.CrossMounts, &Gone);
  if (!Due && !Gone) return;
  const std::string FileName = Dir.Path + Run.Sys.Separator() + Item.Name;
  if (Gone) {
    Report.Add(EventKind::kCannotOpen, FileName);
    return;
  }
  std::unique_ptr<ExclusiveFile> File;
  if (!CheckDate(Run.Sys, Dir.Dir(), Item, FileName, Day, Kind, &File, Report)) {
    return;
  }
  if (!IsFileFree(*File)) {
    Report.Add(Run.Dispose.RefusalKind(), FileName);
    return;
  }
  Run.Dispose.Dispose(Dir.Dir(), Item, *File, FileName, Report);
}

class Walker {
 public:
  Walker(WalkContext& Run, int32_t Day, std::string Mask, int Workers)
      : Run_(Run),
        Day_(Day),
        Mask_(std::move(Mask)),
        OneName_(!Mask_.empty() &&
                 Mask_.find_first_of("*?") == std::string::npos),
        Budget_(std::max<size_t>(4, Run.Sys.FolderBudget())),
        Queue_(
            Run.Sys, Run.Out, Run.Dispose.InAnyOrder() ? Workers : 1,
            [this](WalkFolder& Dir, const Entry& Item, FileReport& Report) {
              ApplyFileRule(Run_, Day_, Dir, Item, Report);
            },
            [this](WalkFolder& Sub, FileReport& Report) {
              return RemoveIfEmptied(Sub, Report);
            }) {}

  RunCounts Walk(std::unique_ptr<Folder> Target, const std::string& Path) {
    Stack_.push_back(Frame{Queue_.Open(std::move(Target), Path), {}, 0, false});
    List(Stack_.back());
    while (!Stack_.empty()) {
      Frame& Current = Stack_.back();
      if (!Stopped() && Current.Next < Current.SubFolders.size()) {
        Enter(Current, std::move(Current.SubFolders[Current.Next++]));
      } else {
        Leave();
      }
    }
    Queue_.Drain();
    return Queue_.Counts();
  }

 private:
  // A folder of the walk's way down, and the subfolders it is yet to enter.
  struct Frame {
    WalkFolder* Dir;
    // Gathered in full before the first is entered, so that changes made
    // below do not change which ones are walked.
    std::vector<std::string> SubFolders;
    size_t Next = 0;
    bool Suspended = false;
  };

  bool Stopped() { return Run_.Sys.StopStatus() != 0; }

  // Lists the folder of Current and hands in its files. An empty mask is
  // folder mode: every file is a candidate. Otherwise only files matching
  // the mask are, and folders matching it are left alone.
  void List(Frame& Current) {
    WalkFolder& Dir = *Current.Dir;
    const bool MaskMode = !Mask_.empty();
    const bool Recurse = Run_.Settings.Recurse;
    Entry Item;
    // A name without a wildcard names one entry, even where a listing
    // matches names case-blind in a folder that holds both "a" and "A".
    Entry Named;
    std::unique_ptr<Listing> Files = Dir.Dir().List(MaskMode ? Mask_ : "*");
    while (!Stopped() && Files->Next(&Item)) {
      ++Dir.Entries;
      // The one place where a listed entry is decided on.
      if (IsDisposable(Item.Kind)) {
        if (IsProtected(Run_, Item.Name)) continue;
        if (OneName_) {
          if (Named.Name.empty() || Item.Name == Mask_) Named = Item;
        } else if (!Queue_.Submit(Dir, Item)) {
          break;
        }
      } else if (!MaskMode && Recurse && Item.Kind == EntryKind::kFolder) {
        Current.SubFolders.push_back(Item.Name);
      }
    }
    if (!Named.Name.empty() && !Stopped()) Queue_.Submit(Dir, Named);
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
  void Enter(Frame& Current, std::string Name) {
    // Nothing inside another mount is listed, tested or changed.
    if (IsProtected(Run_, Name) ||
        (!Run_.Settings.CrossMounts && Current.Dir->Dir().IsOtherMount(Name))) {
      return;
    }
    MakeRoom();
    std::unique_ptr<Folder> Sub = Stack_.back().Dir->Dir().OpenSubFolder(Name);
    const std::string Path = Current.Dir->Path + Run_.Sys.Separator() + Name;
    if (!Sub) {
      CannotOpen(Path);
      return;
    }
    // Kept out: never walked nor removed, so the folders above it stay too.
    if (Run_.KeepOut && Run_.KeepOut(*Sub)) return;
    FileTimes Times;
    const bool Timed = Sub->Times(&Times);
    WalkFolder* Dir = Queue_.Open(std::move(Sub), Path, Current.Dir, Name);
    Dir->Timed = Timed;
    Dir->Times = Times;
    Stack_.push_back(Frame{Dir, {}, 0, false});
    List(Stack_.back());
  }

  // Keeps the folders open within the platform's budget before one more is
  // opened. The shallowest folder of the way down gives up its descriptor
  // once nothing of it is under way, and takes it back when the walk
  // returns to it; else the walk waits for folders that are done.
  void MakeRoom() {
    while (Queue_.OpenFolders() >= Budget_) {
      size_t First = 1;
      while (First < Stack_.size() && Stack_[First].Suspended) ++First;
      if (First + 1 >= Stack_.size()) {
        Queue_.WaitForFewerOpen(Budget_);
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
  void Leave() {
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
  bool RemoveIfEmptied(WalkFolder& Sub, FileReport& Report) {
    // A mount point stays, even once a walk across mounts has emptied it;
    // without --cross-mounts the walk never entered one.
    if ((Run_.Settings.CrossMounts &&
         Sub.Parent->Dir().IsOtherMount(Sub.Name)) ||
        !Sub.Timed ||
        !IsExpired(TimeOf(Sub.Times, Run_.Settings.Age), Run_.Sys.Now(),
                   Day_)) {
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
  void CannotOpen(const std::string& DirPath) {
    Queue_.SubmitEvent(Event{EventKind::kCannotOpenFolder, DirPath});
  }

  WalkContext& Run_;
  int32_t Day_;
  std::string Mask_;
  bool OneName_;  // the mask has no wildcard
  size_t Budget_;
  std::vector<Frame> Stack_;  // from the target down
  FileQueue Queue_;
};

}  // namespace

RunCounts PurgeFolder(WalkContext& Run, std::string Path, int32_t Day) {
  TrimSeparators(Run.Sys.Separator(), &Path);
  std::string Mask;
  if (IsFileMask(Run.Sys, Path)) {
    Mask = SplitOffMask(Run.Sys, &Path);
    if (Mask.empty()) return RunCounts();
  }
  std::unique_ptr<Folder> Target = Run.Sys.OpenFolder(Path);
  if (!Target) {
    if (!Path.empty() && IsFolder(Run.Sys, Path)) {
      Run.Out.Emit(Event{EventKind::kCannotOpenFolder, Path});
    }
    return RunCounts();
  }
  if (Run.RefuseTarget && Run.RefuseTarget(*Target, Mask)) return RunCounts();
  Walker Walk(Run, Day, Mask, WorkersFor(Run.Sys, Run.Settings, Path));
  return Walk.Walk(std::move(Target), Path);
}

void DeleteDisposal::Dispose(Folder& /*Dir*/, const Entry& /*Item*/,
                             ExclusiveFile& File, const std::string& FileName,
                             FileReport& Report) {
  // A report-only run says what the real one would: a file that its own
  // attributes or its folder keep is reported as one that cannot go.
  if (DryRun_ ? !File.Removable() : !File.Remove()) {
    Report.Add(EventKind::kCannotRemove, FileName);
    return;
  }
  Report.Add(DryRun_ ? EventKind::kWouldDelete : EventKind::kDeleted,
             FileName);
  Report.Counted = true;
  Report.Freed = Report.Freeable();
}

}  // namespace olvane
