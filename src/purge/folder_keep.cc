#include "purge/folder_keep.h"

#include "purge/file_tests.h"
#include "purge/keep_periods.h"

namespace olvane {

FolderKeep::FolderKeep(Platform& Sys, const RunSettings& Settings)
    : Sys_(Sys),
      Settings_(Settings),
      Gathers_(Settings.Goal.KeepsPeriods() ||
               (Settings.NameDates && Settings.Goal.Keep > 0)),
      Newest_(Settings.Goal.Keep, Settings.Age) {}

void FolderKeep::Offer(const Entry& Item, std::vector<Entry>* Out) {
  if (Gathers_) {
    Gathered_.push_back(Item);
  } else {
    Newest_.Offer(Item, Out);
  }
}

void FolderKeep::End(std::vector<Entry>* Out,
                     std::vector<std::pair<Entry, std::string>>* Kept) {
  if (!Gathers_) {
    for (Entry& Item : Newest_.Held())
      Kept->emplace_back(std::move(Item), "keep");
    Newest_.Clear();
    return;
  }
  std::vector<KeepCandidate> Items(Gathered_.size());
  for (size_t I = 0; I < Gathered_.size(); ++I) {
    KeepCandidate& Each = Items[I];
    Each.Name = Gathered_[I].Name;
    Each.Id = Gathered_[I].Times.Id;
    // Only dated names are offered.
    AgeOf(Sys_, Settings_, Each.Name, Gathered_[I].Times, &Each.Time);
    // A date read from a name is its own local date; a time the system
    // cannot put in local time weighs as 1970-01-01.
    if (Settings_.NameDates) {
      Each.Local = *Settings_.NameDates->DateIn(Each.Name);
    } else {
      Sys_.ToLocalTime(Each.Time.Seconds, &Each.Local);
    }
  }
  size_t Next = 0;
  for (const KeptItem& Keep : ChooseKept(Items, Settings_.Goal)) {
    for (; Next < Keep.Index; ++Next) Out->push_back(Gathered_[Next]);
    Kept->emplace_back(Gathered_[Next++], Keep.Reason);
  }
  for (; Next < Gathered_.size(); ++Next) Out->push_back(Gathered_[Next]);
  Gathered_.clear();
}

}  // namespace olvane
