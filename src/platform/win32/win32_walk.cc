// Folders, listings and the files the walk tests, all on handles. A folder
// is opened once, relative to its parent's handle and never through a
// reparse point; it is listed from its handle and every entry is opened
// relative to it. A file is opened once with no sharing, and the same handle
// serves the expiry test, the probe and the disposal.
#include <atomic>
#include <memory>
#include <string>

#include "platform/wide_text.h"
#include "platform/win32/win32_internal.h"

namespace olvane {
namespace win32 {
namespace {

constexpr ACCESS_MASK kFolderAccess =
    FILE_LIST_DIRECTORY | FILE_TRAVERSE | FILE_READ_ATTRIBUTES | SYNCHRONIZE;

// Read for the copy across volumes, delete for the disposal; no sharing, so
// that the open fails while any other handle can read, write or delete it.
constexpr ACCESS_MASK kExclusiveAccess =
    FILE_READ_DATA | FILE_READ_ATTRIBUTES | SYNCHRONIZE | DELETE;

EntryKind KindOf(ULONG Attributes) {
  const bool IsFolder = Attributes & FILE_ATTRIBUTE_DIRECTORY;
  if (Attributes & FILE_ATTRIBUTE_REPARSE_POINT) {
    return IsFolder ? EntryKind::kFolderLink : EntryKind::kFileLink;
  }
  return IsFolder ? EntryKind::kFolder : EntryKind::kFile;
}

// A name of one component, as a listing gives them: anything else would be
// a path below the folder.
bool IsPlainName(const std::u16string& Name) {
  return !Name.empty() && Name != u"." && Name != u".." &&
         Name.find_first_of(u"\\/") == std::u16string::npos;
}

// Path without the dots and spaces that end any of its components.
std::u16string TrimmedPath(std::u16string_view Path) {
  std::u16string Out;
  const auto TrimEnd = [&Out] {
    while (!Out.empty() && (Out.back() == u'.' || Out.back() == u' '))
      Out.pop_back();
  };
  for (char16_t C : Path) {
    if (C == u'\\') TrimEnd();
    Out += C;
  }
  TrimEnd();
  return Out;
}

FileTimes TimesFrom(const LARGE_INTEGER& Creation, const LARGE_INTEGER& Write,
                    const LARGE_INTEGER& Access) {
  FileTimes Times;
  Times.Creation = SecondsFromTicks(Creation.QuadPart, &Times.CreationNanos);
  Times.Modification =
      SecondsFromTicks(Write.QuadPart, &Times.ModificationNanos);
  Times.Access = SecondsFromTicks(Access.QuadPart, &Times.AccessNanos);
  return Times;
}

bool TimesOf(HANDLE Handle, FileTimes* Out) {
  FileBasicInfo Info;
  if (QueryBasicInfo(Handle, &Info) != kStatusSuccess) return false;
  *Out = TimesFrom(Info.CreationTime, Info.LastWriteTime, Info.LastAccessTime);
  Out->Kind = KindOf(Info.FileAttributes);
  return true;
}

// The handle of a folder, shared with its listings so that a listing never
// outlives it. A handle has one position in its listing: the first listing
// at a time uses it, any other one opens the folder anew from it.
struct FolderHandle {
  explicit FolderHandle(UniqueHandle Handle) : Handle(std::move(Handle)) {}
  UniqueHandle Handle;
  std::atomic<bool> Listing{false};
};

class Win32Listing : public Listing {
 public:
  Win32Listing(std::shared_ptr<FolderHandle> Folder, std::u16string Mask)
      : Folder_(std::move(Folder)), Mask_(std::move(Mask)) {
    bool Free = false;
    if (Folder_->Listing.compare_exchange_strong(Free, true)) {
      Handle_ = Folder_->Handle.Get();
      Owner_ = true;
    } else if (OpenRelative(Folder_->Handle.Get(), u"",
                            FILE_LIST_DIRECTORY | SYNCHRONIZE, kShareAll,
                            kFileOpen, kFileDirectoryFile, &Own_) >= 0) {
      Handle_ = Own_.Get();
    }
    All_ = Mask_ == u"*";
    Failed_ = !Handle_;
  }

  bool Failed() const override { return Failed_; }
  ~Win32Listing() override {
    if (Owner_) Folder_->Listing.store(false);
  }

