// The NT calls of the Windows platform. They are found in ntdll.dll at run
// time: the import libraries do not declare them all, and the declarations
// here are the only ones the platform relies on.
#include <algorithm>
#include <atomic>
#include <cstddef>
#include <vector>

#include "platform/wide_text.h"
#include "platform/win32/win32_internal.h"

namespace olvane {
namespace win32 {
namespace {

struct NtUnicodeString {
  USHORT Length;         // in bytes
  USHORT MaximumLength;  // in bytes
  const WCHAR* Buffer;
};

struct NtObjectAttributes {
  ULONG Length;
  HANDLE RootDirectory;
  NtUnicodeString* ObjectName;
  ULONG Attributes;
  void* SecurityDescriptor;
  void* SecurityQualityOfService;
};

struct NtIoStatusBlock {
  union {
    NtStatus Status;
    void* Pointer;
  };
  ULONG_PTR Information;
};

// Information classes.
constexpr ULONG kFileDirectoryInformation = 1;
constexpr ULONG kFileIdFullDirectoryInformation = 38;
constexpr ULONG kFileBasicInformation = 4;
constexpr ULONG kFileNameInformation = 9;
constexpr ULONG kFileRenameInformation = 10;
constexpr ULONG kFileDispositionInformation = 13;
constexpr ULONG kFileAllInformation = 18;
constexpr ULONG kFileStreamInformation = 22;
constexpr ULONG kFileProcessIdsUsingFileInformation = 47;
constexpr ULONG kFileDispositionInformationEx = 64;

constexpr ULONG kDispositionDelete = 0x1;
constexpr ULONG kDispositionPosixSemantics = 0x2;
constexpr ULONG kDispositionIgnoreReadOnly = 0x10;

struct FileRenameInfo {
  BOOLEAN ReplaceIfExists;
  HANDLE RootDirectory;
  ULONG FileNameLength;  // in bytes
  WCHAR FileName[1];
};

using NtCreateFileCall = NtStatus(NTAPI*)(HANDLE*, ACCESS_MASK,
                                          NtObjectAttributes*, NtIoStatusBlock*,
                                          LARGE_INTEGER*, ULONG, ULONG, ULONG,
                                          ULONG, void*, ULONG);
using NtQueryDirectoryFileCall = NtStatus(NTAPI*)(HANDLE, HANDLE, void*, void*,
                                                  NtIoStatusBlock*, void*,
                                                  ULONG, ULONG, BOOLEAN,
                                                  NtUnicodeString*, BOOLEAN);
using NtFileInformationCall = NtStatus(NTAPI*)(HANDLE, NtIoStatusBlock*, void*,
                                               ULONG, ULONG);
using RtlUpcaseUnicodeCharCall = WCHAR(NTAPI*)(WCHAR);

struct NtCalls {
  NtCreateFileCall CreateFile = nullptr;
  NtQueryDirectoryFileCall QueryDirectoryFile = nullptr;
  NtFileInformationCall QueryInformationFile = nullptr;
  NtFileInformationCall SetInformationFile = nullptr;
  RtlUpcaseUnicodeCharCall UpcaseUnicodeChar = nullptr;
};

template <typename Call>
void Find(HMODULE Module, const char* Name, Call* Out) {
  *Out = reinterpret_cast<Call>(
      reinterpret_cast<void*>(GetProcAddress(Module, Name)));
}

const NtCalls& Nt() {
  // Found once, on first use, by whichever thread comes first.
  static const NtCalls Calls = [] {
    NtCalls Found;
    HMODULE Module = GetModuleHandleW(L"ntdll.dll");
    if (!Module) return Found;
    Find(Module, "NtCreateFile", &Found.CreateFile);
    Find(Module, "NtQueryDirectoryFile", &Found.QueryDirectoryFile);
    Find(Module, "NtQueryInformationFile", &Found.QueryInformationFile);
    Find(Module, "NtSetInformationFile", &Found.SetInformationFile);
    Find(Module, "RtlUpcaseUnicodeChar", &Found.UpcaseUnicodeChar);
    return Found;
  }();
  return Calls;
}

NtStatus SetInfo(HANDLE File, const void* Info, ULONG Length, ULONG Class) {
  if (!Nt().SetInformationFile) return kStatusNotImplemented;
  NtIoStatusBlock Io{};
  return Nt().SetInformationFile(File, &Io, const_cast<void*>(Info), Length,
                                 Class);
}

// The disposition with POSIX semantics is recent and not every file system
// (nor Wine) has it; these are the answers that say so.
bool IsUnsupported(NtStatus Status) {
  return Status == kStatusInvalidParameter || Status == kStatusNotSupported ||
         Status == kStatusInvalidInfoClass || Status == kStatusNotImplemented ||
         Status == kStatusInvalidDeviceRequest;
}

}  // namespace

UniqueHandle FromCreateFile(HANDLE Handle) {
  return UniqueHandle(Handle == INVALID_HANDLE_VALUE ? nullptr : Handle);
}

bool NtCallsAvailable() {
  const NtCalls& Calls = Nt();
  return Calls.CreateFile && Calls.QueryDirectoryFile &&
         Calls.QueryInformationFile && Calls.SetInformationFile &&
         Calls.UpcaseUnicodeChar;
}

NtStatus OpenRelative(HANDLE Root, std::u16string_view Name, ACCESS_MASK Access,
                      ULONG Share, ULONG Disposition, ULONG Options,
                      UniqueHandle* Out) {
  if (!Nt().CreateFile) return kStatusNotImplemented;
  if (Name.size() > 32767) return kStatusInvalidParameter;
  NtUnicodeString Text{static_cast<USHORT>(Name.size() * 2),
                       static_cast<USHORT>(Name.size() * 2),
                       reinterpret_cast<const WCHAR*>(Name.data())};
  // No OBJ_CASE_INSENSITIVE: the name is the one the listing gave, and in a
  // case-sensitive folder it must not find a sibling that differs in case.
  NtObjectAttributes Object{
      sizeof(NtObjectAttributes), Root, &Text, 0, nullptr, nullptr};
  NtIoStatusBlock Io{};
  HANDLE Handle = nullptr;
  const NtStatus Status = Nt().CreateFile(
      &Handle, Access, &Object, &Io, nullptr, FILE_ATTRIBUTE_NORMAL, Share,
      Disposition, Options | kFileSynchronousIoNonAlert, nullptr, 0);
  if (Status < 0) return Status;
  Out->Reset(Handle);
  return Status;
}

NtStatus QueryDirectory(HANDLE Folder, void* Buffer, ULONG Length, bool Restart,
                        bool* WithIds, ULONG* Filled) {
  if (!Nt().QueryDirectoryFile) return kStatusNotImplemented;
  NtIoStatusBlock Io{};
  const auto Query = [&](ULONG Class) {
    return Nt().QueryDirectoryFile(Folder, nullptr, nullptr, nullptr, &Io,
                                   Buffer, Length, Class, FALSE, nullptr,
                                   Restart ? TRUE : FALSE);
  };
  NtStatus Status = kStatusNotSupported;
  if (*WithIds) Status = Query(kFileIdFullDirectoryInformation);
  if (IsUnsupported(Status)) {
    *WithIds = false;
    Status = Query(kFileDirectoryInformation);
  }
  *Filled = Status == kStatusSuccess ? static_cast<ULONG>(Io.Information) : 0;
  return Status;
}

NtStatus QueryBasicInfo(HANDLE File, FileBasicInfo* Info) {
  if (!Nt().QueryInformationFile) return kStatusNotImplemented;
  NtIoStatusBlock Io{};
  return Nt().QueryInformationFile(File, &Io, Info, sizeof(*Info),
                                   kFileBasicInformation);
}

NtStatus QueryBasicAndStandardInfo(HANDLE File, FileBasicInfo* Basic,
                                   FileStandardInfo* Standard) {
  if (!Nt().QueryInformationFile) return kStatusNotImplemented;
  // FILE_ALL_INFORMATION; a name longer than its room only shortens the
  // name, which is not read: the parts before it are filled all the same.
  struct {
    FileBasicInfo Basic;
    FileStandardInfo Standard;
    LARGE_INTEGER IndexNumber;
    ULONG EaSize;
    ACCESS_MASK AccessFlags;
    LARGE_INTEGER CurrentByteOffset;
    ULONG Mode;
    ULONG AlignmentRequirement;
    ULONG FileNameLength;
    WCHAR FileName[MAX_PATH];
  } All;
  NtIoStatusBlock Io{};
  NtStatus Status = Nt().QueryInformationFile(File, &Io, &All, sizeof(All),
                                              kFileAllInformation);
  if (Status == kStatusBufferOverflow) Status = kStatusSuccess;
  if (Status != kStatusSuccess) return Status;
  *Basic = All.Basic;
  *Standard = All.Standard;
  return Status;
}

NtStatus QueryStreams(HANDLE File, std::vector<unsigned char>* Listing) {
  if (!Nt().QueryInformationFile) return kStatusNotImplemented;
  // A file has one stream, or a few: the first size is enough but for rare
  // ones, for which the size is grown to what the records need.
  Listing->resize(4096);
  for (;;) {
    NtIoStatusBlock Io{};
    const NtStatus Status = Nt().QueryInformationFile(
        File, &Io, Listing->data(), static_cast<ULONG>(Listing->size()),
        kFileStreamInformation);
    if (Status == kStatusSuccess) {
      Listing->resize(Io.Information);
      return Status;
    }
    if (IsUnsupported(Status)) {  // a file system without streams
      Listing->clear();
      return kStatusSuccess;
    }
    if ((Status != kStatusBufferOverflow && Status != kStatusBufferTooSmall &&
         Status != kStatusInfoLengthMismatch) ||
        Listing->size() >= (1u << 24)) {
      return Status;
    }
    Listing->resize(Listing->size() * 4);
  }
}

NtStatus SetBasicInfo(HANDLE File, const FileBasicInfo& Info) {
  return SetInfo(File, &Info, sizeof(Info), kFileBasicInformation);
}

bool MarkForDeletion(HANDLE File) {
  // A system that does not know the class at all (Windows before 10 1607,
  // Wine) is asked only once.
  static std::atomic<bool> NoExClass{false};
  if (!NoExClass.load(std::memory_order_relaxed)) {
    // Never FILE_DISPOSITION_FLAG_IGNORE_READONLY_ATTRIBUTE: a read-only
    // file stays.
    const ULONG Flags = kDispositionDelete | kDispositionPosixSemantics;
    const NtStatus Status =
        SetInfo(File, &Flags, sizeof(Flags), kFileDispositionInformationEx);
    if (Status == kStatusSuccess) return true;
    if (!IsUnsupported(Status)) return false;
    if (Status == kStatusInvalidInfoClass || Status == kStatusNotImplemented) {
      NoExClass.store(true, std::memory_order_relaxed);
    }
  }
  const BOOLEAN Delete = TRUE;
  return SetInfo(File, &Delete, sizeof(Delete), kFileDispositionInformation) ==
         kStatusSuccess;
}

bool UnmarkForDeletion(HANDLE File) {
  const BOOLEAN Delete = FALSE;
  return SetInfo(File, &Delete, sizeof(Delete), kFileDispositionInformation) ==
         kStatusSuccess;
}

bool DeletionAllowed(HANDLE File, bool DespiteReadOnly) {
  // Asked once of a system that does not know the class (Windows before 10
  // 1809 takes it without the flag, Wine not at all).
  static std::atomic<bool> NoFlag{false};
  if (DespiteReadOnly && !NoFlag.load(std::memory_order_relaxed)) {
    const ULONG Flags = kDispositionDelete | kDispositionIgnoreReadOnly;
    const NtStatus Status =
        SetInfo(File, &Flags, sizeof(Flags), kFileDispositionInformationEx);
    if (Status == kStatusSuccess) return UnmarkForDeletion(File);
    if (!IsUnsupported(Status)) return false;
    if (Status == kStatusInvalidInfoClass || Status == kStatusNotImplemented) {
      NoFlag.store(true, std::memory_order_relaxed);
    }
  }
  const BOOLEAN Delete = TRUE;
  return SetInfo(File, &Delete, sizeof(Delete), kFileDispositionInformation) ==
             kStatusSuccess &&
         UnmarkForDeletion(File);
}

namespace {

// Queries the information class Class of File into a buffer grown until
// the answer fits; false on any other failure.
bool QueryGrowing(HANDLE File, ULONG Class, std::vector<unsigned char>* Out) {
  if (!Nt().QueryInformationFile) return false;
  Out->resize(1024);
  for (;;) {
    NtIoStatusBlock Io{};
    const NtStatus Status = Nt().QueryInformationFile(
        File, &Io, Out->data(), static_cast<ULONG>(Out->size()), Class);
    if (Status == kStatusSuccess) return true;
    if ((Status != kStatusBufferOverflow && Status != kStatusBufferTooSmall &&
         Status != kStatusInfoLengthMismatch) ||
        Out->size() >= (1u << 20)) {
      return false;
    }
    Out->resize(Out->size() * 4);
  }
}

}  // namespace

bool NameOnVolume(HANDLE File, std::u16string* Name) {
  std::vector<unsigned char> Info;
  ULONG Bytes = 0;
  if (!QueryGrowing(File, kFileNameInformation, &Info)) return false;
  std::copy(Info.begin(), Info.begin() + sizeof(ULONG),
            reinterpret_cast<unsigned char*>(&Bytes));
  if (Bytes > Info.size() - sizeof(ULONG)) return false;
  Name->resize(Bytes / sizeof(char16_t));
  std::copy(Info.begin() + sizeof(ULONG), Info.begin() + sizeof(ULONG) + Bytes,
            reinterpret_cast<unsigned char*>(&(*Name)[0]));
  return true;
}

Users OtherUsers(HANDLE File) {
  // FILE_PROCESS_IDS_USING_FILE_INFORMATION: a count, then the identifiers.
  std::vector<unsigned char> Info;
  if (!QueryGrowing(File, kFileProcessIdsUsingFileInformation, &Info)) {
    return Users::kUnknown;
  }
  ULONG Count = 0;
  std::copy(Info.begin(), Info.begin() + sizeof(ULONG),
            reinterpret_cast<unsigned char*>(&Count));
  const size_t First = sizeof(ULONG_PTR);  // the list is aligned
  if (Count > (Info.size() - First) / sizeof(ULONG_PTR)) return Users::kUnknown;
  for (ULONG I = 0; I < Count; ++I) {
    ULONG_PTR Id = 0;
    std::copy_n(Info.begin() + First + I * sizeof(ULONG_PTR), sizeof(Id),
                reinterpret_cast<unsigned char*>(&Id));
    if (Id != GetCurrentProcessId()) return Users::kOthers;
  }
  return Users::kNone;
}

NtStatus RenameInto(HANDLE File, HANDLE Folder, std::u16string_view Name,
                    bool Replace) {
  const size_t Bytes = Name.size() * sizeof(WCHAR);
  std::vector<unsigned char> Buffer(offsetof(FileRenameInfo, FileName) + Bytes +
                                    sizeof(WCHAR));
  FileRenameInfo* Info = reinterpret_cast<FileRenameInfo*>(Buffer.data());
  Info->ReplaceIfExists = Replace ? TRUE : FALSE;
  Info->RootDirectory = Folder;
  Info->FileNameLength = static_cast<ULONG>(Bytes);
  std::copy(Name.begin(), Name.end(), Info->FileName);
  return SetInfo(File, Info, static_cast<ULONG>(Buffer.size()),
                 kFileRenameInformation);
}

char16_t Upcase(char16_t C) {
  return Nt().UpcaseUnicodeChar ? Nt().UpcaseUnicodeChar(C) : C;
}

std::u16string CurrentDirectoryWide() {
  std::u16string Path(MAX_PATH, u'\0');
  for (;;) {
    const DWORD Length = GetCurrentDirectoryW(
        static_cast<DWORD>(Path.size()), reinterpret_cast<wchar_t*>(&Path[0]));
    if (Length == 0) return std::u16string();
    if (Length < Path.size()) {
      Path.resize(Length);
      return Path;
    }
    Path.resize(Length);  // the size needed, terminator included
  }
}

std::u16string LongForm(const std::string& Path) {
  std::u16string Wide = WideFromUtf8(Path);
  // A drive trimmed of its separator is its root, never its current folder.
  if (Wide.size() == 2 && Wide[1] == u':') Wide += u'\\';
  // Only a relative path needs the current directory.
  const auto IsSeparator = [](char16_t C) { return C == u'\\' || C == u'/'; };
  const bool Full =
      (Wide.size() >= 2 && IsSeparator(Wide[0]) && IsSeparator(Wide[1])) ||
      (Wide.size() >= 3 && Wide[1] == u':' && IsSeparator(Wide[2]));
  return LongPathForm(Wide, Full ? std::u16string() : CurrentDirectoryWide());
}

namespace {

// Whether A and B are one name as the file systems compare names.
bool IsSameName(std::u16string_view A, std::u16string_view B) {
  if (A.size() != B.size()) return false;
  for (size_t I = 0; I < A.size(); ++I) {
    if (Upcase(A[I]) != Upcase(B[I])) return false;
  }
  return true;
}

}  // namespace

std::u16string ExactLongForm(const std::string& Path, DWORD* Attributes) {
  if (Path.empty() || Path.back() == '\\' || Path.back() == '/') return {};
  const std::u16string Long = LongForm(Path);
  const size_t Cut = Long.rfind(u'\\');
  if (Long.empty() || Cut == std::u16string::npos) return {};
  WIN32_FIND_DATAW Data;
  HANDLE Found = FindFirstFileExW(W(Long), FindExInfoBasic, &Data,
                                  FindExSearchNameMatch, nullptr, 0);
  if (Found == INVALID_HANDLE_VALUE) return {};
  FindClose(Found);
  const std::u16string_view Name(
      reinterpret_cast<const char16_t*>(Data.cFileName));
  // The search takes short names too, and answers with the long one.
  const std::u16string_view Asked = std::u16string_view(Long).substr(Cut + 1);
  if (!IsSameName(Asked, Name)) return {};
  *Attributes = Data.dwFileAttributes;
  return Long.substr(0, Cut + 1) + std::u16string(Name);
}

std::u16string LongNameOfShort(const std::string& Path) {
  const size_t Cut = Path.find_last_of("\\/");
  const std::u16string Asked =
      WideFromUtf8(Path.substr(Cut == std::string::npos ? 0 : Cut + 1));
  // The search takes these as wildcards (the DOS ones too).
  if (Asked.empty() || Asked.find_first_of(u"*?<>\"") != std::u16string::npos)
    return {};
  const std::u16string Long = LongForm(Path);
  WIN32_FIND_DATAW Data;
  HANDLE Found = Long.empty()
                     ? INVALID_HANDLE_VALUE
                     : FindFirstFileExW(W(Long), FindExInfoStandard, &Data,
                                        FindExSearchNameMatch, nullptr, 0);
  if (Found == INVALID_HANDLE_VALUE) return {};
  FindClose(Found);
  const std::u16string_view Short(
      reinterpret_cast<const char16_t*>(Data.cAlternateFileName));
  if (!IsSameName(Asked, Short)) return {};
  return reinterpret_cast<const char16_t*>(Data.cFileName);
}

int64_t SecondsFromTicks(int64_t Ticks, uint32_t* Nanos) {
  // 100-nanosecond ticks from 1601-01-01 to 1970-01-01.
  constexpr int64_t kEpochTicks = 116444736000000000LL;
  constexpr int64_t kTicksPerSecond = 10000000;
  Ticks -= kEpochTicks;
  // Round towards the past, so that a time just before the epoch is not
  // taken for a later one.
  const int64_t Seconds =
      Ticks / kTicksPerSecond - (Ticks % kTicksPerSecond < 0 ? 1 : 0);
  if (Nanos) *Nanos = uint32_t(Ticks - Seconds * kTicksPerSecond) * 100;
  return Seconds;
}

}  // namespace win32
}  // namespace olvane
