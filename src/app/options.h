// Every option text the command knows, and how they are found.
#ifndef OLVANE_APP_OPTIONS_H_
#define OLVANE_APP_OPTIONS_H_

#include <string>

namespace olvane {

enum class Option {
  kDays,          // "-d", "-D": the term, read from the third character
  kMove,          // "-m:", "-M:": the move folder
  kOverwrite,     // "-Y", "-y:": replace files in the move folder
  kRecurse,       // "-r", "-R": every subfolder too
  kDryRun,        // "-n", "-N": report only
  kEmptyFolders,  // "-e", "-E": remove the folders the walk empties
};

// An option is recognised when either of its two texts occurs anywhere in
// an argument: a case-sensitive substring search, not a prefix test.
bool HasOption(const std::string& Arg, Option Which);

// Arguments that stand alone: the whole argument must be one of the texts.
// SlashHelp: "/?" asks for help too (where "/" does not begin a path).
bool IsHelpArgument(const std::string& Arg, bool SlashHelp);
bool IsVersionArgument(const std::string& Arg);

// Arg is exactly one of the long options ("--help", "--no-preserve-root"...),
// which are never scanned for short option texts.
bool IsLongOption(const std::string& Arg);

}  // namespace olvane

#endif  // OLVANE_APP_OPTIONS_H_
