// The status file of a run: one JSON object that a monitoring check reads
// for when the run last ended and how. Gathered from the events of the run
// as they are written, so that it says what the report says.
#ifndef OLVANE_REPORT_STATUS_RECORD_H_
#define OLVANE_REPORT_STATUS_RECORD_H_

#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "report/report.h"

namespace olvane {

// When a run began and ended: seconds since 1970 UTC and the local time's
// offset at each, and how long it took.
struct RunTimes {
  int64_t Started = 0;
  int32_t StartOffset = 0;
  int64_t Ended = 0;
  int32_t EndOffset = 0;
  int64_t DurationMs = 0;
};

class StatusRecord : public EventWatcher {
 public:
  void Saw(const Event& E) override;

  // The status file's text, a line: started, ended, duration_s, status,
  // the run's counts, path_not_found where its full-path target named no
  // folder, goal_not_met where a goal was not met, dry_run, and with a rules
  // file a "rules" array: for each rule it reached, its name, whether it ran,
  // its counts, status and path_not_found.
  std::string Render(const RunTimes& Times, int Status, bool DryRun);

 private:
  struct Part {
    std::string Name;
    bool Ran = false;  // its summary came
    int32_t Files = 0, Folders = 0;
    int64_t BytesFreed = 0;
    int Status = kNotRun;
    std::string NotFound;  // the target folder that was not there
    bool TimeUp = false;   // the time budget cut it short
    bool GoalNotMet = false;
  };
  static constexpr int kNotRun = -1;
  Part& PartOf(const std::string& Rule);  // under Lock_
  static void AddCounts(const Part& Of, std::string* Out);

  std::mutex Lock_;
  Part Run_;                 // GUARDED_BY Lock_: the run or its total
  std::vector<Part> Rules_;  // GUARDED_BY Lock_
};

}  // namespace olvane

#endif  // OLVANE_REPORT_STATUS_RECORD_H_
