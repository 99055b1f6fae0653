// What the parts of the Windows platform share: the few NT calls it makes,
// handles, and the conversions at the boundary. Only W forms of Win32 and NT
// calls are used; every path handed to the system is in the long form, and
// every name below an open folder is opened relative to its handle.
//
// NT status codes stay inside these files: each operation turns them into
// the plain results of platform.h.
#ifndef OLVANE_PLATFORM_WIN32_INTERNAL_H_
#define OLVANE_PLATFORM_WIN32_INTERNAL_H_

#include <windows.h>

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/platform.h"

namespace olvane {
namespace win32 {

using NtStatus = LONG;

constexpr NtStatus kStatusSuccess = 0;
constexpr NtStatus kStatusBufferOverflow = static_cast<NtStatus>(0x80000005);
constexpr NtStatus kStatusNoMoreFiles = static_cast<NtStatus>(0x80000006);
constexpr NtStatus kStatusNoSuchFile = static_cast<NtStatus>(0xC000000F);
constexpr NtStatus kStatusNotImplemented = static_cast<NtStatus>(0xC0000002);
constexpr NtStatus kStatusInvalidInfoClass = static_cast<NtStatus>(0xC0000003);
constexpr NtStatus kStatusInfoLengthMismatch =
    static_cast<NtStatus>(0xC0000004);
constexpr NtStatus kStatusInvalidParameter = static_cast<NtStatus>(0xC000000D);
constexpr NtStatus kStatusInvalidDeviceRequest =
    static_cast<NtStatus>(0xC0000010);
constexpr NtStatus kStatusObjectNameNotFound =
    static_cast<NtStatus>(0xC0000034);
constexpr NtStatus kStatusBufferTooSmall = static_cast<NtStatus>(0xC0000023);
constexpr NtStatus kStatusObjectNameCollision =
    static_cast<NtStatus>(0xC0000035);
constexpr NtStatus kStatusAccessDenied = static_cast<NtStatus>(0xC0000022);
constexpr NtStatus kStatusSharingViolation = static_cast<NtStatus>(0xC0000043);
constexpr NtStatus kStatusNotSupported = static_cast<NtStatus>(0xC00000BB);
constexpr NtStatus kStatusNotSameDevice = static_cast<NtStatus>(0xC00000D4);

// NtCreateFile dispositions and options.
constexpr ULONG kFileOpen = 1;
constexpr ULONG kFileCreate = 2;
constexpr ULONG kFileDirectoryFile = 0x00000001;
constexpr ULONG kFileSynchronousIoNonAlert = 0x00000020;
constexpr ULONG kFileNonDirectoryFile = 0x00000040;
constexpr ULONG kFileOpenReparsePoint = 0x00200000;

constexpr ULONG kShareAll =
    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

// FILE_BASIC_INFORMATION: times in 100 ns ticks since 1601; a zero time or
// attribute word leaves the value as it is when set.
struct FileBasicInfo {
  LARGE_INTEGER CreationTime;
  LARGE_INTEGER LastAccessTime;
  LARGE_INTEGER LastWriteTime;
  LARGE_INTEGER ChangeTime;
  ULONG FileAttributes;
};

// FILE_STANDARD_INFORMATION.
struct FileStandardInfo {
  LARGE_INTEGER AllocationSize;  // bytes allocated on disk
  LARGE_INTEGER EndOfFile;
  ULONG NumberOfLinks;
  BOOLEAN DeletePending;
  BOOLEAN Directory;
};

// FILE_DIRECTORY_INFORMATION, one entry of a folder listing.
struct FileDirectoryInfo {
  ULONG NextEntryOffset;
  ULONG FileIndex;
  LARGE_INTEGER CreationTime;
  LARGE_INTEGER LastAccessTime;
  LARGE_INTEGER LastWriteTime;
  LARGE_INTEGER ChangeTime;
  LARGE_INTEGER EndOfFile;
  LARGE_INTEGER AllocationSize;
  ULONG FileAttributes;
  ULONG FileNameLength;  // in bytes
  WCHAR FileName[1];
};

// FILE_ID_FULL_DIR_INFORMATION: the same, and the file's number.
struct FileIdFullDirInfo {
  ULONG NextEntryOffset;
  ULONG FileIndex;
  LARGE_INTEGER CreationTime;
  LARGE_INTEGER LastAccessTime;
  LARGE_INTEGER LastWriteTime;
  LARGE_INTEGER ChangeTime;
  LARGE_INTEGER EndOfFile;
  LARGE_INTEGER AllocationSize;
  ULONG FileAttributes;
  ULONG FileNameLength;  // in bytes
  ULONG EaSize;
  LARGE_INTEGER FileId;
  WCHAR FileName[1];
};

// Closes the handle it owns.
class UniqueHandle {
 public:
  UniqueHandle() = default;
  explicit UniqueHandle(HANDLE Handle) : Handle_(Handle) {}
  UniqueHandle(UniqueHandle&& Other) noexcept : Handle_(Other.Release()) {}
  UniqueHandle& operator=(UniqueHandle&& Other) noexcept {
    Reset(Other.Release());
    return *this;
  }
  UniqueHandle(const UniqueHandle&) = delete;
  UniqueHandle& operator=(const UniqueHandle&) = delete;
  ~UniqueHandle() { Reset(nullptr); }

