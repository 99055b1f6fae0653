#include "platform/held_open.h"

#include <gtest/gtest.h>

#include <map>

namespace olvane {
namespace {

// A process as its tables read: descriptors, and a maps table as Linux
// writes it.
struct FakeProcess {
  TableRead Read = TableRead::kRead;
  std::vector<FileId> Open;
  std::string Maps;
};

class FakeTable : public ProcessTable {
 public:
  bool ListOthers(std::vector<std::string>* Processes) override {
    for (const auto& Entry : Table) Processes->push_back(Entry.first);
    return Listable;
  }
  TableRead FilesOf(const std::string& Process,
                    std::vector<FileId>* Files) override {
    const FakeProcess& Found = Table.at(Process);
    if (Found.Read != TableRead::kRead) return Found.Read;
    Files->insert(Files->end(), Found.Open.begin(), Found.Open.end());
    ParseMappedFiles(Found.Maps, Files);
    return TableRead::kRead;
  }
  std::map<std::string, FakeProcess> Table;
  bool Listable = true;
};

const FileId kLog{8, 1, 1234};
const FileId kOther{8, 1, 99};
// A mapping of kLog ("08:01", inode 1234) whose descriptor was closed.
const char kMapsOfLog[] =
    "55d0c000-55d0d000 r--p 00000000 08:01 777 /usr/bin/app\n"
    "7f00a000-7f00b000 rw-p 00000000 00:00 0 \n"
    "7f00b000-7f00c000 r--s 00000000 08:01 1234 /srv/log/app.log (deleted)\n"
    "7ffc0000-7ffc1000 rw-p 00000000 00:00 0 [stack]\n";

TEST(HeldOpenTest, DecidesFromEveryOtherProcessesTables) {
  struct Case {
    const char* What;
    std::map<std::string, FakeProcess> Table;
    bool Listable, LogHeld, OtherHeld;
  } Cases[] = {
      {"nobody holds anything", {{"10", {}}}, true, false, false},
      {"a descriptor",
       {{"10", {TableRead::kRead, {kLog}, ""}}},
       true,
       true,
       false},
      {"a mapping without a descriptor",
       {{"10", {TableRead::kRead, {}, kMapsOfLog}}},
       true,
       true,
       false},
      {"a process gone mid-look",
       {{"10", {TableRead::kGone, {kLog}, ""}}, {"11", {}}},
       true,
       false,
       false},
      {"one table unreadable: any file may be held",
       {{"10", {TableRead::kRead, {kLog}, ""}},
        {"11", {TableRead::kUnreadable, {}, ""}}},
       true,
       true,
       true},
      {"no list of processes", {}, false, true, true},
  };
  for (const Case& C : Cases) {
    FakeTable Table;
    Table.Table = C.Table;
    Table.Listable = C.Listable;
    const HeldFiles Look = LookAtOtherProcesses(Table);
    EXPECT_EQ(Look.MayHold(kLog), C.LogHeld) << C.What;
    EXPECT_EQ(Look.MayHold(kOther), C.OtherHeld) << C.What;
    // A look for one file alone comes to the same answer for it.
    EXPECT_EQ(LookAtOtherProcesses(Table, &kLog).MayHold(kLog), C.LogHeld)
        << C.What;
    EXPECT_EQ(LookAtOtherProcesses(Table, &kOther).MayHold(kOther), C.OtherHeld)
        << C.What;
  }
}

TEST(HeldOpenTest, ReadsDevicesInHexAndSkipsAnonymousMappings) {
  std::vector<FileId> Files;
  ParseMappedFiles(kMapsOfLog, &Files);
  ParseMappedFiles("short line\n7f-80 r--p 00000000 fd:1a 42 /x\n", &Files);
  ASSERT_EQ(Files.size(), 3u);
  EXPECT_EQ(Files[0], (FileId{8, 1, 777}));
  EXPECT_EQ(Files[1], kLog);
  EXPECT_EQ(Files[2], (FileId{0xfd, 0x1a, 42}));
}

}  // namespace
}  // namespace olvane
