#include "platform/kept_metadata.h"

#include <cstdint>

namespace olvane {

bool KeepsAttribute(std::string_view Name, bool Privileged) {
  const auto Starts = [Name](std::string_view Prefix) {
    return Name.substr(0, Prefix.size()) == Prefix;
  };
  if (Name == kAccessAclName || Starts("user.")) return true;
  return Privileged && (Starts("trusted.") || Starts("security."));
}

namespace {

uint32_t Word(const unsigned char* At) {
  return uint32_t{At[0]} | uint32_t{At[1]} << 8 | uint32_t{At[2]} << 16 |
         uint32_t{At[3]} << 24;
}

}  // namespace

bool NamedDataStreams(const unsigned char* Listing, size_t Size,
                      std::vector<std::u16string>* Names) {
  // Each record: the offset of the next one (0 for the last), the name's
  // length in bytes, the stream's size and allocation (8 bytes each), then
  // the name in UTF-16.
  constexpr size_t kNameAt = 24;
  const std::u16string_view Data = u":$DATA";
  for (size_t At = 0; At < Size;) {
    if (Size - At < kNameAt) return false;
    const uint32_t Next = Word(Listing + At), Bytes = Word(Listing + At + 4);
    if (Bytes % 2 != 0 || Bytes > Size - At - kNameAt ||
        (Next != 0 && (Next < kNameAt + Bytes || Next >= Size - At))) {
      return false;
    }
    std::u16string Name(Bytes / 2, u'\0');
    for (size_t I = 0; I < Name.size(); ++I) {
      const unsigned char* C = Listing + At + kNameAt + 2 * I;
      Name[I] = static_cast<char16_t>(C[0] | C[1] << 8);
    }
    // ":name:$DATA"; "::$DATA" is the main stream, copied as the content.
    const size_t Type = Name.rfind(u':');
    if (Name.size() < 2 || Name[0] != u':' || Type == 0 ||
        Name.substr(Type) != Data) {
      return false;
    }
    if (Type > 1) Names->push_back(Name);
    if (Next == 0) break;
    At += Next;
  }
  return true;
}

}  // namespace olvane
