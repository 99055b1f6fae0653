#include "report/progress.h"

#include <chrono>
#include <cinttypes>
#include <cstdio>

#include "report/printable.h"

namespace olvane {
namespace {

std::string BytesText(int64_t Bytes) {
  static const char* const kUnits[] = {"B", "KiB", "MiB", "GiB", "TiB", "PiB"};
  double Value = static_cast<double>(Bytes);
  size_t Unit = 0;
  while (Value >= 1024 && Unit + 1 < sizeof kUnits / sizeof *kUnits) {
    Value /= 1024;
    ++Unit;
  }
  char Text[32];
  std::snprintf(Text, sizeof Text, Unit == 0 ? "%.0f %s" : "%.1f %s", Value,
                kUnits[Unit]);
  return Text;
}

// The last Columns characters of Text (UTF-8), after "...", where it is
// wider.
std::string TailOf(const std::string& Text, size_t Columns) {
  size_t Count = 0;
  for (unsigned char C : Text) Count += (C & 0xC0) != 0x80;
  if (Count <= Columns) return Text;
  if (Columns <= 3) return std::string();
  size_t Drop = Count - (Columns - 3), At = 0;
  for (; At < Text.size(); ++At) {
    if ((static_cast<unsigned char>(Text[At]) & 0xC0) != 0x80 && Drop-- == 0)
      break;
  }
  return "..." + Text.substr(At);
}

}  // namespace

std::string ProgressText(const ProgressState& State, const std::string& Verb,
                         int Columns, bool Wtf8) {
  std::string Line = std::to_string(State.Examined) + " examined, " +
                     std::to_string(State.Acted) + " " + Verb + ", " +
                     BytesText(State.Freed) + " freed";
  if (State.Stage != ProgressState::Phase::kWalking) {
    Line += State.Stage == ProgressState::Phase::kExamining ? "; examining"
                                                            : "; acting";
    std::string Need;
    if (State.NeedFiles >= 0)
      Need = std::to_string(State.NeedFiles) + " file(s)";
    if (State.NeedBytes >= 0)
      Need += (Need.empty() ? "" : " and ") + BytesText(State.NeedBytes);
    if (!Need.empty()) Line += ", goal needs " + Need;
  }
  const size_t Width = Columns > 1 ? static_cast<size_t>(Columns - 1) : 0;
  // The counts are ASCII, a byte a column; the folder's tail is cut by
  // characters, never inside one.
  if (Line.size() > Width) return Line.substr(0, Width);
  if (Line.size() + 2 < Width && !State.Folder.empty())
    Line += "  " + TailOf(Printable(State.Folder, Wtf8),
                          Width - Line.size() - 2);
  return Line;
}

ProgressLine::ProgressLine(Platform& Sys, std::string Verb)
    : Sys_(Sys), Verb_(std::move(Verb)), Ticker_([this] { Tick(); }) {}

ProgressLine::~ProgressLine() {
  {
    std::lock_guard<std::mutex> Hold(Lock_);
    Done_ = true;
  }
  Wake_.notify_one();
  Ticker_.join();
  Sys_.ShowProgress(std::string());
}

void ProgressLine::Acted(int64_t Files, int64_t Freed) {
  Acted_.fetch_add(Files, std::memory_order_relaxed);
  Freed_.fetch_add(Freed, std::memory_order_relaxed);
}

void ProgressLine::Entering(const std::string& Folder) {
  std::lock_guard<std::mutex> Hold(Lock_);
  Rest_.Folder = Folder;
}

void ProgressLine::Ranking(ProgressState::Phase Stage, int64_t NeedFiles,
                           int64_t NeedBytes) {
  std::lock_guard<std::mutex> Hold(Lock_);
  Rest_.Stage = Stage;
  Rest_.NeedFiles = NeedFiles;
  Rest_.NeedBytes = NeedBytes;
}

void ProgressLine::Draw() {
  ProgressState State;
  {
    std::lock_guard<std::mutex> Hold(Lock_);
    State = Rest_;
  }
  State.Examined = Examined_.load(std::memory_order_relaxed);
  State.Acted = Acted_.load(std::memory_order_relaxed);
  State.Freed = Freed_.load(std::memory_order_relaxed);
  Sys_.ShowProgress(
      ProgressText(State, Verb_, Sys_.TerminalColumns(), Sys_.NamesInWtf8()));
}

void ProgressLine::Tick() {
  std::unique_lock<std::mutex> Hold(Lock_);
  while (!Done_) {
    Hold.unlock();
    Draw();
    Hold.lock();
    Wake_.wait_for(Hold, std::chrono::milliseconds(250),
                   [this] { return Done_; });
  }
}

}  // namespace olvane
