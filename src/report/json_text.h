// The pieces of a JSON Lines record: strings, names that are not UTF-8,
// and times. Plain string code, the same on every system.
#ifndef OLVANE_REPORT_JSON_TEXT_H_
#define OLVANE_REPORT_JSON_TEXT_H_

#include <cstdint>
#include <string>
#include <string_view>

namespace olvane {

// Appends Text, which must be valid UTF-8, to Out as a JSON string between
// quotes: a quote and a backslash escaped by a backslash, every control
// character below U+0020 as "\u00XX"; every other character as it is.
void AppendJsonString(std::string_view Text, std::string* Out);

// Text made valid UTF-8: each ill-formed part (a stray byte, a truncated or
// overlong sequence, a value beyond U+10FFFF, a surrogate in its three-byte
// form as Windows names carry them) becomes one U+FFFD, the longest run of
// bytes that began a sequence at a time. *Changed says whether anything was
// replaced: then Text cannot be had back from the result.
std::string ValidUtf8(std::string_view Text, bool* Changed);

// Bytes in the base64 of RFC 4648, with padding.
std::string Base64(std::string_view Bytes);

// Seconds since 1970-01-01 UTC as ISO 8601 in UTC: "2026-01-02T03:04:05Z".
// Empty outside the years 0001 to 9999, which RFC 3339 cannot write.
std::string IsoUtcTime(int64_t Seconds);

// Seconds since 1970-01-01 UTC as ISO 8601 in the local time Offset
// seconds ahead of UTC: "2026-01-02T04:04:05+01:00". Empty where
// IsoUtcTime is.
std::string IsoLocalTime(int64_t Seconds, int32_t Offset);

// Milliseconds as seconds with three decimals: "12.345".
std::string SecondsText(int64_t Millis);

}  // namespace olvane

#endif  // OLVANE_REPORT_JSON_TEXT_H_
