// What the keep rules keep of each folder the walk lists: the files a
// folder's listing offers, weighed before any of them is acted on.
#ifndef OLVANE_PURGE_FOLDER_KEEP_H_
#define OLVANE_PURGE_FOLDER_KEEP_H_

#include <string>
#include <utility>
#include <vector>

#include "platform/platform.h"
#include "purge/goals.h"
#include "purge/run_settings.h"

namespace olvane {

class FolderKeep {
 public:
  FolderKeep(Platform& Sys, const RunSettings& Settings);

  // Whether the run keeps anything: a file must then be offered here, its
  // times read, before it is acted on.
  bool Weighs() const { return Gathers_ || Settings_.Goal.Keep > 0; }

  // Offers a file of the folder listed. Adds to *Out the entries now sure
  // not to be kept.
  void Offer(const Entry& Item, std::vector<Entry>* Out);

  // Once the folder's listing is done: adds to *Out the rest of the entries
  // not kept, in the order offered, and to *Kept the kept ones with why
  // (see KeptItem); then weighs the next folder.
  void End(std::vector<Entry>* Out,
           std::vector<std::pair<Entry, std::string>>* Kept);

 private:
  Platform& Sys_;
  const RunSettings& Settings_;
  // --keep alone streams, holding its N at most; the periods, and newest
  // by the dates of names, weigh the whole folder at its end.
  const bool Gathers_;
  KeepNewest Newest_;
  std::vector<Entry> Gathered_;
};

}  // namespace olvane

#endif  // OLVANE_PURGE_FOLDER_KEEP_H_
