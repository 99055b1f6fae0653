// Dates read from names, the periods' names and what the keep rules keep
// of a folder, against dates worked out by hand. The formats refused are
// in the command line's table; the periods of 400 days, end to end.
#include "purge/name_dates.h"

#include "fixture.h"
#include "purge/keep_periods.h"

namespace olvane {
namespace {

TEST(NameDatesTest, TheRightmostRealDateDecides) {
  const char* Rows[][3] = {
      // Format, name, date (y m d H M S; "" for none).
      {"%Y-%m-%d", "copy-2019-01-01-of-2026-12-08", "2026 12 8 0 0 0"},
      // No 30 February, no month 13, no year 0: the next place leftwards.
      {"%Y-%m-%d", "2026-12-08-2026-02-30", "2026 12 8 0 0 0"},
      {"%Y-%m-%d", "2026-13-01 0000-01-01 2026-12-0", ""},
      // Leap days: every fourth year, but not 1900, yet 2000.
      {"%Y-%m-%d", "2023-02-29 1900-02-29 2024-02-29", "2024 2 29 0 0 0"},
      {"%Y-%m-%d", "2000-02-29", "2000 2 29 0 0 0"},
      {"%d.%m.%Y", "31.12.2026.bak", "2026 12 31 0 0 0"},
      {"%Y%m%d_%H%M%S", "x_120261208_235959", "2026 12 8 23 59 59"},
      {"%Y%m%d_%H%M%S", "20261208_240000 20261208_235960", ""},
      {"100%%-%Y%m%d", "100x-20261208 100%-20261209", "2026 12 9 0 0 0"},
      {"%Y-%m-%d", "", ""},
  };
  for (const auto& R : Rows) {
    const std::optional<NameDateFormat> Format = NameDateFormat::Read(R[0]);
    ASSERT_TRUE(Format) << R[0];
    std::string Shown;
    if (const std::optional<CivilTime> D = Format->DateIn(R[1])) {
      for (int Field :
           {D->Year, D->Month, D->Day, D->Hour, D->Minute, D->Second})
        Shown += (Shown.empty() ? "" : " ") + std::to_string(Field);
    }
    EXPECT_EQ(Shown, R[2]) << R[0] << " " << R[1];
  }
}

// Year ends, ISO week 53 and the week of a year's first Thursday, leap
// days, a day before 1970; the numbers of consecutive periods.
TEST(NameDatesTest, PeriodsHaveTheirCalendarNames) {
  const std::pair<CivilTime, const char*> Rows[] = {
      {{2026, 12, 8}, "2026-12-08 2026-W50 2026-12 2026"},
      {{2020, 12, 31}, "2020-12-31 2020-W53 2020-12 2020"},
      {{2021, 1, 3}, "2021-01-03 2020-W53 2021-01 2021"},
      {{2021, 1, 4}, "2021-01-04 2021-W01 2021-01 2021"},
      {{2024, 12, 30}, "2024-12-30 2025-W01 2024-12 2024"},
      {{2027, 1, 1}, "2027-01-01 2026-W53 2027-01 2027"},
      {{2024, 2, 29}, "2024-02-29 2024-W09 2024-02 2024"},
      {{1969, 12, 31}, "1969-12-31 1970-W01 1969-12 1969"},
  };
  for (const auto& [Date, Names] : Rows) {
    std::string Shown;
    for (Period Kind :
         {Period::kDay, Period::kWeek, Period::kMonth, Period::kYear})
      Shown += (Shown.empty() ? "" : " ") + PeriodName(Kind, Date);
    EXPECT_EQ(Shown, Names);
  }
  const CivilTime Sunday{2021, 1, 3}, Monday{2021, 1, 4}, Leap{2024, 2, 29};
  EXPECT_EQ(PeriodNumber(Period::kWeek, Monday),
            PeriodNumber(Period::kWeek, Sunday) + 1);
  EXPECT_EQ(PeriodNumber(Period::kDay, Leap) + 1,
            PeriodNumber(Period::kDay, CivilTime{2024, 3, 1}));
}

// The first rule that keeps an item names why; "b" and "g" are names of
// one file, which go together.
TEST(NameDatesTest, EachRuleKeepsTheNewestOfItsPeriods) {
  std::vector<KeepCandidate> Items;
  for (const char* Item :
       {"a 2026 12 8 10", "b 2026 12 8 11 7", "c 2026 12 7 9", "d 2026 11 30 9",
        "e 2026 11 29 9", "f 2025 6 1 9", "g 2026 12 8 11 7"}) {
    const Lines W = Words(Item);
    const CivilTime Local{std::stoi(W[1]), std::stoi(W[2]), std::stoi(W[3]),
                          std::stoi(W[4])};
    Items.push_back({W[0],
                     {DaysFromCivil(Local.Year, Local.Month, Local.Day) * kDay +
                      Local.Hour * 3600},
                     Local,
                     {1, W.size() > 5 ? 7u : 0u}});
  }
  const std::pair<Goals, const char*> Rows[] = {
      {{.Keep = 3, .KeepWeekly = 2},
       "a:keep b:weekly 2026-W50 c:keep d:weekly 2026-W49 g:weekly 2026-W50"},
      {{.KeepDaily = 1, .KeepMonthly = 9, .KeepYearly = 1},
       "b:daily 2026-12-08 d:monthly 2026-11 f:monthly 2025-06 "
       "g:daily 2026-12-08"},
  };
  for (const auto& [Goal, Expected] : Rows) {
    std::string Kept;
    for (const KeptItem& Each : ChooseKept(Items, Goal))
      Kept += (Kept.empty() ? "" : " ") + Items[Each.Index].Name + ":" +
              Each.Reason;
    EXPECT_EQ(Kept, Expected);
  }
}

}  // namespace
}  // namespace olvane
