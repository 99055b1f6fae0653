// --system-log: each run's entry as the system log receives it. On Linux a
// datagram socket of the test's own stands at /dev/log in a mount namespace
// of the run's own; under Wine the eventlog debug channel shows ReportEventW's
// strings, and the message table is read back from olvane.exe.
#include <sys/socket.h>
#include <sys/un.h>

#include <regex>

#include "e2e/e2e.h"

namespace olvane_e2e {
namespace {

class SystemLogTest : public EndToEndTest {
 protected:
  // Runs the command with Args in the tree; its entries, each as
  // "LEVEL TEXT" (LEVEL: info, warning or err), in the order written.
  Lines EntriesOf(const std::string& Args, int Status) {
    std::string Command = "cd " + Quote(Tree) + " && ";
    if (Windows()) {
      Command += "WINEDEBUG=+eventlog ";
    } else {
      Command += "unshare -m sh -c 'mount --bind " + Quote(Base / "dev") +
                 " /dev && exec \"$@\"' sh ";
    }
    Command += Env("OLVANE_PROGRAM");
    for (const std::string& Arg : Words(Args))
      Command += " " + Quote(Expand(Arg));
    const int Ended = std::system(
        (Command + " >/dev/null 2>" + Quote(Base / "err") + " </dev/null")
            .c_str());
    EXPECT_TRUE(WIFEXITED(Ended) && WEXITSTATUS(Ended) == Status) << Ended;
    Lines Entries;
    std::smatch Got;
    if (!Windows()) {
      // "<PRI>Mmm dd hh:mm:ss olvane[PID]: TEXT", PRI the user facility's.
      const std::regex Entry("<(\\d+)>.{15} olvane\\[\\d+\\]: (.*)");
      char Datagram[4096];
      for (ssize_t Size; (Size = recv(Socket, Datagram, sizeof Datagram,
                                      MSG_DONTWAIT)) > 0;) {
        const std::string Text(Datagram, Size);
        EXPECT_TRUE(std::regex_match(Text, Got, Entry)) << Text;
        const int Priority = std::stoi(Got[1]) - 8;  // LOG_USER
        Entries.push_back(std::string(Priority == 6   ? "info"
                                      : Priority == 4 ? "warning"
                                      : Priority == 3 ? "err"
                                                      : "?") +
                          " " + Got[2].str());
      }
      return Entries;
    }
    // The type and the event ID, then the string on the channel of the type.
    const std::regex Call(
        "ReportEventW \\([0-9A-F]+,0x000(\\d),0x0000,"
        "0x000003e(\\w),.*");
    const std::regex Text(".*:eventlog:ReportEventW L\"(.*)\"");
    std::string Level;
    for (const std::string& Line : Words(ReadFile(Base / "err"), '\n')) {
      if (std::regex_search(Line, Got, Call)) {
        const std::string Type = Got[1], Id = Got[2];
        Level = Type == "4" && Id == "8"   ? "info"
                : Type == "2" && Id == "9" ? "warning"
                : Type == "1" && Id == "a" ? "err"
                                           : Type + " " + Id;
      } else if (std::regex_match(Line, Got, Text)) {
        std::string Said =
            std::regex_replace(Got[1].str(), std::regex("\\\\\\\\"), "\\");
        Entries.push_back(Level + " " + Said);
      }
    }
    return Entries;
  }

  void SetUp() override {
    EndToEndTest::SetUp();
    if (Windows()) return;
    if (!CanMount())
      GTEST_SKIP() << "no mount namespace here: no /dev/log of the test's own";
    fs::create_directory(Base / "dev");
    sockaddr_un Address{};
    Address.sun_family = AF_UNIX;
    const std::string Path = (Base / "dev" / "log").string();
    Path.copy(Address.sun_path, sizeof Address.sun_path - 1);
    Socket = socket(AF_UNIX, SOCK_DGRAM, 0);
    ASSERT_EQ(
        bind(Socket, reinterpret_cast<sockaddr*>(&Address), sizeof Address), 0);
  }
  void TearDown() override {
    if (Socket >= 0) close(Socket);
    EndToEndTest::TearDown();
  }

  int Socket = -1;
};

}  // namespace

// A missing full-path target says so, though its run ends with status 0;
// with --config one entry per rule (a refused one too) and the total's.
TEST_F(SystemLogTest, EachRunLeavesOneEntry) {
  Make("a/old.log=");
  EXPECT_EQ(EntriesOf("-d30 ~/none -r --system-log", 0),
            Lines{Expand("warning ~/none: 0 file(s) deleted, 0 bytes freed, "
                         "1 path(s) not found; status 0")});
  std::ofstream(Base / "r.conf") << Expand(
      "[old]\ntarget = ~/a\ndays = 0\n[gone]\ntarget = ~/none\n"
      "[bad]\ntarget = ~/a\nkeep = 0\n");
  EXPECT_EQ(
      EntriesOf("--config=~/../r.conf --system-log", 2),
      Output(Expand("info rule old: ~/a: 1 file(s) deleted, 0 bytes freed; "
                    "status 0\n"
                    "warning rule gone: ~/none: 0 file(s) deleted, 0 bytes "
                    "freed, 1 path(s) not found; status 0\n"
                    "err rule bad: refused: Config error: ~/../r.conf:8: "
                    "Invalid number to keep (--keep=1 or more): --keep=0; "
                    "status 2\n"
                    "err rules ~/../r.conf: 2 rule(s) run, 1 file(s) deleted "
                    "or moved, 0 folder(s) deleted, 0 bytes freed, 1 path(s) "
                    "not found; status 2")));
}

// Event Viewer's text: the message table in olvane.exe, one message of
// one insert for each event ID.
TEST_F(SystemLogTest, TheProgramHoldsItsMessageTable) {
  if (!Windows()) GTEST_SKIP() << "the Windows build's";
  const std::string Exe = Env("OLVANE_PROGRAM").substr(5);  // after "wine "
  ASSERT_TRUE(Succeeds("x86_64-w64-mingw32-windres -i " + Quote(Exe) +
                       " -O rc >" + Quote(Base / "rc")));
  const std::string Dump = ReadFile(Base / "rc");
  for (const char* Id : {"0x3e8", "0x3e9", "0x3ea"})
    EXPECT_NE(Dump.find(std::string("MessageId = ") + Id + "\n   %1\\n"),
              std::string::npos)
        << Id << " in\n"
        << Dump;
}

}  // namespace olvane_e2e
