// Output lines as both suites' tables write them.
#ifndef OLVANE_TESTS_LINES_H_
#define OLVANE_TESTS_LINES_H_

#include <algorithm>
#include <string>
#include <vector>

namespace olvane {

using Lines = std::vector<std::string>;

inline Lines Sorted(Lines Text) {
  std::sort(Text.begin(), Text.end());
  return Text;
}

// The words of Text, which are parted by single spaces (or by Gap).
inline Lines Words(const std::string& Text, char Gap = ' ') {
  Lines Split;
  for (size_t At = 0, End; At < Text.size(); At = End + 1) {
    End = std::min(Text.find(Gap, At), Text.size());
    Split.push_back(Text.substr(At, End - At));
  }
  return Split;
}

// The lines of a run that deletes Paths (words) in this order, after
// Others, and does nothing else.
inline Lines Deleted(const std::string& Paths, Lines Others = {}) {
  for (const std::string& Path : Words(Paths)) {
    Others.push_back("Delete file: " + Path);
  }
  Others.push_back("     " + std::to_string(Words(Paths).size()) +
                   " file(s) deleted.");
  return Others;
}

// The lines of a report-only run where a real run prints Real.
inline Lines Predicted(Lines Real) {
  for (std::string& Line : Real) {
    if (Line.rfind("Delete ", 0) == 0 || Line.rfind("Move file: ", 0) == 0) {
      Line = "Would " + std::string(1, Line[0] + 32) + Line.substr(1);
    }
    for (const char* Done : {" deleted.", " moved."}) {
      const size_t At = Line.find(Done);
      if (Line.rfind("     ", 0) == 0 && At != std::string::npos)
        Line.insert(At, " would be");
    }
  }
  return Real;
}

}  // namespace olvane

#endif  // OLVANE_TESTS_LINES_H_
