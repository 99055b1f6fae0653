// Interposed on olvane (LD_PRELOAD) to stage races deterministically.
//
// When the run removes the file named by OLVANE_RACE_TRIGGER, the folder
// OLVANE_RACE_SWAP is first moved to OLVANE_RACE_ASIDE and replaced by a link
// to OLVANE_RACE_OUTSIDE, as a hostile user of a shared folder could do.
//
// When the run reads the status of the open file named by
// OLVANE_RACE_OPENER (the expiry test), another process starts to open that
// file, and keeps it open for two seconds once it has it.
#ifndef _GNU_SOURCE
#define _GNU_SOURCE
#endif
#include <dlfcn.h>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

void SwapOnce() {
  static bool Done = false;
  const char* Swap = getenv("OLVANE_RACE_SWAP");
  const char* Outside = getenv("OLVANE_RACE_OUTSIDE");
  const char* Aside = getenv("OLVANE_RACE_ASIDE");
  if (Done || !Swap || !Outside || !Aside) return;
  Done = true;
  if (rename(Swap, Aside) != 0 || symlink(Outside, Swap) != 0) {
    perror("race_preload");
  }
}

// Whether the descriptor's path ends in "/" + Name.
bool IsFile(int Fd, const char* Name) {
  char Link[64], Path[4096];
  snprintf(Link, sizeof(Link), "/proc/self/fd/%d", Fd);
  ssize_t Length = readlink(Link, Path, sizeof(Path) - 1);
  if (Length < 0) return false;
  Path[Length] = '\0';
  const char* Slash = strrchr(Path, '/');
  return Slash && strcmp(Slash + 1, Name) == 0;
}

}  // namespace

extern "C" int unlinkat(int Dir, const char* Name, int Flags) {
  using Real = int (*)(int, const char*, int);
  static Real Next = reinterpret_cast<Real>(dlsym(RTLD_NEXT, "unlinkat"));
  const char* Trigger = getenv("OLVANE_RACE_TRIGGER");
  if (Trigger && strcmp(Name, Trigger) == 0) SwapOnce();
  return Next(Dir, Name, Flags);
}

extern "C" int statx(int Dir, const char* Path, int Flags, unsigned int Mask,
                     struct statx* Info) {
  using Real = int (*)(int, const char*, int, unsigned int, struct statx*);
  static Real Next = reinterpret_cast<Real>(dlsym(RTLD_NEXT, "statx"));
  static bool Done = false;
  const char* Opener = getenv("OLVANE_RACE_OPENER");
  if (!Done && Opener && Path[0] == '\0' && IsFile(Dir, Opener)) {
    Done = true;
    char Target[64];
    snprintf(Target, sizeof(Target), "/proc/self/fd/%d", Dir);
    char Real[4096];
    ssize_t Length = readlink(Target, Real, sizeof(Real) - 1);
    Real[Length < 0 ? 0 : Length] = '\0';
    if (fork() == 0) {
      int Fd = open(Real, O_RDONLY);  // waits while a lease stands
      if (Fd >= 0) sleep(2);
      _exit(0);
    }
    // Until the other open has begun: it breaks the lease this process holds
    // on the file.
    for (int Tick = 0; Tick < 5000 && fcntl(Dir, F_GETLEASE) == F_WRLCK;
         ++Tick) {
      usleep(1000);
    }
  }
  return Next(Dir, Path, Flags, Mask, Info);
}
