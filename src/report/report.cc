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

void Report::Emit(const Event& E) {
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
  for (const Event& E : Events) Render(E, &Text);
  if (!Text.empty()) To_->Write(Text);
}

}  // namespace olvane
