#include "platform/held_open.h"

#include <gtest/gtest.h>

#include <map>

namespace olvane {
namespace {

// Processes as their tables read: descriptors, and maps as Linux writes
// them; threads with tables of their own, read the same way.
struct FakeProcess {
  TableRead Read = TableRead::kRead;
  std::vector<FileId> Open;
  std::map<std::string, FakeProcess> Threads = {};
  TableRead ThreadsRead = TableRead::kRead;
  bool MainGone = false;  // its own tables are then empty
  std::string Maps = "";
};

struct FakeTable : ProcessTable {
  bool ListOthers(std::vector<std::string>* Processes) override {
    for (const auto& Entry : Table) Processes->push_back(Entry.first);
    return Listable;
  }
  TableRead ThreadsOf(const std::string& Process,
                      std::vector<std::string>* Threads,
                      bool* MainGone) override {
    const FakeProcess& Found = Table.at(Process);
    for (const auto& Thread : Found.Threads) Threads->push_back(Thread.first);
    *MainGone = Found.MainGone;
    return Found.ThreadsRead;
  }
  TableRead FilesOf(const std::string& Process, const std::string& Thread,
                    std::vector<FileId>* Files) override {
    const FakeProcess& Found = Table.at(Process);
    const FakeProcess& Own = Thread.empty() ? Found : Found.Threads.at(Thread);
    Files->insert(Files->end(), Own.Open.begin(), Own.Open.end());
    ParseMappedFiles(Own.Maps, Files);
    return Own.Read;
  }
  std::map<std::string, FakeProcess> Table;
  bool Listable = true;
};

const FileId kLog{0xfd, 0x1a, 1234}, kOther{0xfd, 0x1a, 99};
// Maps kLog ("fd:1a", inode 1234) after its descriptor was closed; the
// other lines are a program, anonymous memory and the stack.
const char kMapsOfLog[] =
    "55d0c000-55d0d000 r--p 00000000 fd:1a 777 /usr/bin/app\n"
    "7f00a000-7f00b000 rw-p 00000000 00:00 0 \n"
    "short line\n"
    "7f00b000-7f00c000 r--s 00000000 fd:1a 1234 /srv/app.log (deleted)\n"
    "7ffc0000-7ffc1000 rw-p 00000000 00:00 0 [stack]\n";

TEST(HeldOpenTest, DecidesFromEveryOtherProcessesTables) {
  const TableRead kRead = TableRead::kRead, kGone = TableRead::kGone,
                  kBad = TableRead::kUnreadable;
  // The files that may be held: "L" kLog, "O" kOther.
  struct {
    const char* Held;
    std::map<std::string, FakeProcess> Table;
    bool Listable = true;
  } Cases[] = {
      {"", {{"10", {kRead, {{0xfd, 0x1b, 1234}}}}}},
      {"L", {{"10", {kRead, {kLog}}}}},
      {"L", {{"10", {kRead, {}, {}, kRead, false, kMapsOfLog}}}},
      // A process that ended mid-look holds nothing.
      {"", {{"10", {kGone, {kLog}}}, {"11", {}}}},
      // A table that cannot be read, or no list of processes: any file may
      // be held.
      {"LO", {{"10", {kRead, {kLog}}}, {"11", {kBad, {}}}}},
      {"LO", {}, false},
      // A thread's own table counts; one that ended holds nothing, one
      // that cannot be read may hold anything, and so may a process whose
      // main thread is gone and whose threads cannot be listed.
      {"L",
       {{"10",
         {kRead, {}, {{"11", {kGone, {kOther}}}, {"12", {kRead, {kLog}}}}}}}},
      {"L", {{"10", {kRead, {}, {{"11", {kRead, {kLog}}}}, kRead, true}}}},
      {"LO", {{"10", {kRead, {}, {{"11", {kBad, {}}}}}}}},
      {"LO", {{"10", {kRead, {}, {}, kBad, true}}}}};
  for (const auto& C : Cases) {
    SCOPED_TRACE(&C - Cases);
    FakeTable Table;
    Table.Table = C.Table;
    Table.Listable = C.Listable;
    const HeldFiles Look = LookAtOtherProcesses(Table);
    // A look for one file alone comes to the same answer for it.
    for (const auto& [File, Letter] : {std::pair{kLog, 'L'}, {kOther, 'O'}}) {
      const bool Held = std::string(C.Held).find(Letter) != std::string::npos;
      EXPECT_EQ(Look.MayBeHeld(File), Held) << Letter;
      EXPECT_EQ(LookAtOtherProcesses(Table, &File).MayBeHeld(File), Held);
    }
  }
}

}  // namespace
}  // namespace olvane
