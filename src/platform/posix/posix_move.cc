// Moving files: within a file system by rename, onto another one by a copy
// that is on disk under its final name before the source goes.
#ifndef _GNU_SOURCE
#define _GNU_SOURCE
#endif

#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "platform/posix/posix_internal.h"

namespace olvane {

UniqueFd::~UniqueFd() {
  if (Fd_ >= 0) close(Fd_);
}

void UniqueFd::Reset(int Fd) {
  if (Fd_ >= 0) close(Fd_);
  Fd_ = Fd;
}

namespace {

// Splits a full path into its folder part and its last component.
void SplitPath(const std::string& Path, std::string* Dir, std::string* Name) {
  size_t Slash = Path.rfind('/');
  if (Slash == std::string::npos) {
    *Dir = ".";
    *Name = Path;
  } else {
    *Dir = Slash == 0 ? "/" : Path.substr(0, Slash);
    *Name = Path.substr(Slash + 1);
  }
}

}  // namespace

int RenameNoReplace(int FromDir, const char* From, int ToDir, const char* To) {
  if (renameat2(FromDir, From, ToDir, To, RENAME_NOREPLACE) == 0) return 0;
  if (errno != EINVAL && errno != ENOSYS) return -1;
  // No RENAME_NOREPLACE on this file system: a hard link fails on an
  // existing name just the same.
  if (linkat(FromDir, From, ToDir, To, 0) != 0) return -1;
  if (unlinkat(FromDir, From, 0) != 0) {
    int Saved = errno;
    unlinkat(ToDir, To, 0);
    errno = Saved;
    return -1;
  }
  return 0;
}

namespace {

// Copies the content (or the link text) of From to a new entry To that is
// created exclusively, with what CopyMetadata keeps, and flushes it to disk.
bool CopyEntry(int FromDir, const char* From, int Source,
               const struct stat& Info, int ToDir, const char* To) {
  if (S_ISLNK(Info.st_mode)) {
    std::vector<char> Text(static_cast<size_t>(Info.st_size) + 1);
    ssize_t Length = readlinkat(FromDir, From, Text.data(), Text.size());
    if (Length < 0 || static_cast<size_t>(Length) >= Text.size()) return false;
    Text[static_cast<size_t>(Length)] = '\0';
    return symlinkat(Text.data(), ToDir, To) == 0;
  }
  UniqueFd Target(
      openat(ToDir, To, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600));
  if (Target.Get() < 0) return false;
  // Read through the descriptor the file was tested on: another open of it
  // would break the lease this process holds and wait on itself.
  std::vector<char> Buffer(1 << 16);
  for (off_t Offset = 0;;) {
    ssize_t Got = pread(Source, Buffer.data(), Buffer.size(), Offset);
    if (Got == 0) break;
    if (Got < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    for (ssize_t Done = 0; Done < Got;) {
      ssize_t Put = write(Target.Get(), Buffer.data() + Done,
                          static_cast<size_t>(Got - Done));
      if (Put < 0) {
        if (errno == EINTR) continue;
        return false;
      }
      Done += Put;
    }
    Offset += Got;
  }
  if (!CopyMetadata(Source, Target.Get(), Info) || fsync(Target.Get()) != 0) {
    return false;
  }
  return close(Target.Release()) == 0;
}

}  // namespace

bool MoveAcross(int FromDir, const char* From, int Source,
                const std::string& Destination) {
  struct stat Info;
  if (fstatat(FromDir, From, &Info, AT_SYMLINK_NOFOLLOW) != 0) return false;
  std::string DestDir, DestName;
  SplitPath(Destination, &DestDir, &DestName);
  UniqueFd ToDir(open(DestDir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (ToDir.Get() < 0) return false;
  std::string Temporary;
  bool Copied = false;
  for (int Try = 0; Try < 100 && !Copied; ++Try) {
    Temporary = ".olvane-" + std::to_string(getpid()) + "-" +
                std::to_string(Try) + ".tmp";
    Copied =
        CopyEntry(FromDir, From, Source, Info, ToDir.Get(), Temporary.c_str());
    if (!Copied && errno != EEXIST) {
      unlinkat(ToDir.Get(), Temporary.c_str(), 0);
      return false;
    }
  }
  if (!Copied) return false;
  if (RenameNoReplace(ToDir.Get(), Temporary.c_str(), ToDir.Get(),
                      DestName.c_str()) != 0) {
    unlinkat(ToDir.Get(), Temporary.c_str(), 0);
    return false;
  }
  // The new name must be on disk before the old file goes; if it cannot be
  // flushed, the file stays where it was.
  if (fsync(ToDir.Get()) != 0 || unlinkat(FromDir, From, 0) != 0) {
    // Take the copy back so that the file stays in one place, where it was.
    unlinkat(ToDir.Get(), DestName.c_str(), 0);
    return false;
  }
  return true;
}

}  // namespace olvane
