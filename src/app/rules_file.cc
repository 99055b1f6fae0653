#include "app/rules_file.h"

#include <algorithm>
#include <string_view>
#include <unordered_map>
#include <utility>

#include "app/command_line.h"
#include "app/options.h"
#include "platform/wide_text.h"
#include "report/printable.h"
#include "report/report.h"

namespace olvane {
namespace {

enum class KeyKind {
  kTarget,    // the full path or mask to purge, once
  kFlag,      // a yes or no, once
  kValue,     // "--name=VALUE", once
  kFolder,    // a value that is a full path, once
  kRepeated,  // "--name=VALUE", as often as wanted
};

struct Key {
  const char* Name;
  KeyKind Kind;
};

constexpr Key kKeys[] = {
    {"target", KeyKind::kTarget},      {"days", KeyKind::kValue},
    {"recurse", KeyKind::kFlag},       {"move-to", KeyKind::kFolder},
    {"replace", KeyKind::kFlag},       {"remove-empty", KeyKind::kFlag},
    {"protect", KeyKind::kRepeated},   {"age-by", KeyKind::kValue},
    {"cross-mounts", KeyKind::kFlag},  {"no-preserve-root", KeyKind::kFlag},
    {"keep", KeyKind::kValue},         {"max-size", KeyKind::kValue},
    {"min-free", KeyKind::kValue},     {"max-files", KeyKind::kValue},
    {"workers", KeyKind::kValue},      {"date-from-name", KeyKind::kValue},
    {"keep-daily", KeyKind::kValue},   {"keep-weekly", KeyKind::kValue},
    {"keep-monthly", KeyKind::kValue}, {"keep-yearly", KeyKind::kValue},
    {"system-log", KeyKind::kFlag},      {"folders", KeyKind::kFlag},
};
constexpr size_t kKeyCount = sizeof kKeys / sizeof kKeys[0];

bool IsBlank(char C) { return C == ' ' || C == '\t'; }

std::string_view Trimmed(std::string_view Text) {
  while (!Text.empty() && IsBlank(Text.front())) Text.remove_prefix(1);
  while (!Text.empty() && IsBlank(Text.back())) Text.remove_suffix(1);
  return Text;
}

// Text as an error line may show it: control characters escaped, and cut
// short (at a character's start) where a line of a megabyte would flood
// the report.
std::string Shown(std::string_view Text, size_t Most = 80) {
  if (Text.size() <= Most) return Printable(std::string(Text));
  while (Most > 0 && (static_cast<unsigned char>(Text[Most]) & 0xC0) == 0x80)
    --Most;
  return Printable(std::string(Text.substr(0, Most))) + "...";
}

// Calls Each(Number, Line) for every line of Text, its line end (LF or
// CRLF) cut off; false as soon as Each answers false.
template <typename Visit>
bool EachLine(std::string_view Text, Visit Each) {
  size_t Number = 0;
  while (!Text.empty()) {
    const size_t End = std::min(Text.find('\n'), Text.size());
    std::string_view Line = Text.substr(0, End);
    if (!Line.empty() && Line.back() == '\r') Line.remove_suffix(1);
    if (!Each(++Number, Line)) return false;
    Text.remove_prefix(std::min(End + 1, Text.size()));
  }
  return true;
}

// Well-formed UTF-8 goes through UTF-16 and back unchanged, and holds no
// surrogate of its own.
bool IsUnicode(std::string_view Line) {
  return Utf8FromWide(WideFromUtf8(Line)) == Line && StrictUtf8(Line) == Line;
}

// The text of Bytes as UTF-8 without a byte-order mark. False, with *Why,
// when Bytes is no text.
bool DecodeText(const std::string& Bytes, std::string* Text, std::string* Why) {
  const bool Wide = Bytes.rfind("\xFF\xFE", 0) == 0;
  if (Bytes.rfind("\xFE\xFF", 0) == 0) {
    *Why = "UTF-16 big-endian: save it as UTF-8, or as UTF-16 little-endian";
    return false;
  }
  if (Wide && Bytes.size() % 2 != 0) {
    *Why = "not text: UTF-16 with an odd number of bytes (cut short)";
    return false;
  }
  if (Wide) {
    std::u16string Units((Bytes.size() - 2) / 2, u'\0');
    for (size_t I = 0; I < Units.size(); ++I) {
      Units[I] = static_cast<char16_t>(
          static_cast<unsigned char>(Bytes[2 + 2 * I]) |
          static_cast<unsigned char>(Bytes[3 + 2 * I]) << 8);
    }
    *Text = Utf8FromWide(Units);
  } else {
    *Text = Bytes.substr(Bytes.rfind("\xEF\xBB\xBF", 0) == 0 ? 3 : 0);
  }
  return EachLine(*Text, [&](size_t Number, std::string_view Line) {
    const std::string At = "line " + std::to_string(Number);
    if (Line.find('\0') != std::string_view::npos) {
      *Why = "not text: a NUL byte on " + At +
             " (a binary file, or UTF-16 without its byte-order mark)";
    } else if (!IsUnicode(Line)) {
      *Why = "not text: " + At +
             (Wide ? " is not valid UTF-16" : " is not valid UTF-8");
    } else {
      return true;
    }
    return false;
  });
}

bool IsControl(std::string_view Name) {
  for (size_t I = 0; I < Name.size(); ++I) {
    const unsigned char C = static_cast<unsigned char>(Name[I]);
    const bool C1 = C == 0xC2 && I + 1 < Name.size() &&
                    static_cast<unsigned char>(Name[I + 1]) < 0xA0;
    if (C < 0x20 || C == 0x7F || C1) return true;
  }
  return false;
}

// Whether Value is one of the words a flag takes, in any case; *On says
// which.
bool ReadFlag(std::string_view Value, bool* On) {
  std::string Word(Value);
  for (char& C : Word) {
    if (C >= 'A' && C <= 'Z') C = static_cast<char>(C - 'A' + 'a');
  }
  *On = Word == "yes" || Word == "true" || Word == "1";
  return *On || Word == "no" || Word == "false" || Word == "0";
}

// The first line of what refuses a command line, without its indent.
std::string RefusalOf(const CommandLine& Line) {
  std::string Text;
  TextRenderer().Render(Line.Refusal, &Text);
  Text = Text.substr(0, Text.find('\n'));
  return Shown(Trimmed(Text), 200);
}

// The lines of one file, each read into the rule it belongs to.
class Reader {
 public:
  Reader(const std::string& File, Platform& Sys, RulesFile* Out)
      : File_(File), Sys_(Sys), Out_(Out) {}

