#include "platform/civil_time.h"

namespace olvane {

int64_t FloorDiv(int64_t A, int64_t B) { return A / B - (A % B < 0 ? 1 : 0); }

int64_t DaysFromCivil(int Year, int Month, int Day) {
  const int64_t Y = Year - (Month <= 2 ? 1 : 0);
  const int64_t Era = FloorDiv(Y, 400);
  const int64_t YearOfEra = Y - Era * 400;
  const int64_t OfYear =
      (153 * (Month + (Month > 2 ? -3 : 9)) + 2) / 5 + Day - 1;
  const int64_t OfEra =
      YearOfEra * 365 + YearOfEra / 4 - YearOfEra / 100 + OfYear;
  return Era * 146097 + OfEra - 719468;
}

CivilTime CivilFromDays(int64_t Days) {
  // Eras of 400 years from 0000-03-01, whose days repeat.
  const int64_t Shifted = Days + 719468;
  const int64_t Era = FloorDiv(Shifted, 146097);
  const int64_t OfEra = Shifted - Era * 146097;
  const int64_t YearOfEra =
      (OfEra - OfEra / 1460 + OfEra / 36524 - OfEra / 146096) / 365;
  const int64_t OfYear =
      OfEra - (365 * YearOfEra + YearOfEra / 4 - YearOfEra / 100);
  const int64_t MonthIndex = (5 * OfYear + 2) / 153;  // 0: March
  CivilTime Date;
  Date.Day = static_cast<int>(OfYear - (153 * MonthIndex + 2) / 5 + 1);
  Date.Month =
      static_cast<int>(MonthIndex < 10 ? MonthIndex + 3 : MonthIndex - 9);
  Date.Year =
      static_cast<int>(YearOfEra + Era * 400 + (Date.Month <= 2 ? 1 : 0));
  return Date;
}

}  // namespace olvane
