// The log a run appends to, and the status file it replaces.
#ifndef _GNU_SOURCE
#define _GNU_SOURCE
#endif

#include <errno.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <memory>
#include <string>

#include "platform/log_rotation.h"
#include "platform/posix/posix_internal.h"

namespace olvane {
namespace {

class PosixLog : public LogFile {
 public:
  explicit PosixLog(int Fd) : Fd_(Fd) {}
  // O_APPEND: each write lands whole at the end, whoever else appends.
  bool Append(const std::string& Text) override {
    return WriteAll(Fd_.Get(), Text);
  }

 private:
  UniqueFd Fd_;
};

// The regular file Path opened for appending, never through a link at Path
// itself (*Link then); -1 on failure. Without blocking, so that a FIFO
// named like the log cannot hold the run.
int OpenAppending(const std::string& Path, struct stat* Info, bool* Link) {
  UniqueFd Fd(open(Path.c_str(),
                   O_WRONLY | O_APPEND | O_CREAT | O_NOFOLLOW | O_NONBLOCK |
                       O_CLOEXEC | O_NOCTTY,
                   0644));
  *Link = Fd.Get() < 0 && errno == ELOOP;
  if (Fd.Get() < 0 || fstat(Fd.Get(), Info) != 0 || !S_ISREG(Info->st_mode) ||
      fcntl(Fd.Get(), F_SETFL, O_WRONLY | O_APPEND) != 0) {
    return -1;
  }
  return Fd.Release();
}

// Renames the full log open as Fd away, under its lock, unless another run
// did so meanwhile: only the file still at Path is renamed.
void RotateLog(int Fd, const std::string& Path, int Keep,
               const struct stat& Opened) {
  while (flock(Fd, LOCK_EX) != 0) {
    if (errno != EINTR) return;
  }
  struct stat There;
  if (lstat(Path.c_str(), &There) == 0 && There.st_dev == Opened.st_dev &&
      There.st_ino == Opened.st_ino) {
    ShiftGenerations(
        Path, Keep,
        [](const std::string& From, const std::string& To) {
          rename(From.c_str(), To.c_str());
        },
        [](const std::string& Gone) { unlink(Gone.c_str()); });
  }
  flock(Fd, LOCK_UN);
}

}  // namespace

LogOpened OpenPosixLog(const std::string& Path, int64_t RotateAbove, int Keep,
                       std::unique_ptr<LogFile>* Log) {
  // A run that finds the log rotated by another opens the new one.
  for (int Try = 0; Try < 16; ++Try) {
    struct stat Info;
    bool Link = false;
    UniqueFd Fd(OpenAppending(Path, &Info, &Link));
    if (Fd.Get() < 0) return Link ? LogOpened::kLink : LogOpened::kFailed;
    if (Info.st_size <= RotateAbove) {
      *Log = std::make_unique<PosixLog>(Fd.Release());
      return LogOpened::kOpened;
    }
    RotateLog(Fd.Get(), Path, Keep, Info);
  }
  return LogOpened::kFailed;
}

// Named as the temporary copies of moves are, so that one left by a run
// that was killed goes with them.
bool ReplacePosixContent(const std::string& Path, const std::string& Text) {
  const size_t Slash = Path.rfind('/');
  if (Slash == std::string::npos) return false;
  for (int Try = 0; Try < 100; ++Try) {
    const std::string Temporary =
        Path.substr(0, Slash + 1) + TemporaryName(Try);
    UniqueFd Fd(open(Temporary.c_str(),
                     O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                     0644));
    if (Fd.Get() < 0 && errno == EEXIST) continue;
    if (Fd.Get() < 0) return false;
    const bool Written = WriteAll(Fd.Get(), Text) && fsync(Fd.Get()) == 0 &&
                         close(Fd.Release()) == 0 &&
                         rename(Temporary.c_str(), Path.c_str()) == 0;
    if (!Written) unlink(Temporary.c_str());
    return Written;
  }
  return false;
}

}  // namespace olvane
