// The tests that decide what a path is and whether a file is due. They keep
// no state, change nothing on disk and release whatever they open before
// they return, so a disposal may follow at once.
#ifndef OLVANE_PURGE_FILE_TESTS_H_
#define OLVANE_PURGE_FILE_TESTS_H_

#include <cstdint>
#include <string>

#include "platform/platform.h"

namespace olvane {

constexpr int64_t kSecondsPerDay = 86400;

// 1 when Item in Dir can be opened for reading with no sharing right now,
// that is, no other process holds it open; else 0. Prints nothing.
int IsFileFree(Folder& Dir, const Entry& Item);

// 1 when Path names an existing folder or a drive root whose volume is there;
// else 0. One trailing separator is ignored.
int IsFolder(Platform& Sys, const std::string& Path);

// 1 when Target is to be listed as a file mask: it holds "*" or "?", or it
// names an existing entry that is not a folder. 0 when it names a folder or
// nothing.
int IsFileMask(Platform& Sys, const std::string& Target);

// The expiry rule: a file is due when its age reaches Day whole days of
// 86400 seconds, counted from its creation. A creation time in the future is
// never due, unless Day is negative, which makes every file due.
bool IsExpired(int64_t Creation, int64_t Now, int32_t Day);

// True when Item in Dir (full path FileName) is due by IsExpired. The file is
// opened with no sharing to read its creation time, so a file that another
// process holds open is not due. When it cannot be opened or queried, prints
// one line and answers false.
bool CheckDate(Platform& Sys, Folder& Dir, const Entry& Item,
               const std::string& FileName, int32_t Day);

}  // namespace olvane

#endif  // OLVANE_PURGE_FILE_TESTS_H_
