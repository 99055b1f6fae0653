// hold_open READY RELEASE FILE...
// Opens every FILE for reading and keeps it open, as another process would,
// then writes READY. Exits, removing READY, once RELEASE exists (or after
// two minutes, so that a failed test never leaves it behind).
#include <chrono>
#include <filesystem>
#include <fstream>
#include <memory>
#include <thread>
#include <vector>

int main(int argc, char** argv) {
  if (argc < 4) return 2;
  std::vector<std::unique_ptr<std::ifstream>> Held;
  for (int I = 3; I < argc; ++I) {
    Held.push_back(std::make_unique<std::ifstream>(argv[I], std::ios::binary));
    if (!*Held.back()) return 1;
  }
  std::ofstream(argv[1]) << "ready\n";
  for (int Tick = 0; Tick < 12000 && !std::filesystem::exists(argv[2]);
       ++Tick) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  Held.clear();
  std::filesystem::remove(argv[1]);
  return 0;
}
