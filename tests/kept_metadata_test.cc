#include "platform/kept_metadata.h"

#include <gtest/gtest.h>

namespace olvane {
namespace {

// A listing of records named Names, each at an 8-byte boundary; Next, when
// given, stands for each one's offset of the next.
std::vector<unsigned char> Listing(const std::vector<std::u16string>& Names,
                                   uint32_t Next = 0) {
  std::vector<unsigned char> Bytes;
  const auto Put = [&Bytes](size_t At, uint32_t Value, int Width) {
    for (int B = 0; B < Width; ++B) Bytes[At + B] = (Value >> 8 * B) & 0xFF;
  };
  size_t Last = 0;
  for (const std::u16string& Name : Names) {
    const size_t Start = (Bytes.size() + 7) / 8 * 8;
    Bytes.resize(Start + 24 + 2 * Name.size());
    if (Start > 0) Put(Last, Next ? Next : Start - Last, 4);
    Put(Start + 4, 2 * Name.size(), 4);
    for (size_t C = 0; C < Name.size(); ++C)
      Put(Start + 24 + 2 * C, Name[C], 2);
    Last = Start;
  }
  return Bytes;
}

TEST(KeptMetadataTest, NamedDataStreamsAreListedAndAnythingElseFailsTheCopy) {
  using Names = std::vector<std::u16string>;
  const Names Two{u"::$DATA", u":Zone.Identifier:$DATA", u":приложение:$DATA"};
  std::vector<unsigned char> Cut = Listing(Two);
  Cut.resize(Cut.size() - 2);
  Names Found;
  for (const auto& [Bytes, Good] :
       std::vector<std::pair<std::vector<unsigned char>, bool>>{
           {Listing({u"::$DATA"}), true},
           {{}, true},  // a folder's listing: no stream at all
           {Listing({u":a:$INDEX_ALLOCATION"}), false},
           {Listing({u":a"}), false},
           {Listing({u"a:$DATA"}), false},
           {Listing(Two, 8), false},     // records that overlap
           {Listing(Two, 4096), false},  // a next record beyond the end
           {Cut, false},
           {Listing(Two), true}}) {
    Found.clear();
    EXPECT_EQ(NamedDataStreams(Bytes.data(), Bytes.size(), &Found), Good);
  }
  // Only the last listing named any stream but the main one.
  EXPECT_EQ(Found, Names(Two.begin() + 1, Two.end()));
}

}  // namespace
}  // namespace olvane
