#include "platform/posix/posix_terminal.h"

#include "platform/posix/posix_internal.h"

#include <errno.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>

namespace olvane {
namespace {

// Columns a text takes: one for each character (the names shown are cut
// from the left, so a wide character at worst leaves a column free).
size_t ColumnsOf(const std::string& Text) {
  size_t Count = 0;
  for (unsigned char C : Text) Count += (C & 0xC0) != 0x80;
  return Count;
}

// Whether descriptors A and B are the same terminal device.
bool IsSameTerminal(int A, int B) {
  struct stat First, Second;
  return isatty(A) && isatty(B) && fstat(A, &First) == 0 &&
         fstat(B, &Second) == 0 && First.st_rdev == Second.st_rdev;
}

}  // namespace

bool WriteAll(int Fd, const std::string& Text) {
  const char* Data = Text.data();
  size_t Left = Text.size();
  while (Left > 0) {
    ssize_t Done = write(Fd, Data, Left);
    if (Done < 0) {
      if (errno == EINTR) continue;
      if (errno != EAGAIN && errno != EWOULDBLOCK) return false;
      pollfd Ready = {Fd, POLLOUT, 0};
      if (poll(&Ready, 1, -1) < 0 && errno != EINTR) return false;
      continue;
    }
    Data += Done;
    Left -= static_cast<size_t>(Done);
  }
  return true;
}

bool TerminalLine::IsTerminal() const { return isatty(2) == 1; }

int TerminalLine::Columns() const {
  winsize Size;
  return ioctl(2, TIOCGWINSZ, &Size) == 0 && Size.ws_col > 0 ? Size.ws_col
                                                              : 80;
}

void TerminalLine::Erase() {
  if (Shown_ == 0) return;
  WriteAll(2, "\r" + std::string(Shown_, ' ') + "\r");
  Shown_ = 0;
}

void TerminalLine::Show(const std::string& Line) {
  if (!IsTerminal()) return;
  std::lock_guard<std::mutex> Hold(Lock_);
  Used_ = true;
  if (Line.empty()) return Erase();
  // Spaces cover what a longer line before left; the cursor stays at the
  // end, where the next line of the report starts after erasing.
  const size_t Columns = ColumnsOf(Line);
  std::string Text = "\r" + Line;
  if (Shown_ > Columns) Text += std::string(Shown_ - Columns, ' ');
  WriteAll(2, Text);
  Shown_ = std::max(Shown_, Columns);
}

bool TerminalLine::Write(int Fd, const std::string& Text) {
  if (!Used_) return WriteAll(Fd, Text);
  std::lock_guard<std::mutex> Hold(Lock_);
  if (SameTerminal_ < 0) SameTerminal_ = IsSameTerminal(1, 2);
  if (Fd == 2 || SameTerminal_ == 1) Erase();
  return WriteAll(Fd, Text);
}

}  // namespace olvane
