// The generations of a log: the one step both systems take to make room,
// with the rename and the removal each system has.
#ifndef OLVANE_PLATFORM_LOG_ROTATION_H_
#define OLVANE_PLATFORM_LOG_ROTATION_H_

#include <functional>
#include <string>

namespace olvane {

// Renames Path.(Keep-1) over Path.Keep, and so on down to Path over
// Path.1, so that the oldest generation goes; with Keep 0 Path is removed.
// A generation that is missing is passed over.
void ShiftGenerations(const std::string& Path, int Keep,
                      const std::function<void(const std::string&,
                                               const std::string&)>& RenameOver,
                      const std::function<void(const std::string&)>& Remove);

}  // namespace olvane

#endif  // OLVANE_PLATFORM_LOG_ROTATION_H_
