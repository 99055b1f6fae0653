#include "platform/path_syntax.h"

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

}  // namespace olvane
