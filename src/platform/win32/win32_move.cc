// Moving a file that is open with no sharing: a rename through its own
// handle within a volume; across volumes a copy from that handle, under a
// temporary name in the move folder, flushed and then given its final name,
// before the source is deleted through its handle. A crash at any point
// leaves two copies, never none.
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

// Creates a new file in the folder Folder under a name no entry has.
UniqueHandle CreateTemporary(HANDLE Folder) {
  const std::u16string Stem =
      WideFromUtf8(".olvane-" + std::to_string(GetCurrentProcessId()) + "-" +
                   std::to_string(GetCurrentThreadId()) + "-");
  for (int Try = 0; Try < 100; ++Try) {
    UniqueHandle Temporary;
    const NtStatus Status =
        OpenRelative(Folder, Stem + WideFromUtf8(std::to_string(Try) + ".tmp"),
                     FILE_GENERIC_WRITE | WRITE_DAC | DELETE, 0, kFileCreate,
                     kFileNonDirectoryFile, &Temporary);
    if (Status >= 0) return Temporary;
    if (Status != kStatusObjectNameCollision) break;
  }
  return UniqueHandle();
}

bool MoveAcross(HANDLE File, HANDLE Folder, const std::u16string& Name) {
  FileBasicInfo Info;
  if (QueryBasicInfo(File, &Info) != kStatusSuccess ||
      (Info.FileAttributes &
       (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_REPARSE_POINT))) {
    // A link cannot be copied as itself; a read-only file would not go.
    return false;
  }
  UniqueHandle Copy = CreateTemporary(Folder);
  if (!Copy.Valid()) return false;
  Info.ChangeTime.QuadPart = 0;  // the system keeps its own
  Info.FileAttributes &= kKeptAttributes;
  if (Info.FileAttributes == 0) Info.FileAttributes = FILE_ATTRIBUTE_NORMAL;
  // The times are set once every stream is written, which would change them.
  if (!CopyContent(File, Copy.Get()) ||
      !CopyStreamsAndSecurity(File, Copy.Get()) ||
      SetBasicInfo(Copy.Get(), Info) != kStatusSuccess ||
      !FlushFileBuffers(Copy.Get()) ||
      RenameInto(Copy.Get(), Folder, Name) != kStatusSuccess ||
      !MarkForDeletion(File)) {
    // The copy goes again, under whichever name it has by now; the source
    // stays where it was.
    MarkForDeletion(Copy.Get());
    return false;
  }
  // The source is marked for deletion: the move is done whatever the close
  // of the copy reports.
  Copy.Close();
  return true;
}

}  // namespace

MoveResult MoveOpenFile(HANDLE File, const std::string& Destination) {
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
  const NtStatus Status = RenameInto(File, Folder.Get(), Name);
  if (Status == kStatusSuccess || (Status == kStatusNotSameDevice &&
                                   MoveAcross(File, Folder.Get(), Name))) {
    return MoveResult::kMoved;
  }
  return MoveResult::kFailed;
}

}  // namespace win32
}  // namespace olvane