  bool Next(Entry* Item) override {
    while (Handle_) {
      if (!Current_) {
        ULONG Filled = 0;
        const NtStatus Status = QueryDirectory(
            Handle_, Buffer_.get(), kBufferBytes, First_, &Ids_, &Filled);
        First_ = false;
        if (Status != kStatusSuccess || Filled == 0) {
          // The end, or a failure: either way the listing is over.
          Failed_ = Status != kStatusSuccess && Status != kStatusNoMoreFiles &&
                    Status != kStatusNoSuchFile;
          Handle_ = nullptr;
          break;
        }
        Current_ = reinterpret_cast<const unsigned char*>(Buffer_.get());
      }
      // The two records agree up to the name's length.
      const FileDirectoryInfo* Info =
          reinterpret_cast<const FileDirectoryInfo*>(Current_);
      const FileIdFullDirInfo* WithId =
          Ids_ ? reinterpret_cast<const FileIdFullDirInfo*>(Current_) : nullptr;
      Current_ =
          Info->NextEntryOffset ? Current_ + Info->NextEntryOffset : nullptr;
      const std::u16string_view Name(
          reinterpret_cast<const char16_t*>(WithId ? WithId->FileName
                                                   : Info->FileName),
          Info->FileNameLength / sizeof(WCHAR));
      if (Name == u"." || Name == u"..") continue;
      if (!All_ && !MatchWideMask(Mask_, Name, Upcase)) continue;
      Item->Name = Utf8FromWide(Name);
      Item->Kind = KindOf(Info->FileAttributes);
      // The listing carries the times: a file that is not due is never
      // opened.
      Item->Timed = true;
      Item->Times = TimesFrom(Info->CreationTime, Info->LastWriteTime,
                              Info->LastAccessTime);
      Item->Times.Allocated = Info->AllocationSize.QuadPart;
      Item->Times.Kind = Item->Kind;
      // Volume 0 for all: a walk never leaves its target's volume (mount
      // points are reparse points), so the number alone tells the file.
      if (WithId) {
        Item->Times.Id = {0, static_cast<uint64_t>(WithId->FileId.QuadPart)};
      }
      return true;
    }
    return false;
  }

 private:
  static constexpr ULONG kBufferBytes = 65536;  // the most SMB servers take

  std::shared_ptr<FolderHandle> Folder_;
  std::u16string Mask_;
  bool All_ = false;
  HANDLE Handle_ = nullptr;  // null once the listing is over
  bool Owner_ = false;       // Handle_ is the folder's own handle
  UniqueHandle Own_;         // else the folder opened anew
  bool First_ = true;
  bool Ids_ = true;  // the listing gives the files' numbers
  bool Failed_ = false;
  std::unique_ptr<uint64_t[]> Buffer_{new uint64_t[kBufferBytes / 8]};
  const unsigned char* Current_ = nullptr;  // next record in Buffer_
};

class Win32ExclusiveFile : public ExclusiveFile {
 public:
  explicit Win32ExclusiveFile(UniqueHandle File) : File_(std::move(File)) {}

