// Every option the command knows, in one table: its long name, its short
// form, the kind of value it takes and its help lines. The command line,
// the help screen and the words of the options read from it.
#ifndef OLVANE_APP_OPTIONS_H_
#define OLVANE_APP_OPTIONS_H_

#include <cstdint>
#include <string>

namespace olvane {

// The short options, each found by either of two texts.
enum class Option {
  kDays,          // "-d", "-D": the term, read from the third character
  kMove,          // "-m:", "-M:": the move folder
  kOverwrite,     // "-Y", "-y:": replace files in the move folder
  kRecurse,       // "-r", "-R": every subfolder too
  kDryRun,        // "-n", "-N": report only
  kEmptyFolders,  // "-e", "-E": remove the folders the walk empties
  kProtect,       // "-x:", "-X:": a protect mask
  kAge,           // "-t:", "-T:": the time a file's age counts from
};

// An option is recognised when either of its two texts occurs anywhere in
// an argument: a case-sensitive substring search, not a prefix test.
bool HasOption(const std::string& Arg, Option Which);

// The options that carry a value ("-m:", "-x:", "-t:"). An argument that
// holds one of their texts is that option alone: never part of the target,
// never read for another option. Where it holds several, the text that comes
// first decides (a move folder "-m:/srv/a-x:b" is a move folder). Answers
// false when Arg is no such argument; *Which is set otherwise.
bool IsValueOption(const std::string& Arg, Option* Which = nullptr);

// The value such an argument carries: the argument from its fourth
// character on, wherever the option text stood.
std::string OptionValue(const std::string& Arg);

// The long options: each is only ever a whole argument, never scanned for
// short texts nor taken as a target.
enum class ExactOption {
  kNone,
  kHelp,            // "--help", "-h", and "/?" where SlashHelp
  kVersion,         // "--version"
  kCrossMounts,     // "--cross-mounts"
  kNoPreserveRoot,  // "--no-preserve-root"
  kWorkers,         // "--workers=N"
  kJson,            // "--json"
  kNoProgress,      // "--no-progress"
  kFolders,         // "--folders": the mask selects whole folders
  // Retention goals.
  kKeep,      // "--keep=N"
  kMaxSize,   // "--max-size=SIZE"
  kMinFree,   // "--min-free=SIZE" or "--min-free=P%"
  kMaxFiles,  // "--max-files=N"
  // Backups: dates read from names, and the newest of each period kept.
  kDateFromName,  // "--date-from-name=FORMAT"
  kKeepDaily,     // "--keep-daily=N"
  kKeepWeekly,    // "--keep-weekly=N"
  kKeepMonthly,   // "--keep-monthly=N"
  kKeepYearly,    // "--keep-yearly=N"
  // The long names of the short options: each means what its short form
  // means.
  kDays,         // "--days=N": -dN
  kRecurse,      // "--recurse": -r
  kMoveTo,       // "--move-to=FOLDER": -m:FOLDER
  kReplace,      // "--replace": -Y
  kDryRun,       // "--dry-run": -n
  kRemoveEmpty,  // "--remove-empty": -e
  kProtect,      // "--protect=MASK": -x:MASK
  kAgeBy,        // "--age-by=creation|modification|access": -t:c, m, a
  // A rules file in place of a target and its options.
  kConfig,  // "--config=PATH": the rules of a file, or of a folder's files
  kCheck,   // "--check": read and print the rules, walk nothing
  kRule,    // "--rule=NAME": run only the named rules (repeatable)
  // Runs nobody watches.
  kLog,         // "--log=FILE": the report appended to FILE
  kLogMax,      // "--log-max=SIZE": the size above which FILE is rotated
  kLogKeep,     // "--log-keep=N": the old logs kept
  kStatusFile,  // "--status-file=FILE": how the run ended, replaced
  kMaxTime,     // "--max-time=DURATION": no file started after it
  // Unattended runs.
  kSystemLog,  // "--system-log": one entry per run in the system's own log
};

// SlashHelp: "/?" asks for help too (where "/" does not begin a path). A
// long option that takes a value is recognised alone too ("--keep"), and is
// then refused for its missing value.
ExactOption ExactOptionOf(const std::string& Arg, bool SlashHelp);

// Whether Arg is written as a long option that the command does not know:
// it begins with "--" (or an em or en dash, as pasted from a document)
// and is none of the exact options above. Where SlashHelp, also "/" and a
// long option's name in any case, or "/" and a word with "=" ("/keep=3"):
// the Windows way of writing the same option. A misspelt goal must refuse
// the run, never leave the purge without its limit.
bool IsUnknownOption(const std::string& Arg, bool SlashHelp);

// The help screen's section on the options, from the table: each option
// with its short form, if any, and its help lines.
std::string OptionsHelp();

// The number a workers argument sets: "--workers=" and 1 to Most in decimal
// digits. False for anything else.
bool ParseWorkers(const std::string& Arg, int Most, int* Workers);

// What follows the "=" of a "--name=VALUE" argument; "" when none does.
std::string LongOptionValue(const std::string& Arg);

// A count: decimal digits only, at least Least, and within 63 bits.
bool ParseCount(const std::string& Text, int64_t Least, int64_t* Count);

// A size in bytes: a count with an optional suffix K, M, G or T (powers of
// 1024, either case), within 63 bits.
bool ParseSize(const std::string& Text, int64_t* Bytes);

// A time budget in milliseconds: a count of 1 or more and one of "s",
// "m" or "h", within 2^62 milliseconds.
bool ParseDuration(const std::string& Text, int64_t* Millis);

// A free-space goal: a size, or a percentage "P%" from 0 to 100. Sets one
// of the two and leaves the other as it is.
bool ParseFreeGoal(const std::string& Text, int64_t* Bytes, int* Percent);

}  // namespace olvane

#endif  // OLVANE_APP_OPTIONS_H_
