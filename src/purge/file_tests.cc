#include "purge/file_tests.h"

#include "platform/path_syntax.h"

namespace olvane {

int IsFileFree(ExclusiveFile& File) { return File.IsStillFree() ? 1 : 0; }

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

bool IsExpired(int64_t Time, int64_t Now, int32_t Day) {
  // Whole days of age plus one, or none for a future time, must exceed the
  // term: so an age of exactly Day days is due.
  const int64_t Age = Now - Time;
  const int64_t Steps = Age < 0 ? 0 : Age / kSecondsPerDay + 1;
  return Steps > Day;
}

std::string SplitOffMask(Platform& Sys, std::string* Path) {
  TrimSeparators(Sys.Separator(), Path);
  size_t Split = Path->size();
  const size_t Root = Sys.RootLength(*Path);
  while (Split > Root && !Sys.IsSeparator((*Path)[Split - 1])) --Split;
  std::string Mask = Path->substr(Split);
  Path->resize(Split);
  TrimSeparators(Sys.Separator(), Path);
  return Mask;
}

int64_t TimeOf(const FileTimes& Times, TimeKind Kind) {
  switch (Kind) {
    case TimeKind::kModification:
      return Times.Modification;
    case TimeKind::kAccess:
      return Times.Access;
    case TimeKind::kCreation:
      break;
  }
  return Times.Creation;
}

TimeKey KeyOf(const FileTimes& Times, TimeKind Kind) {
  switch (Kind) {
    case TimeKind::kModification:
      return {Times.Modification, Times.ModificationNanos};
    case TimeKind::kAccess:
      return {Times.Access, Times.AccessNanos};
    case TimeKind::kCreation:
      break;
  }
  return {Times.Creation, Times.CreationNanos};
}

bool AgeOf(Platform& Sys, const RunSettings& Settings, const std::string& Name,
           const FileTimes& Times, TimeKey* Time) {
  if (!Settings.NameDates) {
    *Time = KeyOf(Times, Settings.Age);
    return true;
  }
  const std::optional<CivilTime> Date = Settings.NameDates->DateIn(Name);
  *Time = TimeKey();
  return Date && Sys.FromLocalTime(*Date, &Time->Seconds);
}

bool IsDueUnopened(Platform& Sys, Folder& Dir, const Entry& Item, int32_t Day,
                   const RunSettings& Settings, bool* Gone, FileTimes* Had) {
  FileTimes Own;
  FileTimes& Times = Had ? *Had : Own;
  Times = Item.Times;
  *Gone = !Item.Timed && !Dir.EntryTimes(Item, &Times);
  TimeKey Age;
  return !*Gone && (Settings.CrossMounts || !Times.MountRoot) &&
         AgeOf(Sys, Settings, Item.Name, Times, &Age) &&
         IsExpired(Age.Seconds, Sys.Now(), Day);
}

bool CheckDate(Platform& Sys, Folder& Dir, const Entry& Item,
               const std::string& FileName, int32_t Day,
               const RunSettings& Settings,
               std::unique_ptr<ExclusiveFile>* File, FileReport& Report) {
  *File = Dir.OpenExclusive(Item);
  if (!*File) {
    Report.Add(EventKind::kCannotOpen, FileName);
    return false;
  }
  // The entry may have been replaced since its status was read: what counts
  // is the file now open.
  FileTimes Times;
  if (!(*File)->Times(&Times)) {
    File->reset();
    Report.Add(EventKind::kStatusUnreadable, FileName);
    return false;
  }
  if (IsDueOpen(Sys, Item.Name, FileName, Times, Day, Settings, Report)) {
    return true;
  }
  File->reset();
  return false;
}

bool IsDueOpen(Platform& Sys, const std::string& Name,
               const std::string& FileName, const FileTimes& Times,
               int32_t Day, const RunSettings& Settings, FileReport& Report) {
  TimeKey Age;
  const bool Dated = AgeOf(Sys, Settings, Name, Times, &Age);
  Report.Know(FileName, Times, Age.Seconds);
  return Dated && IsExpired(Age.Seconds, Sys.Now(), Day);
}

namespace {

// Whether Rest, what follows an own file's name, leaves it that file: ""
// (the name itself) or an old log's ".N", N from 1 to Generations.
bool IsOwnSuffix(const std::string& Rest, int Generations) {
  if (Rest.empty()) return true;
  if (Rest.size() < 2 || Rest.size() > 5 || Rest[0] != '.' || Rest[1] == '0')
    return false;
  int Number = 0;
  for (size_t I = 1; I < Rest.size(); ++I) {
    if (Rest[I] < '0' || Rest[I] > '9') return false;
    Number = Number * 10 + (Rest[I] - '0');
  }
  return Number <= Generations;
}

}  // namespace

bool IsOwnFile(Platform& Sys, const RunSettings& Settings, Folder& Dir,
               const std::string& Name) {
  if (Settings.OwnFiles.empty()) return false;
  const std::string Key = Sys.NameKey(Name);
  for (const OwnFile& Own : Settings.OwnFiles) {
    FileIdentity Id;
    if (Key.compare(0, Own.Key.size(), Own.Key) == 0 &&
        IsOwnSuffix(Key.substr(Own.Key.size()), Own.Generations) &&
        Dir.Identity(&Id) && Id == Own.Folder) {
      return true;
    }
  }
  return false;
}

}  // namespace olvane
