#include "app/choice_options.h"

#include <optional>
#include <utility>

namespace olvane {
namespace {

// The count a keep rule's option sets; null for another option.
int64_t Goals::*KeepCountOf(ExactOption Which) {
  switch (Which) {
    case ExactOption::kKeep:
      return &Goals::Keep;
    case ExactOption::kKeepDaily:
      return &Goals::KeepDaily;
    case ExactOption::kKeepWeekly:
      return &Goals::KeepWeekly;
    case ExactOption::kKeepMonthly:
      return &Goals::KeepMonthly;
    case ExactOption::kKeepYearly:
      return &Goals::KeepYearly;
    default:
      return nullptr;
  }
}

bool IsGoalSet(const Goals& Goal, ExactOption Which) {
  if (int64_t Goals::*Count = KeepCountOf(Which)) return Goal.*Count > 0;
  switch (Which) {
    case ExactOption::kMaxSize:
      return Goal.MaxSize >= 0;
    case ExactOption::kMinFree:
      return Goal.MinFreeBytes >= 0 || Goal.MinFreePercent >= 0;
    default:
      return Goal.MaxFiles >= 0;
  }
}

bool SameGoals(const Goals& A, const Goals& B) {
  return A.Keep == B.Keep && A.MaxSize == B.MaxSize &&
         A.MinFreeBytes == B.MinFreeBytes &&
         A.MinFreePercent == B.MinFreePercent && A.MaxFiles == B.MaxFiles &&
         A.KeepDaily == B.KeepDaily && A.KeepWeekly == B.KeepWeekly &&
         A.KeepMonthly == B.KeepMonthly && A.KeepYearly == B.KeepYearly;
}

// A retention goal's argument read into *Goal. False, with the refusal in
// *Line, for a malformed value or one that differs from an earlier one.
bool ReadGoal(ExactOption Which, const std::string& Arg, Goals* Goal,
              CommandLine* Line) {
  const std::string Value = LongOptionValue(Arg);
  Goals Read = *Goal;
  bool Valid = false;
  EventKind Why = EventKind::kInvalidKeep;
  if (int64_t Goals::*Count = KeepCountOf(Which)) {
    if (Which != ExactOption::kKeep) Why = EventKind::kInvalidKeepPeriod;
    Valid = ParseCount(Value, 1, &(Read.*Count));
  } else if (Which == ExactOption::kMaxSize) {
    Why = EventKind::kInvalidMaxSize;
    Valid = ParseSize(Value, &Read.MaxSize);
    Read.MaxSizeText = Arg;
  } else if (Which == ExactOption::kMinFree) {
    Why = EventKind::kInvalidMinFree;
    Read.MinFreeBytes = Read.MinFreePercent = -1;
    Valid = ParseFreeGoal(Value, &Read.MinFreeBytes, &Read.MinFreePercent);
    Read.MinFreeText = Arg;
  } else {
    Why = EventKind::kInvalidMaxFiles;
    Valid = ParseCount(Value, 0, &Read.MaxFiles);
  }
  // A goal given twice must say the same both times.
  const bool Repeated = IsGoalSet(*Goal, Which);
  if (Valid && Repeated && !SameGoals(Read, *Goal)) {
    Why = EventKind::kConflictingGoal;
    Valid = false;
  }
  if (!Valid) {
    *Line = Refused(Why, Arg);
    return false;
  }
  if (!Repeated) *Goal = std::move(Read);
  return true;
}

// A format of --date-from-name; false, with the refusal in *Line, for one
// that cannot be read or that differs from an earlier one.
bool ReadDateFormat(const std::string& Arg, CommandLine* Line) {
  std::optional<NameDateFormat>& Dates = Line->Settings.NameDates;
  const std::string Value = LongOptionValue(Arg);
  if (Dates && Dates->Text() != Value) {
    *Line = Refused(EventKind::kConflictingGoal, Arg);
    return false;
  }
  Dates = NameDateFormat::Read(Value);
  if (!Dates) *Line = Refused(EventKind::kInvalidDateFormat, Arg);
  return Dates.has_value();
}

}  // namespace

bool IsChoiceOption(ExactOption Which) {
  switch (Which) {
    case ExactOption::kKeep:
    case ExactOption::kMaxSize:
    case ExactOption::kMinFree:
    case ExactOption::kMaxFiles:
    case ExactOption::kKeepDaily:
    case ExactOption::kKeepWeekly:
    case ExactOption::kKeepMonthly:
    case ExactOption::kKeepYearly:
    case ExactOption::kDateFromName:
      return true;
    default:
      return false;
  }
}

bool ReadChoiceOption(ExactOption Which, const std::string& Arg,
                      CommandLine* Line) {
  if (Which == ExactOption::kDateFromName) return ReadDateFormat(Arg, Line);
  return ReadGoal(Which, Arg, &Line->Settings.Goal, Line);
}

}  // namespace olvane
