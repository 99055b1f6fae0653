#include "platform/kept_metadata.h"

#include <gtest/gtest.h>

namespace olvane {
namespace {

TEST(KeptMetadataTest, AttributesKeptAreTheUsersAndAsRootTheSystemsToo) {
  for (const auto& [Name, User, Root] :
       std::vector<std::tuple<std::string, bool, bool>>{
           {"user.mime_type", true, true},
           {"system.posix_acl_access", true, true},
           {"trusted.overlay", false, true},
           {"security.capability", false, true},
           {"system.posix_acl_default", false, false},
           {"system.nfs4_acl", false, false},
           {"users.x", false, false}}) {
    EXPECT_EQ(KeepsAttribute(Name, false), User) << Name;
    EXPECT_EQ(KeepsAttribute(Name, true), Root) << Name;
  }
}

// A listing of records named Names; Next, when given, is the first record's
// offset of the next one instead of the aligned one.
std::vector<unsigned char> Listing(const std::vector<std::u16string>& Names,
                                   long Next = -1) {
  std::vector<unsigned char> Bytes;
  for (size_t I = 0; I < Names.size(); ++I) {
    const size_t Start = Bytes.size(), Size = 24 + 2 * Names[I].size();
    const size_t Step = I + 1 == Names.size() ? 0 : (Size + 7) / 8 * 8;
    const uint32_t Words[2] = {
        static_cast<uint32_t>(I == 0 && Next >= 0 ? Next : Step),
        static_cast<uint32_t>(2 * Names[I].size())};
    Bytes.resize(Start + (Step ? Step : Size));
    for (int W = 0; W < 8; ++W) Bytes[Start + W] = Words[W / 4] >> 8 * (W % 4);
    for (size_t C = 0; C < Names[I].size(); ++C) {
      Bytes[Start + 24 + 2 * C] = Names[I][C] & 0xFF;
      Bytes[Start + 25 + 2 * C] = Names[I][C] >> 8;
    }
  }
  return Bytes;
}

TEST(KeptMetadataTest, NamedDataStreamsAreListedAndAnythingElseFailsTheCopy) {
  using Names = std::vector<std::u16string>;
  const Names Two{u"::$DATA", u":Zone.Identifier:$DATA", u":приложение:$DATA"};
  struct Row {
    std::vector<unsigned char> Bytes;
    bool Good;
    Names Streams;
  };
  std::vector<Row> Rows = {
      {Listing(Two), true, Names(Two.begin() + 1, Two.end())},
      {Listing({u"::$DATA"}), true, {}},
      {{}, true, {}},  // a folder's listing: no stream at all
      {Listing({u":a:$INDEX_ALLOCATION"}), false, {}},
      {Listing({u":a"}), false, {}},
      {Listing({u"a:$DATA"}), false, {}},
      {Listing(Two, 8), false, {}},     // records that overlap
      {Listing(Two, 4096), false, {}},  // a next record beyond the end
  };
  std::vector<unsigned char> Cut = Listing(Two);
  Cut.resize(Cut.size() - 2);
  Rows.push_back({Cut, false, {}});
  for (const Row& R : Rows) {
    Names Found;
    EXPECT_EQ(NamedDataStreams(R.Bytes.data(), R.Bytes.size(), &Found), R.Good);
    if (R.Good) {
      EXPECT_EQ(Found, R.Streams);
    }
  }
}

}  // namespace
}  // namespace olvane
