#include "purge/purge_folder.h"

#include "fixture.h"

namespace olvane {
namespace {

TEST(PurgeFolderTest, IsExpiredHoldsAtTheDayBoundaries) {
  struct {
    int64_t Age;
    int32_t Day;
    bool Expired;
  } Cases[] = {
      {30 * kDay, 30, true}, {30 * kDay - 1, 30, false},         {-1, 0, false},
      {0, INT32_MAX, false}, {50 * 365 * kDay, INT32_MIN, true},
  };
  for (const auto& C : Cases) {
    EXPECT_EQ(IsExpired(kNow - C.Age, kNow, C.Day), C.Expired)
        << "age " << C.Age << " term " << C.Day;
  }
}

TEST(PurgeFolderTest, WalksDepthFirstAndReportsEachOutcome) {
  const auto Aged = [](const char* Path, int64_t Seconds) {
    Item File(Path, 0);
    File.Entry.Created = File.Entry.Modified = File.Entry.Accessed =
        kNow - Seconds;
    return File;
  };
  const std::vector<Item> Folders{"/t/f1", "/t/S1/x", "/t/S1/deep/y",
                                  "/t/f2", "/t/S2/z", Item("/t/young", 29)};
  const std::vector<Item> Masks{"/t/a.log",         "/t/a.txt",
                                "/t/dir.log/b.log", "/t/other/c.log",
                                "/t/other/c.txt",   "/t/app/x.log/inner",
                                "/t/b/c/x.log"};
  Check({
      // Trailing separators change nothing.
      {Folders, "-d30 /t//", Deleted("/t/f1 /t/f2")},
      {Folders, "-d30 /t -r",
       Deleted("/t/f1 /t/f2 /t/S1/x /t/S1/deep/y /t/S2/z")},
      {Masks, "-d30 /t/*.log", Deleted("/t/a.log")},
      // The mask goes into every subfolder; a folder whose name matches is
      // entered, never disposed of.
      {Masks, "-d30 /t/*.log -r",
       Deleted("/t/a.log /t/b/c/x.log /t/dir.log/b.log /t/other/c.log")},
      {Masks, "-d30 /missing/*.log -r", Deleted("")},
      // What the end-to-end suite cannot stage: a folder that opens but
      // cannot be listed, a status unreadable on the open file, a file gone
      // once listed; a young held file is never opened.
      {{Item("/t/gone", 100, kGone), "/t/last",
        Item("/t/nostatus", 100, kNoStatus),
        Item("/t/u", 100, kFolder | kNoList), "/t/u/x",
        Item("/t/young-held", 29, kHeld)},
       "-d30 /t -r",
       "Cannot open file: /t/gone\nDelete file: /t/last\n"
       "Error in BOOL CheckDate(CString FileName, int Day)\n"
       "Cannot open folder: /t/u\n     1 file(s) deleted."},
      // A ranked run says so once, though it walks the tree again for -e.
      {{Item("/t/u", 100, kFolder | kNoList), "/t/u/x", "/t/a"},
       "-d30 /t -r -e --max-files=9",
       "Cannot open folder: /t/u\nDelete file: /t/a\n     1 file(s) deleted.\n"
       "     0 folder(s) deleted."},
      // Emptied folders go when their own term is due, never the target.
      {.Tree = {"/work/t/a/x", "/work/t/a/b/y", "/work/t/keep/z",
                Item("/work/t/held/h", 100, kHeld),
                Item("/work/t/fresh", 0, kFolder),
                Item("/work/t/keep/young", 0)},
       .Args = "-d30 /work/t -r -E",
       .Out = {"Delete file: /work/t/a/x", "Delete file: /work/t/a/b/y",
               "Delete folder: /work/t/a/b", "Delete folder: /work/t/a",
               "Cannot open file: /work/t/held/h",
               "Delete file: /work/t/keep/z", "     3 file(s) deleted.",
               "     2 folder(s) deleted."},
       .Predict = true},
      // On a share every walk lists its subfolders ahead: the plain one, -e
      // and a ranked run's.
      {.Tree = {"/t/a/x", "/t/b/y", Item("/t/b/z", 200)},
       .Args = "-d30 /t -r -e",
       .Out = {"Delete file: /t/a/x", "Delete folder: /t/a",
               "Delete file: /t/b/y", "Delete file: /t/b/z",
               "Delete folder: /t/b", "     3 file(s) deleted.",
               "     2 folder(s) deleted."},
       .Share = "/t"},
      {.Tree = {"/t/a/x", "/t/b/y", Item("/t/b/z", 200)},
       .Args = "-d30 /t -r --max-files=1",
       .Out = {"Delete file: /t/b/z", "     1 file(s) deleted."},
       .Share = "/t"},
      // Dates from names in local time, the fake's an hour east of UTC:
      // 08:30 there is 24.5 hours before the clock, 09:30 23.5; file times
      // count for nothing, and a name without a date stays. Ranked too.
      {.Tree = {Item("/t/b-2027-01-14_0830", 0),
                Item("/t/b-2027-01-14_0930", 0), "/t/notes"},
       .Args = "-d1 /t --date-from-name=b-%Y-%m-%d_%H%M",
       .Out = {"Delete file: /t/b-2027-01-14_0830", "     1 file(s) deleted.",
               "     1 name(s) without a date left alone."},
       .Predict = true},
      {.Tree = {Item("/t/b-2027-01-14_0830", 0),
                Item("/t/b-2027-01-14_0930", 0), "/t/notes"},
       .Args = "-d1 /t --date-from-name=b-%Y-%m-%d_%H%M --max-files=5",
       .Out = {"Delete file: /t/b-2027-01-14_0830", "     1 file(s) deleted.",
               "     1 name(s) without a date left alone."}},
      // Local days too: 23:30 and 22:30 UTC lie on two of them.
      {.Tree = {Aged("/t/a", 30600), Aged("/t/b", 34200), Aged("/t/c", 158400)},
       .Args = "-d0 /t --keep-daily=2",
       .Out = {"Delete file: /t/c", "     1 file(s) deleted."},
       .Predict = true},
      // Moves; how the move folder is read is in the command line's table.
      {.Tree = {"/work/moved", "/work/taken", "/archive/taken",
                Item("/work/locked", 100, kOpenedLater),
                Item("/work/stays", 100, kNoMove)},
       .Args = "-d30 /work -m:/archive//",
       .Out = {"Cannot move file: /work/locked", "Move file: /work/moved",
               "File /work/stays cannot be moved.",
               "File /archive/taken already exist.", "     1 file(s) moved."},
       .Predict = true},
      // Replaced only with -Y or -y:, and never a folder.
      {.Tree = {"/work/a", "/archive/a", "/work/b", "/archive/b/inner",
                "/work/c", Item("/archive/c", 9, kNoRemove)},
       .Args = "-d30 /work -y: -m:/archive",
       .Out = {"Move file: /work/a", "File /archive/b cannot be removed.",
               "File /work/b cannot be moved.",
               "File /archive/c cannot be removed.",
               "File /work/c cannot be moved.", "     1 file(s) moved."},
       .Changes = {"Replace file: /archive/a"},
       .Predict = true},
      // A file is never its own destination.
      {{"/work/old", "/work/new"},
       "-d30 /work -Y -m:/work",
       "File /work/new already exist.\nFile /work/old already exist.\n"
       "     0 file(s) moved."},
  });
  // Where there are drives, a target that trimming leaves empty names none.
  Check({{{"C:\\x.log"}, "-d0 \\\\", Deleted("")}}, true);
}

// Workers that finish out of order, in big folders and across many small
// ones, still give the one-thread walk's output.
TEST(PurgeFolderTest, WorkersKeepTheOrderOfTheOneThreadWalk) {
  Case Walk{{}, "-d30 /t -r", {}};
  int Count = 0;
  for (int File = 0; File < 1500; ++File) {
    const std::string Path = File < 600
                                 ? "/t/d" + std::to_string(File / 150) + "/f" +
                                       std::to_string(1000 + File % 150)
                                 : "/t/m/s" + std::to_string(1000 + File / 3) +
                                       "/f" + std::to_string(File % 3);
    // Slow files now and then let the later ones overtake.
    Walk.Tree.emplace_back(
        Path.c_str(), File % 7 ? 100 : 0,
        (File % 61 == 1 ? kSlow : 0) | (File % 11 ? 0 : kHeld));
    if (File % 7 == 0) continue;
    const bool Held = File % 11 == 0;
    Walk.Out.push_back((Held ? "Cannot open file: " : "Delete file: ") + Path);
    Count += !Held;
  }
  Walk.Out.push_back("     " + std::to_string(Count) + " file(s) deleted.");
  // On a share the folders are opened and listed ahead of the walk too.
  Case Shared = Walk;
  Shared.Share = "/t";
  Check({Walk, Shared});
}

}  // namespace
}  // namespace olvane
