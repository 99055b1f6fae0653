// An in-memory platform for the tests: a tree kept in a map, a clock the test
// sets, files held open by "another process", failures injected per
// operation and path, and a record of what was opened, removed and moved.
// It speaks either path syntax.
#ifndef OLVANE_TESTS_FAKE_PLATFORM_H_
#define OLVANE_TESTS_FAKE_PLATFORM_H_

#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "platform/platform.h"

namespace olvane {

class FakePlatform : public Platform {
 public:
  enum class Style { kPosix, kWindows };
  enum class Op { kOpen, kStatus, kClose, kRemove, kList, kMove };
  struct Node {
    EntryKind Kind = EntryKind::kFolder;
    int64_t Created = 0;
    int OpensUntilHeld = -1;            // 0: held open by another process
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
  int OpenFiles = 0;  // exclusive opens not yet closed
  int64_t Clock = 0;
  std::string Cwd;
  bool StartFails = false;

  char Separator() const override { return Windows() ? '\\' : '/'; }
  bool IsSeparator(char C) const override {
    return C == '/' || (Windows() && C == '\\');
  }
  bool IsFullPath(const std::string& Arg) const override;
  DriveRoot QueryDriveRoot(const std::string& Path) override;
  bool Start() override { return !StartFails; }
  std::string CurrentDirectory() override { return Cwd; }
  int64_t Now() override { return Clock; }
  void Print(const std::string& Line) override { Output.push_back(Line); }
  void PrintError(const std::string& Line) override { Errors.push_back(Line); }
  PathKind Find(const std::string& Path) override;
  PathKind Status(const std::string& Path) override;
  std::unique_ptr<Folder> OpenFolder(const std::string& Path) override;
  bool RemoveFile(const std::string& Path) override;

  // For the fake's folders and files.
  std::string Key(const std::string& Path) const;
  std::string Join(const std::string& Key, const std::string& Name) const {
    return Key + Separator() + Name;
  }
  Node* Lookup(const std::string& Key);
  void Insert(const std::string& Key, Node Item);
  void Erase(const std::string& Key);

 private:
  bool Windows() const { return Syntax_ == Style::kWindows; }
  std::pair<std::string, std::string> Split(const std::string& Key) const;

  Style Syntax_;
  std::map<std::string, Node> Nodes_;
  std::set<std::pair<Op, std::string>> Failures_;
};

}  // namespace olvane

#endif  // OLVANE_TESTS_FAKE_PLATFORM_H_
