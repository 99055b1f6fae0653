// A passthrough file system for the share benchmark: it serves the folder
// SOURCE at the mount point and waits a set time in every metadata operation
// (lookup, status, open, release, listing, removal...), the way a network
// file system pays a round trip to its server for each. Multithreaded, so
// that requests overlap as they would on a server; reads and writes pass
// without a wait.
//
//   latencyfs SOURCE MOUNTPOINT [-o entry_timeout=T...]   (as root)
//   LATENCYFS_US       the wait per metadata operation in microseconds (1000)
//   LATENCYFS_THREADS  the most requests served at once (256)
//
// It runs in the foreground until the mount point is unmounted or it gets
// SIGINT or SIGTERM (then it unmounts itself), and writes to standard error
// how many metadata requests it served and the most under way at once.
//
// libfuse 3.14 does not ask the kernel for parallel lookups and listings in
// one folder (FUSE_PARALLEL_DIROPS) whatever the file system wants, and
// without them the kernel serves one lookup per folder at a time: the bench
// would measure that, not the client. So the file system mounts itself and
// adds the flag to its reply to the kernel's first request on the way out.
#define FUSE_USE_VERSION 314
#define _GNU_SOURCE

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <fuse.h>
#include <fuse_lowlevel.h>
#include <stdatomic.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <linux/fuse.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <sys/statvfs.h>
#include <time.h>
#include <unistd.h>

static int Source = -1;  // the served folder
static long WaitUs = 1000;
static atomic_long Served, Busy, MostBusy;

// The requests served, per operation, for the summary.
enum { kGetAttr, kReadLink, kMakeDir, kUnlink, kRemoveDir, kSymLink, kRename,
       kChangeMode, kChangeOwner, kTruncate, kSetTimes, kOpen, kCreate,
       kStatFs, kRelease, kFsync, kReadDir, kAccess, kOperations };
static const char *const kNames[kOperations] = {
    "getattr", "readlink", "mkdir", "unlink", "rmdir", "symlink", "rename",
    "chmod", "chown", "truncate", "utimens", "open", "create", "statfs",
    "release", "fsync", "readdir", "access"};
static atomic_long PerOperation[kOperations];

// The path relative to the served folder ("." for the root).
static const char *Rel(const char *Path) {
  return Path[1] == '\0' ? "." : Path + 1;
}

// One round trip: counted, and as long as the set latency.
static void RoundTrip(int Operation) {
  atomic_fetch_add(&Served, 1);
  atomic_fetch_add(&PerOperation[Operation], 1);
  long Now = atomic_fetch_add(&Busy, 1) + 1;
  long Most = atomic_load(&MostBusy);
  while (Now > Most && !atomic_compare_exchange_weak(&MostBusy, &Most, Now)) {
  }
  struct timespec Wait = {WaitUs / 1000000, (WaitUs % 1000000) * 1000};
  while (nanosleep(&Wait, &Wait) != 0 && errno == EINTR) {
  }
  atomic_fetch_sub(&Busy, 1);
}

static int Result(int Rc) { return Rc < 0 ? -errno : 0; }

static void *Init(struct fuse_conn_info *Conn, struct fuse_config *Cfg) {
  Cfg->use_ino = 1;
  // The kernel holds a folder's lock through each lookup and listing unless
  // it is told that the file system takes them in parallel.
  fprintf(stderr, "latencyfs: parallel dirops capable=%d wanted by default=%d\n",
          !!(Conn->capable & FUSE_CAP_PARALLEL_DIROPS),
          !!(Conn->want & FUSE_CAP_PARALLEL_DIROPS));
  if (Conn->capable & FUSE_CAP_PARALLEL_DIROPS) {
    Conn->want |= FUSE_CAP_PARALLEL_DIROPS;
  }
  Conn->max_background = 128;
  Conn->congestion_threshold = 96;
  return NULL;
}

static void Destroy(void *Data) {
  (void)Data;
  fprintf(stderr, "latencyfs: %ld metadata requests, at most %ld at once:",
          atomic_load(&Served), atomic_load(&MostBusy));
  for (int I = 0; I < kOperations; ++I) {
    const long Count = atomic_load(&PerOperation[I]);
    if (Count) fprintf(stderr, " %s %ld", kNames[I], Count);
  }
  fprintf(stderr, "\n");
}

static int GetAttr(const char *Path, struct stat *Info,
                   struct fuse_file_info *File) {
  RoundTrip(kGetAttr);
  if (File) return Result(fstat((int)File->fh, Info));
  return Result(fstatat(Source, Rel(Path), Info, AT_SYMLINK_NOFOLLOW));
}

