// A date and time of day as a calendar and a clock on the wall show it,
// with no zone: what a name holds, and what a time is in local time.
#ifndef OLVANE_PLATFORM_CIVIL_TIME_H_
#define OLVANE_PLATFORM_CIVIL_TIME_H_

#include <cstdint>

namespace olvane {

struct CivilTime {
  int Year = 1970;
  int Month = 1;  // 1 to 12
  int Day = 1;    // 1 to 31
  int Hour = 0;
  int Minute = 0;
  int Second = 0;
};

// A / B rounded down, for negative A too (B > 0).
int64_t FloorDiv(int64_t A, int64_t B);

// Days from 1970-01-01 to the date of the proleptic Gregorian calendar,
// negative before it; and back (the time of day 00:00:00).
int64_t DaysFromCivil(int Year, int Month, int Day);
CivilTime CivilFromDays(int64_t Days);

}  // namespace olvane

#endif  // OLVANE_PLATFORM_CIVIL_TIME_H_
