// Interposed on olvane (LD_PRELOAD) to stage races deterministically.
//
// When the run removes the file named by OLVANE_RACE_TRIGGER, the folder
// OLVANE_RACE_SWAP is first moved to OLVANE_RACE_ASIDE and replaced by a link
// to OLVANE_RACE_OUTSIDE, as a hostile user of a shared folder could do.
//
// With OLVANE_RACE_FSYNC=file every flush of a file to disk fails, and with
// OLVANE_RACE_FSYNC=folder every flush of a folder, as a full or failing
// disk can make them fail.
//
// When the run reads the status of the open file named by
// OLVANE_RACE_OPENER (the expiry test), another process starts to open that
// file, and keeps it open for two seconds once it has it.
#ifndef _GNU_SOURCE
#define _GNU_SOURCE
#endif
#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <filesystem>
#include <string>

namespace {

template <typename Call>
Call Next(const char* Name) {
  return reinterpret_cast<Call>(dlsym(RTLD_NEXT, Name));
}

std::string Var(const char* Name) {
  const char* Value = getenv(Name);
  return Value ? Value : "";
}

}  // namespace

extern "C" int unlinkat(int Dir, const char* Name, int Flags) {
  static auto Real = Next<int (*)(int, const char*, int)>("unlinkat");
  static std::atomic<bool> Done{false};
  const std::string Swap = Var("OLVANE_RACE_SWAP");
  if (!Swap.empty() && Name == Var("OLVANE_RACE_TRIGGER") &&
      !Done.exchange(true) &&
      (rename(Swap.c_str(), Var("OLVANE_RACE_ASIDE").c_str()) != 0 ||
       symlink(Var("OLVANE_RACE_OUTSIDE").c_str(), Swap.c_str()) != 0)) {
    perror("race_preload");
  }
  return Real(Dir, Name, Flags);
}

extern "C" int fsync(int Fd) {
  static auto Real = Next<int (*)(int)>("fsync");
  struct stat Info;
  if (fstat(Fd, &Info) != 0 ||
      Var("OLVANE_RACE_FSYNC") != (S_ISDIR(Info.st_mode) ? "folder" : "file")) {
    return Real(Fd);
  }
  errno = EIO;
  return -1;
}

extern "C" int statx(int Dir, const char* Path, int Flags, unsigned int Mask,
                     struct statx* Info) {
  static auto Real =
      Next<int (*)(int, const char*, int, unsigned, struct statx*)>("statx");
  static std::atomic<bool> Done{false};
  const std::string Opener = "/" + Var("OLVANE_RACE_OPENER");
  std::error_code NoPath;  // Dir is no descriptor, or its file has gone
  const std::string File = std::filesystem::read_symlink(
      "/proc/self/fd/" + std::to_string(Dir), NoPath);
  if (Opener.size() > 1 && File.size() > Opener.size() &&
      File.compare(File.size() - Opener.size(), Opener.size(), Opener) == 0 &&
      !Done.exchange(true)) {
    const bool Leased = fcntl(Dir, F_GETLEASE) == F_WRLCK;
    int Opened[2];
    if (pipe(Opened) != 0) perror("race_preload");
    if (fork() == 0) {
      // Not the run's descriptor, which would keep the lease the open waits
      // for.
      close(Dir);
      if (open(File.c_str(), O_RDONLY) >= 0) {
        write(Opened[1], "o", 1);
        sleep(2);
      }
      _exit(0);
    }
    close(Opened[1]);
    // Until the other open has begun, which breaks the lease this process
    // holds on the file; without a lease, until it has the file.
    char Byte;
    for (int Tick = 0;
         Leased && Tick < 5000 && fcntl(Dir, F_GETLEASE) == F_WRLCK; ++Tick) {
      usleep(1000);
    }
    if (!Leased && read(Opened[0], &Byte, 1) < 0) perror("race_preload");
    close(Opened[0]);
  }
  return Real(Dir, Path, Flags, Mask, Info);
}
