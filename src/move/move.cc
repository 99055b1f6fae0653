#include "move/move.h"

#include "platform/path_syntax.h"
#include "purge/file_tests.h"
#include "purge/printable.h"

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
  const std::string CannotMove =
      "File " + Printable(FileName) + " cannot be moved.";
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
  if (Exists == 0 && DryRun && WouldFill_.count(Destination)) Exists = 1;
  if (Exists != 0) {
    // The walk can meet files already in the move folder; such a file is its
    // own destination and must neither be removed nor moved onto itself.
    if (!Settings_.Overwrite || Dir.IsSameFile(Item, Destination)) {
      Report.Add("File " + Printable(Destination) + " already exist.");
      return;
    }
    // A folder of that name is never removed: the move then fails too.
    if (DryRun ? Exists < 0 : !Sys_.RemoveFile(Destination)) {
      Report.Add("File " + Printable(Destination) + " cannot be removed.");
      if (DryRun) {
        Report.Add(CannotMove);
        return;
      }
    }
  }
  if (DryRun) {
    WouldFill_.insert(Destination);
    Report.Add("Would move file: " + Printable(FileName));
    Report.Counted = true;
  } else if (File.MoveTo(Destination) == MoveResult::kMoved) {
    Report.Add("Move file: " + Printable(FileName));
    Report.Counted = true;
  } else {
    Report.Add(CannotMove);
  }
}

}  // namespace olvane