  void Read(size_t Number, std::string_view Line) {
    Line = Trimmed(Line);
    if (Line.empty() || Line[0] == '#' || Line[0] == ';') return;
    if (Line[0] == '[') return StartRule(Number, Line);
    const size_t Equals = Line.find('=');
    const std::string_view Name =
        Trimmed(Line.substr(0, std::min(Equals, Line.size())));
    if (Equals == std::string_view::npos || Name.empty()) {
      return Fail(Number, "neither a comment, a [name] nor key = value");
    }
    std::string_view Value = Trimmed(Line.substr(Equals + 1));
    if (!Value.empty() && Value[0] == '"') {
      if (Value.size() < 2 || Value.back() != '"') {
        return Fail(Number, "a value that begins with \" must end with \"");
      }
      Value = Value.substr(1, Value.size() - 2);
    }
    ReadKey(Number, Name, Value);
  }

  // Ends the rule being read, if any, and adds it to the output.
  void EndRule() {
    if (!Open_) return;
    if (!Given_[0]) {
      Fail(NameLine_, "the rule has no target");
    } else {
      Current_.Args.push_back(std::move(Target_));
      if (Current_.Errors.empty()) CheckWhole();
    }
    Out_->Rules.push_back(std::move(Current_));
    Open_ = false;
  }

 private:
  // Adds the error to the rule being read, or to the file's own where the
  // line belongs to no rule.
  void Fail(size_t Number, const std::string& What) {
    (Open_ ? Current_.Errors : Out_->Errors)
        .push_back(File_ + ":" + std::to_string(Number) + ": " + What);
  }

