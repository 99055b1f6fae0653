#include "purge/purge_folder.h"

#include <memory>
#include <vector>

#include "platform/path_syntax.h"
#include "purge/file_queue.h"
#include "purge/file_tests.h"
#include "purge/printable.h"

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

// Expiry first, then the probe: a file that is not due is never probed.
void ApplyFileRule(WalkContext& Run, int32_t Day, Folder& Dir,
                   const Entry& Item, const std::string& FileName,
                   FileReport& Report) {
  std::unique_ptr<ExclusiveFile> File;
  if (!CheckDate(Run.Sys, Dir, Item, FileName, Day, &File, Report)) return;
  if (!IsFileFree(*File)) {
    Report.Add(Run.Dispose.RefusalText() + Printable(FileName));
    return;
  }
  Run.Dispose.Dispose(Dir, Item, *File, FileName, Report);
}

class Walker {
 public:
  Walker(WalkContext& Run, int32_t Day, std::string Mask)
      : Run_(Run),
        Day_(Day),
        Mask_(std::move(Mask)),
        Queue_(Run.Sys, Run.Dispose.InAnyOrder() ? Run.Settings.Workers : 1,
               [this](OpenFolder& Dir, const Entry& Item,
                      const std::string& FileName, FileReport& Report) {
                 ApplyFileRule(Run_, Day_, *Dir.Dir, Item, FileName, Report);
               }) {}

  RunCounts Walk(OpenFolder& Dir, const std::string& DirPath) {
    Tree(Dir, DirPath);
    Queue_.Drain();
    return Queue_.Counts();
  }

 private:
  bool Stopped() { return Run_.Sys.StopStatus() != 0; }

  // Walks Dir, whose full path is DirPath, and answers how many entries it
  // held. An empty mask is folder mode: every file is a candidate.
  // Otherwise only files matching the mask are, and folders matching it are
  // left alone. *Gone counts the entries that left (or would leave) it.
  int Tree(OpenFolder& Dir, const std::string& DirPath, int* Gone = nullptr) {
    const char Separator = Run_.Sys.Separator();
    const bool MaskMode = !Mask_.empty();
    const bool Recurse = Run_.Settings.Recurse;
    // Subfolders are gathered in full before the first is entered, so
    // changes made below do not change which ones are walked.
    std::vector<std::string> SubFolders;
    std::string FileName = DirPath + Separator;
    const size_t Base = FileName.size();
    int Entries = 0;
    Entry Item;

    std::unique_ptr<Listing> Files = Dir.Dir->List(MaskMode ? Mask_ : "*");
    while (!Stopped() && Files->Next(&Item)) {
      ++Entries;
      if (IsDisposable(Item.Kind)) {
        if (IsProtected(Run_, Item.Name)) continue;
        FileName.replace(Base, std::string::npos, Item.Name);
        if (!Queue_.Submit(Dir, Item, FileName)) break;
      } else if (!MaskMode && Recurse && Item.Kind == EntryKind::kFolder) {
        SubFolders.push_back(Item.Name);
      }
    }
    bool Unreadable = Files->Failed();
    Files.reset();
    if (Recurse && MaskMode) {
      Entries = 0;
      std::unique_ptr<Listing> All = Dir.Dir->List("*");
      while (!Stopped() && All->Next(&Item)) {
        ++Entries;
        if (Item.Kind == EntryKind::kFolder) SubFolders.push_back(Item.Name);
      }
      Unreadable |= All->Failed();
    }
    if (Unreadable) CannotOpen(DirPath);
    if (!Recurse) return Entries;
    // This folder's files are done before the walk goes deeper: in a tree
    // deeper than the descriptors a process may hold, the platform may
    // close this folder for a while, and its files must not be waiting then.
    if (!SubFolders.empty()) Queue_.WaitFor(Dir);
    int FoldersGone = 0;
    for (const std::string& Name : SubFolders) {
      if (Stopped()) break;
      // Nothing inside another mount is listed, tested or changed.
      if (IsProtected(Run_, Name) ||
          (!Run_.Settings.CrossMounts && Dir.Dir->IsOtherMount(Name))) {
        continue;
      }
      OpenFolder Sub;
      Sub.Dir = Dir.Dir->OpenSubFolder(Name);
      const std::string SubPath = DirPath + Separator + Name;
      if (!Sub.Dir) {
        CannotOpen(SubPath);
        continue;
      }
      if (Run_.KeepOut && Run_.KeepOut(*Sub.Dir)) continue;
      int SubGone = 0;
      const int SubEntries = Tree(Sub, SubPath, &SubGone);
      Queue_.WaitFor(Sub);
      if (Run_.Settings.EmptyFolders && !Stopped() &&
          RemoveIfEmptied(Dir, Sub, Name, SubPath,
                          SubEntries == Sub.Counted + SubGone)) {
        ++FoldersGone;
      }
    }
    if (Gone) *Gone = FoldersGone;
    return Entries;
  }

