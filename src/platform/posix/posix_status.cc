// The status queries the Linux walk decides by: times, and whether an entry
// can be removed.
#ifndef _GNU_SOURCE
#define _GNU_SOURCE
#endif

#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include "platform/posix/posix_internal.h"

namespace olvane {

// The status of Name in the folder Fd (Name empty: of Fd itself), in one
// query that follows no link and triggers no automount, with what the walk
// and the removal tests need of it.
bool StatusOf(int Fd, const char* Name, struct statx* Info) {
  const int Flags = AT_SYMLINK_NOFOLLOW | AT_NO_AUTOMOUNT |
                    (Name[0] == '\0' ? AT_EMPTY_PATH : 0);
  return Fd >= 0 && statx(Fd, Name, Flags,
                          STATX_BTIME | STATX_CTIME | STATX_MTIME |
                              STATX_ATIME | STATX_TYPE | STATX_MODE |
                              STATX_UID | STATX_INO | STATX_NLINK |
                              STATX_BLOCKS,
                          Info) == 0;
}

// The attributes that keep an entry (or a folder's entries) in place.
bool Fixed(const struct statx& Info) {
  return Info.stx_attributes & Info.stx_attributes_mask &
         (STATX_ATTR_IMMUTABLE | STATX_ATTR_APPEND);
}

// The root of another mount, which no removal or rename takes away.
bool IsMountRoot(const struct statx& Info) {
  return Info.stx_attributes & Info.stx_attributes_mask &
         STATX_ATTR_MOUNT_ROOT;
}

// Whether the entry whose status is Entry can be removed from the folder
// open as DirFd, as far as can be told without removing it: it is no mount
// root, neither is immutable or append-only, the folder may be written into (a read-only
// mount not), and its sticky bit, if set, lets this process remove it.
bool MayRemoveFrom(int DirFd, const struct statx& Entry) {
  struct statx Folder;
  if (Fixed(Entry) || IsMountRoot(Entry)) return false;
  if (DirFd < 0 || !StatusOf(DirFd, "", &Folder)) return true;
  if (Fixed(Folder)) return false;
  if (faccessat(DirFd, ".", W_OK | X_OK, AT_EACCESS) != 0 &&
      (errno == EACCES || errno == EPERM || errno == EROFS)) {
    return false;
  }
  const uid_t Me = geteuid();
  return !(Folder.stx_mode & S_ISVTX) || Me == 0 || Me == Entry.stx_uid ||
         Me == Folder.stx_uid;
}

EntryKind KindOfMode(mode_t Mode) {
  if (S_ISREG(Mode)) return EntryKind::kFile;
  if (S_ISDIR(Mode)) return EntryKind::kFolder;
  if (S_ISLNK(Mode)) return EntryKind::kFileLink;
  return EntryKind::kOther;
}

// The times of Name in the folder Fd (Name empty: of Fd itself); *Kept, if
// given, receives the whole status.
bool TimesOf(int Fd, const char* Name, FileTimes* Out, struct statx* Kept) {
  struct statx Own;
  struct statx& Info = Kept ? *Kept : Own;
  if (!StatusOf(Fd, Name, &Info)) return false;
  // Without a birth time the status-change time stands in: it is never
  // earlier than the creation, so a file can only be kept longer.
  const statx_timestamp& Born =
      (Info.stx_mask & STATX_BTIME) ? Info.stx_btime : Info.stx_ctime;
  Out->Creation = Born.tv_sec;
  Out->CreationNanos = Born.tv_nsec;
  Out->Modification = Info.stx_mtime.tv_sec;
  Out->ModificationNanos = Info.stx_mtime.tv_nsec;
  Out->Access = Info.stx_atime.tv_sec;
  Out->AccessNanos = Info.stx_atime.tv_nsec;
  // Blocks are counted in units of 512 bytes, whatever the file system's.
  Out->Allocated = (Info.stx_mask & STATX_BLOCKS)
                       ? static_cast<int64_t>(Info.stx_blocks) * 512
                       : -1;
  Out->Links = (Info.stx_mask & STATX_NLINK) ? Info.stx_nlink : 0;
  if (Info.stx_mask & STATX_INO) {
    Out->Id = {makedev(Info.stx_dev_major, Info.stx_dev_minor), Info.stx_ino};
  }
  Out->MountRoot = IsMountRoot(Info);
  Out->Kind = KindOfMode(Info.stx_mode);
  return true;
}

}  // namespace olvane
