#include "purge/name_dates.h"

#include <string_view>

namespace olvane {
namespace {

constexpr std::string_view kFields = "YmdHMS";

size_t WidthOf(char Field) { return Field == 'Y' ? 4 : 2; }

bool IsDigit(char C) { return C >= '0' && C <= '9'; }

// Whether Day is a day of Month of Year, leap years known.
bool IsRealDate(int Year, int Month, int Day) {
  static constexpr int kDays[] = {31, 28, 31, 30, 31, 30,
                                  31, 31, 30, 31, 30, 31};
  if (Year < 1 || Month < 1 || Month > 12 || Day < 1) return false;
  const bool Leap = Year % 4 == 0 && (Year % 100 != 0 || Year % 400 == 0);
  return Day <= kDays[Month - 1] + (Month == 2 && Leap ? 1 : 0);
}

}  // namespace

std::optional<NameDateFormat> NameDateFormat::Read(const std::string& Text) {
  NameDateFormat Format;
  Format.Text_ = Text;
  std::string Seen;
  for (size_t I = 0; I < Text.size(); ++I) {
    Piece Next;
    if (Text[I] != '%') {
      Next.Literal = Text[I];
    } else if (++I < Text.size() && Text[I] == '%') {
      Next.Literal = '%';
    } else if (I < Text.size() && kFields.find(Text[I]) != kFields.npos &&
               Seen.find(Text[I]) == std::string::npos) {
      Next.Field = Text[I];
      Seen += Text[I];
    } else {
      return std::nullopt;  // a lone "%", an unknown letter, a field twice
    }
    Format.Width_ += Next.Field ? WidthOf(Next.Field) : 1;
    Format.Pieces_.push_back(Next);
  }
  for (char Needed : {'Y', 'm', 'd'}) {
    if (Seen.find(Needed) == std::string::npos) return std::nullopt;
  }
  return Format;
}

std::optional<CivilTime> NameDateFormat::DateAt(const std::string& Name,
                                                size_t At) const {
  CivilTime Date{0, 0, 0, 0, 0, 0};
  for (const Piece& Each : Pieces_) {
    if (!Each.Field) {
      if (Name[At++] != Each.Literal) return std::nullopt;
      continue;
    }
    int Value = 0;
    for (size_t End = At + WidthOf(Each.Field); At < End; ++At) {
      if (!IsDigit(Name[At])) return std::nullopt;
      Value = Value * 10 + (Name[At] - '0');
    }
    int* Fields[] = {&Date.Year, &Date.Month,  &Date.Day,
                     &Date.Hour, &Date.Minute, &Date.Second};
    *Fields[kFields.find(Each.Field)] = Value;
  }
  if (!IsRealDate(Date.Year, Date.Month, Date.Day) || Date.Hour > 23 ||
      Date.Minute > 59 || Date.Second > 59) {
    return std::nullopt;
  }
  return Date;
}

std::optional<CivilTime> NameDateFormat::DateIn(const std::string& Name) const {
  if (Name.size() < Width_) return std::nullopt;
  // From the right: the last date in a name is the one that dates it
  // ("copy-of-2019-01-01-made-2026-12-08").
  for (size_t At = Name.size() - Width_ + 1; At-- > 0;) {
    if (std::optional<CivilTime> Date = DateAt(Name, At)) return Date;
  }
  return std::nullopt;
}

}  // namespace olvane
