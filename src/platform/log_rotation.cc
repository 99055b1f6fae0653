#include "platform/log_rotation.h"

namespace olvane {

void ShiftGenerations(const std::string& Path, int Keep,
                      const std::function<void(const std::string&,
                                               const std::string&)>& RenameOver,
                      const std::function<void(const std::string&)>& Remove) {
  if (Keep <= 0) return Remove(Path);
  for (int N = Keep - 1; N >= 1; --N) {
    RenameOver(Path + "." + std::to_string(N),
               Path + "." + std::to_string(N + 1));
  }
  RenameOver(Path, Path + ".1");
}

}  // namespace olvane
