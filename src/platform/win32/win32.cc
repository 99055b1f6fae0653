// The platform on Windows. Paths are UTF-8 inside the program and UTF-16 in
// every call, in the long form ("\\?\C:\...", "\\?\UNC\server\share\...") so
// that no length limit or registry setting applies; printed paths keep the
// form the user wrote. The walk itself goes by handles (win32_walk.cc).
#include <atomic>
#include <cwchar>
#include <memory>
#include <string>
#include <vector>

#include "platform/path_syntax.h"
#include "platform/platform.h"
#include "platform/wide_text.h"
#include "platform/win32/win32_internal.h"

// The runtime still splits the narrow command line for main, which is not
// used; it must not look for files matching "*" and "?" while it does.
extern "C" {
int _dowildcard = 0;
}

namespace olvane {
namespace {

using win32::ExactLongForm;
using win32::FromCreateFile;
using win32::LongForm;
using win32::UniqueHandle;
using win32::W;

// The exit status a stop request asks for; 0 while none came.
std::atomic<int> StopRequest{0};

// Runs on a thread of its own that the system starts for each event.
BOOL WINAPI OnConsoleEvent(DWORD Event) {
  int Status = 0;
  switch (Event) {
    case CTRL_C_EVENT:
      Status = 128 + 2;  // SIGINT
      break;
    case CTRL_BREAK_EVENT:
      Status = 128 + 21;  // SIGBREAK
      break;
    case CTRL_CLOSE_EVENT:
    case CTRL_LOGOFF_EVENT:
    case CTRL_SHUTDOWN_EVENT:
      Status = 128 + 15;  // SIGTERM
      break;
    default:
      return FALSE;
  }
  int None = 0;
  StopRequest.compare_exchange_strong(None, Status);
  if (Status == 128 + 15) {
    // The system ends the process as soon as this returns (and at the
    // latest some five seconds after the event). Waiting here gives the run
    // time to end its walk and print its count; a run that ends sooner
    // exits without waiting for this.
    Sleep(4000);
  }
  return TRUE;
}

// The current folder of Drive ("Q:"), as the system keeps one per drive;
// its root when it keeps none.
std::string DriveFolder(const std::string& Drive) {
  const std::u16string Wide = WideFromUtf8(Drive);
  std::u16string Path(MAX_PATH, u'\0');
  for (;;) {
    const DWORD Length =
        GetFullPathNameW(W(Wide), static_cast<DWORD>(Path.size()),
                         reinterpret_cast<wchar_t*>(&Path[0]), nullptr);
    if (Length == 0) return Drive + '\\';
    if (Length < Path.size()) return Utf8FromWide(Path.substr(0, Length));
    Path.resize(Length);
  }
}

// The length of the drive root "\\?\C:\" that begins the long form Long;
// 0 when it begins with none.
size_t DriveRootOf(const std::u16string& Long) {
  return Long.size() >= 7 && Long.compare(0, 4, u"\\\\?\\") == 0 &&
                 Long[5] == u':' && Long[6] == u'\\'
             ? 7
             : 0;
}

// The folder or file Long leads to, through links, opened for its
// attributes only.
UniqueHandle OpenForIdentity(const std::u16string& Long) {
  return FromCreateFile(CreateFileW(W(Long), FILE_READ_ATTRIBUTES,
                                    win32::kShareAll, nullptr, OPEN_EXISTING,
                                    FILE_FLAG_BACKUP_SEMANTICS, nullptr));
}

PathKind KindOfAttributes(DWORD Attributes) {
  return (Attributes & FILE_ATTRIBUTE_DIRECTORY) ? PathKind::kFolder
                                                 : PathKind::kFile;
}

class Win32Platform : public Platform {
 public:
  char Separator() const override { return '\\'; }
  bool IsSeparator(char C) const override { return C == '\\' || C == '/'; }
  bool IsFullPath(const std::string& Arg) const override {
    return IsWindowsFullPath(Arg);
  }
  std::string ResolvePath(const std::string& Base,
                          const std::string& Arg) override {
    const bool OnDrive = WindowsRootLength(Arg) == 2;
    std::string Path =
        ResolveWindowsPath(Base, Arg, CurrentDirectory(),
                           OnDrive ? DriveFolder(Arg.substr(0, 2)) : "");
    // An entry named by its short 8.3 name is that entry: its long name is
    // the one the listing gives, and the one a name without a wildcard
    // must be to count. Trailing separators stay.
    const size_t End = Path.find_last_not_of("\\/") + 1;
    const std::u16string Long = win32::LongNameOfShort(Path.substr(0, End));
    if (!Long.empty()) {
      const size_t Start = Path.find_last_of("\\/", End - 1) + 1;
      Path.replace(Start, End - Start, Utf8FromWide(Long));
    }
    return Path;
  }
  size_t RootLength(const std::string& Path) const override {
    return WindowsRootLength(Path);
  }
  std::string NameKey(const std::string& Path) override {
    std::u16string Wide = WideFromUtf8(Path);
    for (char16_t& C : Wide) C = win32::Upcase(C);
    return Utf8FromWide(Wide);
  }
  bool SlashHelp() const override { return true; }
  bool NamesInWtf8() const override { return true; }

