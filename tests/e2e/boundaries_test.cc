// End-to-end: where a run stops. Other mounts below the target, a whole
// root, protected names.
#include <unistd.h>

#include <memory>

#include "e2e/e2e.h"

namespace olvane_e2e {

// In a mount namespace of the run's own: a tmpfs at t/tmp and a bind mount
// of src (the same file system) at t/bind. The tmpfs goes with the
// namespace, so what it holds afterwards is listed beside the tree.
TEST_F(EndToEndTest, OtherMountsBelowTheTargetAreKeptWhole) {
  if (Windows()) GTEST_SKIP() << "Linux mounts";
  if (geteuid() != 0 || std::system("unshare -m true 2>/dev/null") != 0)
    GTEST_SKIP() << "no mount namespace to be had (needs root, unshare -m)";
  const std::string
      Files = "t/a.log t/p/p.log t/tmp/ t/bind/ src/c.log src/s/d.log",
      Mounts =
          "unshare -m sh -c 'mount -t tmpfs none t/tmp && echo x "
          ">t/tmp/b.log && mount --bind src t/bind && \"$0\" "
          "\"$@\"; s=$?; ls t/tmp >../tmpfs; exit $s'",
      Mine = "~/t/a.log ~/t/p/p.log",
      Theirs = " ~/t/bind/c.log ~/t/bind/s/d.log ~/t/tmp/b.log";
  const Lines Emptied{"Delete folder: ~/t/p", "     1 folder(s) deleted."},
      Both{"Delete folder: ~/t/p", "Delete folder: ~/t/bind/s",
           "     2 folder(s) deleted."};
  struct {
    Case Row;
    const char* InTmpfs;
  } Rows[] = {
      {{Files, "-d0 ~/t -r -e", Deleted(Mine, Emptied),
        "src/c.log src/s/d.log t/bind/ t/tmp/", Mounts},
       "b.log\n"},
      {{Files, "-d0 ~/t -r -e --cross-mounts", Deleted(Mine + Theirs, Both),
        "src/ t/bind/ t/tmp/", Mounts},
       ""},
      // A mount point is never predicted gone either.
      {{Files,
        "-d0 ~/t -r -e -n --cross-mounts",
        {"Would delete file: ~/t/bind/c.log",
         "Would delete file: ~/t/bind/s/d.log",
         "Would delete folder: ~/t/bind/s", "Would delete file: ~/t/tmp/b.log",
         "Would delete file: ~/t/a.log", "Would delete file: ~/t/p/p.log",
         "Would delete folder: ~/t/p", "     5 file(s) would be deleted.",
         "     2 folder(s) would be deleted."},
        Files,
        Mounts},
       "b.log\n"},
      // The target itself may be one.
      {{Files, "-d0 ~/t/bind -r", Deleted("~/t/bind/c.log ~/t/bind/s/d.log"),
        "src/s/ t/a.log t/bind/ t/p/p.log t/tmp/", Mounts},
       "b.log\n"},
  };
  for (const auto& [Row, InTmpfs] : Rows) {
    Check({Row});
    EXPECT_EQ(ReadFile(Base / "tmpfs"), InTmpfs);
  }
}

// On Linux "/" is the tree, in a chroot holding the command and its
// libraries; on Windows a drive letter is bound to the tree.
TEST_F(EndToEndTest, AWholeRootIsRefusedUnlessToldOtherwise) {
  std::string Prefix = "", Drive = "";
  std::shared_ptr<void> Unbind;
  if (Windows()) {
    const std::string Wine =
        Env("WINEPREFIX").empty() ? Env("HOME") + "/.wine" : Env("WINEPREFIX");
    for (char Letter = 'r'; Letter < 'y' && Drive.empty(); ++Letter) {
      const fs::path Link = Wine + "/dosdevices/" + Letter + ":";
      if (fs::exists(fs::symlink_status(Link))) continue;
      fs::create_directory_symlink(Tree, Link);
      Unbind.reset(static_cast<void*>(nullptr),
                   [Link](void*) { fs::remove(Link); });
      Drive = std::string(1, Letter - 'a' + 'A') + ":";
    }
    ASSERT_FALSE(Drive.empty()) << "no drive letter free";
  } else {
    if (geteuid() != 0) GTEST_SKIP() << "chroot needs root";
    Prefix =
        "cp --parents -L $(ldd $OLVANE_PROGRAM | grep -o '/[[:graph:]]*') "
        "$OLVANE_PROGRAM . && chroot .";
  }
  const std::string Root = Expand(Drive + "/"),
                    Refusal = "   Will not purge the whole root " + Root +
                              ": give a narrower target, or add "
                              "--no-preserve-root";
  struct {
    std::string Args;
    bool Runs;
  } Rows[] = {
      {"/", false},       {"/ -r", false},     {"//", false},
      {"/* -r", false},   {"/?*", false},      {"/x/..", false},
      {"/x ../*", false}, {"/*.log -r", true}, {"/ --no-preserve-root", true}};
  for (const auto& [Args, Runs] : Rows) {
    SCOPED_TRACE(Args);
    Make("a.log x/b");
    Lines Command{"-d0"};
    for (const std::string& Arg : Words(Args))
      Command.push_back(Arg.front() == '/' ? Drive + Arg : Arg);
    EXPECT_EQ(Run(Command, Prefix, Runs ? 0 : 2),
              Runs ? Deleted(Root + "a.log") : Lines{Refusal});
    EXPECT_EQ(fs::exists(Tree / "a.log"), !Runs);
    EXPECT_TRUE(fs::exists(Tree / "x/b"));
  }
  if (Windows()) {
    EXPECT_EQ(Run({"-d0", Drive + "/*.*"}, "", 2), Lines{Refusal});
  }
}

// Names are protected with the system's case rules.
TEST_F(EndToEndTest, ProtectMasksFollowTheSystemsCase) {
  const std::string Files = "a.keep A.KEEP b.log Current/c.log";
  Check({{Files, "-d0 ~ -r -x:*.keep -x:current",
          Windows() ? Deleted("~/b.log")
                    : Deleted("~/A.KEEP ~/b.log ~/Current/c.log"),
          Windows() ? "A.KEEP Current/c.log a.keep" : "Current/ a.keep"}});
}

}  // namespace olvane_e2e