  // After its walk, removes the subfolder Name of Dir (open as Sub) if it is
  // empty and its own term is due. AllGone: every entry it held left it,
  // which is what a report-only run goes by.
  bool RemoveIfEmptied(OpenFolder& Dir, OpenFolder& Sub,
                       const std::string& Name, const std::string& SubPath,
                       bool AllGone) {
    int64_t Created = 0;
    // A mount point stays, even once a walk across mounts has emptied it.
    if (Dir.Dir->IsOtherMount(Name) || !Sub.Dir->CreationTime(&Created) ||
        !IsExpired(Created, Run_.Sys.Now(), Day_)) {
      return false;
    }
    // A folder being removed must not be held open by the walk itself.
    Sub.Dir.reset();
    if (Run_.Settings.DryRun) {
      if (!AllGone) return false;
      Queue_.SubmitLine("Would delete folder: " + Printable(SubPath) + "\n", 1);
      return true;
    }
    // One call that fails if anything has appeared in the meantime.
    if (!Dir.Dir->RemoveSubFolder(Name)) return false;
    Queue_.SubmitLine("Delete folder: " + Printable(SubPath) + "\n", 1);
    return true;
  }

  // A folder whose files stay unseen is reported, as a file that cannot be
  // opened is; the exit status stays as it is.
  void CannotOpen(const std::string& DirPath) {
    Queue_.SubmitLine("Cannot open folder: " + Printable(DirPath) + "\n", 0);
  }

  WalkContext& Run_;
  int32_t Day_;
  std::string Mask_;
  FileQueue Queue_;
};

}  // namespace

RunCounts PurgeFolder(WalkContext& Run, std::string Path, int32_t Day) {
  TrimSeparators(Run.Sys.Separator(), &Path);
  std::string Mask;
  if (IsFileMask(Run.Sys, Path)) {
    size_t Split = Path.size();
    const size_t Root = Run.Sys.RootLength(Path);
    while (Split > Root && !Run.Sys.IsSeparator(Path[Split - 1])) --Split;
    Mask = Path.substr(Split);
    Path.resize(Split);
    TrimSeparators(Run.Sys.Separator(), &Path);
    if (Mask.empty()) return RunCounts();
  }
  OpenFolder Target;
  Target.Dir = Run.Sys.OpenFolder(Path);
  if (!Target.Dir) {
    if (!Path.empty() && IsFolder(Run.Sys, Path)) {
      Run.Sys.Print("Cannot open folder: " + Printable(Path));
    }
    return RunCounts();
  }
  Walker Walk(Run, Day, Mask);
  return Walk.Walk(Target, Path);
}

void DeleteDisposal::Dispose(Folder& /*Dir*/, const Entry& /*Item*/,
                             ExclusiveFile& File, const std::string& FileName,
                             FileReport& Report) {
  // A report-only run says what the real one would: a file that its own
  // attributes or its folder keep is reported as one that cannot go.
  const std::string Path = Printable(FileName);
  if (DryRun_ ? !File.Removable() : !File.Remove()) {
    Report.Add("File " + Path + " cannot be removed.");
    return;
  }
  Report.Add((DryRun_ ? "Would delete file: " : "Delete file: ") + Path);
  Report.Counted = true;
}

}  // namespace olvane
