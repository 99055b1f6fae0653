// hold_open READY FILE... on Windows, through the wide calls so that any
// name can be held: reads its arguments from the wide command line, opens
// every FILE (a folder too) for reading with the sharing a C runtime's fopen
// uses (read and write shared, delete not), and keeps it open, as another
// program would. A FILE written "map:PATH" is mapped and its handles closed:
// the view alone holds it. Then creates READY. Exits at the end of its standard
// input.
#include <windows.h>

#include <cwchar>

namespace {

bool Hold(const wchar_t* Arg) {
  const bool Map = std::wcsncmp(Arg, L"map:", 4) == 0;
  HANDLE File = CreateFileW(Arg + (Map ? 4 : 0), GENERIC_READ,
                            FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (File == INVALID_HANDLE_VALUE) return false;
  if (!Map) return true;
  HANDLE Section =
      CreateFileMappingW(File, nullptr, PAGE_READONLY, 0, 0, nullptr);
  const bool Viewed =
      Section && MapViewOfFile(Section, FILE_MAP_READ, 0, 0, 0) != nullptr;
  if (Section) CloseHandle(Section);
  return CloseHandle(File) && Viewed;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 3) return 2;
  for (int I = 2; I < argc; ++I)
    if (!Hold(argv[I])) return 1;
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
