// The tests that decide what a path is and whether a file is due. They keep
// no state and change nothing on disk.
#ifndef OLVANE_PURGE_FILE_TESTS_H_
#define OLVANE_PURGE_FILE_TESTS_H_

#include <cstdint>
#include <memory>
#include <string>
#include <tuple>

#include "platform/platform.h"
#include "purge/disposal.h"
#include "purge/run_settings.h"

namespace olvane {

constexpr int64_t kSecondsPerDay = 86400;

// 1 when no other process has opened File since it was opened with no
// sharing, so that it may be disposed of now; else 0. Prints nothing.
int IsFileFree(ExclusiveFile& File);

// 1 when Path names an existing folder or a drive root whose volume is there;
// else 0. One trailing separator is ignored.
int IsFolder(Platform& Sys, const std::string& Path);

// 1 when Target is to be listed as a file mask: it holds "*" or "?", or it
// names an existing entry that is not a folder. 0 when it names a folder or
// nothing.
int IsFileMask(Platform& Sys, const std::string& Target);

// The expiry rule: a file is due when its age reaches Day whole days of
// 86400 seconds, counted from Time (its creation, or the time the run
// counts from). A time in the future is never due, unless Day is negative,
// which makes every file due.
bool IsExpired(int64_t Time, int64_t Now, int32_t Day);

// Takes the last part of the target Path (a file mask) off Path, which then
// names its folder, trailing separators trimmed; a root is never split.
// Answers the mask, empty when Path ends in its root or a separator.
std::string SplitOffMask(Platform& Sys, std::string* Path);

// Whether the entry Name of Dir is one of Settings.OwnFiles: passed over
// as a protected file is.
bool IsOwnFile(Platform& Sys, const RunSettings& Settings, Folder& Dir,
               const std::string& Name);

// The one of Times that Kind names.
int64_t TimeOf(const FileTimes& Times, TimeKind Kind);

// The one of Times that Kind names, to the fraction of a second recorded:
// the key that orders files oldest first.
struct TimeKey {
  int64_t Seconds = 0;
  uint32_t Nanos = 0;
  bool operator<(const TimeKey& Other) const {
    return std::tie(Seconds, Nanos) < std::tie(Other.Seconds, Other.Nanos);
  }
  bool operator!=(const TimeKey& Other) const {
    return std::tie(Seconds, Nanos) != std::tie(Other.Seconds, Other.Nanos);
  }
};
TimeKey KeyOf(const FileTimes& Times, TimeKind Kind);

// The time the age of the entry Name counts from: with a format of
// --date-from-name the date its name holds, in local time; else the one of
// Times of the run's kind. False for a name that holds no date.
bool AgeOf(Platform& Sys, const RunSettings& Settings, const std::string& Name,
           const FileTimes& Times, TimeKey* Time);

// Whether Item of Dir is due by the times had without opening it (the
// listing's, or one status query). *Gone: no status could be had at all.
// A file that is the root of another mount is never due unless the run
// crosses mounts, as nothing inside another mount is to be tested. *Had,
// if given, receives the times it went by.
bool IsDueUnopened(Platform& Sys, Folder& Dir, const Entry& Item, int32_t Day,
                   const RunSettings& Settings, bool* Gone,
                   FileTimes* Had = nullptr);

// For an Item that IsDueUnopened found due: true when it is still due by the
// times read on the open handle; *File then holds it open with no sharing,
// for the probe and the disposal. A file that another process holds open
// cannot be opened so. When it cannot be opened or queried, reports why (full
// path FileName) and answers false.
bool CheckDate(Platform& Sys, Folder& Dir, const Entry& Item,
               const std::string& FileName, int32_t Day,
               const RunSettings& Settings,
               std::unique_ptr<ExclusiveFile>* File, FileReport& Report);

// CheckDate's test of the file Name (full path FileName) once it is open:
// whether it is due by Times, read on the open handle. Report knows them
// from now on.
bool IsDueOpen(Platform& Sys, const std::string& Name,
               const std::string& FileName, const FileTimes& Times,
               int32_t Day, const RunSettings& Settings, FileReport& Report);

}  // namespace olvane

#endif  // OLVANE_PURGE_FILE_TESTS_H_
