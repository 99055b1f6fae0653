// The platform on Windows, over the ANSI Win32 calls. Paths are byte strings
// in the system code page with "\" as separator.
#include <windows.h>

#include <cstdio>
#include <memory>
#include <string>

#include "platform/path_syntax.h"
#include "platform/platform.h"

// The arguments must reach main as typed: the target scan needs to see "*"
// and "?" itself, so the runtime must not expand them.
extern "C" {
int _dowildcard = 0;
}

namespace olvane {
namespace {

// 100-nanosecond ticks from 1601-01-01 to 1970-01-01.
constexpr int64_t kEpochTicks = 116444736000000000LL;
constexpr int64_t kTicksPerSecond = 10000000;

int64_t ToSeconds(const FILETIME& Time) {
  const int64_t Ticks =
      static_cast<int64_t>((static_cast<uint64_t>(Time.dwHighDateTime) << 32) |
                           Time.dwLowDateTime) -
      kEpochTicks;
  // Round towards the past, so that a time just before the epoch is not
  // taken for a later one.
  return Ticks >= 0 ? Ticks / kTicksPerSecond
                    : -((-Ticks + kTicksPerSecond - 1) / kTicksPerSecond);
}

std::string Join(const std::string& Dir, const std::string& Name) {
  return Dir + '\\' + Name;
}

EntryKind KindOf(DWORD Attributes) {
  const bool Folder = Attributes & FILE_ATTRIBUTE_DIRECTORY;
  if (Attributes & FILE_ATTRIBUTE_REPARSE_POINT) {
    return Folder ? EntryKind::kFolderLink : EntryKind::kFileLink;
  }
  return Folder ? EntryKind::kFolder : EntryKind::kFile;
}

class Win32ExclusiveFile : public ExclusiveFile {
 public:
  explicit Win32ExclusiveFile(HANDLE File) : File_(File) {}
  ~Win32ExclusiveFile() override {
    if (File_ != INVALID_HANDLE_VALUE) CloseHandle(File_);
  }
  bool CreationTime(int64_t* Seconds) override {
    FILETIME Created;
    if (!GetFileTime(File_, &Created, nullptr, nullptr)) return false;
    *Seconds = ToSeconds(Created);
    return true;
  }
  bool Close() override {
    HANDLE File = File_;
    File_ = INVALID_HANDLE_VALUE;
    return CloseHandle(File) != 0;
  }

 private:
  HANDLE File_;
};

class Win32Listing : public Listing {
 public:
  explicit Win32Listing(const std::string& Pattern) {
    Find_ = FindFirstFileExA(Pattern.c_str(), FindExInfoBasic, &Data_,
                             FindExSearchNameMatch, nullptr,
                             FIND_FIRST_EX_LARGE_FETCH);
  }
  ~Win32Listing() override {
    if (Find_ != INVALID_HANDLE_VALUE) FindClose(Find_);
  }
  bool Next(Entry* Item) override {
    while (Find_ != INVALID_HANDLE_VALUE) {
      if (!First_ && !FindNextFileA(Find_, &Data_)) {
        FindClose(Find_);
        Find_ = INVALID_HANDLE_VALUE;
        break;
      }
      First_ = false;
      const char* Name = Data_.cFileName;
      if (Name[0] == '.' &&
          (Name[1] == '\0' || (Name[1] == '.' && Name[2] == '\0'))) {
        continue;
      }
      Item->Name.assign(Name);
      Item->Kind = KindOf(Data_.dwFileAttributes);
      return true;
    }
    return false;
  }

