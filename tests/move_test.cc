#include "move/move.h"

#include "fixture.h"

namespace olvane {
namespace {

TEST(MoveTest, MovesDueFilesAndReportsEachOutcome) {
  const std::vector<Item> One{Item("/archive", 0, kFolder), "/work/f"};
  const std::vector<Item> Outcomes{"/work/moved", "/work/taken",
                                   "/archive/taken",
                                   Item("/work/locked", 100, kOpenedLater),
                                   Item("/work/stays", 100, kNoMove)};
  const std::vector<Item> Replace{"/work/a", "/archive/a",
                                  "/work/b", "/archive/b/inner",
                                  "/work/c", Item("/archive/c", 9, kNoRemove)};
  const std::vector<Item> Twice{"/work/x/same", "/work/y/same",
                                Item("/archive", 0, kFolder)};
  const std::vector<Item> Kept{"/work/held", Item("/archive/held", 100, kHeld),
                               Item("/work/stays", 100, kNoMove),
                               "/archive/stays"};
  const std::string NoMove = "   Path don't find (-m:move_path)";
  const Lines Moved{"Move file: /work/f", "     1 file(s) moved."};
  Check({
      // The move folder is read from the third character on.
      {One, {"-d30", "-m:/archive", "/work"}, Moved},
      {One, {"-d30", "-M:/archive", "-Y", "/work"}, Moved},
      {One,
       {"-d30", "x-m:/archive", "/work"},
       {NoMove, "", "USAGE", "File /work/f cannot be moved.",
        "     0 file(s) moved."}},
      {One, {"-d30", "-m/archive", "-y", "/work"}, Deleted("/work/f")},
      {One,
       {"-d30", "-m:/a", "-m:/archive", "/work"},
       {NoMove, "", "USAGE", Moved[0], Moved[1]}},
      {.Tree = Outcomes,
       .Args = {"-d30", "/work", "-m:/archive//"},
       .Out = {"Cannot move file: /work/locked", "Move file: /work/moved",
               "File /work/stays cannot be moved.",
               "File /archive/taken already exist.", "     1 file(s) moved."},
       .Predict = true},
      {.Tree = {Item("/work/a", 100, kNoRemove)},
       .Args = {"-d30", "/work"},
       .Out = {"File /work/a cannot be removed.", "     0 file(s) deleted."},
       .Predict = true},
      // Replaced only with -Y or -y:, and never a folder.
      {.Tree = Replace,
       .Args = {"-d30", "/work", "-y:", "-m:/archive"},
       .Out = {"Move file: /work/a", "File /archive/b cannot be removed.",
               "File /work/b cannot be moved.",
               "File /archive/c cannot be removed.",
               "File /work/c cannot be moved.", "     1 file(s) moved."},
       .Changes = {"Replace file: /archive/a"},
       .Predict = true},
      // The old copy goes only in the step that puts the new one in its
      // place: it stays when the move fails or when it is held open.
      {Kept,
       {"-d30", "/work", "-Y", "-m:/archive"},
       {"File /archive/held cannot be removed.",
        "File /work/held cannot be moved.", "File /work/stays cannot be moved.",
        "     0 file(s) moved."}},
      // Of two files for one name the first in walk order goes.
      {.Tree = Twice,
       .Args = {"-d30", "/work", "-r", "-Y", "-m:/archive"},
       .Out = {"Move file: /work/x/same", "File /archive/same already exist.",
               "     1 file(s) moved."},
       .Predict = true},
      // A file is never its own destination.
      {{"/work/old", "/work/new"},
       {"-d30", "/work", "-Y", "-m:/work"},
       {"File /work/new already exist.", "File /work/old already exist.",
        "     0 file(s) moved."}},
      // A failed move folder moves and removes nothing; "/a" is what a bare
      // "-m:" would point at.
      {{"/work/a", "/a"},
       {"-d30", "/work", "-m:", "-Y"},
       {NoMove, "", "USAGE", "File /work/a cannot be moved.",
        "     0 file(s) moved."}},
      {{"/work/a", Item("/work/empty", 100, kFolder)},
       {"-d30", "/work", "-r", "-e", "-m:/nowhere"},
       {NoMove, "", "USAGE", "File /work/a cannot be moved.",
        "     0 file(s) moved.", "     0 folder(s) deleted."}},
      {{},
       {"-d30", "-m:/nowhere", "nothing"},
       {NoMove, "", "USAGE", "   Path don't find", "", "USAGE",
        "     0 file(s) moved."}},
      {{"/work/my-Yearly/a", "/Old-Yard/a"},
       {"-d30", "/work/my-Yearly", "-m:/Old-Yard"},
       {"File /Old-Yard/a already exist.", "     0 file(s) moved."}},
  });
  // A drive root is a folder, whatever its status says.
  Check({{{Item("C:\\", 0, kFolder | kNoStatus), "C:\\Work\\a"},
          {"-d30", "C:\\Work", "-m:C:\\"},
          {"Move file: C:\\Work\\a", "     1 file(s) moved."}},
         {{"C:\\Work\\a"},
          {"-d30", "C:\\Work", "-m:Q:\\"},
          {NoMove, "", "USAGE", "File C:\\Work\\a cannot be moved.",
           "     0 file(s) moved."}},
         // "C:" is the drive's current folder for the check and the move.
         {{"C:\\Work\\In\\r", "C:\\Work\\r", "C:\\r"},
          {"-d30", "C:\\Work\\In", "-m:C:", "-Y"},
          {"Move file: C:\\Work\\In\\r", "     1 file(s) moved."},
          {"Replace file: C:\\Work\\r"}}},
        true);
}

}  // namespace
}  // namespace olvane
