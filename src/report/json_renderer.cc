// Every object of the JSON Lines report.
#include "report/json_text.h"
#include "report/report.h"

namespace olvane {
namespace {

// The word of each event the record holds, and why its file went or
// stayed; null for the events that stay text.
struct Kind {
  const char* Word;
  const char* Reason;  // null: none
  bool Gone = false;   // a file gone: the reason is what took it
};

// The objects of the run as a whole.
Kind RunKindOf(EventKind Of) {
  switch (Of) {
    // A run goes on after these two, and its summary follows.
    case EventKind::kPathNotFound:
    case EventKind::kTargetNotFound:
      return {"path-not-found", nullptr};
    // The summary follows it too.
    case EventKind::kWholeRoot:
      return {"whole-root", nullptr};
    case EventKind::kMoveFolderNotFound:
      return {"move-folder-not-found", nullptr};
    case EventKind::kSummary:
      return {"summary", nullptr};
    case EventKind::kGoalNotMet:
      return {"goal-not-met", nullptr};
    case EventKind::kRuleStart:
      return {"rule", nullptr};
    case EventKind::kConfigError:
      return {"config-error", nullptr};
    case EventKind::kTotal:
      return {"total", nullptr};
    case EventKind::kRunStart:
      return {"start", nullptr};
    case EventKind::kRuleNotRun:
      return {"rule-not-run", nullptr};
    default:
      return {nullptr, nullptr};
  }
}

// The objects of --folders' items.
Kind SetKindOf(EventKind Of) {
  switch (Of) {
    case EventKind::kSetDeleted:
      return {"folder-deleted", nullptr, true};
    case EventKind::kWouldDeleteSet:
      return {"would-delete-folder", nullptr, true};
    case EventKind::kSetMoved:
      return {"folder-moved", nullptr, true};
    case EventKind::kWouldMoveSet:
      return {"would-move-folder", nullptr, true};
    case EventKind::kSetHeld:
      return {"folder-kept-whole", "held"};
    case EventKind::kSetProtected:
      return {"folder-kept-whole", "protected"};
    case EventKind::kSetStuck:
      return {"folder-kept-whole", "cannot-remove"};
    case EventKind::kLeftoverDeleted:
      return {"folder-deleted", "unfinished"};
    case EventKind::kWouldDeleteLeftover:
      return {"would-delete-folder", "unfinished"};
    default:
      return RunKindOf(Of);
  }
}

Kind KindOf(EventKind Of) {
  switch (Of) {
    case EventKind::kDeleted:
      return {"deleted", nullptr, true};
    case EventKind::kWouldDelete:
      return {"would-delete", nullptr, true};
    case EventKind::kMoved:
      return {"moved", nullptr, true};
    case EventKind::kWouldMove:
      return {"would-move", nullptr, true};
    case EventKind::kCannotOpen:
      return {"cannot-open", "held"};
    case EventKind::kStatusUnreadable:
      return {"status-unreadable", nullptr};
    case EventKind::kCannotDelete:
      return {"cannot-delete", "held"};
    case EventKind::kCannotMoveOpened:
      return {"cannot-move-opened", "held"};
    case EventKind::kCannotRemove:
      return {"cannot-remove", nullptr};
    case EventKind::kAlreadyExists:
      return {"already-exists", nullptr};
    case EventKind::kCannotMove:
      return {"cannot-move", nullptr};
    case EventKind::kCannotOpenFolder:
      return {"cannot-open-folder", nullptr};
    case EventKind::kFolderDeleted:
      return {"folder-deleted", "emptied"};
    case EventKind::kWouldDeleteFolder:
      return {"would-delete-folder", "emptied"};
    case EventKind::kKept:
      return {"kept", nullptr};
    default:
      return SetKindOf(Of);
  }
}

// The word of what took a file gone.
const char* CauseWord(Cause Why) {
  switch (Why) {
    case Cause::kMaxFiles:
      return "max-files";
    case Cause::kMaxSize:
      return "max-size";
    case Cause::kMinFree:
      return "min-free";
    default:
      return "age";
  }
}

void AddField(const char* Name, std::string* Out) {
  *Out += ",\"";
  *Out += Name;
  *Out += "\":";
}

// A name as a string; one that is not valid UTF-8 readable there, and
// exactly, as base64 of its bytes, in the field Name "_bytes".
void AddName(const char* Name, const std::string& Path, std::string* Out) {
  bool Changed = false;
  const std::string Readable = ValidUtf8(Path, &Changed);
  AddField(Name, Out);
  AppendJsonString(Readable, Out);
  if (!Changed) return;
  AddField((std::string(Name) + "_bytes").c_str(), Out);
  *Out += '"' + Base64(Path) + '"';
}

// A field whose value is a number, or a word as written.
void AddValue(const char* Name, const std::string& Value, std::string* Out) {
  AddField(Name, Out);
  *Out += Value;
}

// The closing counts of a run (Total: of a rules file's, with the rules
// run, without the mode), and its status.
void AddCounts(const Event& E, bool Total, std::string* Out) {
  if (Total) AddValue("rules", std::to_string(E.Rules), Out);
  AddValue("files", std::to_string(E.Files), Out);
  AddValue("folders", std::to_string(E.Folders), Out);
  AddValue("bytes_freed", std::to_string(E.BytesFreed), Out);
  if (E.CountUndated) AddValue("undated", std::to_string(E.Undated), Out);
  if (!Total) {
    AddValue("mode", E.MoveMode ? "\"move\"" : "\"delete\"", Out);
    AddValue("dry_run", E.DryRun ? "true" : "false", Out);
  }
  AddValue("status", std::to_string(E.Status), Out);
  if (E.DurationMs >= 0) AddValue("duration_s", SecondsText(E.DurationMs), Out);
  if (!E.TimeLimit.empty()) AddName("time_limit", E.TimeLimit, Out);
}

// A logged run's start: when, which version, the arguments as given.
void AddStart(const Event& E, std::string* Out) {
  AddValue("time", '"' + IsoLocalTime(E.Time, E.Offset) + '"', Out);
  AddValue("version", "\"" OLVANE_VERSION "\"", Out);
  AddField("args", Out);
  *Out += '[';
  for (const std::string& Arg : E.Args) {
    if (&Arg != &E.Args.front()) *Out += ',';
    bool Changed = false;
    AppendJsonString(ValidUtf8(Arg, &Changed), Out);
  }
  *Out += ']';
}

// What each unmet goal lacks, under the goal's argument as written; null
// where it could not be measured.
void AddGoalNotMet(const Event& E, std::string* Out) {
  const auto AddBytes = [Out](int64_t Bytes) {
    *Out += Bytes < 0 ? "null" : std::to_string(Bytes);
  };
  if (E.SizeOver != 0) {
    AddName("max_size", E.Path, Out);
    AddField("bytes_over", Out);
    AddBytes(E.SizeOver);
  }
  if (E.FreeShort != 0) {
    AddName("min_free", E.To, Out);
    AddField("bytes_short", Out);
    AddBytes(E.FreeShort);
  }
}

}  // namespace

void JsonRenderer::Render(const Event& E, std::string* Out) const {
  const Kind Of = KindOf(E.Kind);
  // The summary tells a logged run's end.
  if (E.Kind == EventKind::kRunEnd) return;
  if (!Of.Word) return Text_.Render(E, Out);
  *Out += "{\"event\":\"";
  *Out += Of.Word;
  *Out += '"';
  if (!E.Rule.empty()) AddName("rule", E.Rule, Out);
  if (E.Kind == EventKind::kSummary || E.Kind == EventKind::kTotal) {
    AddCounts(E, E.Kind == EventKind::kTotal, Out);
  } else if (E.Kind == EventKind::kConfigError) {
    AddName("error", E.Path, Out);
  } else if (E.Kind == EventKind::kGoalNotMet) {
    AddGoalNotMet(E, Out);
  } else if (E.Kind == EventKind::kRunStart) {
    AddStart(E, Out);
  } else if (E.Kind == EventKind::kRuleNotRun) {
    AddValue("reason", "\"max-time\"", Out);
  } else if (E.Kind != EventKind::kPathNotFound) {
    AddName("path", E.Path, Out);
    // An item kept whole names the file that kept it.
    const bool Kept = E.Kind == EventKind::kSetHeld ||
                      E.Kind == EventKind::kSetProtected ||
                      E.Kind == EventKind::kSetStuck;
    if (!E.To.empty()) AddName(Kept ? "file" : "to", E.To, Out);
    if (E.Size >= 0) {
      AddField("size", Out);
      *Out += std::to_string(E.Size);
    }
    if (E.Timed) {
      const std::string Iso = IsoUtcTime(E.Time);
      AddField(Iso.empty() ? "time_s" : "time", Out);
      *Out += Iso.empty() ? std::to_string(E.Time) : '"' + Iso + '"';
    }
    const char* Reason = Of.Gone ? CauseWord(E.Why) : Of.Reason;
    if (E.Kind == EventKind::kKept) Reason = E.Reason.c_str();
    if (Reason) {
      AddField("reason", Out);
      *Out += '"';
      *Out += Reason;
      *Out += '"';
    }
  }
  *Out += "}\n";
}

}  // namespace olvane
