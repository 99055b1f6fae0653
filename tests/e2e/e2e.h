// The fixture of the end-to-end tests, which run the built command in
// temporary folders.
//
// The same suite serves every build. The environment says what to run:
//   OLVANE_PROGRAM       the command that starts olvane ("wine .../olvane.exe")
//   OLVANE_HOLDER        the command that starts hold_open
//   OLVANE_RACE_PRELOAD  the library that stages races (Linux builds)
//   OLVANE_PATH_STYLE    "windows" to hand the command drive paths ("Z:\...")
//                        and expect "\r\n" line ends
#ifndef OLVANE_TESTS_E2E_E2E_H_
#define OLVANE_TESTS_E2E_E2E_H_

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <string>
#include <vector>

#include "lines.h"

namespace fs = std::filesystem;

namespace olvane_e2e {

using olvane::Deleted;
using olvane::Lines;
using olvane::Moved;
using olvane::Output;
using olvane::Predicted;
using olvane::Sorted;
using olvane::Words;

inline std::string Env(const char* Name) {
  const char* Value = std::getenv(Name);
  return Value ? Value : "";
}

inline bool Windows() { return Env("OLVANE_PATH_STYLE") == "windows"; }

// Whether the shell Command succeeded.
inline bool Succeeds(const std::string& Command) {
  return std::system(Command.c_str()) == 0;
}

// Shell words that make the rest of the command run as nobody.
const std::string kAsNobody =
    "setpriv --reuid=nobody --regid=nogroup --clear-groups";
// Shell words that interpose the race library (race_preload.cc).
const std::string kRace = "LD_PRELOAD=$OLVANE_RACE_PRELOAD ";

// Root on Linux, with a way to become nobody; with a mount namespace of the
// run's own to be had (unshare -m).
inline bool CanBeNobody() {
  return !Windows() && !geteuid() && Succeeds("command -v setpriv >/dev/null");
}
inline bool CanMount() {
  return !Windows() && !geteuid() && Succeeds("unshare -m true 2>/dev/null");
}
// The folder of the Wine prefix's drive letters.
inline fs::path WineDevices() {
  const std::string Prefix = Env("WINEPREFIX");
  return (Prefix.empty() ? Env("HOME") + "/.wine" : Prefix) + "/dosdevices";
}

inline std::string Quote(const std::string& Text) {
  std::string Quoted = "'";
  for (char C : Text) Quoted += C == '\'' ? "'\\''" : std::string(1, C);
  return Quoted + "'";
}

inline std::string ReadFile(const fs::path& Path) {
  std::ifstream In(Path, std::ios::binary);
  return {std::istreambuf_iterator<char>(In), {}};
}

// The lines of Text, each of which must end with End.
inline Lines SplitLines(const std::string& Text, const std::string& End) {
  Lines Split;
  size_t Start = 0;
  for (size_t At; (At = Text.find(End, Start)) != std::string::npos;
       Start = At + End.size()) {
    Split.push_back(Text.substr(Start, At - Start));
  }
  EXPECT_EQ(Start, Text.size()) << "output does not end with a line end";
  return Split;
}

// One run of the command on a tree made for it. Files, Args, Left and Held
// are words.
struct Case {
  // Below the tree: "a/b" a file holding "x", "a/b=text" one holding text,
  // "a/" an empty folder, "a->target" a link (to a Unix path, "~" the
  // tree), "a|" a FIFO. A name that begins with "^/" is below a folder on
  // another file system.
  std::string Files;
  // "~" stands for the tree, which is the current folder, and "^" for the
  // other folder, in the form the command takes (not after a letter or a
  // digit); "`" for a "/" that stays one.
  std::string Args;
  Output Out;               // in any order
  std::string Left;         // the files, links and empty folders afterwards
  std::string Prefix = "";  // shell words put before the command
  std::string Held = "";    // files another process holds open meanwhile
  int Status = 0;           // the exit status
  bool Predict = false;     // first with "-n", which changes nothing
  bool Ordered = false;     // Out in this order
};

class EndToEndTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // No "-n" in the paths: it would make every run report-only.
    std::string Name = (fs::temp_directory_path() / "olvane-e2e.XXXXXX");
    Base = mkdtemp(Name.data());
    Tree = Base / "t";
    Other = "/dev/shm" / Base.filename();
    fs::create_directories(Tree);
  }
  void TearDown() override {
    for (const fs::path& Link : Bound) fs::remove(Link);
    if (!Base.empty()) Wipe(Base);  // not where a skip came first
  }
  // Binds the first drive letter of Wine from First on that leads nowhere
  // (a link left by a run that did not end, or none) to Folder, until the
  // test ends; answers it as "X:".
  std::string BindDrive(char First, const fs::path& Folder) {
    std::string Letter{First, ':'};
    while (Letter[0] < 'z' && fs::exists(WineDevices() / Letter)) ++Letter[0];
    fs::remove(WineDevices() / Letter);
    fs::create_directory_symlink(Folder,
                                 Bound.emplace_back(WineDevices() / Letter));
    return std::string(1, Letter[0] - 32) + ":";
  }
  // The other folder is on another file system than the tree.
  bool OtherFileSystem() const {
    return Succeeds("test $(stat -c %d /dev/shm) != $(stat -c %d " +
                    Quote(Tree) + ")");
  }
  // Runs a shell Command in the tree; whether it succeeded.
  bool Shell(const std::string& Command) const {
    return Succeeds("cd " + Quote(Tree) + " && " + Command);
  }
  // Removes Top, the other folder and the holder's sign; rm, as the deep tree
  // is too deep for one path.
  void Wipe(const fs::path& Top) {
    Succeeds("rm -rf " + Quote(Top) + " " + Quote(Other) + " " +
             Quote(Base / "ready"));
  }

  // A test's text as the command takes and prints it.
  std::string Expand(std::string Text) const {
    for (size_t At = 0;
         (At = Text.find_first_of("~^", At)) != std::string::npos; ++At) {
      // After a letter or a digit it belongs to a name ("REPO~1.TXT").
      if (At == 0 || !std::isalnum(static_cast<unsigned char>(Text[At - 1])))
        Text.replace(At, 1,
                     (Windows() ? "Z:" : "") +
                         (Text[At] == '~' ? Tree : Other).string());
    }
    if (Windows()) std::replace(Text.begin(), Text.end(), '/', '\\');
    std::replace(Text.begin(), Text.end(), '`', '/');  // a "/" as written
    return Text;
  }

  // Runs the command in the tree; its output lines, whose ends are checked.
  // Standard error goes there too, where any line of it is unexpected. A
  // file, not a pipe: the services Wine starts keep their output open.
  Lines Run(const Lines& Args, const std::string& Prefix = "", int Status = 0) {
    std::string Command = "cd " + Quote(Tree) + " && " + Expand(Prefix) + " " +
                          Env("OLVANE_PROGRAM");
    for (const std::string& Arg : Args) Command += " " + Quote(Expand(Arg));
    const int Ended = std::system(
        (Command + " >" + Quote(Base / "out") + " 2>&1 </dev/null").c_str());
    EXPECT_TRUE(WIFEXITED(Ended) && WEXITSTATUS(Ended) == Status) << Ended;
    return SplitLines(ReadFile(Base / "out"), Windows() ? "\r\n" : "\n");
  }

  virtual void Make(const std::string& Files) {
    for (std::string Name : Words(Files)) {
      std::string Content = "x", To;
      if (size_t At = Name.find("->"); At != std::string::npos) {
        // A Unix path on every build, as Leaves reads it back.
        To = Name.substr(At + 2);
        if (To[0] == '~') To.replace(0, 1, Tree.string());
        Name.resize(At);
      } else if (At = Name.find('='); At != std::string::npos) {
        Content = Name.substr(At + 1);
        Name.resize(At);
      }
      const bool Fifo = Name.back() == '|', Folder = Name.back() == '/';
      if (Fifo) Name.pop_back();
      const fs::path Path =
          Name[0] == '^' ? Other / Name.substr(2) : Tree / Name;
      fs::create_directories(Path.parent_path());
      if (!To.empty()) {
        fs::create_symlink(To, Path);
      } else if (Fifo) {
        Succeeds("mkfifo " + Quote(Path));
      } else if (!Folder) {
        std::ofstream(Path, std::ios::binary) << Content;
      }
    }
  }

  // The tree as Case::Files writes it.
  virtual Lines Leaves() const {
    Lines Left;
    for (const fs::path& Top : {Tree, Other}) {
      if (!fs::exists(Top)) continue;
      for (const auto& Item : fs::recursive_directory_iterator(Top)) {
        const fs::path& Path = Item.path();
        std::string Name = Path.lexically_relative(Top).generic_string();
        if (Top == Other) Name = "^/" + Name;
        if (Item.is_symlink()) {
          Name += "->" + fs::read_symlink(Path).string();
          Name.replace(Name.find(Tree.string()), Tree.string().size(), "~");
        } else if (Item.is_fifo()) {
          Name += "|";
        } else if (Item.is_directory()) {
          if (!fs::is_empty(Path)) continue;
          Name += "/";
        } else if (const std::string Text = ReadFile(Path); Text != "x") {
          Name += "=" + Text;
        }
        Left.push_back(Name);
      }
    }
    return Sorted(Left);
  }

  // Starts a holder of Held (words), which keeps the files open until its
  // input ends (pclose); null for none.
  FILE* Hold(const std::string& Held) {
    if (Held.empty()) return nullptr;
    std::string Command =
        Env("OLVANE_HOLDER") + " " + Quote(Expand("~/../ready"));
    for (const std::string& File : Words(Held))
      Command += " " + Quote(Expand(File));
    FILE* Holder = popen((Command + " >/dev/null 2>&1").c_str(), "w");
    for (int Tick = 0; Tick < 3000 && !fs::exists(Base / "ready"); ++Tick)
      usleep(10000);
    return Holder;
  }

  // Runs each case on a tree of its own; one that predicts, on a second.
  void Check(const std::vector<Case>& Cases) {
    for (const Case& C : Cases) {
      for (int Dry = C.Predict; Dry >= 0; --Dry) {
        const std::string Args = C.Args + (Dry ? " -n" : "");
        SCOPED_TRACE(Args);
        Wipe(Tree);
        fs::create_directories(Tree);
        Make(C.Files);
        const Lines Before = Leaves();
        FILE* Holder = Hold(C.Held);
        const Lines Out = Run(Words(Args), C.Prefix, C.Status);
        if (Holder) pclose(Holder);
        Lines Expected;
        for (const std::string& Line : Dry ? Predicted(C.Out) : Lines(C.Out))
          Expected.push_back(Expand(Line));
        EXPECT_EQ(C.Ordered ? Out : Sorted(Out),
                  C.Ordered ? Expected : Sorted(Expected));
        EXPECT_EQ(Leaves(), Dry ? Before : Sorted(Words(C.Left)));
      }
    }
  }

  fs::path Base, Tree, Other;
  std::vector<fs::path> Bound;  // drive letters bound
};

}  // namespace olvane_e2e

#endif  // OLVANE_TESTS_E2E_E2E_H_
