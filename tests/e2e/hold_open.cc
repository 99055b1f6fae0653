// hold_open READY [--thread|--orphan] FILE...
// Opens every FILE for reading and keeps it open, as another process would,
// then creates READY. A FILE written "map:PATH" is mapped into memory and
// its descriptor closed: the mapping alone holds it. With --thread the files
// are held by a thread with a descriptor table of its own; with --orphan by
// a thread whose main thread has ended. Exits at the end of its standard
// input.
#include <fcntl.h>
#include <pthread.h>
#include <sched.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>
#include <string>
#include <thread>

namespace {

int Hold(int argc, char** argv, int First) {
  for (int I = First; I < argc; ++I) {
    const bool Map = std::strncmp(argv[I], "map:", 4) == 0;
    const int Fd = open(argv[I] + (Map ? 4 : 0), O_RDONLY);
    if (Fd < 0 ||
        (Map && (mmap(nullptr, 1, PROT_READ, MAP_SHARED, Fd, 0) == MAP_FAILED ||
                 close(Fd) != 0))) {
      return 1;
    }
  }
  std::ofstream(argv[1]) << "ready\n";
  while (std::cin.get() != EOF) {
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) return 2;
  const std::string Mode = argv[2];
  if (Mode != "--thread" && Mode != "--orphan") return Hold(argc, argv, 2);
  const bool Own = Mode == "--thread";
  std::thread Holder([=] {
    if (Own && unshare(CLONE_FILES) != 0) std::exit(1);
    std::exit(Hold(argc, argv, 3));
  });
  if (Own) Holder.join();  // never returns: the holder ends the process
  Holder.detach();
  pthread_exit(nullptr);
}