  void StartRule(size_t Number, std::string_view Line) {
    EndRule();
    Open_ = true;
    Current_ = Rule();
    NameLine_ = Number;
    std::fill(std::begin(Given_), std::end(Given_), 0);
    Current_.Where = File_ + ":" + std::to_string(Number);
    const size_t Close = Line.find(']');
    Current_.Name = Trimmed(Line.substr(1, Close - 1));
    if (Close == std::string_view::npos) {
      Fail(Number, "a [name] without its ]");
    } else if (!Trimmed(Line.substr(Close + 1)).empty()) {
      Fail(Number, "text after the ] of a [name]");
    } else if (Current_.Name.empty()) {
      Fail(Number, "an empty rule name");
    } else if (IsControl(Current_.Name)) {
      Fail(Number, "a rule name with a control character");
    }
  }

  void ReadKey(size_t Number, std::string_view Name, std::string_view Value) {
    size_t Index = 0;
    while (Index < kKeyCount && Name != kKeys[Index].Name) ++Index;
    if (Index == kKeyCount) {
      return Fail(Number, "unknown key " + Shown(Name));
    }
    if (!Open_) {
      return Fail(Number, Shown(Name) + " outside a rule: a [name] first");
    }
    const Key& Which = kKeys[Index];
    if (Given_[Index] && Which.Kind != KeyKind::kRepeated) {
      return Fail(Number, std::string(Which.Name) + " given twice (line " +
                              std::to_string(Given_[Index]) + ")");
    }
    Given_[Index] = Number;
    const std::string Option = "--" + std::string(Which.Name);
    if (Which.Kind == KeyKind::kTarget) {
      Target_ = Value;
      TargetLine_ = Number;
      if (!Sys_.IsFullPath(Target_)) {
        Fail(Number,
             "the target must be a full path or mask (a scheduled "
             "job has no current folder): " +
                 Shown(Value));
      }
    } else if (Which.Kind == KeyKind::kFlag) {
      bool On = false;
      if (!ReadFlag(Value, &On)) {
        Fail(Number,
             Option + " takes yes, no, true, false, 1 or 0: " + Shown(Value));
      } else if (On) {
        Current_.Args.push_back(Option);
      }
    } else if (Which.Kind == KeyKind::kFolder &&
               !Sys_.IsFullPath(std::string(Value))) {
      Fail(Number, Option + " must be a full path: " + Shown(Value));
    } else {
      ReadValue(Number, Option + "=" + std::string(Value));
    }
  }

  // A value is what the command line takes: it says what is wrong with it.
  void ReadValue(size_t Number, std::string Arg) {
    const CommandLine Line = ReadCommandLine(Sys_, {Arg});
    if (Line.What != CommandLine::Action::kRun) {
      return Fail(Number, RefusalOf(Line));
    }
    Current_.Args.push_back(std::move(Arg));
  }

  // The rule as a whole, as the command line reads it: a whole root is
  // refused there, and a target holding an option's text ("-m:") would be
  // read as that option, leaving no target at all.
  void CheckWhole() {
    if (IsValueOption(Current_.Args.back())) {
      return Fail(TargetLine_,
                  "the target holds -m:, -x: or -t:, which the command line "
                  "reads as an option");
    }
    const CommandLine Line = ReadCommandLine(Sys_, Current_.Args);
    if (Line.What != CommandLine::Action::kRun) {
      Fail(TargetLine_, RefusalOf(Line));
    }
  }

