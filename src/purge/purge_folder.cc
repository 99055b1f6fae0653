#include "purge/purge_folder.h"

#include <memory>
#include <vector>

#include "move/move.h"
#include "platform/path_syntax.h"
#include "purge/file_tests.h"

namespace olvane {
namespace {

bool IsDisposable(EntryKind Kind) {
  return Kind == EntryKind::kFile || Kind == EntryKind::kFileLink;
}

// Expiry first, then the probe: a file that is not due is never probed.
void ApplyFileRule(RunContext& Run, Folder& Dir, const Entry& Item,
                   const std::string& FileName, int32_t Day) {
  if (!CheckDate(Run.Sys, Dir, Item, FileName, Day)) return;
  if (IsFileFree(Dir, Item)) {
    PurgeFile(Run, Dir, Item, FileName);
    return;
  }
  Run.Sys.Print(
      (Run.Settings.MoveMode ? "Cannot move file: " : "Cannot delete file: ") +
      FileName);
}

// Walks the open folder Dir, whose full path is DirPath. An empty Mask is
// folder mode: every file is a candidate. Otherwise only files matching Mask
// are, and folders matching it are left alone.
void PurgeTree(RunContext& Run, Folder& Dir, const std::string& DirPath,
               const std::string& Mask, int32_t Day) {
  const char Separator = Run.Sys.Separator();
  const bool MaskMode = !Mask.empty();
  const bool Recurse = Run.Settings.Recurse;
  // Subfolders are gathered in full before the first is entered, so changes
  // made below do not change which ones are walked.
  std::vector<std::string> SubFolders;
  std::string FileName = DirPath + Separator;
  const size_t Base = FileName.size();
  Entry Item;

  std::unique_ptr<Listing> Files = Dir.List(MaskMode ? Mask : "*");
  while (Files->Next(&Item)) {
    if (IsDisposable(Item.Kind)) {
      FileName.replace(Base, std::string::npos, Item.Name);
      ApplyFileRule(Run, Dir, Item, FileName, Day);
    } else if (!MaskMode && Recurse && Item.Kind == EntryKind::kFolder) {
      SubFolders.push_back(Item.Name);
    }
  }
  Files.reset();
  if (!Recurse) return;

  if (MaskMode) {
    std::unique_ptr<Listing> All = Dir.List("*");
    while (All->Next(&Item)) {
      if (Item.Kind == EntryKind::kFolder) SubFolders.push_back(Item.Name);
    }
  }
  for (const std::string& Name : SubFolders) {
    std::unique_ptr<Folder> Sub = Dir.OpenSubFolder(Name);
    if (Sub) PurgeTree(Run, *Sub, DirPath + Separator + Name, Mask, Day);
  }
}

}  // namespace

void PurgeFolder(RunContext& Run, std::string Path, int32_t Day) {
  TrimSeparators(Run.Sys.Separator(), &Path);
  std::string Mask;
  if (IsFileMask(Run.Sys, Path)) {
    size_t Split = Path.size();
    while (Split > 0 && !Run.Sys.IsSeparator(Path[Split - 1])) --Split;
    Mask = Path.substr(Split);
    Path.resize(Split);
    TrimSeparators(Run.Sys.Separator(), &Path);
    if (Mask.empty()) return;
  }
  std::unique_ptr<Folder> Dir = Run.Sys.OpenFolder(Path);
  if (Dir) PurgeTree(Run, *Dir, Path, Mask, Day);
}

void PurgeFile(RunContext& Run, Folder& Dir, const Entry& Item,
               const std::string& FileName) {
  if (Run.Settings.MoveMode) {
    MoveFileOut(Run, Dir, Item, FileName);
    return;
  }
  if (Dir.Remove(Item)) {
    Run.Sys.Print("Delete file: " + FileName);
    ++Run.Settings.FileCount;
  } else {
    Run.Sys.Print("File " + FileName + " cannot be removed.");
  }
}

}  // namespace olvane