  // One query gives the times and what the file takes on disk; where the
  // file system does not answer it, the times alone.
  bool Times(FileTimes* Out) override {
    if (!File_.Valid()) return false;
    FileBasicInfo Basic;
    FileStandardInfo Standard;
    if (QueryBasicAndStandardInfo(File_.Get(), &Basic, &Standard) !=
        kStatusSuccess) {
      return TimesOf(File_.Get(), Out);
    }
    *Out = TimesFrom(Basic.CreationTime, Basic.LastWriteTime,
                     Basic.LastAccessTime);
    Out->Allocated = Standard.AllocationSize.QuadPart;
    Out->Links = Standard.NumberOfLinks;
    Out->Kind = KindOf(Basic.FileAttributes);
    // The names of one file are told apart by its identity.
    if (Out->Links > 1) IdentityOfHandle(File_.Get(), &Out->Id);
    return true;
  }
  // No other handle can read, write or delete the file while this one with
  // no sharing is open.
  bool IsStillFree() override { return File_.Valid(); }
  bool Remove() override {
    return File_.Valid() && MarkForDeletion(File_.Get());
  }
  // The handle has delete access: the read-only attribute and a mapped
  // section are what can keep the file, and the deletion asked for and
  // taken back meets both.
  bool Removable() override {
    return !File_.Valid() || DeletionAllowed(File_.Get(), false);
  }
  // The handle with no sharing is the proof that the file is the one
  // tested and that nobody has opened it since, up to the disposal itself.
  // A mapped file, which a rename would move, is held for moves too.
  MoveResult MoveTo(const std::string& Destination, bool Replace) override {
    if (!File_.Valid() || !DeletionAllowed(File_.Get(), true)) {
      return MoveResult::kFailed;
    }
    return MoveOpenFile(File_.Get(), Destination, Replace);
  }
  // Within a volume a rename moves anything but a mapped file; onto another
  // one a read-only file or a link is not copied.
  bool CanMoveTo(const std::string& Destination) override {
    // Another entry the name reaches by its short name takes the place: the
    // rename does not replace it. An entry of that very name is the
    // caller's to replace.
    const std::u16string Long = LongForm(Destination);
    DWORD Attributes = 0;
    FileBasicInfo Info;
    if (!File_.Valid() || Long.empty() || !DeletionAllowed(File_.Get(), true) ||
        (GetFileAttributesW(W(Long)) != INVALID_FILE_ATTRIBUTES &&
         ExactLongForm(Destination, &Attributes).empty()) ||
        QueryBasicInfo(File_.Get(), &Info) != kStatusSuccess) {
      return false;
    }
    if (!(Info.FileAttributes &
          (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_REPARSE_POINT))) {
      return true;
    }
    const size_t Cut = Destination.find_last_of("\\/");
    const std::u16string Folder =
        LongForm(Destination.substr(0, Cut == std::string::npos ? 0 : Cut + 1));
    UniqueHandle Into = FromCreateFile(
        CreateFileW(W(Folder), FILE_READ_ATTRIBUTES, kShareAll, nullptr,
                    OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    FILE_ID_INFO Mine, Theirs;
    return Into.Valid() &&
           GetFileInformationByHandleEx(File_.Get(), FileIdInfo, &Mine,
                                        sizeof(Mine)) &&
           GetFileInformationByHandleEx(Into.Get(), FileIdInfo, &Theirs,
                                        sizeof(Theirs)) &&
           Mine.VolumeSerialNumber == Theirs.VolumeSerialNumber;
  }
  bool CopyTo(Folder& Into, const std::string& Name) override;
  bool Close() override { return File_.Valid() && File_.Close(); }

 private:
  UniqueHandle File_;
};

}  // namespace

bool IdentityOfHandle(HANDLE Handle, FileIdentity* Id) {
  BY_HANDLE_FILE_INFORMATION Info;
  if (!GetFileInformationByHandle(Handle, &Info)) return false;
  *Id = {Info.dwVolumeSerialNumber,
         (uint64_t{Info.nFileIndexHigh} << 32) | Info.nFileIndexLow};
  return true;
}

namespace {

class Win32Folder : public Folder {
 public:
  explicit Win32Folder(UniqueHandle Handle)
      : Handle_(std::make_shared<FolderHandle>(std::move(Handle))) {
    Named_ = NameOnVolume(Dir(), &Name_);
    while (!Name_.empty() && Name_.back() == u'\\') Name_.pop_back();
  }

  std::unique_ptr<Listing> List(const std::string& Mask) override {
    return std::make_unique<Win32Listing>(Handle_, WideFromUtf8(Mask));
  }