  DriveRoot QueryDriveRoot(const std::string& Path) override {
    if (!HasWindowsDriveRootForm(Path)) return DriveRoot::kNotRoot;
    return GetDriveTypeW(W(WideFromUtf8(Path))) == DRIVE_NO_ROOT_DIR
               ? DriveRoot::kAbsent
               : DriveRoot::kPresent;
  }

  bool SpaceOf(const std::string& Path, DiskSpace* Out) override {
    ULARGE_INTEGER Available, Total, Free;
    // The folder's own path, with the separator that a root needs.
    if (!GetDiskFreeSpaceExW(W(LongForm(Path + '\\')), &Available, &Total,
                             &Free)) {
      return false;
    }
    Out->Available = static_cast<int64_t>(Available.QuadPart);
    Out->Total = static_cast<int64_t>(Total.QuadPart);
    return true;
  }

  // A share however written ("\\server\share", "\\?\UNC\..."), or a
  // drive the system says is remote (a mapped share).
  FileSystemKind FileSystemOf(const std::string& Path) override {
    const std::u16string Long = LongForm(Path);
    if (Long.compare(0, 8, u"\\\\?\\UNC\\") == 0) {
      return FileSystemKind::kNetwork;
    }
    if (Long.size() < 7 || Long[5] != u':') return FileSystemKind::kLocal;
    return GetDriveTypeW(W(Long.substr(4, 3))) == DRIVE_REMOTE
               ? FileSystemKind::kNetwork
               : FileSystemKind::kLocal;
  }

  bool MatchName(const std::string& Mask,
                 const std::string& Name) const override {
    return MatchWideMask(WideFromUtf8(Mask), WideFromUtf8(Name), win32::Upcase);
  }

  // A drive root however written ("C:", "C:\\", "C:\Logs\..", a relative
  // path that climbs to it): the full long form is "\\?\C:\". Or reached
  // through links and junctions: the folder Folder opens is, by volume
  // serial and file number, the root of its own path's drive or of the
  // drive the system finds it on.
  std::string WholeRoot(const std::string& Folder,
                        const std::string& Mask) override {
    if (!MaskTakesEveryName(Mask, true) || Folder.empty()) return std::string();
    // The separator makes "C:" the root of C:, as OpenFolder takes it.
    std::u16string Long = LongForm(Folder + '\\');
    while (Long.size() > 7 && Long.back() == u'\\') Long.pop_back();
    if (DriveRootOf(Long) != 0 && DriveRootOf(Long) == Long.size()) {
      return Utf8FromWide(Long.substr(4));
    }
    const UniqueHandle Opened = OpenForIdentity(Long);
    FileIdentity Mine;
    if (!Opened.Valid() || !win32::IdentityOfHandle(Opened.Get(), &Mine)) {
      return std::string();
    }
    std::u16string Final(MAX_PATH, u'\0');
    const DWORD Length = GetFinalPathNameByHandleW(
        Opened.Get(), reinterpret_cast<wchar_t*>(&Final[0]),
        static_cast<DWORD>(Final.size()), VOLUME_NAME_DOS);
    Final.resize(Length < Final.size() ? Length : 0);
    for (const std::u16string* Path : {&Long, &Final}) {
      const size_t Root = DriveRootOf(*Path);
      if (Root == 0) continue;
      const std::u16string Drive = Path->substr(0, Root);
      const UniqueHandle Top = OpenForIdentity(Drive);
      FileIdentity Id;
      if (Top.Valid() && win32::IdentityOfHandle(Top.Get(), &Id) &&
          Id == Mine) {
        return Utf8FromWide(Drive.substr(4));
      }
    }
    return std::string();
  }

