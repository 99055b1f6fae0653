#include "report/printable.h"

namespace olvane {
namespace {

// The length of the well-formed sequence at Text[At], or 0 when the byte
// there is not the start of one. Surrogates in their three-byte form
// (ED A0..BF xx) are no UTF-8 and get 0 unless Wtf8, as do control
// characters: they are escaped alike.
size_t PrintableLength(const std::string& Text, size_t At, bool Wtf8) {
  const auto Byte = [&](size_t I) {
    return I < Text.size() ? static_cast<unsigned char>(Text[I]) : 0u;
  };
  const unsigned Lead = Byte(At);
  if (Lead >= 0x20 && Lead < 0x7F) return 1;
  const auto Tail = [&](size_t I) { return (Byte(I) & 0xC0) == 0x80; };
  if (Lead >= 0xC2 && Lead <= 0xDF && Tail(At + 1)) {
    // U+0080-U+009F are the C1 control characters.
    return Lead == 0xC2 && Byte(At + 1) < 0xA0 ? 0 : 2;
  }
  if (Lead >= 0xE0 && Lead <= 0xEF && Tail(At + 1) && Tail(At + 2)) {
    const unsigned Next = Byte(At + 1);
    if ((Lead == 0xE0 && Next < 0xA0) ||
        (Lead == 0xED && Next >= 0xA0 && !Wtf8)) {
      return 0;  // overlong, or a surrogate
    }
    return 3;
  }
  if (Lead >= 0xF0 && Lead <= 0xF4 && Tail(At + 1) && Tail(At + 2) &&
      Tail(At + 3)) {
    const unsigned Next = Byte(At + 1);
    if ((Lead == 0xF0 && Next < 0x90) || (Lead == 0xF4 && Next >= 0x90)) {
      return 0;  // overlong, or beyond U+10FFFF
    }
    return 4;
  }
  return 0;
}

}  // namespace

std::string Printable(const std::string& Path, bool Wtf8) {
  size_t At = 0;
  for (size_t Length; At < Path.size(); At += Length) {
    if ((Length = PrintableLength(Path, At, Wtf8)) == 0) break;
  }
  if (At == Path.size()) return Path;
  static const char kHex[] = "0123456789abcdef";
  std::string Out = Path.substr(0, At);
  while (At < Path.size()) {
    if (const size_t Length = PrintableLength(Path, At, Wtf8)) {
      Out.append(Path, At, Length);
      At += Length;
      continue;
    }
    const unsigned char C = static_cast<unsigned char>(Path[At++]);
    if (C == '\t') {
      Out += "\\t";
    } else if (C == '\n') {
      Out += "\\n";
    } else if (C == '\r') {
      Out += "\\r";
    } else {
      Out += "\\x";
      Out += kHex[C >> 4];
      Out += kHex[C & 15];
    }
  }
  return Out;
}

}  // namespace olvane