 private:
  HANDLE Find_;
  WIN32_FIND_DATAA Data_;
  bool First_ = true;
};

// Opens Path itself, a link included, for reading its identity only.
bool FileIdentity(const std::string& Path, BY_HANDLE_FILE_INFORMATION* Info) {
  HANDLE File = CreateFileA(
      Path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
      nullptr, OPEN_EXISTING,
      FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (File == INVALID_HANDLE_VALUE) return false;
  const bool Ok = GetFileInformationByHandle(File, Info) != 0;
  CloseHandle(File);
  return Ok;
}

bool IsRealFolder(const std::string& Path) {
  const DWORD Attributes = GetFileAttributesA(Path.c_str());
  return Attributes != INVALID_FILE_ATTRIBUTES &&
         (Attributes & FILE_ATTRIBUTE_DIRECTORY) &&
         !(Attributes & FILE_ATTRIBUTE_REPARSE_POINT);
}

class Win32Folder : public Folder {
 public:
  explicit Win32Folder(std::string Path) : Path_(std::move(Path)) {}

  std::unique_ptr<Listing> List(const std::string& Mask) override {
    return std::make_unique<Win32Listing>(Join(Path_, Mask));
  }
  std::unique_ptr<Folder> OpenSubFolder(const std::string& Name) override {
    std::string Path = Join(Path_, Name);
    if (!IsRealFolder(Path)) return nullptr;
    return std::make_unique<Win32Folder>(std::move(Path));
  }
  std::unique_ptr<ExclusiveFile> OpenExclusive(const Entry& Item) override {
    // No sharing: the open fails while any other handle is open. A link is
    // opened as itself, never what it points to.
    HANDLE File =
        CreateFileA(Join(Path_, Item.Name).c_str(), GENERIC_READ, 0, nullptr,
                    OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (File == INVALID_HANDLE_VALUE) return nullptr;
    return std::make_unique<Win32ExclusiveFile>(File);
  }
  bool Remove(const Entry& Item) override {
    return DeleteFileA(Join(Path_, Item.Name).c_str()) != 0;
  }
  MoveResult MoveOut(const Entry& Item,
                     const std::string& Destination) override {
    // MoveFileA moves onto another volume too and never replaces.
    return MoveFileA(Join(Path_, Item.Name).c_str(), Destination.c_str())
               ? MoveResult::kMoved
               : MoveResult::kFailed;
  }
  bool IsSameFile(const Entry& Item, const std::string& Path) override {
    BY_HANDLE_FILE_INFORMATION Mine, Other;
    return FileIdentity(Join(Path_, Item.Name), &Mine) &&
           FileIdentity(Path, &Other) &&
           Mine.dwVolumeSerialNumber == Other.dwVolumeSerialNumber &&
           Mine.nFileIndexHigh == Other.nFileIndexHigh &&
           Mine.nFileIndexLow == Other.nFileIndexLow;
  }

 private:
  std::string Path_;
};

void WriteLine(std::FILE* Stream, const std::string& Line) {
  // A text-mode stream ends the line with "\r\n".
  std::fwrite(Line.data(), 1, Line.size(), Stream);
  std::fputc('\n', Stream);
  std::fflush(Stream);
}

class Win32Platform : public Platform {
 public:
  char Separator() const override { return '\\'; }
  bool IsSeparator(char C) const override { return C == '\\' || C == '/'; }
  bool IsFullPath(const std::string& Arg) const override {
    return IsWindowsFullPath(Arg);
  }
  DriveRoot QueryDriveRoot(const std::string& Path) override {
    if (!HasWindowsDriveRootForm(Path)) return DriveRoot::kNotRoot;
    return GetDriveTypeA(Path.c_str()) == DRIVE_NO_ROOT_DIR
               ? DriveRoot::kAbsent
               : DriveRoot::kPresent;
  }

  bool Start() override { return true; }

  std::string CurrentDirectory() override {
    DWORD Size = GetCurrentDirectoryA(0, nullptr);
    if (Size == 0) return std::string();
    std::string Path(Size, '\0');
    DWORD Length = GetCurrentDirectoryA(Size, &Path[0]);
    if (Length == 0 || Length >= Size) return std::string();
    Path.resize(Length);
    return Path;
  }

  int64_t Now() override {
    FILETIME Time;
    GetSystemTimeAsFileTime(&Time);
    return ToSeconds(Time);
  }

  void Print(const std::string& Line) override { WriteLine(stdout, Line); }
  void PrintError(const std::string& Line) override { WriteLine(stderr, Line); }

  PathKind Find(const std::string& Path) override {
    if (Path.empty() || Path.back() == '\\' || Path.back() == '/') {
      return PathKind::kNothing;
    }
    WIN32_FIND_DATAA Data;
    HANDLE Found = FindFirstFileExA(Path.c_str(), FindExInfoBasic, &Data,
                                    FindExSearchNameMatch, nullptr, 0);
    if (Found == INVALID_HANDLE_VALUE) return PathKind::kNothing;
    FindClose(Found);
    return (Data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
               ? PathKind::kFolder
               : PathKind::kFile;
  }

  PathKind Status(const std::string& Path) override {
    const DWORD Attributes = GetFileAttributesA(Path.c_str());
    if (Attributes == INVALID_FILE_ATTRIBUTES) return PathKind::kNothing;
    return (Attributes & FILE_ATTRIBUTE_DIRECTORY) ? PathKind::kFolder
                                                   : PathKind::kFile;
  }

  std::unique_ptr<Folder> OpenFolder(const std::string& Path) override {
    // An empty path would list the root of the current drive: never.
    if (Path.empty() || Status(Path + '\\') != PathKind::kFolder) {
      return nullptr;
    }
    return std::make_unique<Win32Folder>(Path);
  }

  bool RemoveFile(const std::string& Path) override {
    return DeleteFileA(Path.c_str()) != 0;
  }
};

}  // namespace

std::unique_ptr<Platform> MakeRealPlatform() {
  return std::make_unique<Win32Platform>();
}

}  // namespace olvane
