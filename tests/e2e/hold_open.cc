// hold_open READY FILE...
// Opens every FILE for reading and keeps it open, as another process would,
// then creates READY. A FILE written "map:PATH" is mapped into memory and
// its descriptor closed: the mapping alone holds it. Exits at the end of its
// standard input.
#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <fstream>
#include <iostream>
#include <string>
#include <vector>

int main(int argc, char** argv) {
  if (argc < 3) return 2;
  std::vector<std::ifstream> Held;
  for (int I = 2; I < argc; ++I) {
    const std::string File = argv[I];
    if (File.rfind("map:", 0) == 0) {
      const int Fd = open(File.c_str() + 4, O_RDONLY);
      if (Fd < 0 ||
          mmap(nullptr, 1, PROT_READ, MAP_SHARED, Fd, 0) == MAP_FAILED) {
        return 1;
      }
      close(Fd);
      continue;
    }
    Held.emplace_back(File, std::ios::binary);
    if (!Held.back()) return 1;
  }
  std::ofstream(argv[1]) << "ready\n";
  while (std::cin.get() != EOF) {
  }
  return 0;
}
