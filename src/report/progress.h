// A line on the terminal for a person watching a long run: what has been
// examined and done so far and the folder being walked, rewritten in place
// at most four times a second. Nothing is counted ahead; the report on
// standard output reads exactly as without it (the platform erases the line
// before any other output reaches its terminal).
#ifndef OLVANE_REPORT_PROGRESS_H_
#define OLVANE_REPORT_PROGRESS_H_

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>

#include "platform/platform.h"

namespace olvane {

// What the line shows.
struct ProgressState {
  // Where a run that ranks the due files is: it examines the whole tree
  // first, then acts.
  enum class Phase { kWalking, kExamining, kActing };
  int64_t Examined = 0;  // files listed and looked at
  int64_t Acted = 0;     // files acted on (or that would be)
  int64_t Freed = 0;     // bytes those freed
  std::string Folder;    // the folder being walked
  Phase Stage = Phase::kWalking;
  int64_t NeedFiles = -1;  // what a goal still needs; -1: nothing asked
  int64_t NeedBytes = -1;
};

// The line for State in at most Columns - 1 columns (the last one would
// wrap on some terminals): the counts, then the folder, cut from the left.
// Verb tells what acting is ("deleted", "moved", ...). The folder is
// escaped as the report escapes paths (Wtf8: as Printable's).
std::string ProgressText(const ProgressState& State, const std::string& Verb,
                         int Columns, bool Wtf8 = false);

class ProgressLine {
 public:
  // Shows the line at once and then four times a second until destroyed,
  // when it is erased.
  ProgressLine(Platform& Sys, std::string Verb);
  ~ProgressLine();
  ProgressLine(const ProgressLine&) = delete;
  ProgressLine& operator=(const ProgressLine&) = delete;

  // Each may be called from any thread.
  void Examined() { Examined_.fetch_add(1, std::memory_order_relaxed); }
  void Acted(int64_t Files, int64_t Freed);
  void Entering(const std::string& Folder);
  void Ranking(ProgressState::Phase Stage, int64_t NeedFiles,
               int64_t NeedBytes);

 private:
  void Tick();
  void Draw();

  Platform& Sys_;
  const std::string Verb_;
  std::atomic<int64_t> Examined_{0};
  std::atomic<int64_t> Acted_{0};
  std::atomic<int64_t> Freed_{0};
  std::mutex Lock_;
  ProgressState Rest_;  // GUARDED_BY(Lock_): folder, phase and needs
  bool Done_ = false;   // GUARDED_BY(Lock_)
  std::condition_variable Wake_;
  std::thread Ticker_;  // last: started once the rest is made
};

}  // namespace olvane

#endif  // OLVANE_REPORT_PROGRESS_H_
