// Where the events of a run become the report: a renderer makes their text,
// a Report writes it. Every line the program prints is made by a renderer.
#ifndef OLVANE_REPORT_REPORT_H_
#define OLVANE_REPORT_REPORT_H_

#include <atomic>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "report/event.h"

namespace olvane {

class Renderer {
 public:
  virtual ~Renderer() = default;

  // Appends the lines of E to Out, each ending in "\n"; nothing where E has
  // no line in this form. Keeps no state: called from any thread.
  virtual void Render(const Event& E, std::string* Out) const = 0;
};

// Today's text lines, byte for byte; every path in them escaped by
// Printable.
class TextRenderer : public Renderer {
 public:
  // Wtf8: names carry unpaired surrogates, which stay as they are (see
  // Printable).
  explicit TextRenderer(bool Wtf8 = false) : Wtf8_(Wtf8) {}
  void Render(const Event& E, std::string* Out) const override;

 private:
  static void AddSetLine(const Event& E, const std::string& Path,
                         const std::string& To, std::string* Out);

  bool Wtf8_;
};

// The report as JSON Lines: one object per event, each on one line, with
// the path, the size, the time and the reason where known. The usage and
// help screens, the version, the refusals of a command line and the lines
// to standard error stay as TextRenderer writes them: they are no record
// of a run.
class JsonRenderer : public Renderer {
 public:
  // Wtf8: as TextRenderer's, for the lines that stay text.
  explicit JsonRenderer(bool Wtf8 = false) : Text_(Wtf8) {}
  void Render(const Event& E, std::string* Out) const override;

 private:
  TextRenderer Text_;
};

// Where the lines of a report go.
class Sink {
 public:
  virtual ~Sink() = default;
  // Writes Lines, whole lines, in one piece. May be called from several
  // threads at once.
  virtual void Write(const std::string& Lines) = 0;
  // True once some lines could not be written: the report is incomplete.
  virtual bool Lost() = 0;
};

// Standard output, as the platform writes it.
class StandardOutput : public Sink {
 public:
  explicit StandardOutput(Platform& Sys) : Sys_(Sys) {}
  void Write(const std::string& Lines) override { Sys_.PrintLines(Lines); }
  bool Lost() override { return Sys_.OutputLost(); }

 private:
  Platform& Sys_;
};

// A log file, each piece appended whole; a piece that could not be
// written is lost, and the next is tried all the same.
class LogSink : public Sink {
 public:
  explicit LogSink(LogFile& File) : File_(File) {}
  void Write(const std::string& Lines) override {
    if (!File_.Append(Lines)) Lost_ = true;
  }
  bool Lost() override { return Lost_; }

 private:
  LogFile& File_;
  std::atomic<bool> Lost_{false};
};

// What follows the events of a run as they are written, beside the
// report. May be called from several threads at once.
class EventWatcher {
 public:
  virtual ~EventWatcher() = default;
  virtual void Saw(const Event& E) = 0;
};

// Writes rendered events to a sink, standard error for the error events.
// May be used from several threads at once.
class Report {
 public:
  // To standard output. Rule: the rule of a rules file every event written
  // belongs to, if any.
  Report(Platform& Sys, const Renderer& Form, std::string Rule = std::string())
      : Sys_(Sys), Form_(Form), Rule_(std::move(Rule)), Own_(Sys) {}
  // To To, each event shown to Watch too, if given.
  Report(Platform& Sys, const Renderer& Form, Sink& To, EventWatcher* Watch)
      : Sys_(Sys), Form_(Form), Own_(Sys), To_(&To), Watch_(Watch) {}
  // Where Like writes, in the form Form, for the rule Rule.
  Report(const Report& Like, const Renderer& Form, std::string Rule)
      : Sys_(Like.Sys_),
        Form_(Form),
        Rule_(std::move(Rule)),
        Own_(Like.Sys_),
        To_(Like.To_ == &Like.Own_ ? &Own_ : Like.To_),
        Watch_(Like.Watch_) {}
  Report(const Report&) = delete;
  Report& operator=(const Report&) = delete;

  // Writes E at once: to standard error where IsErrorEvent, else to the
  // report.
  void Emit(const Event& E);

  // Writes Events, in order, to the report in one piece.
  void Write(const std::vector<Event>& Events);

  // What makes the text of the events.
  const Renderer& Form() const { return Form_; }
  // The rule the events belong to; "" for none.
  const std::string& Rule() const { return Rule_; }

  // True once some lines of the report could not be written.
  bool Lost() { return To_->Lost(); }

  // Adds to the tallies of Summary (its Left, NotRemoved and Missing) what
  // the events written so far told.
  void AddTally(Event* Summary) const;

  // Writes the run's entry to the system log: E is its summary, the total
  // of a rules file, or the refusal that ended it (with its Status set).
  // A line on standard error where the system refuses it.
  void WriteSystemLog(const Event& E);

 private:
  // E, stamped with the rule where there is one, rendered onto Out and
  // shown to the watcher.
  void Render(const Event& E, std::string* Out) const;
  void Tally(const Event& E);

  Platform& Sys_;
  const Renderer& Form_;
  const std::string Rule_;
  StandardOutput Own_;
  Sink* To_ = &Own_;
  EventWatcher* Watch_ = nullptr;
  std::atomic<int32_t> Left_{0}, NotRemoved_{0}, Missing_{0};
};

// A system log entry: how grave, its Windows event ID, its text.
struct SystemLogEntry {
  Platform::LogLevel Level;
  int EventId;
  std::string Text;
};

// The Windows event IDs, one for each level.
constexpr int kEventDone = 1000;    // the run ended well
constexpr int kEventLeft = 1001;    // goal not met, files left, not found
constexpr int kEventFailed = 1002;  // report lost, refused, not removed

// The entry of E, as Report::WriteSystemLog takes it. Wtf8: as the text
// renderer's.
SystemLogEntry SystemLogEntryOf(const Event& E, bool Wtf8);

}  // namespace olvane

#endif  // OLVANE_REPORT_REPORT_H_
