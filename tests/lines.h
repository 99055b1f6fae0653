// Output lines as both suites' tables write them.
#ifndef OLVANE_TESTS_LINES_H_
#define OLVANE_TESTS_LINES_H_

#include <algorithm>
#include <initializer_list>
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

// Words as a table row gives them: a list, or one text parted by Gap.
template <char Gap>
struct Parted : Lines {
  Parted(Lines List = {}) : Lines(std::move(List)) {}
  Parted(std::initializer_list<std::string> List) : Lines(List) {}
  Parted(const char* Text) : Lines(Words(Text, Gap)) {}
  Parted(const std::string& Text) : Lines(Words(Text, Gap)) {}
};
using Output = Parted<'\n'>;    // lines, one per "\n"
using Arguments = Parted<' '>;  // arguments, parted by spaces

// The lines of a run that deletes (or moves) Paths (words) in this order,
// after Others, and does nothing else.
inline Lines Done(const std::string& Each, const std::string& Verb,
                  const std::string& Paths, Output Others) {
  for (const std::string& Path : Words(Paths)) Others.push_back(Each + Path);
  Others.push_back("     " + std::to_string(Words(Paths).size()) + " file(s) " +
                   Verb);
  return std::move(Others);
}
inline Lines Deleted(const std::string& Paths, Output Others = {}) {
  return Done("Delete file: ", "deleted.", Paths, std::move(Others));
}
inline Lines Moved(const std::string& Paths, Output Others = {}) {
  return Done("Move file: ", "moved.", Paths, std::move(Others));
}

// The lines of a report-only run where a real run prints Real.
inline Lines Predicted(Lines Real) {
  for (std::string& Line : Real) {
    if (Line.rfind("Delete ", 0) == 0 || Line.rfind("Move ", 0) == 0)
      Line = "Would " + std::string(1, Line[0] + 32) + Line.substr(1);
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
