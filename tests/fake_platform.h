// An in-memory platform for the tests: a tree kept in a map, a clock the test
// sets, files held open by "another process", failures and delays injected
// per operation and path, a stop request after so many opens, and a record
// of what was opened, removed and moved. It speaks either path syntax, and
// may be used from several threads at once.
#ifndef OLVANE_TESTS_FAKE_PLATFORM_H_
#define OLVANE_TESTS_FAKE_PLATFORM_H_

#include <map>
#include <mutex>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "platform/platform.h"

namespace olvane {

class FakePlatform : public Platform {
 public:
  enum class Style { kPosix, kWindows };
  enum class Op { kOpen, kStatus, kRemove, kList, kMove, kRemoveFolder };
  struct Node {
    EntryKind Kind = EntryKind::kFolder;
    int64_t Created = 0;
    bool Held = false;         // held open by another process
    bool OpenedLater = false;  // opened by another process after our open
    int DelayMs = 0;           // the open takes this long
    std::vector<std::string> Children;  // in the order they were added
  };

  explicit FakePlatform(Style Syntax = Style::kPosix);

  // Adds an entry, and the folders above it that are missing.
  void Add(const std::string& Path, int64_t Created = 0,
           EntryKind Kind = EntryKind::kFile);
  // The entry at Path, which must exist.
  Node& At(const std::string& Path) { return Nodes_.at(Key(Path)); }
  bool Has(const std::string& Path) const { return Nodes_.count(Key(Path)); }
  void Fail(Op Operation, const std::string& Path) {
    Failures_.insert({Operation, Key(Path)});
  }
  bool Fails(Op Operation, const std::string& Key) const {
    return Failures_.count({Operation, Key}) != 0;
  }

  std::vector<std::string> Output, Errors, Opened, Removed;
  std::vector<std::pair<std::string, std::string>> Moved;
  int64_t Clock = 0;
  std::string Cwd;
  bool StartFails = false;
  size_t StopAfterOpens = 0;  // 0: never; else a SIGTERM after that many

  char Separator() const override { return Windows() ? '\\' : '/'; }
  bool IsSeparator(char C) const override {
    return C == '/' || (Windows() && C == '\\');
  }
  bool IsFullPath(const std::string& Arg) const override;
  DriveRoot QueryDriveRoot(const std::string& Path) override;
  std::vector<std::string> Arguments(int Argc, char** Argv) override {
    return std::vector<std::string>(Argv + 1, Argv + Argc);
  }
  bool Start() override { return !StartFails; }
  int StopStatus() override;
  std::string CurrentDirectory() override { return Cwd; }
  int64_t Now() override { return Clock; }
  void Print(const std::string& Line) override { PrintLines(Line + "\n"); }
  void PrintLines(const std::string& Lines) override;
  void PrintError(const std::string& Line) override { Errors.push_back(Line); }
  PathKind Find(const std::string& Path) override;
  PathKind Status(const std::string& Path) override;
  std::unique_ptr<Folder> OpenFolder(const std::string& Path) override;
  bool RemoveFile(const std::string& Path) override;

  // For the fake's folders and files, which hold the lock around each use.
  std::recursive_mutex Lock;
  std::string Key(const std::string& Path) const;
  std::string Join(const std::string& Key, const std::string& Name) const {
    return Key + Separator() + Name;
  }
  Node* Lookup(const std::string& Key);
  void Insert(const std::string& Key, Node Item);
  void Erase(const std::string& Key);

 private:
  bool Windows() const { return Syntax_ == Style::kWindows; }

  Style Syntax_;
  std::map<std::string, Node> Nodes_;
  std::set<std::pair<Op, std::string>> Failures_;
};

}  // namespace olvane

#endif  // OLVANE_TESTS_FAKE_PLATFORM_H_