static int ReadLink(const char *Path, char *Buffer, size_t Size) {
  RoundTrip(kReadLink);
  ssize_t Got = readlinkat(Source, Rel(Path), Buffer, Size - 1);
  if (Got < 0) return -errno;
  Buffer[Got] = '\0';
  return 0;
}

static int MakeDir(const char *Path, mode_t Mode) {
  RoundTrip(kMakeDir);
  return Result(mkdirat(Source, Rel(Path), Mode));
}

static int Unlink(const char *Path) {
  RoundTrip(kUnlink);
  return Result(unlinkat(Source, Rel(Path), 0));
}

static int RemoveDir(const char *Path) {
  RoundTrip(kRemoveDir);
  return Result(unlinkat(Source, Rel(Path), AT_REMOVEDIR));
}

static int SymLink(const char *To, const char *Path) {
  RoundTrip(kSymLink);
  return Result(symlinkat(To, Source, Rel(Path)));
}

static int Rename(const char *From, const char *To, unsigned int Flags) {
  RoundTrip(kRename);
  return Result(renameat2(Source, Rel(From), Source, Rel(To), Flags));
}

static int ChangeMode(const char *Path, mode_t Mode,
                      struct fuse_file_info *File) {
  RoundTrip(kChangeMode);
  if (File) return Result(fchmod((int)File->fh, Mode));
  return Result(fchmodat(Source, Rel(Path), Mode, 0));
}

static int ChangeOwner(const char *Path, uid_t User, gid_t Group,
                       struct fuse_file_info *File) {
  RoundTrip(kChangeOwner);
  if (File) return Result(fchown((int)File->fh, User, Group));
  return Result(fchownat(Source, Rel(Path), User, Group, AT_SYMLINK_NOFOLLOW));
}

static int Truncate(const char *Path, off_t Size, struct fuse_file_info *File) {
  RoundTrip(kTruncate);
  if (File) return Result(ftruncate((int)File->fh, Size));
  int Fd = openat(Source, Rel(Path), O_WRONLY | O_CLOEXEC);
  if (Fd < 0) return -errno;
  int Rc = Result(ftruncate(Fd, Size));
  close(Fd);
  return Rc;
}

static int SetTimes(const char *Path, const struct timespec Times[2],
                    struct fuse_file_info *File) {
  RoundTrip(kSetTimes);
  if (File) return Result(futimens((int)File->fh, Times));
  return Result(utimensat(Source, Rel(Path), Times, AT_SYMLINK_NOFOLLOW));
}

static int Open(const char *Path, struct fuse_file_info *File) {
  RoundTrip(kOpen);
  int Fd = openat(Source, Rel(Path), (File->flags & ~O_NOFOLLOW) | O_CLOEXEC);
  if (Fd < 0) return -errno;
  File->fh = (uint64_t)Fd;
  return 0;
}

static int Create(const char *Path, mode_t Mode, struct fuse_file_info *File) {
  RoundTrip(kCreate);
  int Fd = openat(Source, Rel(Path), File->flags | O_CREAT | O_CLOEXEC, Mode);
  if (Fd < 0) return -errno;
  File->fh = (uint64_t)Fd;
  return 0;
}

static int Read(const char *Path, char *Buffer, size_t Size, off_t At,
                struct fuse_file_info *File) {
  (void)Path;
  ssize_t Got = pread((int)File->fh, Buffer, Size, At);
  return Got < 0 ? -errno : (int)Got;
}

static int Write(const char *Path, const char *Buffer, size_t Size, off_t At,
                 struct fuse_file_info *File) {
  (void)Path;
  ssize_t Put = pwrite((int)File->fh, Buffer, Size, At);
  return Put < 0 ? -errno : (int)Put;
}

static int StatFs(const char *Path, struct statvfs *Info) {
  (void)Path;
  RoundTrip(kStatFs);
  return Result(fstatvfs(Source, Info));
}

static int Release(const char *Path, struct fuse_file_info *File) {
  (void)Path;
  RoundTrip(kRelease);
  close((int)File->fh);
  return 0;
}

static int Fsync(const char *Path, int Data, struct fuse_file_info *File) {
  (void)Path;
  RoundTrip(kFsync);
  return Result(Data ? fdatasync((int)File->fh) : fsync((int)File->fh));
}

