// A date and time of day as a calendar and a clock on the wall show it,
// with no zone: what a name holds, and what a time is in local time.
#ifndef OLVANE_PLATFORM_CIVIL_TIME_H_
#define OLVANE_PLATFORM_CIVIL_TIME_H_

namespace olvane {

struct CivilTime {
  int Year = 1970;
  int Month = 1;  // 1 to 12
  int Day = 1;    // 1 to 31
  int Hour = 0;
  int Minute = 0;
  int Second = 0;
};

}  // namespace olvane

#endif  // OLVANE_PLATFORM_CIVIL_TIME_H_
