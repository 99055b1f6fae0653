// What a copy across volumes carries besides the main stream: every named
// data stream and the security descriptor. All of it is read through the
// handle of the file that was checked, each stream opened relative to it,
// never by a path that another process could redirect.
#include <vector>

#include "platform/kept_metadata.h"
#include "platform/win32/win32_internal.h"

namespace olvane {
namespace win32 {
namespace {

bool WriteAll(HANDLE File, const char* Data, DWORD Size) {
  while (Size > 0) {
    DWORD Done = 0;
    if (!WriteFile(File, Data, Size, &Done, nullptr) || Done == 0) return false;
    Data += Done;
    Size -= Done;
  }
  return true;
}

constexpr DWORD kBufferSize = 1 << 16;

// Copies the bytes of From from Offset to End to the same place in To.
// False also when From ends before End.
bool CopyRange(HANDLE From, HANDLE To, int64_t Offset, int64_t End,
               char* Buffer) {
  LARGE_INTEGER At;
  At.QuadPart = Offset;
  if (!SetFilePointerEx(From, At, nullptr, FILE_BEGIN) ||
      !SetFilePointerEx(To, At, nullptr, FILE_BEGIN)) {
    return false;
  }
  for (DWORD Got = 0; Offset < End; Offset += Got) {
    const DWORD Want = End - Offset < kBufferSize
                           ? static_cast<DWORD>(End - Offset)
                           : kBufferSize;
    if (!ReadFile(From, Buffer, Want, &Got, nullptr) || Got == 0 ||
        !WriteAll(To, Buffer, Got)) {
      return false;
    }
  }
  return true;
}

// The ranges of the stream File from Offset to End that hold data, as many
// as one query gives, in *Ranges; *More when more follow the last of them.
// False where the volume cannot tell.
bool QueryDataRanges(HANDLE File, int64_t Offset, int64_t End,
                     std::vector<FILE_ALLOCATED_RANGE_BUFFER>* Ranges,
                     bool* More) {
  FILE_ALLOCATED_RANGE_BUFFER Query;
  Query.FileOffset.QuadPart = Offset;
  Query.Length.QuadPart = End - Offset;
  Ranges->resize(64);  // a query's worth
  DWORD Filled = 0;
  const BOOL Done = DeviceIoControl(
      File, FSCTL_QUERY_ALLOCATED_RANGES, &Query, sizeof Query, Ranges->data(),
      static_cast<DWORD>(Ranges->size() * sizeof(Query)), &Filled, nullptr);
  *More = !Done && GetLastError() == ERROR_MORE_DATA;
  Ranges->resize(Filled / sizeof(Query));
  return Done || (*More && !Ranges->empty());
}

// Creates the stream Name on Copy with the content of that of File, flushed.
bool CopyStream(HANDLE File, HANDLE Copy, const std::u16string& Name) {
  UniqueHandle From, To;
  return OpenRelative(File, Name, FILE_GENERIC_READ, FILE_SHARE_READ, kFileOpen,
                      kFileNonDirectoryFile, &From) >= 0 &&
         OpenRelative(Copy, Name, FILE_GENERIC_WRITE, 0, kFileCreate,
                      kFileNonDirectoryFile, &To) >= 0 &&
         CopyContent(From.Get(), To.Get()) && FlushFileBuffers(To.Get()) &&
         To.Close();
}

constexpr SECURITY_INFORMATION kSecurity = OWNER_SECURITY_INFORMATION |
                                           GROUP_SECURITY_INFORMATION |
                                           DACL_SECURITY_INFORMATION;

// The owner, group and access control list of the file open as File.
bool ReadSecurity(HANDLE File, std::vector<unsigned char>* Descriptor) {
  Descriptor->resize(1024);
  DWORD Needed = 0;
  while (!GetKernelObjectSecurity(File, kSecurity, Descriptor->data(),
                                  static_cast<DWORD>(Descriptor->size()),
                                  &Needed)) {
    if (GetLastError() != ERROR_INSUFFICIENT_BUFFER ||
        Needed <= Descriptor->size()) {
      return false;
    }
    Descriptor->resize(Needed);
  }
  return true;
}

// Gives Copy the access control list of File and, where this process may
// set them, its owner and group. The list goes as it is, inherited entries
// included, as a rename would leave it.
bool CopySecurity(HANDLE File, HANDLE Copy) {
  // The checked handle has no access to the descriptor; a second one with
  // that access alone is not denied by its lack of sharing. Either is
  // opened anew as what it is, a file or a folder.
  UniqueHandle Reader, Owner;
  std::vector<unsigned char> Descriptor, Current;
  if (OpenRelative(File, u"", READ_CONTROL, kShareAll, kFileOpen,
                   kFileOpenReparsePoint, &Reader) < 0 ||
      !ReadSecurity(Reader.Get(), &Descriptor)) {
    return false;
  }
  // Where the copy has it already, nothing is set: a system that makes the
  // descriptor up from other permissions (Wine, from the Unix mode) may
  // map it back less exactly.
  if (OpenRelative(Copy, u"", READ_CONTROL | WRITE_OWNER, kShareAll, kFileOpen,
                   0, &Owner) >= 0 &&
      ReadSecurity(Owner.Get(), &Current) && Current == Descriptor) {
    return true;
  }
  if (Owner.Valid()) {
    // Only a privileged process may give a file away; the list decides
    // who has access all the same.
    SetKernelObjectSecurity(
        Owner.Get(), OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION,
        Descriptor.data());
  }
  return SetKernelObjectSecurity(Copy, DACL_SECURITY_INFORMATION,
                                 Descriptor.data()) != 0;
}

}  // namespace

bool CopyContent(HANDLE From, HANDLE To) {
  LARGE_INTEGER Size;
  if (!GetFileSizeEx(From, &Size)) return false;
  std::unique_ptr<char[]> Buffer(new char[kBufferSize]);
  std::vector<FILE_ALLOCATED_RANGE_BUFFER> Ranges;
  bool More = false;
  DWORD Unused = 0;
  // A stream with no holes, one whose volume cannot list them (Wine) or a
  // copy that cannot have them is copied whole.
  if (Size.QuadPart == 0 ||
      !QueryDataRanges(From, 0, Size.QuadPart, &Ranges, &More) ||
      (!More && Ranges.size() == 1 && Ranges[0].FileOffset.QuadPart == 0 &&
       Ranges[0].Length.QuadPart >= Size.QuadPart) ||
      !DeviceIoControl(To, FSCTL_SET_SPARSE, nullptr, 0, nullptr, 0, &Unused,
                       nullptr)) {
    return CopyRange(From, To, 0, Size.QuadPart, Buffer.get());
  }
  // The length first, all of it a hole; then the data.
  if (!SetFilePointerEx(To, Size, nullptr, FILE_BEGIN) || !SetEndOfFile(To)) {
    return false;
  }
  for (;;) {
    int64_t Next = Size.QuadPart;
    for (const FILE_ALLOCATED_RANGE_BUFFER& Range : Ranges) {
      Next = Range.FileOffset.QuadPart + Range.Length.QuadPart;
      if (!CopyRange(From, To, Range.FileOffset.QuadPart,
                     Next < Size.QuadPart ? Next : Size.QuadPart,
                     Buffer.get())) {
        return false;
      }
    }
    if (!More || Next >= Size.QuadPart) return true;
    if (!QueryDataRanges(From, Next, Size.QuadPart, &Ranges, &More)) {
      return false;
    }
  }
}

bool CopyStreamsAndSecurity(HANDLE File, HANDLE Copy) {
  std::vector<unsigned char> Listing;
  std::vector<std::u16string> Names;
  if (QueryStreams(File, &Listing) != kStatusSuccess ||
      !NamedDataStreams(Listing.data(), Listing.size(), &Names)) {
    return false;
  }
  // A volume that cannot hold a stream the file has fails its creation.
  for (const std::u16string& Name : Names) {
    if (!CopyStream(File, Copy, Name)) return false;
  }
  return CopySecurity(File, Copy);
}

}  // namespace win32
}  // namespace olvane
