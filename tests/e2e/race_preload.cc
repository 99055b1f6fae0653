// Interposed on olvane (LD_PRELOAD) to stage a race deterministically: when
// the run removes the file named by OLVANE_RACE_TRIGGER, the folder
// OLVANE_RACE_SWAP is first moved to OLVANE_RACE_ASIDE and replaced by a link
// to OLVANE_RACE_OUTSIDE, as a hostile user of a shared folder could do.
#ifndef _GNU_SOURCE
#define _GNU_SOURCE
#endif
#include <dlfcn.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
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

}  // namespace

extern "C" int unlinkat(int Dir, const char* Name, int Flags) {
  using Real = int (*)(int, const char*, int);
  static Real Next = reinterpret_cast<Real>(dlsym(RTLD_NEXT, "unlinkat"));
  const char* Trigger = getenv("OLVANE_RACE_TRIGGER");
  if (Trigger && strcmp(Name, Trigger) == 0) SwapOnce();
  return Next(Dir, Name, Flags);
}
