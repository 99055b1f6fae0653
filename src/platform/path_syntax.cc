#include "platform/path_syntax.h"

#include <algorithm>

namespace olvane {

bool MatchMask(const std::string& Mask, const std::string& Name) {
  // Greedy match that backtracks only to the last star: linear in practice
  // and never exponential, whatever the mask.
  size_t M = 0, N = 0;
  size_t StarM = std::string::npos, StarN = 0;
  while (N < Name.size()) {
    if (M < Mask.size() && (Mask[M] == '?' || Mask[M] == Name[N])) {
      ++M;
      ++N;
    } else if (M < Mask.size() && Mask[M] == '*') {
      StarM = M++;
      StarN = N;
    } else if (StarM != std::string::npos) {
      M = StarM + 1;
      N = ++StarN;
    } else {
      return false;
    }
  }
  while (M < Mask.size() && Mask[M] == '*') ++M;
  return M == Mask.size();
}

bool MaskTakesEveryName(const std::string& Mask, bool DotStar) {
  if (Mask.empty() || (DotStar && Mask == "*.*")) return true;
  const size_t Stars = std::count(Mask.begin(), Mask.end(), '*');
  const size_t Marks = std::count(Mask.begin(), Mask.end(), '?');
  return Stars > 0 && Marks <= 1 && Stars + Marks == Mask.size();
}

}  // namespace olvane
