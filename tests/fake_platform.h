// An in-memory platform for the tests: a tree of folders and files kept in a
// map, a clock that the test sets, files marked as held open by another
// process, failures injected per operation and path, and a record of what
// was removed and moved. It speaks either path syntax.
#ifndef OLVANE_TESTS_FAKE_PLATFORM_H_
#define OLVANE_TESTS_FAKE_PLATFORM_H_

#include <cstdint>
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

  explicit FakePlatform(Style Syntax = Style::kPosix);

  // Builds the tree. Missing parent folders are made on the way. Children
  // are listed in the order in which they were added.
  void AddFolder(const std::string& Path);
  void AddFile(const std::string& Path, int64_t Created);
  void AddEntry(const std::string& Path, EntryKind Kind, int64_t Created = 0);

  // Another process holds the file open from now on...
  void HoldOpen(const std::string& Path);
  // ...or from the moment this process has opened it Opens more times.
  void HoldAfter(const std::string& Path, int Opens);
  // Every later Op on Path fails.
  void Fail(Op Operation, const std::string& Path);

  bool Has(const std::string& Path) const;

  // What the run did.
  std::vector<std::string> Output;
  std::vector<std::string> Errors;
  std::vector<std::string> Removed;
  std::vector<std::pair<std::string, std::string>> Moved;
  std::vector<std::string> Opened;
  int OpenFiles = 0;  // exclusive opens not yet closed

  int64_t Clock = 0;
  std::string Cwd;
  bool StartFails = false;

  // Platform.
  char Separator() const override;
  bool IsSeparator(char C) const override;
  bool IsFullPath(const std::string& Arg) const override;
  DriveRoot QueryDriveRoot(const std::string& Path) override;
  bool Start() override { return !StartFails; }
  std::string CurrentDirectory() override { return Cwd; }
  int64_t Now() override { return Clock; }
  void Print(const std::string& Line) override { Output.push_back(Line); }
  void PrintError(const std::string& Line) override {
    Errors.push_back(Line);
  }
  PathKind Find(const std::string& Path) override;
  PathKind Status(const std::string& Path) override;
  std::unique_ptr<Folder> OpenFolder(const std::string& Path) override;
  bool RemoveFile(const std::string& Path) override;

 private:
  friend class FakeFolder;
  friend class FakeFile;
  friend class FakeListing;
  struct Node {
    explicit Node(EntryKind Type = EntryKind::kFolder) : Kind(Type) {}
    EntryKind Kind;
    int64_t Created = 0;
    bool Held = false;
    int OpensBeforeHeld = -1;
    std::vector<std::string> Children;
  };

  std::string Key(const std::string& Path) const;
  std::string Parent(const std::string& Key) const;
  std::string Join(const std::string& Key, const std::string& Name) const;
  const Node* Lookup(const std::string& Key) const;
  bool Fails(Op Operation, const std::string& Key) const;
  void Insert(const std::string& Key, Node Item);
  void Erase(const std::string& Key);
  std::unique_ptr<ExclusiveFile> OpenExclusive(const std::string& Key);

  Style Syntax_;
  std::map<std::string, Node> Nodes_;
  std::set<std::pair<Op, std::string>> Failures_;
};

}  // namespace olvane

#endif  // OLVANE_TESTS_FAKE_PLATFORM_H_