  const std::string& File_;
  Platform& Sys_;
  RulesFile* Out_;
  bool Open_ = false;  // a [name] was read: the lines belong to Current_
  Rule Current_;
  size_t NameLine_ = 0, TargetLine_ = 0;
  std::string Target_;
  size_t Given_[kKeyCount] = {};  // the line of each key in this rule; 0: none
};

// A name given twice refuses both rules, across the files of a folder too:
// one pass over every rule, of which those from First on are new.
void RefuseRepeatedNames(RulesFile* Out, size_t First) {
  struct Seen {
    size_t Index;
    bool Refused;
  };
  std::unordered_map<std::string, Seen> Names;
  std::vector<Rule>& Rules = Out->Rules;
  for (size_t I = 0; I < Rules.size(); ++I) {
    auto Found = Names.emplace(Rules[I].Name, Seen{I, false});
    if (Found.second) continue;
    Seen& Earlier = Found.first->second;
    const std::string What =
        ": the rule name " + Shown(Rules[I].Name) + " is given twice (";
    if (I >= First) {
      Rules[I].Errors.push_back(Rules[I].Where + What + "first at " +
                                Rules[Earlier.Index].Where + ")");
      if (!Earlier.Refused) {
        Rule& Other = Rules[Earlier.Index];
        Other.Errors.push_back(Other.Where + What + "again at " +
                               Rules[I].Where + ")");
      }
    }
    Earlier.Refused = true;
  }
}

// Reads the file Path into *Out; false, with Out->Error, when it cannot be.
bool ReadRulesFile(Platform& Sys, const std::string& Path, RulesFile* Out) {
  std::string Bytes;
  if (!Sys.ReadFile(Path, &Bytes, kMostRulesBytes)) {
    Out->Error = Printable(Path) +
                 ": cannot be read (no access, not a file, or over 16 MiB)";
    return false;
  }
  ParseRules(Printable(Path), Bytes, Sys, Out);
  return Out->Error.empty();
}

// The names of the folder's rules files in name order. False, with
// Out->Error, when the folder cannot be listed.
bool ListRulesFiles(Platform& Sys, const std::string& Path,
                    std::vector<std::string>* Names, RulesFile* Out) {
  const std::unique_ptr<Folder> Opened = Sys.OpenFolder(Path);
  std::unique_ptr<Listing> List;
  if (Opened) List = Opened->List("*");
  Entry Item;
  while (List && List->Next(&Item)) {
    const bool File =
        Item.Kind == EntryKind::kFile || Item.Kind == EntryKind::kFileLink;
    if (File && Item.Name[0] != '.' && Sys.MatchName("*.conf", Item.Name)) {
      Names->push_back(Item.Name);
    }
  }
  if (!List || List->Failed()) {
    Out->Error = Printable(Path) + ": the folder cannot be read";
    return false;
  }
  std::sort(Names->begin(), Names->end());
  return true;
}

}  // namespace

void ParseRules(const std::string& File, const std::string& Bytes,
                Platform& Sys, RulesFile* Out) {
  std::string Text, Why;
  if (!DecodeText(Bytes, &Text, &Why)) {
    Out->Error = File + ": " + Why;
    return;
  }
  const size_t First = Out->Rules.size();
  Reader Lines(File, Sys, Out);
  EachLine(Text, [&](size_t Number, std::string_view Line) {
    Lines.Read(Number, Line);
    return true;
  });
  Lines.EndRule();
  RefuseRepeatedNames(Out, First);
}

RulesFile ReadRules(Platform& Sys, const std::string& Path) {
  RulesFile Out;
  const std::string Full = Sys.ResolvePath(Sys.CurrentDirectory(), Path);
  const PathKind Kind = Full.empty() ? PathKind::kNothing : Sys.Status(Full);
  bool Read = false;
  if (Kind == PathKind::kFile) {
    Read = ReadRulesFile(Sys, Full, &Out);
  } else if (Kind == PathKind::kNothing) {
    Out.Error = Printable(Path) + ": no such file or folder";
  } else {
    std::vector<std::string> Names;
    Read = ListRulesFiles(Sys, Full, &Names, &Out);
    for (size_t I = 0; Read && I < Names.size(); ++I) {
      Read = ReadRulesFile(Sys, Sys.ResolvePath(Full, Names[I]), &Out);
    }
  }
  // What cannot be read runs nothing, not even the rules read before it.
  if (!Read) Out = RulesFile{std::move(Out.Error), {}, {}};
  return Out;
}

}  // namespace olvane
