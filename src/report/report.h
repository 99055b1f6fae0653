// Where the events of a run become the report: a renderer makes their text,
// a Report writes it. Every line the program prints is made by a renderer.
#ifndef OLVANE_REPORT_REPORT_H_
#define OLVANE_REPORT_REPORT_H_

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

// Writes rendered events to the platform's standard streams. May be used
// from several threads at once.
class Report {
 public:
  // Rule: the rule of a rules file every event written belongs to, if any.
  Report(Platform& Sys, const Renderer& Form, std::string Rule = std::string())
      : Sys_(Sys), Form_(Form), Rule_(std::move(Rule)) {}

  // Writes E at once: to standard error where IsErrorEvent, else to the
  // report.
  void Emit(const Event& E);

  // Writes Events, in order, to the report in one piece.
  void Write(const std::vector<Event>& Events);

  // What makes the text of the events.
  const Renderer& Form() const { return Form_; }

 private:
  // E, stamped with the rule where there is one, rendered onto Out.
  void Render(const Event& E, std::string* Out) const;

  Platform& Sys_;
  const Renderer& Form_;
  const std::string Rule_;
};

}  // namespace olvane

#endif  // OLVANE_REPORT_REPORT_H_
