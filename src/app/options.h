#ifndef OLVANE_APP_OPTIONS_H_
#define OLVANE_APP_OPTIONS_H_

#include <string>

namespace olvane {

// An option is recognised when either of its two texts occurs anywhere in
// an argument: a case-sensitive substring search, not a prefix test.
inline bool HasOption(const std::string& Arg, const char* Text,
                      const char* OtherText) {
  return Arg.find(Text) != std::string::npos ||
         Arg.find(OtherText) != std::string::npos;
}

}  // namespace olvane

#endif  // OLVANE_APP_OPTIONS_H_
