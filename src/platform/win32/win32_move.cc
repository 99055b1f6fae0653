// Moving a file that is open with no sharing: a rename through its own
// handle within a volume; across volumes a copy from that handle, under a
// temporary name in the move folder, flushed and then given its final name,
// before the source is deleted through its handle. A crash at any point
// leaves two copies, never none, and a later run removes the temporary one.
// A file to be replaced is proven free first, and replaced by the rename
// itself, which fails while any handle holds it open.
#include <cstdlib>
#include <string>

#include "platform/wide_text.h"
#include "platform/win32/win32_internal.h"

namespace olvane {
namespace win32 {
namespace {

// What the copy keeps of the source's attributes: those a file may be
// given. Read-only never reaches the copy: a read-only source cannot be
// deleted, so such a move is refused before anything is copied.
constexpr ULONG kKeptAttributes =
    FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE |
    FILE_ATTRIBUTE_TEMPORARY | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;

const std::u16string kTemporaryStart = u".olvane-", kTemporaryEnd = u".tmp";

// "COMPUTER-": temporary names say which machine wrote them, since a
// process number means something on that machine only.
std::u16string Machine() {
  wchar_t Name[MAX_COMPUTERNAME_LENGTH + 1];
  DWORD Size = MAX_COMPUTERNAME_LENGTH + 1;
  if (!GetComputerNameW(Name, &Size)) return std::u16string();
  return std::u16string(reinterpret_cast<const char16_t*>(Name), Size) + u"-";
}

// Creates a new file in the folder Folder under a name no entry has.
UniqueHandle CreateTemporary(HANDLE Folder) {
  const std::u16string Stem =
      kTemporaryStart + Machine() +
      WideFromUtf8(std::to_string(GetCurrentProcessId()) + "-" +
                   std::to_string(GetCurrentThreadId()) + "-");
  for (int Try = 0; Try < 100; ++Try) {
    UniqueHandle Temporary;
    const NtStatus Status = OpenRelative(
        Folder, Stem + WideFromUtf8(std::to_string(Try)) + kTemporaryEnd,
        FILE_GENERIC_WRITE | WRITE_DAC | DELETE, 0, kFileCreate,
        kFileNonDirectoryFile, &Temporary);
    if (Status >= 0) return Temporary;
    if (Status != kStatusObjectNameCollision) break;
  }
  return UniqueHandle();
}

// The file about to be replaced, or what stands in its way.
enum class Destined { kFree, kAbsent, kNew, kHeld, kFailed };

// The first tick of the system time after the start: every change before
// the start is stamped earlier, every one after it at least so.
int64_t RunStart = 0;

int64_t SystemTime() {
  FILETIME Now;
  GetSystemTimeAsFileTime(&Now);
  return static_cast<int64_t>(
      (static_cast<uint64_t>(Now.dwHighDateTime) << 32) | Now.dwLowDateTime);
}

// Proven free by an open with no sharing, which fails while any other
// handle can read, write or delete it; closed again at once, as the rename
// cannot replace an open file. A read-only file counts as held: Windows
// refuses the rename over it, where Wine would make it.
Destined ProveDestination(HANDLE Folder, const std::u16string& Name) {
  UniqueHandle Old;
  const NtStatus Status = OpenRelative(
      Folder, Name, DELETE | FILE_READ_ATTRIBUTES | SYNCHRONIZE, 0, kFileOpen,
      kFileNonDirectoryFile | kFileOpenReparsePoint, &Old);
  FileBasicInfo Info;
  if (Status >= 0) {
    if (QueryBasicInfo(Old.Get(), &Info) != kStatusSuccess ||
        (Info.FileAttributes & FILE_ATTRIBUTE_READONLY)) {
      return Destined::kHeld;
    }
    return IsNewSinceStart(Info) ? Destined::kNew : Destined::kFree;
  }
  if (Status == kStatusObjectNameNotFound) return Destined::kAbsent;
  return Status == kStatusSharingViolation ? Destined::kHeld
                                           : Destined::kFailed;
}

// What a failed rename over a proven file means: someone opened it since,
// or it may not be replaced.
MoveResult Refused(NtStatus Status) {
  return Status == kStatusAccessDenied || Status == kStatusSharingViolation
             ? MoveResult::kDestinationHeld
             : MoveResult::kFailed;
}

// Copy, attributes and times, flush, and only then the name and the
// source's deletion. Replacing, the source is marked for deletion first, so
// that the one step that replaces the old copy is the last that can fail.
// The copy of File in Folder under a temporary name, with its attributes
// and times, on disk; empty on failure, and no copy is left.
UniqueHandle FlushedCopy(HANDLE File, HANDLE Folder) {
  FileBasicInfo Info;
  if (QueryBasicInfo(File, &Info) != kStatusSuccess ||
      (Info.FileAttributes &
       (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_REPARSE_POINT))) {
    // A link cannot be copied as itself; a read-only file would not go.
    return UniqueHandle();
  }
  UniqueHandle Copy = CreateTemporary(Folder);
  if (!Copy.Valid()) return Copy;
  Info.ChangeTime.QuadPart = 0;  // the system keeps its own
  Info.FileAttributes &= kKeptAttributes;
  if (Info.FileAttributes == 0) Info.FileAttributes = FILE_ATTRIBUTE_NORMAL;
  // The times are set once every stream is written, which would change them.
  if (CopyContent(File, Copy.Get()) &&
      CopyStreamsAndSecurity(File, Copy.Get()) &&
      SetBasicInfo(Copy.Get(), Info) == kStatusSuccess &&
      FlushFileBuffers(Copy.Get())) {
    return Copy;
  }
  MarkForDeletion(Copy.Get());
  return UniqueHandle();
}

MoveResult MoveAcross(HANDLE File, HANDLE Folder,
                      const std::string& Destination,
                      const std::u16string& Name, bool Replace) {
  UniqueHandle Copy = FlushedCopy(File, Folder);
  if (!Copy.Valid()) return MoveResult::kFailed;
  MoveResult Result = MoveResult::kFailed;
  if (!Replace) {
    if (RenameInto(Copy.Get(), Folder, Name) == kStatusSuccess &&
        MarkForDeletion(File)) {
      Result = MoveResult::kMoved;
    }
  } else if (MarkForDeletion(File)) {
    // Proven again after the copy, long name included.
    DWORD Attributes = 0;
    const Destined Dest = ExactLongForm(Destination, &Attributes).empty()
                              ? Destined::kAbsent
                              : ProveDestination(Folder, Name);
    const NtStatus Status =
        Dest == Destined::kHeld
            ? kStatusSharingViolation
            : RenameInto(Copy.Get(), Folder, Name, Dest == Destined::kFree);
    Result = Status == kStatusSuccess ? MoveResult::kMoved : Refused(Status);
    if (Result != MoveResult::kMoved) UnmarkForDeletion(File);
  }
  // The source is marked for deletion: the move is done whatever the close
  // of the copy reports. Else the copy goes again, under whichever name it
  // has by now, and the source stays where it was.
  if (Result != MoveResult::kMoved) MarkForDeletion(Copy.Get());
  Copy.Close();
  return Result;
}

}  // namespace

MoveResult MoveOpenFile(HANDLE File, const std::string& Destination,
                        bool Replace) {
  const size_t Cut = Destination.find_last_of("\\/");
  if (Cut == std::string::npos || Cut + 1 == Destination.size()) {
    return MoveResult::kFailed;
  }
  // The folder path keeps its separator, so that "C:" stays the root.
  const std::u16string FolderPath = LongForm(Destination.substr(0, Cut + 1));
  const std::u16string Name = WideFromUtf8(Destination.substr(Cut + 1));
  if (FolderPath.empty()) return MoveResult::kFailed;
  UniqueHandle Folder = FromCreateFile(CreateFileW(
      W(FolderPath), FILE_TRAVERSE | FILE_ADD_FILE | SYNCHRONIZE, kShareAll,
      nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  if (!Folder.Valid()) return MoveResult::kFailed;
  // Only an entry whose long name is Name is replaced: one that the name
  // reaches by its short name stays, and the rename then finds it in the
  // way like any entry.
  DWORD Attributes = 0;
  if (Replace && ExactLongForm(Destination, &Attributes).empty()) {
    Replace = false;
  }
  const Destined Dest =
      Replace ? ProveDestination(Folder.Get(), Name) : Destined::kAbsent;
  if (Dest == Destined::kHeld) return MoveResult::kDestinationHeld;
  if (Dest == Destined::kNew) return MoveResult::kDestinationNew;
  if (Dest == Destined::kFailed) return MoveResult::kFailed;
  const NtStatus Status =
      RenameInto(File, Folder.Get(), Name, Dest == Destined::kFree);
  if (Status == kStatusSuccess) return MoveResult::kMoved;
  if (Status == kStatusNotSameDevice) {
    return MoveAcross(File, Folder.Get(), Destination, Name,
                      Dest == Destined::kFree);
  }
  return Dest == Destined::kFree ? Refused(Status) : MoveResult::kFailed;
}

bool CopyOpenFile(HANDLE File, HANDLE Folder, const std::u16string& Name) {
  UniqueHandle Copy = FlushedCopy(File, Folder);
  if (!Copy.Valid()) return false;
  if (RenameInto(Copy.Get(), Folder, Name) == kStatusSuccess) {
    Copy.Close();
    return true;
  }
  MarkForDeletion(Copy.Get());
  return false;
}

void NoteRunStart() {
  const int64_t Before = SystemTime();
  while ((RunStart = SystemTime()) == Before) Sleep(1);
}

bool IsNewSinceStart(const FileBasicInfo& Info) {
  return Info.ChangeTime.QuadPart >= RunStart ||
         Info.CreationTime.QuadPart >= RunStart;
}

void RemoveStaleCopiesIn(const std::string& Path) {
  const std::u16string Long = LongForm(Path + '\\');
  const std::u16string Start = kTemporaryStart + Machine();
  if (Long.empty() || Start.size() == kTemporaryStart.size()) return;
  WIN32_FIND_DATAW Found;
  HANDLE Search =
      FindFirstFileExW(W(Long + Start + u"*" + kTemporaryEnd), FindExInfoBasic,
                       &Found, FindExSearchNameMatch, nullptr, 0);
  if (Search == INVALID_HANDLE_VALUE) return;
  do {
    // "PID-TID-TRY.tmp" after the start: a process of this machine that has
    // ended cannot be writing it any more.
    const std::u16string Name(reinterpret_cast<char16_t*>(Found.cFileName));
    const DWORD Process = static_cast<DWORD>(std::strtoul(
        Utf8FromWide(Name.substr(Start.size())).c_str(), nullptr, 10));
    HANDLE Writer =
        Process == 0
            ? nullptr
            : OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, Process);
    if (Writer) {
      CloseHandle(Writer);
    } else if (Process != 0 && GetLastError() == ERROR_INVALID_PARAMETER &&
               !(Found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
      DeleteFileW(W(Long + Name));
    }
  } while (FindNextFileW(Search, &Found));
  FindClose(Search);
}

}  // namespace win32
}  // namespace olvane
