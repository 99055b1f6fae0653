#include "app/usage.h"

namespace olvane {

void PrintUsage(Platform& Sys) {
  static const char* const kLines[] = {
      "   olvane: purge expired files. V.1.0. Usage:",
      "",
      "         olvane -Ddays [FullPath][filename] [-r] [-m:move_path] [-Y]",
      "",
      "      days  - number of days (expiration term) ",
      "      file  - filename (willcards */? allowed)",
      "      -r    - recurse subdirectories",
      "   Examples:",
      "   ---------",
      "              olvane -d90 \\\\Server\\Archive\\*.zip ",
      "   will delete all files *.zip older than three months from "
      "Server\\Archive ",
      "   ",
      "             olvane -d1 \"C:\\Windows\\Temporary Internet "
      "Files\\XXX*.jpg\" -r",
      "   will delete more than one day old JPG files, name starting with XXX,",
      "   from Internet Explorer temporary folders and subfolders",
      "",
      "             olvane -d365 -r",
      "   will delete all files older than one year from current folder and "
      "subfolders ",
      "",
  };
  for (const char* Line : kLines) Sys.Print(Line);
}

void PrintHelp(Platform& Sys) {
  PrintUsage(Sys);
  static const char* const kLines[] = {
      "   More options:",
      "   -------------",
      "      -n    - report only: list what would be deleted or moved, and",
      "              change nothing",
      "      -e    - with -r: also delete each subfolder the run leaves",
      "              empty, once its own age reaches the term",
      "      -m:folder - move due files into folder instead of deleting them",
      "      -Y    - with -m: replace a file of the same name in folder",
      "      -x:mask - protect: never delete or move a file, nor enter or",
      "              remove a folder, whose name matches mask (repeatable)",
      "      -t:c, -t:m, -t:a - count the age from the creation (default),",
      "              the last modification or the last access",
      "      --cross-mounts - with -r: walk into other mounts below the target",
      "      --no-preserve-root - allow a target that takes every file of a",
      "              whole root (/, C:\\)",
      "      --workers=N - work on up to N files at once (1 to 128; by",
      "              default 128 on a share, else the processors up to 8)",
      "      --help, -h - this screen;  --version - the version",
      "",
  };
  for (const char* Line : kLines) Sys.Print(Line);
}

}  // namespace olvane
