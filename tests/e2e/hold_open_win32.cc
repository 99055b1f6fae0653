// hold_open READY RELEASE FILE... on Windows, through the wide calls so that
// any name can be held: reads its arguments from the wide command line,
// opens every FILE for reading with the sharing a C runtime's fopen uses
// (read and write shared, delete not), and keeps it open, as another
// program would. Then writes READY. Exits, removing READY, once RELEASE
// exists (or after two minutes, so that a failed test never leaves it
// behind).
#include <windows.h>

#include <vector>

int wmain(int argc, wchar_t** argv) {
  if (argc < 4) return 2;
  std::vector<HANDLE> Held;
  for (int I = 3; I < argc; ++I) {
    HANDLE File =
        CreateFileW(argv[I], GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (File == INVALID_HANDLE_VALUE) return 1;
    Held.push_back(File);
  }
  HANDLE Ready = CreateFileW(argv[1], GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
  if (Ready == INVALID_HANDLE_VALUE) return 1;
  DWORD Written = 0;
  WriteFile(Ready, "ready\r\n", 7, &Written, nullptr);
  CloseHandle(Ready);
  for (int Tick = 0;
       Tick < 12000 && GetFileAttributesW(argv[2]) == INVALID_FILE_ATTRIBUTES;
       ++Tick) {
    Sleep(10);
  }
  for (HANDLE File : Held) CloseHandle(File);
  DeleteFileW(argv[1]);
  return 0;
}
