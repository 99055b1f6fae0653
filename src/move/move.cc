#include "move/move.h"

#include "app/options.h"
#include "app/usage.h"
#include "platform/path_syntax.h"
#include "purge/file_tests.h"

namespace olvane {
bool IsMoveArgument(const std::string& Arg) {
  return HasOption(Arg, "-m:", "-M:");
}

void ScanMoveOption(RunContext& Run, const std::vector<std::string>& Args) {
  for (const std::string& Arg : Args) {
    if (!IsMoveArgument(Arg)) continue;
    Run.Settings.MoveMode = true;
    Run.Settings.MovePath = Arg.substr(3);
    Run.Settings.MovePathValid = IsFolder(Run.Sys, Run.Settings.MovePath);
    if (!Run.Settings.MovePathValid) {
      Run.Sys.Print("   Path don't find (-m:move_path)");
      Run.Sys.Print("");
      PrintUsage(Run.Sys);
    }
  }
}

void ScanOverwriteOption(RunSettings& Settings,
                         const std::vector<std::string>& Args,
                         const std::vector<bool>& NotOptions) {
  for (size_t I = 0; I < Args.size(); ++I) {
    if (NotOptions[I]) continue;
    if (HasOption(Args[I], "-Y", "-y:")) {
      Settings.Overwrite = true;
    }
  }
}

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

void MoveFileOut(RunContext& Run, Folder& Dir, const Entry& Item,
                 const std::string& FileName) {
  Platform& Sys = Run.Sys;
  const RunSettings& Settings = Run.Settings;
  const std::string CannotMove = "File " + FileName + " cannot be moved.";
  // A move folder that failed its check has no safe meaning (a bare "-m:"
  // would point at the root of the drive): nothing is moved or removed.
  if (!Settings.MovePathValid) {
    Sys.Print(CannotMove);
    return;
  }
  std::unique_ptr<ExclusiveFile> Source = Dir.OpenExclusive(Item);
  if (!Source || !Source->Close()) {
    Sys.Print(CannotMove);
    return;
  }
  std::string Destination = Settings.MovePath;
  TrimSeparators(Sys.Separator(), &Destination);
  Destination += Sys.Separator();
  Destination += Item.Name;

  if (CheckExist(Sys, Destination) != 0) {
    // The walk can meet files already in the move folder; such a file is its
    // own destination and must neither be removed nor moved onto itself.
    if (!Settings.Overwrite || Dir.IsSameFile(Item, Destination)) {
      Sys.Print("File " + Destination + " already exist.");
      return;
    }
    if (!Sys.RemoveFile(Destination)) {
      Sys.Print("File " + Destination + " cannot be removed.");
    }
  }
  if (Dir.MoveOut(Item, Destination) == MoveResult::kMoved) {
    Sys.Print("Move file: " + FileName);
    ++Run.Settings.FileCount;
  } else {
    Sys.Print(CannotMove);
  }
}

}  // namespace olvane
