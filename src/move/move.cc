#include "move/move.h"

#include "platform/path_syntax.h"
#include "purge/file_tests.h"

namespace olvane {

int CheckExist(Platform& Sys, const std::string& Path) {
  switch (Sys.Find(Path)) {
    case PathKind::kFolder:
      return -1;
    case PathKind::kFile:
      return 1;
    case PathKind::kNothing:
      break;
  }
  return IsFolder(Sys, Path) ? -1 : 0;
}

void MoveDisposal::Dispose(Folder& Dir, const Entry& Item, ExclusiveFile& File,
                           const std::string& FileName, FileReport& Report) {
  const std::string CannotMove = "File " + FileName + " cannot be moved.";
  // A move folder that failed its check has no safe meaning (a bare "-m:"
  // would point at the root of the drive): nothing is moved or removed.
  if (!Settings_.MovePathValid) {
    Report.Add(CannotMove);
    return;
  }
  std::string Destination = Settings_.MovePath;
  TrimSeparators(Sys_.Separator(), &Destination);
  Destination += Sys_.Separator();
  Destination += Item.Name;

  const bool DryRun = Settings_.DryRun;
  int Exists = CheckExist(Sys_, Destination);
  // Names the report-only run would have filled, compared as the move
  // folder compares them.
  const std::string Key = DryRun ? Sys_.NameKey(Destination) : "";
  const bool Filled = Exists == 0 && DryRun && WouldFill_.count(Key) != 0;
  if (Filled) Exists = 1;
  if (Exists != 0) {
    // The walk can meet files already in the move folder; such a file is its
    // own destination and must neither be removed nor moved onto itself.
    if (!Settings_.Overwrite || Dir.IsSameFile(Item, Destination)) {
      Report.Add("File " + Destination + " already exist.");
      return;
    }
    // A folder of that name is never removed: the move then fails too.
    if (DryRun ? Exists < 0 || (!Filled && !Sys_.CanRemoveFile(Destination))
               : !Sys_.RemoveFile(Destination)) {
      Report.Add("File " + Destination + " cannot be removed.");
      if (DryRun) {
        Report.Add(CannotMove);
        return;
      }
    }
  }
  if (DryRun && !File.CanMoveTo(Destination)) {
    Report.Add(CannotMove);
  } else if (DryRun) {
    WouldFill_.insert(Key);
    Report.Add("Would move file: " + FileName);
    Report.Counted = true;
  } else if (File.MoveTo(Destination) == MoveResult::kMoved) {
    Report.Add("Move file: " + FileName);
    Report.Counted = true;
  } else {
    Report.Add(CannotMove);
  }
}

}  // namespace olvane
