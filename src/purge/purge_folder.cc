#include "purge/purge_folder.h"

#include <algorithm>
#include <memory>
#include <vector>

#include "platform/path_syntax.h"
#include "purge/backup_sets.h"
#include "purge/file_tests.h"
#include "purge/ranked_purge.h"
#include "purge/walker.h"
#include "purge/workers.h"

namespace olvane {

RunCounts PurgeFolder(WalkContext& Run, std::string Path, int32_t Day) {
  TrimSeparators(Run.Sys.Separator(), &Path);
  std::string Mask;
  if (IsFileMask(Run.Sys, Path)) {
    Mask = SplitOffMask(Run.Sys, &Path);
    if (Mask.empty()) return RunCounts();
  }
  std::unique_ptr<Folder> Target = Run.Sys.OpenFolder(Path);
  if (!Target) {
    // An unmounted share must not read as an empty folder in the record.
    const bool Folder = !Path.empty() && IsFolder(Run.Sys, Path);
    Run.Out.Emit(Event{
        Folder ? EventKind::kCannotOpenFolder : EventKind::kTargetNotFound,
        Path});
    return UnexaminedCounts(Run.Settings.Goal);
  }
  if (Run.RefuseTarget && Run.RefuseTarget(*Target, Mask)) return RunCounts();
  if (Run.Settings.Folders) {
    return PurgeSets(Run, std::move(Target), Path, Mask, Day);
  }
  if (Run.Settings.Goal.Ranks()) {
    return PurgeRanked(Run, std::move(Target), Path, Mask, Day);
  }
  Walker Walk(
      Run, Day, Mask, WorkersFor(Run.Sys, Run.Settings, Path),
      [&Run, Day](WalkFolder& Dir, const Entry& Item, FileReport& Report) {
        ApplyFileRule(Run, Day, Dir.Dir(), Dir.Path, Item, Report);
      });
  return Walk.Walk(std::move(Target), Path);
}

bool FilesInFlight::Take(const FileTimes& Times) {
  if (Times.Links == 1 || Times.Id.Index == 0) return false;
  std::unique_lock<std::mutex> Guard(Lock_);
  Given_.wait(Guard, [&] { return Open_.count(Times.Id) == 0; });
  Open_.insert(Times.Id);
  return true;
}

void FilesInFlight::Give(const FileIdentity& Id) {
  {
    std::lock_guard<std::mutex> Guard(Lock_);
    Open_.erase(Id);
  }
  Given_.notify_all();
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
  Report.Add(DryRun_ ? EventKind::kWouldDelete : EventKind::kDeleted, FileName);
  Report.Counted = true;
  Report.Freed = Report.Freeable();
}

}  // namespace olvane
