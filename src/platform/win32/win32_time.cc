// Local time on Windows: the time zone the system is set to, by its rules
// for standard and daylight time (SystemTimeToTzSpecificLocalTime and its
// inverse with no zone given: the current one). The dynamic forms that know
// a zone's past rules are not used, as Wine does not implement them.
#include "platform/win32/win32_internal.h"

namespace olvane {
namespace win32 {
namespace {

// 100-nanosecond ticks from 1601-01-01 to 1970-01-01, and in a second.
constexpr int64_t kEpochTicks = 116444736000000000LL;
constexpr int64_t kTicksPerSecond = 10000000;

}  // namespace

bool FromLocalTime(const CivilTime& Local, int64_t* Utc) {
  // SYSTEMTIME knows the years 1601 to 30827 only.
  if (Local.Year < 1601) return false;
  SYSTEMTIME Wall = {};
  Wall.wYear = static_cast<WORD>(Local.Year);
  Wall.wMonth = static_cast<WORD>(Local.Month);
  Wall.wDay = static_cast<WORD>(Local.Day);
  Wall.wHour = static_cast<WORD>(Local.Hour);
  Wall.wMinute = static_cast<WORD>(Local.Minute);
  Wall.wSecond = static_cast<WORD>(Local.Second);
  SYSTEMTIME Universal;
  FILETIME Ticks;
  if (!TzSpecificLocalTimeToSystemTime(nullptr, &Wall, &Universal) ||
      !SystemTimeToFileTime(&Universal, &Ticks)) {
    return false;
  }
  *Utc = SecondsFromTicks(static_cast<int64_t>(
      (uint64_t{Ticks.dwHighDateTime} << 32) | Ticks.dwLowDateTime));
  return true;
}

bool ToLocalTime(int64_t Utc, CivilTime* Local) {
  if (Utc < -kEpochTicks / kTicksPerSecond) return false;
  const uint64_t All =
      static_cast<uint64_t>(Utc * kTicksPerSecond + kEpochTicks);
  FILETIME Ticks;
  Ticks.dwLowDateTime = static_cast<DWORD>(All);
  Ticks.dwHighDateTime = static_cast<DWORD>(All >> 32);
  SYSTEMTIME Universal, Wall;
  if (!FileTimeToSystemTime(&Ticks, &Universal) ||
      !SystemTimeToTzSpecificLocalTime(nullptr, &Universal, &Wall)) {
    return false;
  }
  *Local = CivilTime{Wall.wYear, Wall.wMonth,  Wall.wDay,
                     Wall.wHour, Wall.wMinute, Wall.wSecond};
  return true;
}

int32_t UtcOffset(int64_t Time) {
  CivilTime Local;
  if (!ToLocalTime(Time, &Local)) return 0;
  const int64_t Wall =
      DaysFromCivil(Local.Year, Local.Month, Local.Day) * 86400 +
      Local.Hour * 3600 + Local.Minute * 60 + Local.Second;
  return static_cast<int32_t>(Wall - Time);
}

}  // namespace win32
}  // namespace olvane
