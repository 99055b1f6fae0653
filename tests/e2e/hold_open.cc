// hold_open READY FILE...
// Opens every FILE for reading and keeps it open, as another process would,
// then creates READY. Exits at the end of its standard input.
#include <fstream>
#include <iostream>
#include <vector>

int main(int argc, char** argv) {
  if (argc < 3) return 2;
  std::vector<std::ifstream> Held;
  for (int I = 2; I < argc; ++I) {
    Held.emplace_back(argv[I], std::ios::binary);
    if (!Held.back()) return 1;
  }
  std::ofstream(argv[1]) << "ready\n";
  while (std::cin.get() != EOF) {
  }
  return 0;
}
