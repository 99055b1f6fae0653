// What the walk does with a due file is handed to it by the front end: the
// walk decides which files are due and free, a disposal acts on each one.
#ifndef OLVANE_PURGE_DISPOSAL_H_
#define OLVANE_PURGE_DISPOSAL_H_

#include <string>
#include <vector>

#include "platform/platform.h"
#include "report/event.h"

namespace olvane {

struct WalkContext;

// The events one file gives rise to, kept until everything before them in
// the walk's order has been written.
struct FileReport {
  std::vector<Event> Events;
  bool Counted = false;  // deleted or moved (or would be): one for FileCount
  int64_t Freed = 0;     // bytes that freed (or would free): for BytesFreed

  // The status read on the open file or folder Path, whose age counts from
  // Time: the events about Path added from now on carry it.
  void Know(const std::string& Path, const FileTimes& Status, int64_t Time) {
    Subject_ = Path;
    Known_ = true;
    Status_ = Status;
    Time_ = Time;
    Size_ = Status.Allocated;
    // Another name keeps the data of a file with hard links.
    Freeable_ = Status.Links == 1 && Status.Allocated > 0 ? Status.Allocated
                                                          : 0;
  }
  // What removing the file Know was told of from its file system frees,
  // and what it takes on disk.
  int64_t Freeable() const { return Freeable_; }
  int64_t Size() const { return Size_ < 0 ? 0 : Size_; }
  // The status Know was told of: its names and its identity.
  const FileTimes& Status() const { return Status_; }

  void Add(EventKind Kind, const std::string& Path,
           const std::string& To = std::string()) {
    Event E{Kind, Path, To};
    if (Known_ && Path == Subject_) {
      E.Timed = true;
      E.Time = Time_;
      E.Size = Size_;
    }
    Events.push_back(std::move(E));
  }

 private:
  std::string Subject_;
  bool Known_ = false;
  int64_t Time_ = 0;
  int64_t Size_ = -1;
  int64_t Freeable_ = 0;
  FileTimes Status_;
};

class Disposal {
 public:
  virtual ~Disposal() = default;

  // What a due file that another process opened after the expiry test is
  // reported as.
  virtual EventKind RefusalKind() const = 0;

  // Acts on the due and free File, Item of its folder, full path FileName,
  // and reports the outcome in Report.
  virtual void Dispose(Folder& Dir, const Entry& Item, ExclusiveFile& File,
                       const std::string& FileName, FileReport& Report) = 0;

  // --folders: acts on the item Name of Parent (full path Path), a folder
  // whose every file was proven free for it, and reports the outcome in
  // Report (Counted: it went whole, or would).
  virtual void DisposeSet(WalkContext& Run, Folder& Parent,
                          const std::string& Name, const std::string& Path,
                          FileReport& Report) = 0;

  // Whether disposing of a file of Dir frees what it takes on its file
  // system (a move within it frees nothing).
  virtual bool FreesSpace(Folder& /*Dir*/) { return true; }

  // Whether several files may be disposed of at once. An outcome that
  // depends on the files disposed of before (two files bound for one name)
  // needs the walk's order and so one file at a time.
  virtual bool InAnyOrder() const = 0;
};

// Deletes each due file, or with DryRun only says it would.
class DeleteDisposal : public Disposal {
 public:
  explicit DeleteDisposal(bool DryRun) : DryRun_(DryRun) {}
  EventKind RefusalKind() const override { return EventKind::kCannotDelete; }
  void Dispose(Folder& Dir, const Entry& Item, ExclusiveFile& File,
               const std::string& FileName, FileReport& Report) override;
  void DisposeSet(WalkContext& Run, Folder& Parent, const std::string& Name,
                  const std::string& Path, FileReport& Report) override;
  bool InAnyOrder() const override { return true; }

 private:
  bool DryRun_;
};

}  // namespace olvane

#endif  // OLVANE_PURGE_DISPOSAL_H_
