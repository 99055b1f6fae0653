// What a copy onto another file system keeps besides the content: owner and
// group, the access ACL and the extended attributes, the permission bits and
// the times. Nothing the copy should carry is dropped silently: where the
// destination cannot hold it, the copy fails and the source stays.
#include <errno.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "platform/kept_metadata.h"
#include "platform/posix/posix_internal.h"

namespace olvane {
namespace {

// Grows Buffer to hold what Call answers (a size, or -1 with errno) for a
// buffer of its size, asking the size again whenever it was too small.
template <typename SizedCall>
ssize_t Fill(std::vector<char>* Buffer, SizedCall Call) {
  for (;;) {
    const ssize_t Got = Call(Buffer->data(), Buffer->size());
    if (Got >= 0 || errno != ERANGE) return Got;
    const ssize_t Needed = Call(nullptr, 0);
    if (Needed < 0) return Needed;
    Buffer->resize(static_cast<size_t>(Needed) + 256);  // room to grow
  }
}

// Copies the attributes of From that a copy keeps onto To. False when one of
// them cannot be read or set.
bool CopyAttributes(int From, int To) {
  // Most files have none: a single listing says so.
  std::vector<char> Names(1024), Value(1024);
  const ssize_t Listed = Fill(&Names, [From](char* Data, size_t Size) {
    return flistxattr(From, Data, Size);
  });
  if (Listed < 0 && errno != ENOTSUP) return false;
  static const bool Privileged = geteuid() == 0;
  bool HasAcl = false;
  for (ssize_t At = 0; At < Listed;) {
    const char* Name = Names.data() + At;
    At += static_cast<ssize_t>(strnlen(Name, Listed - At)) + 1;
    if (!KeepsAttribute(Name, Privileged)) continue;
    const ssize_t Got = Fill(&Value, [From, Name](char* Data, size_t Size) {
      return fgetxattr(From, Name, Data, Size);
    });
    if (Got < 0 && errno == ENODATA) continue;  // gone meanwhile
    // A destination that cannot hold it answers ENOTSUP: the copy fails.
    if (Got < 0 ||
        fsetxattr(To, Name, Value.data(), static_cast<size_t>(Got), 0) != 0) {
      return false;
    }
    HasAcl = HasAcl || Name == kAccessAclName;
  }
  // A default ACL of the destination folder may have given the copy entries
  // of its own, which the source never had.
  return HasAcl || fremovexattr(To, std::string(kAccessAclName).c_str()) == 0 ||
         errno == ENODATA || errno == ENOTSUP;
}

}  // namespace

bool CopyMetadata(int SourceFd, int TargetFd, const struct stat& Info) {
  // Owner first: a change of owner clears capabilities and set-id bits.
  // Only a privileged process may give a file away; a member of the group
  // may still keep that.
  const bool OwnerKept = fchown(TargetFd, Info.st_uid, Info.st_gid) == 0;
  const bool GroupKept =
      OwnerKept || fchown(TargetFd, static_cast<uid_t>(-1), Info.st_gid) == 0;
  if (!CopyAttributes(SourceFd, TargetFd)) {
    if (errno == EEXIST) errno = EIO;  // not a name taken by another
    return false;
  }
  // The ACL, which a change of mode keeps, carries the real group entry; the
  // mode's group bits are its mask. Where the group could not be kept, the
  // group that has the copy gets no more than everyone else, and no set-id
  // bit stands for an owner or group the file no longer has.
  mode_t Mode = Info.st_mode & 07777;
  if (!OwnerKept) Mode &= ~S_ISUID;
  if (!GroupKept) Mode &= ~(S_ISGID | (S_IRWXG & ~((Mode & S_IRWXO) << 3)));
  const struct timespec Times[2] = {Info.st_atim, Info.st_mtim};
  return fchmod(TargetFd, Mode) == 0 && futimens(TargetFd, Times) == 0;
}

}  // namespace olvane