static int ReadDir(const char *Path, void *Buffer, fuse_fill_dir_t Fill,
                   off_t At, struct fuse_file_info *File,
                   enum fuse_readdir_flags Flags) {
  (void)At;
  (void)File;
  (void)Flags;
  RoundTrip(kReadDir);
  int Fd = openat(Source, Rel(Path), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  DIR *Dir = Fd < 0 ? NULL : fdopendir(Fd);
  if (!Dir) {
    int Error = errno;
    if (Fd >= 0) close(Fd);
    return -Error;
  }
  struct dirent *Each;
  while ((Each = readdir(Dir)) != NULL) {
    struct stat Info;
    memset(&Info, 0, sizeof(Info));
    Info.st_ino = Each->d_ino;
    Info.st_mode = (mode_t)DTTOIF(Each->d_type);
    if (Fill(Buffer, Each->d_name, &Info, 0, 0)) break;
  }
  closedir(Dir);
  return 0;
}

static int Access(const char *Path, int Mask) {
  RoundTrip(kAccess);
  return Result(faccessat(Source, Rel(Path), Mask, AT_SYMLINK_NOFOLLOW));
}

static const struct fuse_operations Operations = {
    .init = Init,
    .destroy = Destroy,
    .getattr = GetAttr,
    .readlink = ReadLink,
    .mkdir = MakeDir,
    .unlink = Unlink,
    .rmdir = RemoveDir,
    .symlink = SymLink,
    .rename = Rename,
    .chmod = ChangeMode,
    .chown = ChangeOwner,
    .truncate = Truncate,
    .utimens = SetTimes,
    .open = Open,
    .create = Create,
    .read = Read,
    .write = Write,
    .statfs = StatFs,
    .release = Release,
    .fsync = Fsync,
    .readdir = ReadDir,
    .access = Access,
};

static atomic_ullong InitRequest = ~0ULL;  // the kernel's first request

static ssize_t ReadRequest(int Fd, void *Buffer, size_t Size, void *Data) {
  (void)Data;
  ssize_t Got = read(Fd, Buffer, Size);
  const struct fuse_in_header *In = Buffer;
  if (Got >= (ssize_t)sizeof(*In) && In->opcode == FUSE_INIT) {
    atomic_store(&InitRequest, In->unique);
  }
  return Got;
}

static ssize_t WriteReply(int Fd, struct iovec *Parts, int Count, void *Data) {
  (void)Data;
  const struct fuse_out_header *Out = Parts[0].iov_base;
  if (Count > 1 && Out->error == 0 && Out->unique == atomic_load(&InitRequest) &&
      Parts[1].iov_len >= sizeof(struct fuse_init_out)) {
    ((struct fuse_init_out *)Parts[1].iov_base)->flags |= FUSE_PARALLEL_DIROPS;
  }
  return writev(Fd, Parts, Count);
}

static long EnvNumber(const char *Name, long Default) {
  const char *Text = getenv(Name);
  return Text && *Text ? atol(Text) : Default;
}

int main(int Argc, char **Argv) {
  if (Argc < 3) {
    fprintf(stderr, "usage: %s SOURCE MOUNTPOINT [-o OPTIONS]\n", Argv[0]);
    return 2;
  }
  WaitUs = EnvNumber("LATENCYFS_US", 1000);
  const char *Point = Argv[2];
  Source = open(Argv[1], O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  int Device = open("/dev/fuse", O_RDWR | O_CLOEXEC);
  if (Source < 0 || Device < 0) {
    perror(Source < 0 ? Argv[1] : "/dev/fuse");
    return 1;
  }
  // The program name and the options after the two paths.
  Argv[2] = Argv[0];
  struct fuse_args Args = FUSE_ARGS_INIT(Argc - 2, Argv + 2);
  struct fuse *Fs = fuse_new(&Args, &Operations, sizeof(Operations), NULL);
  if (!Fs) return 1;
  struct fuse_session *Session = fuse_get_session(Fs);
  const struct fuse_custom_io Io = {.writev = WriteReply, .read = ReadRequest};
  char Options[128];
  snprintf(Options, sizeof(Options),
           "fd=%d,rootmode=40000,user_id=0,group_id=0,allow_other", Device);
  if (fuse_session_custom_io(Session, &Io, Device) != 0 ||
      mount("latencyfs", Point, "fuse.latencyfs", MS_NOSUID | MS_NODEV,
            Options) != 0) {
    perror(Point);
    return 1;
  }
  fuse_set_signal_handlers(Session);
  struct fuse_loop_config *Loop = fuse_loop_cfg_create();
  const long Threads = EnvNumber("LATENCYFS_THREADS", 256);
  fuse_loop_cfg_set_max_threads(Loop, (unsigned)Threads);
  fuse_loop_cfg_set_idle_threads(Loop, (unsigned)Threads);
  const int Status = fuse_loop_mt(Fs, Loop);
  fuse_loop_cfg_destroy(Loop);
  fuse_remove_signal_handlers(Session);
  umount2(Point, MNT_DETACH);  // gone already when unmounted from outside
  fuse_destroy(Fs);
  return Status < 0 ? 1 : 0;
}
