// The descriptors of the process on Linux: how many the walk's folders may
// take, how many files are worked on at once, and the wait for one to come
// free when the process or the system has none left.
#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <mutex>

#include "platform/posix/posix_internal.h"

namespace olvane {
namespace {

// What the process holds besides folders, the files under way and what it
// had open at start: the inotify instance, a spare or two.
constexpr size_t kFixed = 4;
// What one file under way may hold at once: its own descriptor, a move's
// folder, copy, destination and its watch, and a look at another process
// (the list of processes, one process's folder and one of its tables).
constexpr size_t kPerFile = 8;

std::mutex Lock;
std::condition_variable Freed;
size_t Slots = 1;  // files under way at once
size_t Taken = 0;
thread_local bool Exhausted = false;

// The descriptors open now.
size_t OpenNow() {
  size_t Open = 0;
  if (DIR* Fds = opendir("/proc/self/fd")) {
    while (dirent* Fd = readdir(Fds)) Open += Fd->d_name[0] != '.';
    closedir(Fds);
    return Open - 1;  // the listing's own
  }
  return 3;
}

}  // namespace

size_t SetDescriptorLimit(size_t Limit) {
  const size_t Taken = kFixed + OpenNow();
  const size_t Free = Limit > Taken ? Limit - Taken : 0;
  const size_t Budget = std::max<size_t>(4, std::min<size_t>(1024, Free / 2));
  std::lock_guard<std::mutex> Guard(Lock);
  Slots = std::max<size_t>(1, (Free > Budget ? Free - Budget : 0) / kPerFile);
  return Budget;
}

void TakeFileSlot() {
  std::unique_lock<std::mutex> Guard(Lock);
  Freed.wait(Guard, [] { return Taken < Slots; });
  ++Taken;
}

void GiveFileSlot() {
  {
    std::lock_guard<std::mutex> Guard(Lock);
    if (Taken > 0) --Taken;
  }
  DescriptorFreed();
}

void DescriptorFreed() { Freed.notify_all(); }

bool AwaitDescriptor(int Error, int* Tries) {
  if (Error != EMFILE && Error != ENFILE) return false;
  // About ten seconds in all, woken early whenever this process frees one.
  if (++*Tries > 200) {
    Exhausted = true;
    return false;
  }
  std::unique_lock<std::mutex> Guard(Lock);
  Freed.wait_for(Guard, std::chrono::milliseconds(50));
  return true;
}

int OpenAtWaiting(int Dir, const char* Path, int Flags, mode_t Mode) {
  Exhausted = false;
  int Fd;
  for (int Tries = 0; (Fd = openat(Dir, Path, Flags, Mode)) < 0 &&
                      AwaitDescriptor(errno, &Tries);) {
  }
  return Fd;
}

bool TakeExhausted() {
  const bool Was = Exhausted;
  Exhausted = false;
  return Was;
}

}  // namespace olvane
