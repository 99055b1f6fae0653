#include "report/report.h"

namespace olvane {

void Report::Render(const Event& E, std::string* Out) const {
  if (Rule_.empty() || !E.Rule.empty()) {
    if (Watch_) Watch_->Saw(E);
    return Form_.Render(E, Out);
  }
  Event Stamped = E;
  Stamped.Rule = Rule_;
  if (Watch_) Watch_->Saw(Stamped);
  Form_.Render(Stamped, Out);
}

void Report::Tally(const Event& E) {
  switch (E.Kind) {
    case EventKind::kCannotOpen:
    case EventKind::kStatusUnreadable:
    case EventKind::kCannotDelete:
    case EventKind::kCannotMoveOpened:
    case EventKind::kAlreadyExists:
    case EventKind::kCannotOpenFolder:
      ++Left_;
      return;
    case EventKind::kCannotRemove:
    case EventKind::kCannotMove:
      ++NotRemoved_;
      return;
    case EventKind::kPathNotFound:
    case EventKind::kTargetNotFound:
    case EventKind::kMoveFolderNotFound:
      ++Missing_;
      return;
    default:
      return;
  }
}

void Report::Emit(const Event& E) {
  Tally(E);
  std::string Text;
  Render(E, &Text);
  if (Text.empty()) return;
  if (!IsErrorEvent(E)) {
    To_->Write(Text);
    return;
  }
  size_t At = 0;
  for (size_t End; (End = Text.find('\n', At)) != std::string::npos;
       At = End + 1) {
    Sys_.PrintError(Text.substr(At, End - At));
  }
}

void Report::Write(const std::vector<Event>& Events) {
  std::string Text;
  for (const Event& E : Events) {
    Tally(E);
    Render(E, &Text);
  }
  if (!Text.empty()) To_->Write(Text);
}

void Report::AddTally(Event* Summary) const {
  Summary->Left += Left_;
  Summary->NotRemoved += NotRemoved_;
  Summary->Missing += Missing_;
}

void Report::WriteSystemLog(const Event& E) {
  Event Stamped = E;
  if (Stamped.Rule.empty()) Stamped.Rule = Rule_;
  const SystemLogEntry Entry = SystemLogEntryOf(Stamped, Sys_.NamesInWtf8());
  if (!Sys_.WriteSystemLog(Entry.Level, Entry.EventId, Entry.Text)) {
    Emit(Event{EventKind::kSystemLogRefused});
  }
}

}  // namespace olvane
