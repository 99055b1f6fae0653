#include "platform/held_open.h"

#include <cstdio>

namespace olvane {

HeldFiles LookAtOtherProcesses(ProcessTable& Table, const FileId* Wanted) {
  HeldFiles Held;
  std::vector<std::string> Processes;
  std::vector<FileId> Files;
  if (Table.FilesOfKernel(&Files) != TableRead::kRead ||
      !Table.ListOthers(&Processes)) {
    return Held;
  }
  for (const FileId& Id : Files) {
    if (Wanted && !(Id == *Wanted)) continue;
    Held.Files_.insert(Id);
    if (Wanted) return Held;
  }
  for (const std::string& Process : Processes) {
    Files.clear();
    std::vector<std::string> Threads;
    bool MainGone = false;
    TableRead Read = Table.ThreadsOf(Process, &Threads, &MainGone);
    if (Read == TableRead::kRead && !MainGone) {
      Read = Table.FilesOf(Process, "", &Files);
    }
    // A thread that ended meanwhile holds nothing more; one whose table
    // cannot be read may hold anything.
    std::vector<FileId> Own;
    for (size_t I = 0; I < Threads.size() && Read == TableRead::kRead; ++I) {
      Own.clear();
      const TableRead Thread = Table.FilesOf(Process, Threads[I], &Own);
      if (Thread == TableRead::kGone) continue;
      Read = Thread;
      Files.insert(Files.end(), Own.begin(), Own.end());
    }
    // An unread table leaves every file in doubt: nothing more to learn.
    if (Read == TableRead::kUnreadable) return Held;
    if (Read == TableRead::kGone) continue;
    for (const FileId& Id : Files) {
      if (Wanted && !(Id == *Wanted)) continue;
      Held.Files_.insert(Id);
      if (Wanted) return Held;  // incomplete, but the answer is known
    }
  }
  Held.Complete_ = true;
  return Held;
}

void ParseMappedFiles(const std::string& Text, std::vector<FileId>* Files) {
  for (size_t Line = 0; Line < Text.size();) {
    size_t End = Text.find('\n', Line);
    if (End == std::string::npos) End = Text.size();
    // One line at a time, so that a short line cannot borrow the next one's
    // fields.
    const std::string One = Text.substr(Line, End - Line);
    FileId Id;
    unsigned long long Inode = 0;
    if (std::sscanf(One.c_str(), "%*s %*s %*s %x:%x %llu", &Id.Major, &Id.Minor,
                    &Inode) == 3 &&
        Inode != 0) {
      Id.Inode = Inode;
      Files->push_back(Id);
    }
    Line = End + 1;
  }
}

}  // namespace olvane
