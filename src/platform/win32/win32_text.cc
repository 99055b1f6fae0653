// Text in and out of the process. The arguments come from the wide command
// line, split as the C runtime splits it for main. Output goes to a console
// in UTF-16 through WriteConsoleW, so that every name shows as it is; to a
// file or a pipe in UTF-8 without a byte order mark, an unpaired surrogate
// written as U+FFFD (a lone surrogate has no UTF-8 form a reader accepts).
// Line ends are "\r\n" either way. The Event Log takes UTF-16 too.
#include <algorithm>
#include <mutex>
#include <string>
#include <vector>

#include "platform/wide_text.h"
#include "platform/win32/win32_internal.h"

namespace olvane {
namespace win32 {
namespace {

struct Stream {
  bool Known = false;  // Handle and Console have been looked up
  HANDLE Handle = nullptr;
  bool Console = false;
};

// One lock for both streams, so that whole texts never interleave, even
// where standard output and standard error are the same file.
std::mutex& OutputLock() {
  static std::mutex Lock;
  return Lock;
}

Stream& StreamOf(bool ToError) {
  static Stream Streams[2];
  Stream& Out = Streams[ToError ? 1 : 0];
  if (!Out.Known) {
    Out.Known = true;
    Out.Handle = GetStdHandle(ToError ? STD_ERROR_HANDLE : STD_OUTPUT_HANDLE);
    if (Out.Handle == INVALID_HANDLE_VALUE) Out.Handle = nullptr;
    DWORD Mode = 0;
    Out.Console = Out.Handle && GetFileType(Out.Handle) == FILE_TYPE_CHAR &&
                  GetConsoleMode(Out.Handle, &Mode);
  }
  return Out;
}

bool WriteConsoleAll(HANDLE Console, const std::u16string& Text) {
  const wchar_t* Data = W(Text);
  size_t Left = Text.size();
  while (Left > 0) {
    // Consoles take a limited piece per call.
    const DWORD Piece = static_cast<DWORD>(Left < 8192 ? Left : 8192);
    DWORD Done = 0;
    if (!WriteConsoleW(Console, Data, Piece, &Done, nullptr) || Done == 0) {
      return false;
    }
    Data += Done;
    Left -= Done;
  }
  return true;
}

// The columns of the progress line shown on the console of standard error;
// 0: none. Guarded by OutputLock.
size_t& ShownWidth() {
  static size_t Width = 0;
  return Width;
}

// Erases the progress line where one is shown; under OutputLock. Standard
// output on a console is the same console: a process has one.
void ErasePrompt() {
  if (ShownWidth() == 0) return;
  WriteConsoleAll(StreamOf(true).Handle,
                  u"\r" + std::u16string(ShownWidth(), u' ') + u"\r");
  ShownWidth() = 0;
}

bool WriteFileAll(HANDLE File, const std::string& Text) {
  const char* Data = Text.data();
  size_t Left = Text.size();
  while (Left > 0) {
    const DWORD Piece = static_cast<DWORD>(Left < (1u << 30) ? Left : 1u << 30);
    DWORD Done = 0;
    if (!WriteFile(File, Data, Piece, &Done, nullptr) || Done == 0) {
      return false;
    }
    Data += Done;
    Left -= Done;
  }
  return true;
}

}  // namespace

std::string CrLfLines(const std::string& Text) {
  std::string Lines;
  Lines.reserve(Text.size() + 8);
  for (char C : Text) {
    if (C == '\n') Lines += '\r';
    Lines += C;
  }
  return Lines;
}

bool WriteText(bool ToError, const std::string& Text) {
  const std::string Lines = CrLfLines(Text);
  std::lock_guard<std::mutex> Hold(OutputLock());
  const Stream& Out = StreamOf(ToError);
  // A process started without the stream has nowhere to write to.
  if (!Out.Handle) return false;
  if (Out.Console) ErasePrompt();
  return Out.Console ? WriteConsoleAll(Out.Handle, WideFromUtf8(Lines))
                     : WriteFileAll(Out.Handle, StrictUtf8(Lines));
}

bool IsErrorConsole() {
  std::lock_guard<std::mutex> Hold(OutputLock());
  return StreamOf(true).Console;
}

int ConsoleColumns() {
  std::lock_guard<std::mutex> Hold(OutputLock());
  CONSOLE_SCREEN_BUFFER_INFO Info;
  const Stream& Error = StreamOf(true);
  if (!Error.Console || !GetConsoleScreenBufferInfo(Error.Handle, &Info)) {
    return 80;
  }
  return Info.srWindow.Right - Info.srWindow.Left + 1;
}

void ShowLine(const std::string& Line) {
  std::lock_guard<std::mutex> Hold(OutputLock());
  const Stream& Error = StreamOf(true);
  if (!Error.Console) return;
  if (Line.empty()) return ErasePrompt();
  // Spaces cover what a longer line before left.
  const std::u16string Wide = WideFromUtf8(Line);
  std::u16string Text = u"\r" + Wide;
  if (ShownWidth() > Wide.size()) Text.append(ShownWidth() - Wide.size(), u' ');
  WriteConsoleAll(Error.Handle, Text);
  ShownWidth() = std::max(ShownWidth(), Wide.size());
}

std::vector<std::string> WideArguments() {
  const wchar_t* Line = GetCommandLineW();
  const std::vector<std::u16string> Words =
      SplitCommandLine(Line ? reinterpret_cast<const char16_t*>(Line) : u"");
  std::vector<std::string> Arguments;
  for (size_t I = 1; I < Words.size(); ++I) {
    Arguments.push_back(Utf8FromWide(Words[I]));
  }
  return Arguments;
}

bool WriteEventLog(Platform::LogLevel Level, DWORD EventId,
                   const std::string& Text) {
  const WORD Type =
      Level == Platform::LogLevel::kInfo      ? EVENTLOG_INFORMATION_TYPE
      : Level == Platform::LogLevel::kWarning ? EVENTLOG_WARNING_TYPE
                                              : EVENTLOG_ERROR_TYPE;
  HANDLE Source = RegisterEventSourceW(nullptr, L"olvane");
  if (!Source) return false;
  const std::u16string Wide = WideFromUtf8(Text);
  const wchar_t* Strings[] = {W(Wide)};
  const bool Written =
      ReportEventW(Source, Type, 0, EventId, nullptr, 1, 0, Strings, nullptr);
  DeregisterEventSource(Source);
  return Written;
}

}  // namespace win32
}  // namespace olvane
