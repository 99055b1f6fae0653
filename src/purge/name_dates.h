// Dates read from names (--date-from-name=FORMAT): a backup's name tells
// when it was made, where its file times may have been reset by a copy, a
// restore or a sync.
#ifndef OLVANE_PURGE_NAME_DATES_H_
#define OLVANE_PURGE_NAME_DATES_H_

#include <optional>
#include <string>
#include <vector>

#include "platform/civil_time.h"

namespace olvane {

// A format such as "%Y-%m-%d" or "db_%Y%m%d-%H%M": %Y four digits; %m, %d,
// %H, %M and %S two; %% a "%"; any other character itself.
class NameDateFormat {
 public:
  // The format Text means; nothing where it is empty, lacks %Y, %m or %d,
  // holds a field twice, or holds a "%" with no known letter after it.
  static std::optional<NameDateFormat> Read(const std::string& Text);

  // The date in Name where the format matches it farthest to the right and
  // gives a real date and time of day (no 30 February, no month 13, no hour
  // 24); the fields the format lacks are 0. Nothing where no such place is.
  std::optional<CivilTime> DateIn(const std::string& Name) const;

  // The format as written.
  const std::string& Text() const { return Text_; }

 private:
  // A character to match, or a field of Width digits.
  struct Piece {
    char Literal = 0;
    char Field = 0;  // 'Y', 'm', 'd', 'H', 'M', 'S'; 0: a literal
  };
  std::optional<CivilTime> DateAt(const std::string& Name, size_t At) const;

  std::string Text_;
  std::vector<Piece> Pieces_;
  size_t Width_ = 0;  // characters a match takes
};

}  // namespace olvane

#endif  // OLVANE_PURGE_NAME_DATES_H_
