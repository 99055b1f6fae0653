// End-to-end: where a run stops. Other mounts below the target, a whole
// root, protected names.
#include "e2e/e2e.h"

namespace olvane_e2e {

// In a mount namespace of the run's own: a tmpfs at t/tmp and a bind mount
// of src (the same file system) at t/bind. The tmpfs goes with the
// namespace, so what it holds is listed after the run.
TEST_F(EndToEndTest, OtherMountsBelowTheTargetAreKeptWhole) {
  if (!CanMount()) GTEST_SKIP() << "Linux mounts, in a namespace as root";
  const std::string
      Files = "t/a.log t/p/p.log t/tmp/ t/bind/ src/c.log src/s/d.log",
      In =
          "unshare -m sh -c 'mount -t tmpfs none t/tmp && echo x "
          ">t/tmp/b.log && mount --bind src t/bind && \"$0\" \"$@\"; ls t/tmp'",
      Mine = "~/t/a.log ~/t/p/p.log",
      Theirs = " ~/t/bind/c.log ~/t/bind/s/d.log ~/t/tmp/b.log";
  const Lines Crossed =
      Deleted(Mine + Theirs,
              "Delete folder: ~/t/p\nDelete folder: ~/t/bind/s"
              "\n     2 folder(s) deleted.");
  Lines Dry = Predicted(Crossed);
  Dry.push_back("b.log");  // kept on the tmpfs
  std::vector<Case> Cases = {
      {Files, "-d0 ~/t -r -e",
       Deleted(Mine, "Delete folder: ~/t/p\n     1 folder(s) deleted.\nb.log"),
       "src/c.log src/s/d.log t/bind/ t/tmp/", In},
      {Files, "-d0 ~/t -r -e --cross-mounts", Crossed, "src/ t/bind/ t/tmp/",
       In},
      // A mount point is never removed, nor predicted gone.
      {Files, "-d0 ~/t -r -e -n --cross-mounts", Dry, Files, In},
      // The target itself may be one.
      {Files, "-d0 ~/t/bind -r",
       Deleted("~/t/bind/c.log ~/t/bind/s/d.log", "b.log"),
       "src/s/ t/a.log t/bind/ t/p/p.log t/tmp/", In},
      // A file mounted over a name is passed over as a mounted folder is.
      {"t/f.log t/m.log o.log", "-d0 ~/t", Deleted("~/t/f.log"),
       "o.log t/m.log",
       "unshare -m sh -c 'mount --bind o.log t/m.log && \"$0\" \"$@\"'", "", 0,
       true},
  };
  Check(Cases);
}

// On Linux "/" is the tree, in a chroot holding the command and its
// libraries; on Windows a free drive letter of Wine is bound to the tree.
TEST_F(EndToEndTest, AWholeRootIsRefusedUnlessToldOtherwise) {
  std::string Prefix, Drive;
  if (Windows()) {
    Drive = BindDrive('q', Tree);
  } else if (CanMount()) {
    // The sanitizers read /proc: one of the namespace's own.
    Prefix =
        "cp --parents -L $(ldd $OLVANE_PROGRAM | grep -o '/[[:graph:]]*')"
        " $OLVANE_PROGRAM . && mkdir -p proc && unshare -m sh -c 'mount -t"
        " proc proc proc && exec chroot . \"$0\" \"$@\"'";
  } else {
    GTEST_SKIP() << "a chroot needs root and a mount namespace";
  }
  const std::string Root = Expand(Drive + "/"),
                    Refusal = "   Will not purge the whole root " + Root +
                              ": give a narrower target, or add "
                              "--no-preserve-root";
  // A root stays a root, and an argument that reaches one is taken: after
  // "=", the file it deletes. With the current folder at the root, a
  // relative name is found under it.
  const std::string Rows =
      "/,/ -r,//,/* -r,/?*,/x/..,/x ../*,/link/*,/x ../..,/*.log -r=a.log,"
      "/ --no-preserve-root=a.log,/ *.log=a.log,"
      "/ *.log --no-preserve-root=a.log," +
      (Windows()
           ? "/*.*,/x " + Drive + "," + Drive + " --no-preserve-root=a.log"
           : "x=x/b");
  Make("link->.");  // a link to the root
  for (const std::string& Row : Words(Rows, ',')) {
    SCOPED_TRACE(Row);
    Make("a.log x/b");
    const Lines Part = Words(Row, '=');
    const std::string Gone = Part.size() > 1 ? Part[1] : "";
    Lines Command{"-d0"};
    for (const std::string& Arg : Words(Part[0]))
      Command.push_back(Arg[0] == '/' ? Drive + Arg : Arg);
    EXPECT_EQ(Run(Command, Prefix, Gone.empty() ? 2 : 0),
              Gone.empty() ? Lines{Refusal} : Deleted(Root + Gone));
    EXPECT_EQ(fs::exists(Tree / "a.log"), Gone != "a.log");
    EXPECT_EQ(fs::exists(Tree / "x/b"), Gone != "x/b");
  }
}

// A name without a wildcard takes one entry, even where names compare
// case-blind in a folder that holds both. Names are protected with the
// system's case rules.
TEST_F(EndToEndTest, NamesTakeAndProtectWithTheSystemsCase) {
  Check({{"a.txt A.TXT", "-d0 ~/a.txt", Deleted("~/a.txt"), "A.TXT"},
         {"a.keep A.KEEP b.log Current/c.log", "-d0 ~ -r -x:*.keep -x:current",
          Windows() ? Deleted("~/b.log")
                    : Deleted("~/A.KEEP ~/b.log ~/Current/c.log"),
          Windows() ? "A.KEEP Current/c.log a.keep" : "Current/ a.keep"}});
}

}  // namespace olvane_e2e
