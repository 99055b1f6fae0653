#include "report/json_text.h"

#include <cstdio>

#include "platform/civil_time.h"

namespace olvane {
namespace {

// The length of the well-formed UTF-8 sequence at Text[At]; else, as a
// negative number, the length of the ill-formed part there.
int SequenceAt(std::string_view Text, size_t At) {
  const auto Byte = [&](size_t I) {
    return I < Text.size() ? static_cast<unsigned char>(Text[I]) : 0u;
  };
  const unsigned Lead = Byte(At);
  if (Lead < 0x80) return 1;
  int Length = 0;
  unsigned Low = 0x80, High = 0xBF;  // the range of the second byte
  if (Lead >= 0xC2 && Lead <= 0xDF) {
    Length = 2;
  } else if (Lead >= 0xE0 && Lead <= 0xEF) {
    Length = 3;
    if (Lead == 0xE0) Low = 0xA0;  // overlong below
    // A surrogate's three-byte form is one unit of a Windows name.
    if (Lead == 0xED && Byte(At + 1) >= 0xA0 && Byte(At + 1) <= 0xBF &&
        (Byte(At + 2) & 0xC0) == 0x80) {
      return -3;
    }
    if (Lead == 0xED) High = 0x9F;
  } else if (Lead >= 0xF0 && Lead <= 0xF4) {
    Length = 4;
    if (Lead == 0xF0) Low = 0x90;
    if (Lead == 0xF4) High = 0x8F;  // beyond U+10FFFF above
  } else {
    return -1;
  }
  const unsigned Second = Byte(At + 1);
  if (Second < Low || Second > High) return -1;
  for (int I = 2; I < Length; ++I) {
    if ((Byte(At + I) & 0xC0) != 0x80) return -I;
  }
  return Length;
}

}  // namespace

void AppendJsonString(std::string_view Text, std::string* Out) {
  static const char kHex[] = "0123456789abcdef";
  *Out += '"';
  for (const char C : Text) {
    const unsigned char Byte = static_cast<unsigned char>(C);
    if (C == '"' || C == '\\') {
      *Out += '\\';
      *Out += C;
    } else if (Byte < 0x20) {
      *Out += "\\u00";
      *Out += kHex[Byte >> 4];
      *Out += kHex[Byte & 15];
    } else {
      *Out += C;
    }
  }
  *Out += '"';
}

std::string ValidUtf8(std::string_view Text, bool* Changed) {
  std::string Out;
  Out.reserve(Text.size());
  *Changed = false;
  for (size_t At = 0; At < Text.size();) {
    const int Length = SequenceAt(Text, At);
    if (Length > 0) {
      Out.append(Text.substr(At, Length));
      At += Length;
    } else {
      Out += "\xEF\xBF\xBD";
      At += -Length;
      *Changed = true;
    }
  }
  return Out;
}

std::string Base64(std::string_view Bytes) {
  static const char kDigits[] =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string Out;
  for (size_t At = 0; At < Bytes.size(); At += 3) {
    const size_t Left = Bytes.size() - At;
    uint32_t Group = static_cast<unsigned char>(Bytes[At]) << 16;
    if (Left > 1) Group |= static_cast<unsigned char>(Bytes[At + 1]) << 8;
    if (Left > 2) Group |= static_cast<unsigned char>(Bytes[At + 2]);
    Out += kDigits[Group >> 18];
    Out += kDigits[(Group >> 12) & 63];
    Out += Left > 1 ? kDigits[(Group >> 6) & 63] : '=';
    Out += Left > 2 ? kDigits[Group & 63] : '=';
  }
  return Out;
}

std::string IsoUtcTime(int64_t Seconds) {
  // 0001-01-01T00:00:00Z and 9999-12-31T23:59:59Z.
  if (Seconds < -62135596800 || Seconds > 253402300799) return std::string();
  int64_t Days = Seconds / 86400, Rest = Seconds % 86400;
  if (Rest < 0) {
    Rest += 86400;
    --Days;
  }
  const CivilTime Date = CivilFromDays(Days);
  char Text[128];
  std::snprintf(
      Text, sizeof(Text), "%04lld-%02lld-%02lldT%02lld:%02lld:%02lldZ",
      static_cast<long long>(Date.Year), static_cast<long long>(Date.Month),
      static_cast<long long>(Date.Day), static_cast<long long>(Rest / 3600),
      static_cast<long long>(Rest / 60 % 60),
      static_cast<long long>(Rest % 60));
  return Text;
}

std::string IsoLocalTime(int64_t Seconds, int32_t Offset) {
  std::string Text = IsoUtcTime(Seconds + Offset);
  if (Text.empty()) return Text;
  const int32_t Minutes = (Offset < 0 ? -Offset : Offset) / 60;
  char Zone[16];
  std::snprintf(Zone, sizeof(Zone), "%c%02d:%02d", Offset < 0 ? '-' : '+',
                static_cast<int>(Minutes / 60), static_cast<int>(Minutes % 60));
  Text.back() = Zone[0];
  return Text + (Zone + 1);
}

std::string SecondsText(int64_t Millis) {
  char Text[32];
  std::snprintf(Text, sizeof(Text), "%lld.%03lld",
                static_cast<long long>(Millis / 1000),
                static_cast<long long>(Millis % 1000));
  return Text;
}

}  // namespace olvane
