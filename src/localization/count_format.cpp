#include "localization/count_format.h"

#include <cstring>

#include "localization/simple_translator.h"
#include "platform/strings.h"

namespace tagsmith {

namespace {

// Width and precision stay small: a language file must not make one status
// line allocate megabytes.
constexpr int kMaxFieldDigits = 2;

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

}  // namespace

std::optional<int> IntegerConversionCount(std::string_view format) {
  int count = 0;
  for (size_t i = 0; i < format.size(); ++i) {
    if (format[i] != '%') continue;
    if (++i >= format.size()) return std::nullopt;
    if (format[i] == '%') continue;
    while (i < format.size() && std::strchr("-+ 0", format[i]) && format[i] != '\0') ++i;
    int digits = 0;
    while (i < format.size() && IsDigit(format[i])) ++i, ++digits;
    if (digits > kMaxFieldDigits) return std::nullopt;
    if (i < format.size() && format[i] == '.') {
      ++i;
      digits = 0;
      while (i < format.size() && IsDigit(format[i])) ++i, ++digits;
      if (digits > kMaxFieldDigits) return std::nullopt;
    }
    if (i >= format.size() || (format[i] != 'd' && format[i] != 'i')) return std::nullopt;
    ++count;
  }
  return count;
}

std::string FormatCountText(const std::string& format, int done, int total) {
  const std::optional<int> count = IntegerConversionCount(format);
  if (!count || *count > 2)
    throw ESimpleTranslator("Format '" + format + "' invalid or incompatible with argument");
  return FormatString(format.c_str(), done, total);
}

}  // namespace tagsmith
