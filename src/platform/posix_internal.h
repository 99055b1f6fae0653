// What the parts of the Linux platform share.
#ifndef OLVANE_PLATFORM_POSIX_INTERNAL_H_
#define OLVANE_PLATFORM_POSIX_INTERNAL_H_

#include <sys/stat.h>
#include <sys/types.h>

#include <memory>
#include <string>

#include "platform/platform.h"

namespace olvane {

// Closes a descriptor when it goes out of scope.
class UniqueFd {
 public:
  explicit UniqueFd(int Fd = -1) : Fd_(Fd) {}
  UniqueFd(const UniqueFd&) = delete;
  UniqueFd& operator=(const UniqueFd&) = delete;
  ~UniqueFd();
  int Get() const { return Fd_; }
  int Release() {
    int Fd = Fd_;
    Fd_ = -1;
    return Fd;
  }
  void Reset(int Fd);

 private:
  int Fd_;
};

// Renames From in FromDir to To in ToDir without ever replacing an existing
// entry. 0 or -1 with errno, as rename does.
int RenameNoReplace(int FromDir, const char* From, int ToDir, const char* To);

// Moves the entry From of FromDir, open as Source (a regular file's
// descriptor, or -1 for a link), to the full path Destination on another
// file system: a copy under a temporary name in the destination folder,
// flushed, given its final name without replacing anything, and only then
// the source removed. A crash at any point leaves two copies, never none.
bool MoveAcross(int FromDir, const char* From, int Source,
                const std::string& Destination);

// The folders of one walk, from the target down.
class FolderChain;

// Opens the folder Path as written, as the first of a walk. Null on failure.
std::unique_ptr<Folder> OpenPosixFolder(const std::string& Path,
                                        FolderChain* Chain);

// A chain for a process that may hold DescriptorLimit descriptors.
std::shared_ptr<FolderChain> MakeFolderChain(size_t DescriptorLimit);

}  // namespace olvane

#endif  // OLVANE_PLATFORM_POSIX_INTERNAL_H_
