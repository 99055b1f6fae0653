#include "platform/wide_text.h"

namespace olvane {
namespace {

constexpr char16_t kReplacement = 0xFFFD;

bool IsLead(char16_t C) { return C >= 0xD800 && C <= 0xDBFF; }
bool IsTrail(char16_t C) { return C >= 0xDC00 && C <= 0xDFFF; }
bool IsContinuation(unsigned char B) { return (B & 0xC0) == 0x80; }

void PutUtf8(char32_t Code, std::string* Out) {
  if (Code < 0x80) {
    *Out += static_cast<char>(Code);
  } else if (Code < 0x800) {
    *Out += static_cast<char>(0xC0 | (Code >> 6));
    *Out += static_cast<char>(0x80 | (Code & 0x3F));
  } else if (Code < 0x10000) {
    *Out += static_cast<char>(0xE0 | (Code >> 12));
    *Out += static_cast<char>(0x80 | ((Code >> 6) & 0x3F));
    *Out += static_cast<char>(0x80 | (Code & 0x3F));
  } else {
    *Out += static_cast<char>(0xF0 | (Code >> 18));
    *Out += static_cast<char>(0x80 | ((Code >> 12) & 0x3F));
    *Out += static_cast<char>(0x80 | ((Code >> 6) & 0x3F));
    *Out += static_cast<char>(0x80 | (Code & 0x3F));
  }
}

// UTF-16 to UTF-8; an unpaired surrogate in its own three-byte form, or with
// Strict as U+FFFD.
std::string Encode(std::u16string_view Text, bool Strict) {
  std::string Out;
  Out.reserve(Text.size());
  for (size_t I = 0; I < Text.size(); ++I) {
    const char16_t C = Text[I];
    if (IsLead(C) && I + 1 < Text.size() && IsTrail(Text[I + 1])) {
      PutUtf8(0x10000 + ((char32_t{C} - 0xD800) << 10) + (Text[++I] - 0xDC00),
              &Out);
    } else if (Strict && (IsLead(C) || IsTrail(C))) {
      PutUtf8(kReplacement, &Out);
    } else {
      PutUtf8(C, &Out);
    }
  }
  return Out;
}

bool IsSeparator(char16_t C) { return C == u'\\' || C == u'/'; }

bool StartsWith(std::u16string_view Text, std::u16string_view Prefix) {
  return Text.substr(0, Prefix.size()) == Prefix;
}

// A full path taken apart: the root in its long form ("\\?\C:",
// "\\?\UNC\server\share") and what follows it, separators included.
struct FullPath {
  std::u16string Root;
  std::u16string Rest;
  bool Drive = false;  // the root is a drive, whose root folder is "X:\"
};

// The first component of Text and where it ends.
size_t ComponentEnd(std::u16string_view Text, size_t From) {
  size_t End = From;
  while (End < Text.size() && Text[End] != u'\\') ++End;
  return End;
}

// Splits Path (separators already "\") when it is full: a drive path, a
// network path, or a path in the "\\?\" or "\\.\" form.
bool SplitFull(std::u16string_view Path, FullPath* Out) {
  if (Path.size() >= 3 && Path[1] == u':' && Path[2] == u'\\') {
    Out->Root = u"\\\\?\\" + std::u16string(Path.substr(0, 2));
    Out->Rest = std::u16string(Path.substr(2));
    Out->Drive = true;
    return true;
  }
  if (!StartsWith(Path, u"\\\\")) return false;
  if (StartsWith(Path, u"\\\\?\\UNC\\"))
    Path.remove_prefix(8);
  else if (StartsWith(Path, u"\\\\?\\") || StartsWith(Path, u"\\\\.\\")) {
    // A device path: its first component is the root.
    const size_t End = ComponentEnd(Path, 4);
    if (End == 4) return false;
    const std::u16string_view Device = Path.substr(4, End - 4);
    Out->Root = u"\\\\?\\" + std::u16string(Device);
    Out->Rest = std::u16string(Path.substr(End));
    Out->Drive = Device.size() == 2 && Device[1] == u':';
    return true;
  } else {
    Path.remove_prefix(2);
  }
  // server\share\rest
  const size_t ServerEnd = ComponentEnd(Path, 0);
  if (ServerEnd == 0 || ServerEnd == Path.size()) return false;
  const size_t ShareEnd = ComponentEnd(Path, ServerEnd + 1);
  if (ShareEnd == ServerEnd + 1) return false;
  Out->Root = u"\\\\?\\UNC\\" + std::u16string(Path.substr(0, ShareEnd));
  Out->Rest = std::u16string(Path.substr(ShareEnd));
  Out->Drive = false;
  return true;
}

// The root followed by the components of the rest, "." and ".." resolved.
std::u16string Join(const FullPath& Full) {
  std::vector<std::u16string_view> Components;
  const std::u16string_view Rest = Full.Rest;
  for (size_t At = 0; At < Rest.size();) {
    const size_t End = ComponentEnd(Rest, At);
    const std::u16string_view Component = Rest.substr(At, End - At);
    if (Component == u"..") {
      if (!Components.empty()) Components.pop_back();
    } else if (!Component.empty() && Component != u".") {
      Components.push_back(Component);
    }
    At = End + 1;
  }
  std::u16string Out = Full.Root;
  for (const std::u16string_view Component : Components) {
    Out += u'\\';
    Out += Component;
  }
  const bool Trailing = !Rest.empty() && Rest.back() == u'\\';
  if (Trailing || (Components.empty() && Full.Drive)) Out += u'\\';
  return Out;
}

char16_t FoldAscii(char16_t C) {
  return C >= u'a' && C <= u'z' ? static_cast<char16_t>(C - u'a' + u'A') : C;
}

// Length of the character at Text[At]: 2 for a surrogate pair, else 1.
size_t CharLength(std::u16string_view Text, size_t At) {
  return IsLead(Text[At]) && At + 1 < Text.size() && IsTrail(Text[At + 1]) ? 2
                                                                           : 1;
}

}  // namespace

std::u16string WideFromUtf8(std::string_view Text) {
  std::u16string Out;
  Out.reserve(Text.size());
  const auto Byte = [&](size_t At) -> unsigned char {
    return At < Text.size() ? static_cast<unsigned char>(Text[At]) : 0;
  };
  for (size_t I = 0; I < Text.size();) {
    const unsigned char B = Byte(I);
    if (B < 0x80) {
      Out += static_cast<char16_t>(B);
      ++I;
      continue;
    }
    // Length of the sequence and the range its second byte must lie in,
    // which rules out overlong forms and values beyond U+10FFFF. Surrogates
    // (0xED 0xA0..0xBF) are allowed: that is what WTF-8 adds.
    size_t Length = 0;
    unsigned char Low = 0x80, High = 0xBF;
    if (B >= 0xC2 && B <= 0xDF) {
      Length = 2;
    } else if (B >= 0xE0 && B <= 0xEF) {
      Length = 3;
      if (B == 0xE0) Low = 0xA0;
    } else if (B >= 0xF0 && B <= 0xF4) {
      Length = 4;
      if (B == 0xF0) Low = 0x90;
      if (B == 0xF4) High = 0x8F;
    }
    if (Length == 0) {
      Out += kReplacement;
      ++I;
      continue;
    }
    char32_t Code = B & (0x7F >> Length);
    size_t Got = 1;
    for (; Got < Length; ++Got) {
      const unsigned char Next = Byte(I + Got);
      if (I + Got >= Text.size() || !IsContinuation(Next) ||
          (Got == 1 && (Next < Low || Next > High))) {
        break;
      }
      Code = (Code << 6) | (Next & 0x3F);
    }
    I += Got;
    if (Got < Length) {
      Out += kReplacement;
    } else if (Code >= 0x10000) {
      Out += static_cast<char16_t>(0xD800 + ((Code - 0x10000) >> 10));
      Out += static_cast<char16_t>(0xDC00 + ((Code - 0x10000) & 0x3FF));
    } else {
      Out += static_cast<char16_t>(Code);
    }
  }
  return Out;
}

std::string Utf8FromWide(std::u16string_view Text) {
  return Encode(Text, false);
}

std::string StrictUtf8(std::string_view Text) {
  return Encode(WideFromUtf8(Text), true);
}

std::u16string LongPathForm(std::u16string_view Path,
                            std::u16string_view CurrentDirectory) {
  if (Path.empty()) return std::u16string();
  if (StartsWith(Path, u"\\\\?\\")) return std::u16string(Path);
  std::u16string Text(Path);
  for (char16_t& C : Text) {
    if (IsSeparator(C)) C = u'\\';
  }
  FullPath Full;
  if (SplitFull(Text, &Full)) return Join(Full);

  if (StartsWith(Text, u"\\\\")) return std::u16string();  // no share
  // A base in the "\\?\" form is taken literally, "/" and all.
  std::u16string Base(CurrentDirectory);
  if (!StartsWith(Base, u"\\\\?\\")) {
    for (char16_t& C : Base) {
      if (IsSeparator(C)) C = u'\\';
    }
  }
  FullPath Current;
  const bool HaveBase = SplitFull(Base, &Current);
  if (Text.size() >= 2 && Text[1] == u':') {
    // "C:logs": against the current directory when it is on that drive,
    // else against the drive's root.
    if (HaveBase && Current.Drive && Current.Root.size() == 6 &&
        FoldAscii(Current.Root[4]) == FoldAscii(Text[0])) {
      Full = Current;
    } else {
      Full.Root = u"\\\\?\\" + Text.substr(0, 2);
      Full.Drive = true;
    }
    if (Text.size() > 2) Full.Rest += u'\\' + Text.substr(2);
    return Join(Full);
  }
  if (!HaveBase) return std::u16string();
  Full = Current;
  if (Text[0] == u'\\') {
    // "\logs": from the root of the current drive or share.
    Full.Rest = Text;
  } else {
    Full.Rest += u'\\';
    Full.Rest += Text;
  }
  return Join(Full);
}

std::vector<std::u16string> SplitCommandLine(std::u16string_view Line) {
  std::vector<std::u16string> Words;
  size_t At = 0;
  const auto Here = [&]() -> char16_t {
    return At < Line.size() ? Line[At] : u'\0';
  };
  const auto IsBlank = [](char16_t C) { return C == u' ' || C == u'\t'; };

  // The program name: between quotes, or up to the first blank; no escapes.
  std::u16string Program;
  if (Here() == u'"') {
    for (++At; Here() != u'"' && Here() != u'\0'; ++At) Program += Line[At];
    if (Here() == u'"') ++At;
  } else {
    for (; Here() != u'\0' && !IsBlank(Here()); ++At) Program += Line[At];
  }
  Words.push_back(std::move(Program));

  bool InQuote = false;
  for (;;) {
    while (IsBlank(Here())) ++At;
    if (Here() == u'\0') break;
    std::u16string Word;
    for (;;) {
      bool Copy = true;
      size_t Slashes = 0;
      while (Here() == u'\\') {
        ++At;
        ++Slashes;
      }
      if (Here() == u'"') {
        if (Slashes % 2 == 0) {
          if (InQuote && At + 1 < Line.size() && Line[At + 1] == u'"') {
            ++At;  // "" inside quotes: a literal quote
          } else {
            Copy = false;
          }
          InQuote = !InQuote;
        }
        Slashes /= 2;
      }
      Word.append(Slashes, u'\\');
      if (Here() == u'\0' || (!InQuote && IsBlank(Here()))) break;
      if (Copy) Word += Here();
      ++At;
    }
    Words.push_back(std::move(Word));
  }
  return Words;
}

bool MatchWideMask(std::u16string_view Mask, std::u16string_view Name,
                   char16_t (*Upcase)(char16_t)) {
  // Greedy match that backtracks only to the last star: linear in practice
  // and never exponential, whatever the mask.
  size_t M = 0, N = 0;
  size_t StarM = std::u16string_view::npos, StarN = 0;
  while (N < Name.size()) {
    if (M < Mask.size() && Mask[M] == u'?') {
      ++M;
      N += CharLength(Name, N);
    } else if (M < Mask.size() && Mask[M] != u'*' &&
               Upcase(Mask[M]) == Upcase(Name[N])) {
      ++M;
      ++N;
    } else if (M < Mask.size() && Mask[M] == u'*') {
      StarM = M++;
      StarN = N;
    } else if (StarM != std::u16string_view::npos) {
      M = StarM + 1;
      StarN += CharLength(Name, StarN);
      N = StarN;
    } else {
      return false;
    }
  }
  while (M < Mask.size() && Mask[M] == u'*') ++M;
  return M == Mask.size();
}

}  // namespace olvane
