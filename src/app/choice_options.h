// The options that choose which due files a run acts on and which it
// keeps: the retention goals, and the dates read from names that their
// ages and keep periods go by. Read the same way with a target and in a
// rules file.
#ifndef OLVANE_APP_CHOICE_OPTIONS_H_
#define OLVANE_APP_CHOICE_OPTIONS_H_

#include <string>

#include "app/command_line.h"
#include "app/options.h"

namespace olvane {

// Whether Which is one of them.
bool IsChoiceOption(ExactOption Which);

// The argument Arg of the option Which into *Line. False, with *Line the
// refusal, for a value that cannot be read or one that differs from an
// earlier one.
bool ReadChoiceOption(ExactOption Which, const std::string& Arg,
                      CommandLine* Line);

}  // namespace olvane

#endif  // OLVANE_APP_CHOICE_OPTIONS_H_
