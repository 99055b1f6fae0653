// The rules file: several purges in one configuration, each a [name] and
// its keys, read into the command lines they mean. Reading prints nothing
// and changes nothing; every fault is an error line that refuses its rule,
// or the whole configuration where it cannot be read at all.
//
//   # ';' starts a comment too
//   [iis-logs]
//   target = D:\inetpub\logs\LogFiles\*.log
//   days = 30
//   recurse = yes
//
// The keys are the long options without "--" (target, days, recurse,
// move-to, replace, remove-empty, protect, age-by, cross-mounts,
// no-preserve-root, keep, max-size, min-free, max-files, workers); only
// protect may be given more than once. Flags take yes, no, true, false, 1
// or 0. A value may be put in double quotes to keep its blanks; nothing
// else is escaped.
#ifndef OLVANE_APP_RULES_FILE_H_
#define OLVANE_APP_RULES_FILE_H_

#include <cstddef>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace olvane {

// The most a rules file may hold: far beyond any real one, and a bound on
// what a wrong path (a disk image, a log) costs before it is refused.
constexpr size_t kMostRulesBytes = size_t{16} << 20;

// One rule of a rules file, as the command line it means.
struct Rule {
  std::string Name;
  std::string Where;  // "FILE:LINE" of its [name]
  // The long options it means in the order given, its target last:
  // "--days=30", "--recurse", "--protect=*.keep", "D:\Logs\*.log". A flag
  // set to no is left out. Read by ReadCommandLine as it reads a command
  // line, to the target given.
  std::vector<std::string> Args;
  // "FILE:LINE: what is wrong", one line each (control characters escaped,
  // long values cut short). A rule with any is refused: it runs nothing.
  std::vector<std::string> Errors;
};

struct RulesFile {
  // Not empty when the configuration cannot be read at all ("FILE: what is
  // wrong"): no file, not text, too large. Rules and Errors are then empty.
  std::string Error;
  // Errors of lines that belong to no rule (a key before the first [name]),
  // as Rule::Errors: they refuse no rule, but the configuration is faulty.
  std::vector<std::string> Errors;
  std::vector<Rule> Rules;  // in file order, then line order
};

// Reads the rules file Path, or every "*.conf" file of the folder Path in
// the byte order of their names. Names beginning with "." are skipped (as
// are, by the mask, editors' and package managers' leftovers: "~", ".bak",
// ".swp", ".dpkg-old", ".rpmnew"...), so are folders and other entries
// that are no files. Path is read against the current directory. A
// configuration without any rule is valid.
RulesFile ReadRules(Platform& Sys, const std::string& Path);

// Reads the text Bytes of one rules file, whose errors name it File, and
// appends its rules to *Out. A rule name given earlier, in this file or
// another already in *Out, refuses both rules. Sets Out->Error, and adds
// nothing, when Bytes is no text: a NUL byte (binary, or UTF-16 without a
// byte-order mark), invalid UTF-8, or UTF-16 that is not little-endian
// with its byte-order mark or is cut short.
void ParseRules(const std::string& File, const std::string& Bytes,
                Platform& Sys, RulesFile* Out);

}  // namespace olvane

#endif  // OLVANE_APP_RULES_FILE_H_
