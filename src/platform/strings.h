#pragma once

#include <cstdarg>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tagsmith {

// Conversions at the borders between wide text (UTF-16: documents, code) and
// 8-bit text (UTF-8: settings, paths, messages). Malformed input never fails:
// a lone surrogate or an invalid UTF-8 sequence becomes U+FFFD.
std::string Utf16ToUtf8(std::u16string_view text);
std::u16string Utf8ToUtf16(std::string_view text);

// Latin-1 (ISO-8859-1) bytes to UTF-8: every byte is the code point of its value.
std::string Latin1ToUtf8(std::string_view bytes);

// printf-style formatting into a std::string ("%.6X", "%d", "%s").
std::string FormatString(const char* format, ...) __attribute__((format(printf, 1, 2)));
std::string FormatStringV(const char* format, va_list args);

// Letter case of ASCII letters only; the stored names this system compares
// without regard to case (keys, codes, element names) are ASCII.
std::string AsciiLower(std::string_view text);
bool EqualsIgnoreCase(std::string_view a, std::string_view b);

// A decimal 32-bit integer as the stored files write one ("Index", "Ver"):
// blanks and control characters around it ignored, an optional sign, digits
// only. Nothing for any other text or a number out of range.
std::optional<int32_t> ParseInt32(std::string_view text);

// The first `count` characters (UTF-8 code points) of `text`, or all of it.
std::string FirstChars(std::string_view text, size_t count);

}  // namespace tagsmith
