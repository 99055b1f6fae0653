// --system-log as the system log receives it: on Linux through a datagram
// socket of the test's own at /dev/log in a mount namespace of the run's
// own; under Wine through the eventlog debug channel, which shows
// ReportEventW's strings, and the message table read back from olvane.exe.
#include <sys/socket.h>
#include <sys/un.h>

#include <regex>

#include "e2e/e2e.h"

namespace olvane_e2e {

// With --config one entry per rule (a refused one too) and the total's;
// each "LEVEL TEXT", LEVEL from the priority (LOG_USER + 6, 4, 3) or from
// the event ID and the channel of the type.
TEST_F(EndToEndTest, EachRunLeavesOneSystemLogEntry) {
  std::string Prefix = "WINEDEBUG=+eventlog";
  int Socket = socket(AF_UNIX, SOCK_DGRAM, 0);
  if (!Windows()) {
    if (!CanMount()) GTEST_SKIP() << "no mount namespace: no /dev/log here";
    sockaddr_un At{AF_UNIX, {}};
    fs::create_directory(Base / "dev");
    (Base / "dev/log").string().copy(At.sun_path, sizeof At.sun_path - 1);
    ASSERT_EQ(bind(Socket, reinterpret_cast<sockaddr*>(&At), sizeof At), 0);
    Prefix = "unshare -m sh -c 'mount --bind \"$DEV\" /dev && exec \"$@\"' sh";
  }
  Make("a/old.log=");
  std::ofstream(Base / "r.conf") << Expand(
      "[old]\ntarget = ~/a\ndays = 0\n[gone]\ntarget = ~/none\n"
      "[bad]\ntarget = ~/a\nkeep = 0\n");
  // Standard error, where Wine's channels write, into a file of its own.
  // The prefix is read as a path would be: names come from the environment.
  setenv("ERR", (Base / "err").c_str(), 1);
  setenv("DEV", (Base / "dev").c_str(), 1);
  Run({"--config=~/../r.conf", "--system-log"},
      Prefix + " sh -c 'exec \"$@\" 2>\"$ERR\"' sh", 2);
  Lines Entries;
  std::smatch Got;
  char Datagram[4096];
  for (ssize_t Size;
       !Windows() && (Size = recv(Socket, Datagram, 4096, MSG_DONTWAIT)) > 0;) {
    const std::string Text(Datagram, Size);
    ASSERT_TRUE(std::regex_match(
        Text, Got, std::regex("<(\\d+)>.{15} olvane\\[\\d+\\]: (.*)")));
    Entries.push_back(
        Words("? ? ? err warning ? info").at(std::stoi(Got[1]) - 8) + " " +
        Got[2].str());
  }
  close(Socket);
  const std::regex Id("ReportEventW \\(.*,0x000003e(\\w),"),
      Said("(\\w+):eventlog:ReportEventW L\"(.*)\"");
  std::string Level;
  for (const std::string& Line : Words(ReadFile(Base / "err"), '\n')) {
    if (std::regex_search(Line, Got, Id)) Level = Got[1];
    if (!std::regex_search(Line, Got, Said)) continue;
    Level = Level + Got[1].str();
    Entries.push_back(
        (Level == "8trace"  ? "info"
         : Level == "9warn" ? "warning"
         : Level == "aerr"  ? "err"
                            : Level) +
        std::string(" ") +
        std::regex_replace(Got[2].str(), std::regex("\\\\\\\\"), "\\"));
  }
  EXPECT_EQ(Entries,
            Lines(Output(Expand(
                "info rule old: ~/a: 1 file(s) deleted, 0 bytes freed; status "
                "0\nwarning rule gone: ~/none: 0 file(s) deleted, 0 bytes "
                "freed, 1 path(s) not found; status 0\nerr rule bad: refused: "
                "Config error: ~/../r.conf:8: Invalid number to keep "
                "(--keep=1 or more): --keep=0; status 2\nerr rules "
                "~/../r.conf: 2 rule(s) run, 1 file(s) deleted or moved, 0 "
                "folder(s) deleted, 0 bytes freed, 1 path(s) not found; status "
                "2"))));
  if (!Windows()) return;
  // Event Viewer's text: one message of one insert for each event ID.
  const std::string Exe = Env("OLVANE_PROGRAM").substr(5);  // after "wine "
  ASSERT_TRUE(Succeeds("x86_64-w64-mingw32-windres -i " + Quote(Exe) +
                       " -O rc >" + Quote(Base / "rc")));
  for (const char* Message : {"0x3e8", "0x3e9", "0x3ea"})
    EXPECT_NE(ReadFile(Base / "rc")
                  .find(std::string("MessageId = ") + Message + "\n   %1\\n"),
              std::string::npos);
}

}  // namespace olvane_e2e
