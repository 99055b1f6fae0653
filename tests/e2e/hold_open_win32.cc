// hold_open READY FILE... on Windows, through the wide calls so that any
// name can be held: reads its arguments from the wide command line, opens
// every FILE for reading with the sharing a C runtime's fopen uses (read and
// write shared, delete not), and keeps it open, as another program would.
// Then creates READY. Exits at the end of its standard input.
#include <windows.h>

int wmain(int argc, wchar_t** argv) {
  if (argc < 3) return 2;
  for (int I = 2; I < argc; ++I) {
    if (CreateFileW(argv[I], GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                    nullptr) == INVALID_HANDLE_VALUE) {
      return 1;
    }
  }
  HANDLE Ready = CreateFileW(argv[1], GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
  if (Ready == INVALID_HANDLE_VALUE) return 1;
  CloseHandle(Ready);
  char Byte;
  DWORD Got = 0;
  while (ReadFile(GetStdHandle(STD_INPUT_HANDLE), &Byte, 1, &Got, nullptr) &&
         Got > 0) {
  }
  return 0;  // the files close with the process
}
