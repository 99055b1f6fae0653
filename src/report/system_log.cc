// The one entry a run leaves in the system's own log, made from the event
// that closes it: what its summary says, in one line, and how grave it is,
// so that monitoring can pick out the runs that need a look.
#include "report/printable.h"
#include "report/report.h"

namespace olvane {
namespace {

std::string Count(int32_t N, const char* Things) {
  return std::to_string(N) + Things;
}

// The counts of a summary or a total, and what was left.
std::string CountsOf(const Event& E) {
  const bool Total = E.Kind == EventKind::kTotal;
  const char* Done = Total        ? "deleted or moved"
                     : E.MoveMode ? "moved"
                                  : "deleted";
  std::string Text;
  if (Total) Text += Count(E.Rules, " rule(s) run, ");
  Text += Count(E.Files, " file(s) ") + (E.DryRun ? "would be " : "") + Done;
  if (Total || E.CountFolders) {
    Text += ", " + Count(E.Folders, " folder(s) ") +
            (E.DryRun ? "would be " : "") + "deleted";
  }
  Text += ", " + std::to_string(E.BytesFreed) + " bytes freed";
  if (E.Left) Text += ", " + Count(E.Left, " left held or unreadable");
  if (E.NotRemoved) {
    Text += ", " + Count(E.NotRemoved, " could not be ") +
            (E.MoveMode ? "moved" : "removed");
  }
  if (E.Missing) Text += ", " + Count(E.Missing, " path(s) not found");
  if (E.Status == kExitGoalNotMet) Text += ", goal not met";
  return Text;
}

// A refusal's own line, without its indent.
std::string RefusalText(const Event& E, bool Wtf8) {
  std::string Lines;
  TextRenderer(Wtf8).Render(E, &Lines);
  const std::string Line = Lines.substr(0, Lines.find('\n'));
  const size_t Start = Line.find_first_not_of(' ');
  return "refused: " + (Start == std::string::npos ? "" : Line.substr(Start));
}

}  // namespace

SystemLogEntry SystemLogEntryOf(const Event& E, bool Wtf8) {
  const bool Closing =
      E.Kind == EventKind::kSummary || E.Kind == EventKind::kTotal;
  std::string Text;
  if (!E.Rule.empty()) Text += "rule " + Printable(E.Rule, Wtf8) + ": ";
  if (E.Kind == EventKind::kTotal) Text += "rules ";
  if (Closing && !E.Path.empty()) Text += Printable(E.Path, Wtf8) + ": ";
  if (!Closing) {
    Text += RefusalText(E, Wtf8);
  } else if (E.Refused) {
    Text += "refused: a whole root";
  } else {
    Text += CountsOf(E);
  }
  Text += "; status " + std::to_string(E.Status);
  // A lost report, a refusal or a file that would not go needs a look; a
  // goal not met, files left for later or a missing path may right itself.
  if (E.Status == kExitUsage || E.Status == kExitOutputLost ||
      E.NotRemoved > 0) {
    return {Platform::LogLevel::kError, kEventFailed, Text};
  }
  if (E.Status != 0 || E.Left > 0 || E.Missing > 0) {
    return {Platform::LogLevel::kWarning, kEventLeft, Text};
  }
  return {Platform::LogLevel::kInfo, kEventDone, Text};
}

}  // namespace olvane
