// What the keep rules keep of a folder's items: --keep=N's newest, and the
// newest of each of the last days, weeks, months and years that hold one
// (--keep-daily, --keep-weekly, --keep-monthly, --keep-yearly), as backups
// are kept: the last week, a week's for a month, a month's for a year.
#ifndef OLVANE_PURGE_KEEP_PERIODS_H_
#define OLVANE_PURGE_KEEP_PERIODS_H_

#include <cstdint>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "purge/file_tests.h"
#include "purge/run_settings.h"

namespace olvane {

enum class Period { kDay, kWeek, kMonth, kYear };

// The period of Kind that the local date Local lies in: a number that
// grows by one from each period to the next, and its name: "2026-12-08",
// "2026-W49" (ISO 8601 weeks, Monday first, of the year that holds their
// Thursday), "2026-12", "2026".
int64_t PeriodNumber(Period Kind, const CivilTime& Local);
std::string PeriodName(Period Kind, const CivilTime& Local);

// An item of a folder, as the rules weigh it.
struct KeepCandidate {
  std::string Name;
  TimeKey Time;     // the time its age counts from
  CivilTime Local;  // that time in local time
  FileIdentity Id;  // names of one file share it; Index 0: not known
};

// An item kept, by its place in the list offered, and why: the first rule
// that keeps it of "daily 2026-12-08", "weekly 2026-W49", "monthly
// 2026-12", "yearly 2026" and "keep".
struct KeptItem {
  size_t Index;
  std::string Reason;
};

// The items of one folder that Goal's keep rules keep, in the order
// offered. Newer goes by Time; of two equal times the name later in byte
// order is the newer. Names of one file are one item, kept together. Each
// rule keeps on its own; what is kept is what any rule keeps.
std::vector<KeptItem> ChooseKept(const std::vector<KeepCandidate>& Items,
                                 const Goals& Goal);

}  // namespace olvane

#endif  // OLVANE_PURGE_KEEP_PERIODS_H_
