// Interposed on olvane (LD_PRELOAD) to stage races deterministically.
//
// When the run removes the file named by OLVANE_RACE_TRIGGER, the folder
// OLVANE_RACE_SWAP is first moved to OLVANE_RACE_ASIDE and replaced by a link
// to OLVANE_RACE_OUTSIDE, as a hostile user of a shared folder could do.
//
// With OLVANE_RACE_NO_TMPFILE=1 no unnamed file can be made, as on file
// systems without O_TMPFILE.
//
// With OLVANE_RACE_FSYNC=file every flush of a file to disk fails, and with
// OLVANE_RACE_FSYNC=folder every flush of a folder, as a full or failing
// disk can make them fail.
//
// When the run reads the status of the open file named by
// OLVANE_RACE_OPENER (the expiry test), another process starts to open that
// file, and keeps it open for two seconds once it has it. With
// OLVANE_RACE_AT=flush that happens instead when the run first flushes a
// file (the copy of a move), and so does OLVANE_RACE_RENAME=FROM:TO, a new
// version saved over the name. At the expiry test, OLVANE_RACE_EXCHANGE=A:B
// swaps the two names. With OLVANE_RACE_AT=remove the rename and the swap
// happen when the run removes the file named by OLVANE_RACE_TRIGGER.
#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <stdarg.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <filesystem>
#include <string>
#include <utility>

namespace {

template <typename Call>
Call Next(const char* Name) {
  return reinterpret_cast<Call>(dlsym(RTLD_NEXT, Name));
}

std::string Var(const char* Name) {
  const char* Value = getenv(Name);
  return Value ? Value : "";
}

// Says on standard error that a staging call failed.
void Must(bool Done) {
  if (!Done) perror("race_preload");
}

// The two paths of "A:B", or none.
std::pair<std::string, std::string> Pair(const char* Name) {
  const std::string Value = Var(Name);
  const size_t Colon = Value.find(':');
  if (Colon == std::string::npos) return {};
  return {Value.substr(0, Colon), Value.substr(Colon + 1)};
}

// Another process opens File, which the run holds open as Fd.
void Open(int Fd, const std::string& File) {
  const bool Leased = fcntl(Fd, F_GETLEASE) == F_WRLCK;
  int Opened[2];
  Must(pipe(Opened) == 0);
  if (fork() == 0) {
    // None of the run's descriptors: that of the file would keep the lease
    // the open waits for, and those of other files would hold them.
    for (int Own = 3; Own < 1024; ++Own)
      if (Own != Opened[1]) close(Own);
    if (open(File.c_str(), O_RDONLY) >= 0 && write(Opened[1], "o", 1) == 1)
      sleep(2);
    _exit(0);
  }
  close(Opened[1]);
  // Until the other open has begun, which breaks the lease this process
  // holds on the file; without a lease, until it has the file.
  char Byte;
  for (int Tick = 0; Leased && Tick < 5000 && fcntl(Fd, F_GETLEASE) == F_WRLCK;
       ++Tick) {
    usleep(1000);
  }
  Must(Leased || read(Opened[0], &Byte, 1) >= 0);
  close(Opened[0]);
}

// The path of Fd, when it names the run's file Name.
std::string PathIfNamed(int Fd, const std::string& Name) {
  std::error_code NoPath;  // Fd is no descriptor, or its file has gone
  const std::string File = std::filesystem::read_symlink(
      "/proc/self/fd/" + std::to_string(Fd), NoPath);
  const std::string End = "/" + Name;
  return Name.empty() || File.size() <= End.size() ||
                 File.compare(File.size() - End.size(), End.size(), End) != 0
             ? std::string()
             : File;
}

// Stages what is asked for at Point, once.
void Stage(const char* Point, int Fd) {
  static std::atomic<bool> Done{false};
  const std::string At = Var("OLVANE_RACE_AT");
  if ((At.empty() ? "test" : At) != Point || Done.load()) return;
  const std::string Opener = Var("OLVANE_RACE_OPENER");
  std::string File = PathIfNamed(Fd, Opener);
  // At the flush, the descriptor of the file being moved.
  for (int Own = 3; File.empty() && !Opener.empty() && Own < 256; ++Own)
    if ((File = PathIfNamed(Own, Opener)).size()) Fd = Own;
  if (!Opener.empty() && File.empty()) return;
  if (Done.exchange(true)) return;
  if (!File.empty()) Open(Fd, File);
  if (const auto [From, To] = Pair("OLVANE_RACE_RENAME"); !From.empty())
    Must(rename(From.c_str(), To.c_str()) == 0);
  if (const auto [A, B] = Pair("OLVANE_RACE_EXCHANGE"); !A.empty())
    Must(renameat2(AT_FDCWD, A.c_str(), AT_FDCWD, B.c_str(), RENAME_EXCHANGE) ==
         0);
}

}  // namespace

extern "C" int unlinkat(int Dir, const char* Name, int Flags) {
  static auto Real = Next<int (*)(int, const char*, int)>("unlinkat");
  static std::atomic<bool> Done{false};
  const std::string Swap = Var("OLVANE_RACE_SWAP");
  const bool Triggered = Name == Var("OLVANE_RACE_TRIGGER");
  if (!Swap.empty() && Triggered && !Done.exchange(true)) {
    Must(rename(Swap.c_str(), Var("OLVANE_RACE_ASIDE").c_str()) == 0 &&
         symlink(Var("OLVANE_RACE_OUTSIDE").c_str(), Swap.c_str()) == 0);
  }
  if (Triggered) Stage("remove", -1);
  return Real(Dir, Name, Flags);
}

extern "C" int openat(int Dir, const char* Path, int Flags, ...) {
  static auto Real = Next<int (*)(int, const char*, int, ...)>("openat");
  va_list Args;
  va_start(Args, Flags);
  const mode_t Mode =
      (Flags & (O_CREAT | O_TMPFILE)) ? va_arg(Args, mode_t) : 0;
  va_end(Args);
  if ((Flags & O_TMPFILE) == O_TMPFILE &&
      Var("OLVANE_RACE_NO_TMPFILE") == "1") {
    errno = EOPNOTSUPP;
    return -1;
  }
  return Real(Dir, Path, Flags, Mode);
}

extern "C" int fsync(int Fd) {
  static auto Real = Next<int (*)(int)>("fsync");
  struct stat Info;
  if (fstat(Fd, &Info) != 0) return Real(Fd);
  if (S_ISREG(Info.st_mode)) Stage("flush", -1);
  if (Var("OLVANE_RACE_FSYNC") != (S_ISDIR(Info.st_mode) ? "folder" : "file"))
    return Real(Fd);
  errno = EIO;
  return -1;
}

extern "C" int statx(int Dir, const char* Path, int Flags, unsigned int Mask,
                     struct statx* Info) {
  static auto Real =
      Next<int (*)(int, const char*, int, unsigned, struct statx*)>("statx");
  // The expiry test reads the status of the file it opened, by descriptor.
  // The first path of an exchange is the file whose test sets it off.
  const std::string First = Pair("OLVANE_RACE_EXCHANGE").first;
  if (!*Path &&
      (!PathIfNamed(Dir, Var("OLVANE_RACE_OPENER")).empty() ||
       !PathIfNamed(Dir, First.substr(First.rfind('/') + 1)).empty())) {
    Stage("test", Dir);
  }
  return Real(Dir, Path, Flags, Mask, Info);
}
