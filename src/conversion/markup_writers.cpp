#include "conversion/markup_writers.h"

#include <climits>
#include <cmath>

namespace tagsmith::markup {

int RoundedFontSize(long double size) {
  const long double floor = std::floor(size);
  const long double diff = size - floor;
  long double rounded = floor;
  if (diff > 0.5L || (diff == 0.5L && std::fmod(floor, 2.0L) != 0.0L)) rounded = floor + 1;
  if (rounded > INT_MAX) return INT_MAX;
  if (rounded < INT_MIN) return INT_MIN;
  return static_cast<int>(rounded);
}

bool IsAutoColor(int32_t colour) { return (static_cast<uint32_t>(colour) & 0xFF000000u) != 0; }

bool IsBigImage(const TEmbObjRec& obj) { return obj.FileSize > 35 * 1024; }

const char16_t* AlignmentWord(uint8_t alignment) {
  switch (alignment) {
    case 0: return u"left";
    case 1: return u"right";
    case 2: return u"center";
    default: return nullptr;
  }
}

void AppendDecimal(std::u16string& out, int value) {
  char16_t digits[12];
  int n = 0;
  unsigned magnitude = value < 0 ? 0u - static_cast<unsigned>(value) : static_cast<unsigned>(value);
  do {
    digits[n++] = static_cast<char16_t>(u'0' + magnitude % 10);
    magnitude /= 10;
  } while (magnitude);
  if (value < 0) out.push_back(u'-');
  while (n) out.push_back(digits[--n]);
}

void AppendHex6(std::u16string& out, uint32_t value) {
  static constexpr char16_t kHex[] = u"0123456789ABCDEF";
  char16_t digits[8];
  int n = 0;
  do {
    digits[n++] = kHex[value & 0xF];
    value >>= 4;
  } while (value);
  for (int pad = n; pad < 6; ++pad) out.push_back(u'0');
  while (n) out.push_back(digits[--n]);
}

void AppendValue(std::u16string& out, std::u16string_view value) {
  for (size_t i = 0; i < value.size(); ++i) {
    const char16_t c = value[i];
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < value.size() && value[i + 1] >= 0xDC00 && value[i + 1] <= 0xDFFF) {
      out.push_back(c);
      out.push_back(value[++i]);
    } else if (c >= 0xD800 && c <= 0xDFFF) {
      out.push_back(u'\uFFFD');
    } else {
      out.push_back(c);
    }
  }
}

}  // namespace tagsmith::markup
