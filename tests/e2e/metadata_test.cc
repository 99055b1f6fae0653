// What a move onto another file system keeps besides the content.
#include "e2e/e2e.h"

namespace olvane_e2e {

// The access ACL (a named entry, and a group entry narrower than the mask),
// user.* attributes and, as root, trusted.* and security.* ones, in both
// directions; a destination folder's default ACL never reaches a file that
// had none. A destination that cannot hold them keeps the file where it was.
TEST_F(EndToEndTest, MovesAcrossFileSystemsKeepAclsAndAttributes) {
  if (Windows()) GTEST_SKIP() << "Linux ACLs and attributes";
  if (!Succeeds("(setfacl -v && getfattr --version) >/dev/null"))
    GTEST_SKIP() << "no acl and attr packages (scripts/install-deps.sh)";
  const std::string Give =
      "setfacl -m u:nobody:rw,g::r acl.log && setfattr -n user.app -v 42 "
      "attr.log && setfattr -n user.bin -v 0sAAEC attr.log && chmod 640 "
      "attr.log plain.log" +
      std::string(geteuid() == 0 ? " && setfattr -n trusted.t -v 1 attr.log "
                                   "&& setfattr -n security.s -v 2 attr.log"
                                 : "");
  // The three files in Folder.
  const auto In = [](const std::string& Folder) {
    return Folder + "acl.log " + Folder + "attr.log " + Folder + "plain.log ";
  };
  // A file system without ACLs or attributes, in a namespace of the run's
  // own, where only the plain file can go and no copy is left behind.
  if (CanMount()) {
    Check({{In("t/") + "ram/", "-d0 ~/t -m:~/ram",
            Moved("~/t/plain.log",
                  "File ~/t/acl.log cannot be moved.\n"
                  "File ~/t/attr.log cannot be moved.\nplain.log"),
            "ram/ t/acl.log t/attr.log",
            "(cd t && " + Give +
                ") && unshare -m sh -c 'mount -t ramfs none ram && \"$0\" "
                "\"$@\"; ls -A ram'"}});
  } else {
    std::cout << "no mount namespace: no destination without attributes\n";
  }
  if (!OtherFileSystem()) GTEST_SKIP() << "no second file system";
  const std::string Show =
      "for f in *; do getfacl -c $f; getfattr -d -m '(user|trusted|security)' "
      "$f; done 2>&1";
  for (const std::string Source : {"~/t", "^/t"}) {
    const std::string Target = Source == "~/t" ? "^/in" : "~/in",
                      From = Source == "~/t" ? "t/" : "^/t/",
                      To = Source == "~/t" ? "^/in/" : "in/";
    Check({{In(From) + To, "-d0 " + Source + " -m:" + Target,
            Moved(Source + "/acl.log " + Source + "/attr.log " + Source +
                  "/plain.log"),
            In(To) + From,
            "(cd " + Source + " && " + Give + " && " + Show +
                " >~/../before) && setfacl -d -m u:nobody:rwx " + Target +
                " &&"}});
    Succeeds("cd " + Quote(Expand(Target)) + " && " + Show + " >../after");
    EXPECT_EQ(ReadFile(Expand(Target) + "/../after"),
              ReadFile(Base / "before"));
  }
  // An ordinary user cannot keep a group it is not in: that group gets no
  // more than everyone else, and the set-group-id bit goes. Without a lease
  // it could not prove its file free of root's processes.
  if (!CanBeNobody() || Env("OLVANE_NO_LEASES") == "1") return;
  Check(
      {{"t/g.log ^/in/", "-d0 ~/t -m:^/in", Moved("~/t/g.log"), "^/in/g.log t/",
        "chmod 755 .. . && chmod 777 t ^/in && chown nobody:root t/g.log && "
        "chmod 2664 t/g.log && " +
            kAsNobody}});
  EXPECT_EQ(fs::status(Other / "in/g.log").permissions(), fs::perms(0644));
}

// Attributes and times across two drives: the other one a letter of the
// Wine prefix's own bound to the folder on /dev/shm. Wine keeps a file's
// attributes in user.DOSATTRIB and makes its security descriptor up from
// the Unix mode, which the copy keeps; it has no named streams.
TEST_F(EndToEndTest, MovesAcrossDrivesKeepAttributesAndTimes) {
  if (!Windows()) GTEST_SKIP() << "Windows drives";
  if (!OtherFileSystem()) GTEST_SKIP() << "no second file system";
  // Mode, access and modification times, and the attributes Wine keeps.
  const std::string Stat =
      "{ stat -c '%a %X %Y' a.log hs.log && getfattr --absolute-names "
      "--only-values -n user.DOSATTRIB hs.log; } >";
  Make("hs.log a.log ^/");
  ASSERT_TRUE(
      Shell("setfattr -n user.DOSATTRIB -v '\"0x6\"' hs.log && touch "
            "-m -d @1000000000 a.log hs.log && touch -a -d "
            "@1100000000 a.log hs.log && " +
            Stat + "../before"));
  const Lines Out = Run({"-d0", "~", "-m:" + BindDrive('p', Other) + "\\"});
  EXPECT_EQ(Sorted(Out), Sorted(Moved(Expand("~/a.log ~/hs.log"))));
  // Before anything reads them, which would change the access time.
  Succeeds("cd " + Quote(Other) + " && " + Stat + Quote(Base / "after"));
  EXPECT_EQ(ReadFile(Base / "after"), ReadFile(Base / "before"));
  EXPECT_EQ(Leaves(), (Lines{"^/a.log", "^/hs.log"}));
}

}  // namespace olvane_e2e
