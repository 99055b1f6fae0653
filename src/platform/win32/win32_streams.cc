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
  // that access alone is not denied by its lack of sharing.
  UniqueHandle Reader, Owner;
  std::vector<unsigned char> Descriptor, Current;
  if (OpenRelative(File, u"", READ_CONTROL, kShareAll, kFileOpen,
                   kFileNonDirectoryFile | kFileOpenReparsePoint,
                   &Reader) < 0 ||
      !ReadSecurity(Reader.Get(), &Descriptor)) {
    return false;
  }
  // Where the copy has it already, nothing is set: a system that makes the
  // descriptor up from other permissions (Wine, from the Unix mode) may
  // map it back less exactly.
  if (OpenRelative(Copy, u"", READ_CONTROL | WRITE_OWNER, kShareAll, kFileOpen,
                   kFileNonDirectoryFile, &Owner) >= 0 &&
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
  LARGE_INTEGER Start{};
  if (!SetFilePointerEx(From, Start, nullptr, FILE_BEGIN)) return false;
  std::unique_ptr<char[]> Buffer(new char[1 << 16]);
  for (;;) {
    DWORD Got = 0;
    if (!ReadFile(From, Buffer.get(), 1 << 16, &Got, nullptr)) return false;
    if (Got == 0) return true;
    if (!WriteAll(To, Buffer.get(), Got)) return false;
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
