// hold_open READY FILE...
// Opens every FILE for reading and keeps it open, as another process would,
// then creates READY. A FILE written "map:PATH" is mapped into memory and
// its descriptor closed: the mapping alone holds it. Exits at the end of its
// standard input.
#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstring>
#include <fstream>
#include <iostream>

int main(int argc, char** argv) {
  if (argc < 3) return 2;
  for (int I = 2; I < argc; ++I) {
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