  ConfigLock LockConfiguration(const std::string& Path) override {
    // Named by the file's identity, so that every spelling of the path
    // takes the one lock: a mutex this process keeps until it ends.
    HANDLE File = CreateFileW(
        W(LongForm(Path)), 0,
        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
        OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (File == INVALID_HANDLE_VALUE) return ConfigLock::kFailed;
    BY_HANDLE_FILE_INFORMATION Info;
    const bool Known = GetFileInformationByHandle(File, &Info) != 0;
    CloseHandle(File);
    if (!Known) return ConfigLock::kFailed;
    wchar_t Name[80];
    for (const wchar_t* Space : {L"Global", L"Local"}) {
      swprintf(Name, 80, L"%ls\\olvane-config-%08lx-%08lx%08lx", Space,
               Info.dwVolumeSerialNumber, Info.nFileIndexHigh,
               Info.nFileIndexLow);
      HANDLE Mutex = CreateMutexW(nullptr, FALSE, Name);
      if (!Mutex) continue;  // no right to the global names: the session's
      if (GetLastError() != ERROR_ALREADY_EXISTS) return ConfigLock::kTaken;
      CloseHandle(Mutex);
      return ConfigLock::kBusy;
    }
    return ConfigLock::kFailed;
  }

  std::vector<std::string> Arguments(int, char**) override {
    return win32::WideArguments();
  }

  bool Start() override {
    // A drive without a medium fails its calls instead of asking the user.
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
    win32::NoteRunStart();
    return win32::NtCallsAvailable() &&
           SetConsoleCtrlHandler(OnConsoleEvent, TRUE) != 0;
  }

  int SignalStatus() override { return StopRequest.load(); }
  int64_t Monotonic() override {
    return static_cast<int64_t>(GetTickCount64());
  }

  // Handles are not scarce: the window of the walk bounds them.
  size_t FolderBudget() override { return 1 << 16; }

  std::string CurrentDirectory() override {
    return Utf8FromWide(win32::CurrentDirectoryWide());
  }

  int64_t Now() override {
    FILETIME Time;
    GetSystemTimeAsFileTime(&Time);
    return win32::SecondsFromTicks(static_cast<int64_t>(
        (uint64_t{Time.dwHighDateTime} << 32) | Time.dwLowDateTime));
  }
  bool FromLocalTime(const CivilTime& Local, int64_t* Utc) override {
    return win32::FromLocalTime(Local, Utc);
  }
  bool ToLocalTime(int64_t Utc, CivilTime* Local) override {
    return win32::ToLocalTime(Utc, Local);
  }

  int32_t UtcOffset(int64_t Time) override { return win32::UtcOffset(Time); }
  LogOpened OpenLog(const std::string& Path, int64_t RotateAbove, int Keep,
                    std::unique_ptr<LogFile>* Log) override {
    return win32::OpenLog(Path, RotateAbove, Keep, Log);
  }
  bool ReplaceContent(const std::string& Path,
                      const std::string& Text) override {
    return win32::ReplaceContent(Path, Text);
  }

  void Print(const std::string& Line) override { PrintLines(Line + '\n'); }
  void PrintLines(const std::string& Lines) override {
    if (!win32::WriteText(false, Lines)) Lost_ = true;
  }
  void PrintError(const std::string& Line) override {
    win32::WriteText(true, Line + '\n');
  }
  bool ErrorIsTerminal() override { return win32::IsErrorConsole(); }
  int TerminalColumns() override { return win32::ConsoleColumns(); }
  void ShowProgress(const std::string& Line) override { win32::ShowLine(Line); }
  // Handles are never reused for the standard streams, so a stream missing
  // at start cannot become a file: its lines are lost, and said to be.
  bool OutputLost() override { return Lost_; }

  bool WriteSystemLog(LogLevel Level, int EventId,
                      const std::string& Text) override {
    return win32::WriteEventLog(Level, static_cast<DWORD>(EventId), Text);
  }

  PathKind Find(const std::string& Path) override {
    DWORD Attributes = 0;
    if (ExactLongForm(Path, &Attributes).empty()) return PathKind::kNothing;
    return KindOfAttributes(Attributes);
  }

  PathKind Status(const std::string& Path) override {
    const std::u16string Long = LongForm(Path);
    if (Long.empty()) return PathKind::kNothing;
    DWORD Attributes = GetFileAttributesW(W(Long));
    if (Attributes == INVALID_FILE_ATTRIBUTES) return PathKind::kNothing;
    if (Attributes & FILE_ATTRIBUTE_REPARSE_POINT) {
      // A link: what it leads to, if anything.
      UniqueHandle Target = FromCreateFile(
          CreateFileW(W(Long), FILE_READ_ATTRIBUTES, win32::kShareAll, nullptr,
                      OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
      BY_HANDLE_FILE_INFORMATION Info;
      if (!Target.Valid() || !GetFileInformationByHandle(Target.Get(), &Info)) {
        return PathKind::kNothing;
      }
      Attributes = Info.dwFileAttributes;
    }
    return KindOfAttributes(Attributes);
  }

  std::unique_ptr<Folder> OpenFolder(const std::string& Path) override {
    // An empty path would be the current drive's root: never. The separator
    // makes "C:" the root of C:, not its current folder.
    if (Path.empty()) return nullptr;
    const std::u16string Long = LongForm(Path + '\\');
    if (Long.empty()) return nullptr;
    UniqueHandle Handle = FromCreateFile(CreateFileW(
        W(Long), FILE_LIST_DIRECTORY | FILE_TRAVERSE | FILE_READ_ATTRIBUTES,
        win32::kShareAll, nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS,
        nullptr));
    BY_HANDLE_FILE_INFORMATION Info;
    if (!Handle.Valid() || !GetFileInformationByHandle(Handle.Get(), &Info) ||
        !(Info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
      return nullptr;
    }
    return win32::MakeFolder(std::move(Handle));
  }

  // A short name never stands for another file here either.
  bool IdentityOf(const std::string& Path, FileIdentity* Id) override {
    DWORD Attributes = 0;
    const std::u16string Long = ExactLongForm(Path, &Attributes);
    if (Long.empty()) return false;
    // Attribute access only: such an open is never refused for sharing.
    UniqueHandle Entry = FromCreateFile(CreateFileW(
        W(Long), FILE_READ_ATTRIBUTES, win32::kShareAll, nullptr, OPEN_EXISTING,
        FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    return Entry.Valid() && win32::IdentityOfHandle(Entry.Get(), Id);
  }

  // Shared with every other use, so that an editor holding the file open
  // does not stop the run.
  bool ReadFile(const std::string& Path, std::string* Bytes,
                size_t Most) override {
    const std::u16string Long = LongForm(Path);
    if (Long.empty()) return false;
    UniqueHandle File = FromCreateFile(
        CreateFileW(W(Long), GENERIC_READ, win32::kShareAll, nullptr,
                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    LARGE_INTEGER Size;
    if (!File.Valid() || GetFileType(File.Get()) != FILE_TYPE_DISK ||
        !GetFileSizeEx(File.Get(), &Size) ||
        static_cast<uint64_t>(Size.QuadPart) > Most) {
      return false;
    }
    Bytes->clear();
    char Buffer[65536];
    for (;;) {
      DWORD Read = 0;
      if (!::ReadFile(File.Get(), Buffer, sizeof Buffer, &Read, nullptr)) {
        return false;
      }
      if (Read == 0) return true;
      // It may grow while it is read.
      if (Bytes->size() + Read > Most) return false;
      Bytes->append(Buffer, Read);
    }
  }

  void RemoveStaleCopies(const std::string& Path) override {
    win32::RemoveStaleCopiesIn(Path);
  }

  // The open the replacing move proves the old file free with, without the
  // move: it fails while another handle can read, write or delete it. The
  // rename refuses a read-only or mapped file, which the deletion asked for
  // and taken back meets too, and one open for its attributes alone, which
  // only the list of its users shows.
  Replaceable CanReplaceFile(const std::string& Path) override {
    DWORD Attributes = 0;
    const std::u16string Long = ExactLongForm(Path, &Attributes);
    if (Long.empty()) return Replaceable::kNo;
    UniqueHandle File = FromCreateFile(CreateFileW(
        W(Long), DELETE | FILE_READ_ATTRIBUTES, 0, nullptr, OPEN_EXISTING,
        FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    win32::FileBasicInfo Info;
    if (!File.Valid() ||
        win32::QueryBasicInfo(File.Get(), &Info) != win32::kStatusSuccess ||
        (Info.FileAttributes &
         (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY)) ||
        !win32::DeletionAllowed(File.Get(), false) ||
        win32::OtherUsers(File.Get()) == win32::Users::kOthers) {
      return Replaceable::kNo;
    }
    return win32::IsNewSinceStart(Info) ? Replaceable::kNew : Replaceable::kYes;
  }

 private:
  std::atomic<bool> Lost_{false};
};

}  // namespace

std::unique_ptr<Platform> MakeRealPlatform() {
  return std::make_unique<Win32Platform>();
}

}  // namespace olvane
