// The log a run appends to, and the status file it replaces. The log is
// written as files are by WriteText: UTF-8, "\r\n" line ends.
#include <memory>
#include <string>

#include "platform/log_rotation.h"
#include "platform/wide_text.h"
#include "platform/win32/win32_internal.h"

namespace olvane {
namespace win32 {
namespace {

// Text as a file holds it: "\r\n" line ends, valid UTF-8.
std::string FileText(const std::string& Text) {
  return StrictUtf8(CrLfLines(Text));
}

bool WriteWhole(HANDLE File, const std::string& Text) {
  DWORD Done = 0;
  return WriteFile(File, Text.data(), static_cast<DWORD>(Text.size()), &Done,
                   nullptr) &&
         Done == Text.size();
}

class Win32Log : public LogFile {
 public:
  explicit Win32Log(UniqueHandle File) : File_(std::move(File)) {}
  // Opened for appending alone: each write lands whole at the end.
  bool Append(const std::string& Text) override {
    return WriteWhole(File_.Get(), FileText(Text));
  }

 private:
  UniqueHandle File_;
};

// The last component of Path in upper case, without the dots and spaces
// that end it (Wine names handles without them).
std::u16string LastNameKey(const std::u16string& Path) {
  std::u16string Name = Path.substr(Path.find_last_of(u'\\') + 1);
  while (!Name.empty() && (Name.back() == u'.' || Name.back() == u' '))
    Name.pop_back();
  for (char16_t& C : Name) C = Upcase(C);
  return Name;
}

// Whether the file open as File is a link at Long: a reparse point, or,
// under Wine, which opens a Unix link as the file it leads to, a handle
// named after another file.
bool IsLink(HANDLE File, const std::u16string& Long,
            const BY_HANDLE_FILE_INFORMATION& Info) {
  std::u16string Opened;
  return (Info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) ||
         (NameOnVolume(File, &Opened) &&
          LastNameKey(Opened) != LastNameKey(Long));
}

// The lock of a log: a byte far beyond any end, so that it holds up no
// write, only the other runs that rotate.
OVERLAPPED LockByte() {
  OVERLAPPED At = {};
  At.Offset = 0xFFFFFFFE;
  At.OffsetHigh = 0x7FFFFFFF;
  return At;
}

// Renames the full log open as File away, under its lock, unless another
// run did so meanwhile: only the file still at Path is renamed.
void RotateLog(HANDLE File, const std::string& Path, int Keep) {
  OVERLAPPED At = LockByte();
  if (!LockFileEx(File, LOCKFILE_EXCLUSIVE_LOCK, 0, 1, 0, &At)) return;
  FileIdentity Opened, There;
  const UniqueHandle Named(FromCreateFile(
      CreateFileW(W(LongForm(Path)), FILE_READ_ATTRIBUTES, kShareAll, nullptr,
                  OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr)));
  if (Named.Valid() && IdentityOfHandle(File, &Opened) &&
      IdentityOfHandle(Named.Get(), &There) && Opened == There) {
    ShiftGenerations(
        Path, Keep,
        [](const std::string& From, const std::string& To) {
          MoveFileExW(W(LongForm(From)), W(LongForm(To)),
                      MOVEFILE_REPLACE_EXISTING);
        },
        [](const std::string& Gone) { DeleteFileW(W(LongForm(Gone))); });
  }
  UnlockFileEx(File, 0, 1, 0, &At);
}

}  // namespace

// Shared for reading, writing and deletion, so that other runs append too
// and the log can be renamed away while it is open. The reparse point
// itself is opened, never what it leads to.
LogOpened OpenLog(const std::string& Path, int64_t RotateAbove, int Keep,
                  std::unique_ptr<LogFile>* Log) {
  const std::u16string Long = LongForm(Path);
  for (int Try = 0; Try < 16 && !Long.empty(); ++Try) {
    UniqueHandle File(FromCreateFile(CreateFileW(
        W(Long), FILE_APPEND_DATA | FILE_READ_ATTRIBUTES | GENERIC_READ,
        kShareAll, nullptr, OPEN_ALWAYS,
        FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr)));
    BY_HANDLE_FILE_INFORMATION Info;
    if (!File.Valid() || !GetFileInformationByHandle(File.Get(), &Info) ||
        GetFileType(File.Get()) != FILE_TYPE_DISK) {
      return LogOpened::kFailed;
    }
    if (IsLink(File.Get(), Long, Info)) return LogOpened::kLink;
    if (Info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      return LogOpened::kFailed;
    }
    const int64_t Size = static_cast<int64_t>(
        (uint64_t{Info.nFileSizeHigh} << 32) | Info.nFileSizeLow);
    if (Size <= RotateAbove) {
      *Log = std::make_unique<Win32Log>(std::move(File));
      return LogOpened::kOpened;
    }
    RotateLog(File.Get(), Path, Keep);
  }
  return LogOpened::kFailed;
}

bool ReplaceContent(const std::string& Path, const std::string& Text) {
  const size_t Slash = Path.find_last_of("\\/");
  if (Slash == std::string::npos) return false;
  const std::string Stem = Path.substr(0, Slash + 1) + ".olvane-" +
                           std::to_string(GetCurrentProcessId()) + "-";
  for (int Try = 0; Try < 100; ++Try) {
    const std::u16string Temporary =
        LongForm(Stem + std::to_string(Try) + ".tmp");
    UniqueHandle File(FromCreateFile(
        CreateFileW(W(Temporary), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                    FILE_ATTRIBUTE_NORMAL, nullptr)));
    if (!File.Valid() && GetLastError() == ERROR_FILE_EXISTS) continue;
    if (!File.Valid()) return false;
    const bool Written =
        WriteWhole(File.Get(), FileText(Text)) &&
        FlushFileBuffers(File.Get()) && File.Close() &&
        MoveFileExW(W(Temporary), W(LongForm(Path)),
                    MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
    if (!Written) {
      File.Reset(nullptr);
      DeleteFileW(W(Temporary));
    }
    return Written;
  }
  return false;
}

}  // namespace win32
}  // namespace olvane
