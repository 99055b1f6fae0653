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
  // A move folder that failed its check has no safe meaning (a bare "-m:"
  // would point at the root of the drive): nothing is moved or removed.
  if (!Settings_.MovePathValid) {
    Report.Add(EventKind::kCannotMove, FileName);
    return;
  }
  std::string Destination = Settings_.MovePath;
  TrimSeparators(Sys_.Separator(), &Destination);
  Destination += Sys_.Separator();
  Destination += Item.Name;

  const bool DryRun = Settings_.DryRun;
  int Exists = CheckExist(Sys_, Destination);
  // Names the report-only run would have filled, compared as the move
  // folder compares them: such a name counts as filled by this run.
  const std::string Key = DryRun ? Sys_.NameKey(Destination) : "";
  const bool WouldFill = DryRun && WouldFill_.count(Key) != 0;
  if (WouldFill && Exists == 0) Exists = 1;
  FileIdentity There;
  const bool Filled =
      WouldFill || (Exists != 0 && Sys_.IdentityOf(Destination, &There) &&
                    Filled_.count(There) != 0);
  if (Exists != 0) {
    // The walk can meet files already in the move folder; such a file is its
    // own destination and must neither be removed nor moved onto itself. A
    // file this run moved there is kept like one of another name.
    if (!Settings_.Overwrite || Filled || Dir.IsSameFile(Item, Destination) ||
        (Archive_ && IsOwnFile(Sys_, Settings_, *Archive_, Item.Name))) {
      Report.Add(EventKind::kAlreadyExists, FileName, Destination);
      return;
    }
    // A folder of that name is never replaced: the move fails. Nor is a
    // file the replacing move would be refused, nor one newer than the run.
    const Replaceable Old = Exists < 0 ? Replaceable::kNo
                            : DryRun   ? Sys_.CanReplaceFile(Destination)
                                       : Replaceable::kYes;
    if (Old == Replaceable::kNew) {
      Report.Add(EventKind::kAlreadyExists, FileName, Destination);
      return;
    }
    if (Old == Replaceable::kNo) {
      Report.Add(EventKind::kCannotRemove, Destination);
      Report.Add(EventKind::kCannotMove, FileName);
      return;
    }
  }
  if (DryRun) {
    Predict(File, FileName, Destination, Key, Report);
  } else {
    Move(File, FileName, Destination, Exists != 0, Report);
  }
  // A move off the file's own file system frees what it took there.
  if (Report.Counted && IsOffVolume(Dir)) Report.Freed = Report.Freeable();
}

void MoveDisposal::Predict(ExclusiveFile& File, const std::string& FileName,
                           const std::string& Destination,
                           const std::string& Key, FileReport& Report) {
  if (!File.CanMoveTo(Destination)) {
    Report.Add(EventKind::kCannotMove, FileName);
    return;
  }
  WouldFill_.insert(Key);
  Report.Add(EventKind::kWouldMove, FileName, Destination);
  Report.Counted = true;
}

void MoveDisposal::Move(ExclusiveFile& File, const std::string& FileName,
                        const std::string& Destination, bool Replace,
                        FileReport& Report) {
  switch (File.MoveTo(Destination, Replace)) {
    case MoveResult::kMoved: {
      FileIdentity There;
      if (Sys_.IdentityOf(Destination, &There)) Filled_.insert(There);
      Report.Add(EventKind::kMoved, FileName, Destination);
      Report.Counted = true;
      break;
    }
    case MoveResult::kDestinationHeld:
      // Held open elsewhere: the old copy stays, and so does the source.
      Report.Add(EventKind::kCannotRemove, Destination);
      Report.Add(EventKind::kCannotMove, FileName);
      break;
    case MoveResult::kDestinationNew:
      Report.Add(EventKind::kAlreadyExists, FileName, Destination);
      break;
    case MoveResult::kFailed:
      Report.Add(EventKind::kCannotMove, FileName);
      break;
  }
}

bool MoveDisposal::IsOffVolume(Folder& Dir) {
  FileIdentity Here;
  return KnowsVolume_ && Dir.Identity(&Here) && Here.Volume != ArchiveVolume_;
}

std::function<bool(Folder&)> MoveDisposal::Prepare() {
  Started_ = Sys_.Now();
  if (!Settings_.MovePathValid) return nullptr;
  if (!Settings_.DryRun) Sys_.RemoveStaleCopies(Settings_.MovePath);
  FileIdentity Archive;
  Archive_ = Sys_.OpenFolder(Settings_.MovePath);
  if (!Archive_ || !Archive_->Identity(&Archive)) return nullptr;
  ArchiveVolume_ = Archive.Volume;
  KnowsVolume_ = true;
  return [Archive](Folder& Sub) {
    FileIdentity Id;
    return Sub.Identity(&Id) && Id == Archive;
  };
}

}  // namespace olvane
