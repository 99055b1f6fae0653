#include "purge/keep_periods.h"

#include <algorithm>
#include <map>

namespace olvane {
namespace {

// The ISO weeks from the one of 1970-01-01 (a Thursday) to Local's.
int64_t WeekOf(const CivilTime& Local) {
  return FloorDiv(DaysFromCivil(Local.Year, Local.Month, Local.Day) + 3, 7);
}

std::string TwoDigits(int Value) {
  return std::string(1, static_cast<char>('0' + Value / 10)) +
         static_cast<char>('0' + Value % 10);
}

// The period rules, in the order their reasons win.
struct Rule {
  Period Kind;
  int64_t Goals::*Count;
  const char* Word;
};
constexpr Rule kRules[] = {
    {Period::kDay, &Goals::KeepDaily, "daily"},
    {Period::kWeek, &Goals::KeepWeekly, "weekly"},
    {Period::kMonth, &Goals::KeepMonthly, "monthly"},
    {Period::kYear, &Goals::KeepYearly, "yearly"},
};

// An item: the places of its names among those offered, the first of
// which stands for it.
using Names = std::vector<size_t>;

// The items of Offered: the names of one file (by a known identity) are one.
std::vector<Names> ItemsOf(const std::vector<KeepCandidate>& Offered) {
  std::vector<Names> Items;
  std::map<FileIdentity, size_t> Known;
  for (size_t I = 0; I < Offered.size(); ++I) {
    if (Offered[I].Id.Index != 0) {
      const auto Found = Known.emplace(Offered[I].Id, Items.size());
      if (!Found.second) {
        Items[Found.first->second].push_back(I);
        continue;
      }
    }
    Items.push_back({I});
  }
  return Items;
}

}  // namespace

int64_t PeriodNumber(Period Kind, const CivilTime& Local) {
  switch (Kind) {
    case Period::kDay:
      return DaysFromCivil(Local.Year, Local.Month, Local.Day);
    case Period::kWeek:
      return WeekOf(Local);
    case Period::kMonth:
      return int64_t{Local.Year} * 12 + Local.Month - 1;
    case Period::kYear:
      break;
  }
  return Local.Year;
}

std::string PeriodName(Period Kind, const CivilTime& Local) {
  const std::string Year = std::to_string(Local.Year);
  switch (Kind) {
    case Period::kDay:
      return Year + "-" + TwoDigits(Local.Month) + "-" + TwoDigits(Local.Day);
    case Period::kWeek: {
      // The week belongs to the year of its Thursday.
      const int64_t Thursday = WeekOf(Local) * 7;
      const int IsoYear = CivilFromDays(Thursday).Year;
      const int64_t Week = (Thursday - DaysFromCivil(IsoYear, 1, 1)) / 7 + 1;
      return std::to_string(IsoYear) + "-W" + TwoDigits(static_cast<int>(Week));
    }
    case Period::kMonth:
      return Year + "-" + TwoDigits(Local.Month);
    case Period::kYear:
      break;
  }
  return Year;
}

std::vector<KeptItem> ChooseKept(const std::vector<KeepCandidate>& Items,
                                 const Goals& Goal) {
  const std::vector<Names> Files = ItemsOf(Items);
  std::vector<size_t> Newest(Files.size());
  for (size_t F = 0; F < Files.size(); ++F) Newest[F] = F;
  std::sort(Newest.begin(), Newest.end(), [&](size_t A, size_t B) {
    const KeepCandidate &ItemA = Items[Files[A][0]],
                        &ItemB = Items[Files[B][0]];
    if (ItemA.Time != ItemB.Time) return ItemB.Time < ItemA.Time;
    return ItemA.Name > ItemB.Name;
  });
  std::vector<std::string> Reasons(Files.size());
  for (const Rule& Each : kRules) {
    const int64_t Count = Goal.*Each.Count;
    if (Count <= 0) continue;
    // The newest item of each period: the first met, newest first.
    std::map<int64_t, size_t> Periods;
    for (size_t F : Newest) {
      Periods.emplace(PeriodNumber(Each.Kind, Items[Files[F][0]].Local), F);
    }
    int64_t Taken = 0;
    for (auto Last = Periods.rbegin(); Last != Periods.rend() && Taken < Count;
         ++Last, ++Taken) {
      std::string& Reason = Reasons[Last->second];
      if (Reason.empty()) {
        Reason = std::string(Each.Word) + " " +
                 PeriodName(Each.Kind, Items[Files[Last->second][0]].Local);
      }
    }
  }
  for (size_t Place = 0; Place < Newest.size() && Place < size_t(Goal.Keep);
       ++Place) {
    if (Reasons[Newest[Place]].empty()) Reasons[Newest[Place]] = "keep";
  }
  std::vector<KeptItem> Kept;
  for (size_t F = 0; F < Files.size(); ++F) {
    if (Reasons[F].empty()) continue;
    for (size_t I : Files[F]) Kept.push_back({I, Reasons[F]});
  }
  std::sort(Kept.begin(), Kept.end(), [](const KeptItem& A, const KeptItem& B) {
    return A.Index < B.Index;
  });
  return Kept;
}

}  // namespace olvane
