#include "purge/file_tests.h"

#include "purge/printable.h"

namespace olvane {

int IsFileFree(ExclusiveFile& File) { return File.IsStillExclusive() ? 1 : 0; }

int IsFolder(Platform& Sys, const std::string& Path) {
  std::string Work = Path;
  if (Sys.QueryDriveRoot(Work) == DriveRoot::kPresent) return 1;
  if (!Work.empty() && Work.back() == Sys.Separator()) Work.pop_back();
  return Sys.Status(Work) == PathKind::kFolder ? 1 : 0;
}

int IsFileMask(Platform& Sys, const std::string& Target) {
  // A root such as "\\?\C:\" holds no wildcard.
  if (Target.find_first_of("*?", Sys.RootLength(Target)) != std::string::npos)
    return 1;
  if (Sys.Find(Target) == PathKind::kNothing) return 0;
  return IsFolder(Sys, Target) ? 0 : 1;
}

bool IsExpired(int64_t Creation, int64_t Now, int32_t Day) {
  // Whole days of age plus one, or none for a future creation time, must
  // exceed the term: so an age of exactly Day days is due.
  const int64_t Age = Now - Creation;
  const int64_t Steps = Age < 0 ? 0 : Age / kSecondsPerDay + 1;
  return Steps > Day;
}

bool CheckDate(Platform& Sys, Folder& Dir, const Entry& Item,
               const std::string& FileName, int32_t Day,
               std::unique_ptr<ExclusiveFile>* File, FileReport& Report) {
  *File = Dir.OpenExclusive(Item);
  if (!*File) {
    Report.Add("Cannot open file: " + Printable(FileName));
    return false;
  }
  int64_t Creation = 0;
  if (!(*File)->CreationTime(&Creation)) {
    File->reset();
    Report.Add("Error in BOOL CheckDate(CString FileName, int Day)");
    return false;
  }
  if (IsExpired(Creation, Sys.Now(), Day)) return true;
  File->reset();
  return false;
}

}  // namespace olvane
