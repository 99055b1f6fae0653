#include "report/status_record.h"

#include "report/json_text.h"

namespace olvane {

StatusRecord::Part& StatusRecord::PartOf(const std::string& Rule) {
  if (Rule.empty()) return Run_;
  for (Part& Each : Rules_) {
    if (Each.Name == Rule) return Each;
  }
  Rules_.push_back(Part());
  Rules_.back().Name = Rule;
  return Rules_.back();
}

void StatusRecord::Saw(const Event& E) {
  const bool Counts =
      E.Kind == EventKind::kSummary || E.Kind == EventKind::kTotal;
  // Every event of a rule names it: a rule refused for a fault shows too.
  const bool Told =
      E.Kind == EventKind::kTargetNotFound || E.Kind == EventKind::kGoalNotMet;
  if (!Counts && !Told && E.Rule.empty()) return;
  std::lock_guard<std::mutex> Guard(Lock_);
  const size_t Known = Rules_.size();
  Part& Of = PartOf(E.Kind == EventKind::kTotal ? std::string() : E.Rule);
  if (E.Kind == EventKind::kTargetNotFound) Of.NotFound = E.Path;
  if (E.Kind == EventKind::kGoalNotMet) Of.GoalNotMet = true;
  if (!Counts) {
    // A rule's first event: refused, unless its summary follows.
    if (Rules_.size() > Known && E.Kind != EventKind::kRuleNotRun) {
      Of.Status = 2;
    }
    return;
  }
  Of.Ran = true;
  Of.Files = E.Files;
  Of.Folders = E.Folders;
  Of.BytesFreed = E.BytesFreed;
  Of.Status = E.Status;
  Of.TimeUp = !E.TimeLimit.empty();
}

void StatusRecord::AddCounts(const Part& Of, std::string* Out) {
  *Out += ",\"files\":" + std::to_string(Of.Files) +
          ",\"folders\":" + std::to_string(Of.Folders) +
          ",\"bytes_freed\":" + std::to_string(Of.BytesFreed);
  if (!Of.NotFound.empty()) {
    bool Changed = false;
    *Out += ",\"path_not_found\":";
    AppendJsonString(ValidUtf8(Of.NotFound, &Changed), Out);
  }
  if (Of.GoalNotMet) *Out += ",\"goal_not_met\":true";
}

std::string StatusRecord::Render(const RunTimes& Times, int Status,
                                 bool DryRun) {
  std::lock_guard<std::mutex> Guard(Lock_);
  std::string Out =
      "{\"started\":\"" + IsoLocalTime(Times.Started, Times.StartOffset) +
      "\",\"ended\":\"" + IsoLocalTime(Times.Ended, Times.EndOffset) +
      "\",\"duration_s\":" + SecondsText(Times.DurationMs) +
      ",\"status\":" + std::to_string(Status);
  AddCounts(Run_, &Out);
  Out += std::string(",\"dry_run\":") + (DryRun ? "true" : "false");
  if (Run_.TimeUp) Out += ",\"time_limit_reached\":true";
  if (!Rules_.empty()) {
    Out += ",\"rules\":[";
    for (const Part& Each : Rules_) {
      if (&Each != &Rules_.front()) Out += ',';
      bool Changed = false;
      Out += "{\"name\":";
      AppendJsonString(ValidUtf8(Each.Name, &Changed), &Out);
      Out += std::string(",\"ran\":") + (Each.Ran ? "true" : "false");
      AddCounts(Each, &Out);
      Out += ",\"status\":" +
             (Each.Status == kNotRun ? "null" : std::to_string(Each.Status)) +
             "}";
    }
    Out += ']';
  }
  return Out + "}\n";
}

}  // namespace olvane
