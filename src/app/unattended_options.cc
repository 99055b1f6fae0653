#include "app/unattended_options.h"

namespace olvane {

bool ReadUnattended(Platform& Sys, ExactOption Which, const std::string& Arg,
                    CommandLine* Line) {
  const std::string Value = LongOptionValue(Arg);
  CommandLine Read = *Line;
  EventKind Why = EventKind::kMissingFileName;
  bool Valid = true;
  if (Which == ExactOption::kLog || Which == ExactOption::kStatusFile) {
    Valid = !Value.empty();
    const std::string Path = Sys.ResolvePath(Sys.CurrentDirectory(), Value);
    (Which == ExactOption::kLog ? Read.Log : Read.StatusFile) = Path;
  } else if (Which == ExactOption::kLogMax) {
    Why = EventKind::kInvalidLogMax;
    Valid = ParseSize(Value, &Read.LogMax);
  } else if (Which == ExactOption::kLogKeep) {
    Why = EventKind::kInvalidLogKeep;
    int64_t Keep = 0;
    Valid = ParseCount(Value, 0, &Keep) && Keep <= 1000;
    Read.LogKeep = static_cast<int>(Keep);
  } else {
    Why = EventKind::kInvalidMaxTime;
    Valid = ParseDuration(Value, &Read.MaxTimeMs);
    Read.MaxTimeText = Arg;
  }
  // Given twice, it must say the same both times.
  const CommandLine Fresh;
  const auto Changed = [&](auto Field) {
    return Line->*Field != Fresh.*Field && Read.*Field != Line->*Field;
  };
  const bool Repeated =
      Changed(&CommandLine::Log) || Changed(&CommandLine::StatusFile) ||
      Changed(&CommandLine::LogMax) || Changed(&CommandLine::LogKeep) ||
      Changed(&CommandLine::MaxTimeMs);
  if (Valid && Repeated) {
    Why = EventKind::kConflictingGoal;
    Valid = false;
  }
  if (Valid && !Read.Log.empty() &&
      Sys.NameKey(Read.Log) == Sys.NameKey(Read.StatusFile)) {
    Why = EventKind::kLogIsStatusFile;
    Valid = false;
  }
  if (!Valid) Read = Refused(Why, Arg);
  *Line = std::move(Read);
  return Valid;
}

bool IsUnattended(ExactOption Which) {
  return Which == ExactOption::kLog || Which == ExactOption::kLogMax ||
         Which == ExactOption::kLogKeep || Which == ExactOption::kStatusFile ||
         Which == ExactOption::kMaxTime;
}

}  // namespace olvane
