// Dates read from names, and what the keep rules keep of a folder: each
// against dates worked out by hand. The formats refused are in the command
// line's table.
#include "purge/name_dates.h"

#include "fixture.h"
#include "purge/keep_periods.h"

namespace olvane {
namespace {

std::string Shown(const std::optional<CivilTime>& Date) {
  if (!Date) return "none";
  char Text[32];
  std::snprintf(Text, sizeof Text, "%04d-%02d-%02d %02d:%02d:%02d", Date->Year,
                Date->Month, Date->Day, Date->Hour, Date->Minute, Date->Second);
  return Text;
}

TEST(NameDatesTest, TheRightmostRealDateDecides) {
  const struct {
    const char* Format;
    const char* Name;
    const char* Date;
  } Rows[] = {
      {"%Y-%m-%d", "db-2026-12-08.sql", "2026-12-08 00:00:00"},
      {"%Y-%m-%d", "copy-2019-01-01-of-2026-12-08", "2026-12-08 00:00:00"},
      // No 30 February, no month 13, no year 0: the next place leftwards.
      {"%Y-%m-%d", "2026-12-08-2026-02-30", "2026-12-08 00:00:00"},
      {"%Y-%m-%d", "2026-13-01 0000-01-01 2026-12-0", "none"},
      // Leap days: every fourth year, but not 1900, yet 2000.
      {"%Y-%m-%d", "2024-02-29", "2024-02-29 00:00:00"},
      {"%Y-%m-%d", "2023-02-29 1900-02-29", "none"},
      {"%Y-%m-%d", "2000-02-29", "2000-02-29 00:00:00"},
      {"%d.%m.%Y", "31.12.2026.bak", "2026-12-31 00:00:00"},
      {"%Y%m%d_%H%M%S", "x_120261208_235959", "2026-12-08 23:59:59"},
      {"%Y%m%d_%H%M%S", "20261208_240000 20261208_236000", "none"},
      {"%Y%m%d_%H%M%S", "20261208_235960", "none"},
      {"100%%-%Y%m%d", "100%-20261208", "2026-12-08 00:00:00"},
      {"100%%-%Y%m%d", "100x-20261208", "none"},
      {"%Y-%m-%d", "", "none"},
  };
  for (const auto& R : Rows) {
    const std::optional<NameDateFormat> Format = NameDateFormat::Read(R.Format);
    ASSERT_TRUE(Format) << R.Format;
    EXPECT_EQ(Shown(Format->DateIn(R.Name)), R.Date)
        << R.Format << " " << R.Name;
  }
}

// Year ends, ISO week 53 and the week of a year's first Thursday, leap
// days, and days before 1970.
TEST(NameDatesTest, PeriodsHaveTheirCalendarNames) {
  const struct {
    int Year, Month, Day;
    const char* Names;  // day, week, month, year
  } Rows[] = {
      {2026, 12, 8, "2026-12-08 2026-W50 2026-12 2026"},
      {2020, 12, 31, "2020-12-31 2020-W53 2020-12 2020"},
      {2021, 1, 3, "2021-01-03 2020-W53 2021-01 2021"},
      {2021, 1, 4, "2021-01-04 2021-W01 2021-01 2021"},
      {2024, 12, 30, "2024-12-30 2025-W01 2024-12 2024"},
      {2027, 1, 1, "2027-01-01 2026-W53 2027-01 2027"},
      {2024, 2, 29, "2024-02-29 2024-W09 2024-02 2024"},
      {1969, 12, 31, "1969-12-31 1970-W01 1969-12 1969"},
  };
  const Period Kinds[] = {Period::kDay, Period::kWeek, Period::kMonth,
                          Period::kYear};
  for (const auto& R : Rows) {
    const CivilTime Date{R.Year, R.Month, R.Day};
    std::string Names;
    for (Period Kind : Kinds)
      Names += (Names.empty() ? "" : " ") + PeriodName(Kind, Date);
    EXPECT_EQ(Names, R.Names);
  }
  // Each day follows the one before: the next number, a new week on
  // Mondays, a new month on the first.
  int64_t Before = DaysFromCivil(1899, 12, 31);
  for (int64_t Day = Before + 1; Day < DaysFromCivil(2101, 1, 1);
       Before = Day++) {
    const CivilTime Date = CivilFromDays(Day), Last = CivilFromDays(Before);
    ASSERT_EQ(DaysFromCivil(Date.Year, Date.Month, Date.Day), Day);
    ASSERT_EQ(PeriodNumber(Period::kDay, Date), Day);
    ASSERT_EQ(
        PeriodNumber(Period::kWeek, Date) - PeriodNumber(Period::kWeek, Last),
        (Day + 3) % 7 == 0 ? 1 : 0)
        << Shown(Date);
    ASSERT_EQ(
        PeriodNumber(Period::kMonth, Date) - PeriodNumber(Period::kMonth, Last),
        Date.Day == 1 ? 1 : 0)
        << Shown(Date);
  }
}

// Each rule keeps the newest of its last periods that hold an item; the
// first rule that keeps an item names why; names of one file go together.
TEST(NameDatesTest, EachRuleKeepsTheNewestOfItsPeriods) {
  const auto At = [](const char* Name, int Year, int Month, int Day, int Hour,
                     uint64_t Id = 0) {
    const CivilTime Local{Year, Month, Day, Hour};
    return KeepCandidate{Name,
                         {DaysFromCivil(Year, Month, Day) * kDay + Hour * 3600},
                         Local,
                         {1, Id}};
  };
  const std::vector<KeepCandidate> Items = {
      At("a", 2026, 12, 8, 10),   At("b", 2026, 12, 8, 11, 7),
      At("c", 2026, 12, 7, 9),    At("d", 2026, 11, 30, 9),
      At("e", 2026, 11, 29, 9),   At("f", 2025, 6, 1, 9),
      At("g", 2026, 12, 8, 11, 7)};
  const struct {
    Goals Goal;
    const char* Kept;
  } Rows[] = {
      {Goals{.KeepDaily = 2},
       "b:daily 2026-12-08 c:daily 2026-12-07 g:daily 2026-12-08"},
      {Goals{.Keep = 3, .KeepWeekly = 2},
       "a:keep b:weekly 2026-W50 c:keep d:weekly 2026-W49 g:weekly 2026-W50"},
      {Goals{.KeepMonthly = 9, .KeepYearly = 1},
       "b:monthly 2026-12 d:monthly 2026-11 f:monthly 2025-06 "
       "g:monthly 2026-12"},
      {Goals{.KeepYearly = 3}, "b:yearly 2026 f:yearly 2025 g:yearly 2026"},
  };
  for (const auto& R : Rows) {
    std::string Kept;
    for (const KeptItem& Each : ChooseKept(Items, R.Goal))
      Kept += (Kept.empty() ? "" : " ") + Items[Each.Index].Name + ":" +
              Each.Reason;
    EXPECT_EQ(Kept, R.Kept);
  }
}

}  // namespace
}  // namespace olvane