  HANDLE Get() const { return Handle_; }
  bool Valid() const { return Handle_ != nullptr; }
  HANDLE Release() {
    HANDLE Handle = Handle_;
    Handle_ = nullptr;
    return Handle;
  }
  void Reset(HANDLE Handle) {
    if (Handle_) CloseHandle(Handle_);
    Handle_ = Handle;
  }
  // Closes the handle now; false when the system reported a failure.
  bool Close() { return CloseHandle(Release()) != 0; }

 private:
  HANDLE Handle_ = nullptr;  // never INVALID_HANDLE_VALUE
};

// A handle from CreateFileW, or an empty one on failure.
UniqueHandle FromCreateFile(HANDLE Handle);

// --- NT calls (ntdll.dll, found at run time) ------------------------------

// True when every NT call below could be found.
bool NtCallsAvailable();

// Opens or creates Name relative to the folder handle Root (Name empty: Root
// itself, anew). Names are matched exactly as the listing gave them.
NtStatus OpenRelative(HANDLE Root, std::u16string_view Name, ACCESS_MASK Access,
                      ULONG Share, ULONG Disposition, ULONG Options,
                      UniqueHandle* Out);

// Fills Buffer with entries of the folder Folder, from the first one when
// Restart: FileIdFullDirInfo records while *WithIds, FileDirectoryInfo ones
// where the file system gives no numbers (*WithIds is then made false).
// *Filled is the number of bytes used.
NtStatus QueryDirectory(HANDLE Folder, void* Buffer, ULONG Length, bool Restart,
                        bool* WithIds, ULONG* Filled);

NtStatus QueryBasicInfo(HANDLE File, FileBasicInfo* Info);
// The basic and the standard information of File in one query.
NtStatus QueryBasicAndStandardInfo(HANDLE File, FileBasicInfo* Basic,
                                   FileStandardInfo* Standard);
NtStatus SetBasicInfo(HANDLE File, const FileBasicInfo& Info);

// Marks the file or empty folder File for deletion, which its close then
// completes. POSIX semantics (the name goes at once, even while others hold
// it open with delete sharing) where the volume has them; the read-only
// attribute is honoured. False on failure.
bool MarkForDeletion(HANDLE File);

// Takes the mark back before the close: the file stays. False on failure.
bool UnmarkForDeletion(HANDLE File);

// Whether the file open as File (with delete access) may be deleted: the
// mark is set and at once taken back, on this handle. False where the
// system refuses it: a section of the file mapped by another process, which
// no sharing shows once that process has closed its handles, or the
// read-only attribute. DespiteReadOnly leaves that out where the system
// can (Windows 10 1809 and later); where it cannot, a read-only file counts
// as refused. Only a process killed between the two calls loses the file.
bool DeletionAllowed(HANDLE File, bool DespiteReadOnly);

// The path of the file open as File from its volume's root ("\a\b"), as
// the system names it. Wine names the file a Unix link leads to. False when
// it cannot be had.
bool NameOnVolume(HANDLE File, std::u16string* Name);

// Whether a process other than this one has File open, as far as the system
// says (Wine does not).
enum class Users { kNone, kOthers, kUnknown };
Users OtherUsers(HANDLE File);
// The stream listing of File (FILE_STREAM_INFORMATION records) in *Listing;
// empty on a volume that has no streams.
NtStatus QueryStreams(HANDLE File, std::vector<unsigned char>* Listing);

// Renames the open file File to Name in the folder Folder, never replacing
// an existing entry; with Replace, replacing a file there that no handle
// holds open (one that is open makes the rename fail).
NtStatus RenameInto(HANDLE File, HANDLE Folder, std::u16string_view Name,
                    bool Replace = false);

// The upper case of C as the file systems compare names.
char16_t Upcase(char16_t C);

// --- Conversions ----------------------------------------------------------

inline const wchar_t* W(const std::u16string& Text) {
  return reinterpret_cast<const wchar_t*>(Text.c_str());
}

// The current directory as the system keeps it; empty when it cannot be had.
std::u16string CurrentDirectoryWide();

// The long form of the UTF-8 path Path, made full against the current
// directory. Empty when it has none.
std::u16string LongForm(const std::string& Path);

// The long form of the entry Path names, under the entry's own long name,
// when that name is Path's last component (compared as the file systems
// compare names): a short 8.3 name, which the system also takes, never
// stands for another file. *Attributes are the entry's. Empty otherwise.
std::u16string ExactLongForm(const std::string& Path, DWORD* Attributes);

// The long name of the entry whose short 8.3 name is Path's last
// component; empty when it is no entry's short name.
std::u16string LongNameOfShort(const std::string& Path);

// Seconds since 1970 of a time in 100 ns ticks since 1601, rounded towards
// the past; *Nanos, if given, receives the rest.
int64_t SecondsFromTicks(int64_t Ticks, uint32_t* Nanos = nullptr);

// Platform::FromLocalTime and ToLocalTime (win32_time.cc).
bool FromLocalTime(const CivilTime& Local, int64_t* Utc);
bool ToLocalTime(int64_t Utc, CivilTime* Local);
// Platform::UtcOffset: local time less UTC at Time, in seconds (0 where it
// cannot be told).
int32_t UtcOffset(int64_t Time);

// --- Parts of the platform ------------------------------------------------

// The folder whose handle is Handle (a folder that was checked to be one).
std::unique_ptr<Folder> MakeFolder(UniqueHandle Handle);

// Moves the file open as File (with read and delete access) to the full
// path Destination, across volumes too, as ExclusiveFile::MoveTo.
MoveResult MoveOpenFile(HANDLE File, const std::string& Destination,
                        bool Replace);

// Copies the open file File to the new name Name in the folder Folder, as
// ExclusiveFile::CopyTo.
bool CopyOpenFile(HANDLE File, HANDLE Folder, const std::u16string& Name);

// Removes the temporary files of this machine's runs that have ended from
// the folder Path.
void RemoveStaleCopiesIn(const std::string& Path);

// Notes when the run began; called once, before any move.
void NoteRunStart();
// Whether a file with these times came or changed after the run began.
bool IsNewSinceStart(const FileBasicInfo& Info);

// The identity of the file or folder open as Handle.
bool IdentityOfHandle(HANDLE Handle, FileIdentity* Id);

// Copies the content of the stream From to the new stream To, keeping its
// holes where both volumes have them.
bool CopyContent(HANDLE From, HANDLE To);

// Gives the new copy Copy every named data stream of the file File, each
// flushed, and its security descriptor: the access control list, and the
// owner and group where this process may set them. False when one of them
// cannot be read or the copy's volume cannot hold it.
bool CopyStreamsAndSecurity(HANDLE File, HANDLE Copy);

// Writes Text to standard output (or standard error), each "\n" as "\r\n":
// to a console in UTF-16, else in UTF-8. Whole texts never interleave.
// False when some of it could not be written, or the stream is missing.
bool WriteText(bool ToError, const std::string& Text);
// Text with each "\n" as "\r\n", as text files hold it here.
std::string CrLfLines(const std::string& Text);

// Platform::OpenLog and Platform::ReplaceContent.
LogOpened OpenLog(const std::string& Path, int64_t RotateAbove, int Keep,
                  std::unique_ptr<LogFile>* Log);
bool ReplaceContent(const std::string& Path, const std::string& Text);

// Whether standard error is a console, and its width in columns (80 where
// it cannot be told).
bool IsErrorConsole();
int ConsoleColumns();

// Shows Line in place on the console of standard error over the one shown
// before ("" erases it); WriteText to a console erases it first.
void ShowLine(const std::string& Line);

// The arguments after the program name from the wide command line, as UTF-8.
std::vector<std::string> WideArguments();

// Writes an entry of EventId to the Application Event Log under the source
// "olvane", of the event type of Level, Text (UTF-8) its one insert string.
bool WriteEventLog(Platform::LogLevel Level, DWORD EventId,
                   const std::string& Text);

}  // namespace win32
}  // namespace olvane

#endif  // OLVANE_PLATFORM_WIN32_INTERNAL_H_
