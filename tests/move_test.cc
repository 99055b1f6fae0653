#include "move/move.h"

#include "fixture.h"

namespace olvane {
namespace {

// How the move folder is read is in the command line's table.
TEST(MoveTest, MovesDueFilesAndReportsEachOutcome) {
  Check({
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
}

}  // namespace
}  // namespace olvane
