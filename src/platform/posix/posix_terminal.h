// The line of progress on standard error's terminal, and the writes to the
// standard streams that must erase it first.
#ifndef OLVANE_PLATFORM_POSIX_POSIX_TERMINAL_H_
#define OLVANE_PLATFORM_POSIX_POSIX_TERMINAL_H_

#include <atomic>
#include <cstddef>
#include <mutex>
#include <string>

namespace olvane {

class TerminalLine {
 public:
  bool IsTerminal() const;
  int Columns() const;

  // Shows Line over the one shown before; "" erases it.
  void Show(const std::string& Line);

  // Writes Text to Fd (1 or 2) in whole, first erasing the line shown where
  // Fd reaches the same terminal. False when some of it could not be
  // written.
  bool Write(int Fd, const std::string& Text);

 private:
  // Erases the line shown. Holding Lock_.
  void Erase();

  std::atomic<bool> Used_{false};  // a line has ever been shown
  std::mutex Lock_;                // one writer at a time once Used_
  size_t Shown_ = 0;               // GUARDED_BY(Lock_): its columns
  int SameTerminal_ = -1;          // GUARDED_BY(Lock_): -1 not yet known
};

}  // namespace olvane

#endif  // OLVANE_PLATFORM_POSIX_POSIX_TERMINAL_H_