  std::unique_ptr<Folder> OpenSubFolder(const std::string& Name) override {
    const std::u16string Wide = WideFromUtf8(Name);
    UniqueHandle Sub;
    FileBasicInfo Info;
    if (!IsPlainName(Wide) ||
        OpenRelative(Dir(), Wide, kFolderAccess, kShareAll, kFileOpen,
                     kFileDirectoryFile | kFileOpenReparsePoint, &Sub) < 0 ||
        QueryBasicInfo(Sub.Get(), &Info) != kStatusSuccess ||
        (Info.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
      // A folder swapped for a junction or a link is never entered.
      return nullptr;
    }
    return MakeFolder(std::move(Sub));
  }

  // Volume mount points are reparse points, which the walk never enters.
  bool IsOtherMount(const std::string&) override { return false; }

  std::unique_ptr<ExclusiveFile> OpenExclusive(const Entry& Item) override {
    const std::u16string Wide = WideFromUtf8(Item.Name);
    UniqueHandle File;
    if (!IsPlainName(Wide) ||
        OpenRelative(Dir(), Wide, kExclusiveAccess, 0, kFileOpen,
                     kFileNonDirectoryFile | kFileOpenReparsePoint,
                     &File) < 0 ||
        !IsEntryItself(File.Get(), Wide)) {
      return nullptr;
    }
    return std::make_unique<Win32ExclusiveFile>(std::move(File));
  }

  // Whether the file open as File is the entry Name of this folder itself.
  // Wine opens the file a Unix link leads to, lists the link as that file,
  // and deletes or renames that file through the handle: the name it gives
  // the handle is the file's own. A link of Windows is opened as itself.
  // Where no names can be had, or the system names the file relative to
  // the folder, nothing tells otherwise. Wine names a handle (a folder's
  // too) without the dots and spaces that end its last component, which
  // belong to the name: the names are compared without them.
  bool IsEntryItself(HANDLE File, const std::u16string& Name) {
    std::u16string Opened;
    return !Named_ || !NameOnVolume(File, &Opened) || Opened == Name ||
           TrimmedPath(Opened) == TrimmedPath(Name_ + u'\\' + Name);
  }

  // The walk's own handles share deletion; one that another process holds
  // without sharing it makes the removal fail, and so does the read-only
  // attribute.
  bool CanRemoveSubFolder(const std::string& Name) override {
    UniqueHandle Sub;
    DWORD Attributes = 0;
    return OpenForRemoval(Name, &Sub, &Attributes) &&
           !(Attributes &
             (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_READONLY));
  }

  // Opens the subfolder Name itself (never through a reparse point) for its
  // removal, with its attributes.
  bool OpenForRemoval(const std::string& Name, UniqueHandle* Sub,
                      DWORD* Attributes) {
    const std::u16string Wide = WideFromUtf8(Name);
    FileBasicInfo Info;
    if (!IsPlainName(Wide) ||
        OpenRelative(Dir(), Wide, DELETE | FILE_READ_ATTRIBUTES | SYNCHRONIZE,
                     kShareAll, kFileOpen,
                     kFileDirectoryFile | kFileOpenReparsePoint, Sub) < 0 ||
        QueryBasicInfo(Sub->Get(), &Info) != kStatusSuccess) {
      return false;
    }
    *Attributes = Info.FileAttributes;
    return true;
  }

  bool EntryTimes(const Entry& Item, FileTimes* Out) override {
    if (Item.Timed) {
      *Out = Item.Times;
      return true;
    }
    UniqueHandle File;
    return OpenForAttributes(Item.Name, &File) && TimesOf(File.Get(), Out);
  }

  bool EntryNames(const Entry& Item, FileTimes* Out) override {
    UniqueHandle File;
    FileBasicInfo Basic;
    FileStandardInfo Standard;
    if (!OpenForAttributes(Item.Name, &File) ||
        QueryBasicAndStandardInfo(File.Get(), &Basic, &Standard) !=
            kStatusSuccess) {
      return false;
    }
    Out->Links = Standard.NumberOfLinks;
    // The identity the proof of the file reports, so both meet.
    if (Out->Links > 1) IdentityOfHandle(File.Get(), &Out->Id);
    return true;
  }

  bool Times(FileTimes* Out) override { return TimesOf(Dir(), Out); }

  bool RemoveSubFolder(const std::string& Name) override {
    UniqueHandle Sub;
    DWORD Attributes = 0;
    // The disposition fails on a folder that is not empty.
    return OpenForRemoval(Name, &Sub, &Attributes) &&
           !(Attributes & FILE_ATTRIBUTE_REPARSE_POINT) &&
           MarkForDeletion(Sub.Get()) && Sub.Close();
  }

  // Opened for filling and for its metadata.
  std::unique_ptr<Folder> CreateSubFolder(const std::string& Name) override {
    const std::u16string Wide = WideFromUtf8(Name);
    UniqueHandle Sub;
    if (!IsPlainName(Wide) ||
        OpenRelative(Dir(), Wide,
                     kFolderAccess | FILE_ADD_FILE | FILE_ADD_SUBDIRECTORY |
                         FILE_WRITE_ATTRIBUTES,
                     kShareAll, kFileCreate, kFileDirectoryFile, &Sub) < 0) {
      return nullptr;
    }
    return MakeFolder(std::move(Sub));
  }

  // Streams and security, then the times; the attributes stay the new
  // folder's own.
  bool CopyMetadataFrom(Folder& Source) override {
    const HANDLE From = static_cast<Win32Folder&>(Source).Dir();
    FileBasicInfo Info;
    if (QueryBasicInfo(From, &Info) != kStatusSuccess ||
        !CopyStreamsAndSecurity(From, Dir())) {
      return false;
    }
    Info.ChangeTime.QuadPart = 0;
    Info.FileAttributes = 0;  // unchanged
    return SetBasicInfo(Dir(), Info) == kStatusSuccess;
  }

  // A rename of the folder's own handle into To, opened anew for adding a
  // folder: never through a reparse point, never over an entry there.
  FolderMove MoveSubFolder(const std::string& Name, Folder& To,
                           const std::string& ToName) override {
    UniqueHandle Sub, Into;
    DWORD Attributes = 0;
    const std::u16string Wide = WideFromUtf8(ToName);
    if (!IsPlainName(Wide) || !OpenForRemoval(Name, &Sub, &Attributes) ||
        (Attributes & FILE_ATTRIBUTE_REPARSE_POINT) ||
        OpenRelative(static_cast<Win32Folder&>(To).Dir(), u"",
                     FILE_TRAVERSE | FILE_ADD_SUBDIRECTORY | SYNCHRONIZE,
                     kShareAll, kFileOpen, kFileDirectoryFile, &Into) < 0) {
      return FolderMove::kFailed;
    }
    const NtStatus Status = RenameInto(Sub.Get(), Into.Get(), Wide);
    if (Status == kStatusSuccess) return FolderMove::kMoved;
    return Status == kStatusNotSameDevice ? FolderMove::kAcross
                                          : FolderMove::kFailed;
  }

  bool IsSameFile(const Entry& Item, const std::string& Path) override {
    const std::u16string Wide = WideFromUtf8(Item.Name);
    const std::u16string Long = LongForm(Path);
    // Attribute access only: such an open is never refused for sharing.
    UniqueHandle Mine, Other;
    FileIdentity A, B;
    if (!IsPlainName(Wide) || Long.empty() ||
        OpenRelative(Dir(), Wide, FILE_READ_ATTRIBUTES | SYNCHRONIZE, kShareAll,
                     kFileOpen, kFileOpenReparsePoint, &Mine) < 0) {
      return false;
    }
    Other = FromCreateFile(CreateFileW(
        W(Long), FILE_READ_ATTRIBUTES, kShareAll, nullptr, OPEN_EXISTING,
        FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    return Other.Valid() && IdentityOfHandle(Mine.Get(), &A) &&
           IdentityOfHandle(Other.Get(), &B) && A == B;
  }

  bool Identity(FileIdentity* Id) override {
    return IdentityOfHandle(Dir(), Id);
  }

  // Handles are no scarce resource: a folder keeps its own.
  void Suspend() override {}
  bool Resume(Folder& /*Child*/) override { return true; }

  HANDLE Dir() const { return Handle_->Handle.Get(); }

 private:
  // The entry Name opened for its attributes only: such an open is never
  // refused for sharing.
  bool OpenForAttributes(const std::string& Name, UniqueHandle* File) {
    const std::u16string Wide = WideFromUtf8(Name);
    return IsPlainName(Wide) &&
           OpenRelative(Dir(), Wide, FILE_READ_ATTRIBUTES | SYNCHRONIZE,
                        kShareAll, kFileOpen, kFileOpenReparsePoint,
                        File) >= 0;
  }

  std::shared_ptr<FolderHandle> Handle_;
  bool Named_ = false;   // Name_ is the folder's path on its volume,
  std::u16string Name_;  // without a trailing separator
};

bool Win32ExclusiveFile::CopyTo(Folder& Into, const std::string& Name) {
  return File_.Valid() &&
         CopyOpenFile(File_.Get(), static_cast<Win32Folder&>(Into).Dir(),
                      WideFromUtf8(Name));
}

}  // namespace

std::unique_ptr<Folder> MakeFolder(UniqueHandle Handle) {
  return std::make_unique<Win32Folder>(std::move(Handle));
}

}  // namespace win32
}  // namespace olvane
