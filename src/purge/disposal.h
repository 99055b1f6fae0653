// What the walk does with a due file is handed to it by the front end: the
// walk decides which files are due and free, a disposal acts on each one.
#ifndef OLVANE_PURGE_DISPOSAL_H_
#define OLVANE_PURGE_DISPOSAL_H_

#include <string>

#include "platform/platform.h"

namespace olvane {

// The lines one file gives rise to, kept until every line before them in the
// walk's order has been written.
struct FileReport {
  std::string Lines;     // each line ends in "\n"
  bool Counted = false;  // deleted or moved (or would be): one for FileCount
  void Add(const std::string& Line) {
    Lines += Line;
    Lines += '\n';
  }
};

class Disposal {
 public:
  virtual ~Disposal() = default;

  // The start of the line for a due file that another process opened after
  // the expiry test.
  virtual std::string RefusalText() const = 0;

  // Acts on the due and free File, Item of its folder, full path FileName,
  // and reports the outcome in Report.
  virtual void Dispose(Folder& Dir, const Entry& Item, ExclusiveFile& File,
                       const std::string& FileName, FileReport& Report) = 0;

  // Whether several files may be disposed of at once. An outcome that
  // depends on the files disposed of before (two files bound for one name)
  // needs the walk's order and so one file at a time.
  virtual bool InAnyOrder() const = 0;
};

// Deletes each due file ("Delete file: "), or with DryRun only says so.
class DeleteDisposal : public Disposal {
 public:
  explicit DeleteDisposal(bool DryRun) : DryRun_(DryRun) {}
  std::string RefusalText() const override { return "Cannot delete file: "; }
  void Dispose(Folder& Dir, const Entry& Item, ExclusiveFile& File,
               const std::string& FileName, FileReport& Report) override;
  bool InAnyOrder() const override { return true; }

 private:
  bool DryRun_;
};

}  // namespace olvane

#endif  // OLVANE_PURGE_DISPOSAL_H_
