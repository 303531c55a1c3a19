#include "conversion/markup_writers.h"

#include <algorithm>
#include <climits>

namespace tagsmith::markup {

namespace {

template <typename F>
int RoundHalfEven(F size) {
  if (!(size < static_cast<F>(INT_MAX))) return INT_MAX;
  if (!(size > static_cast<F>(INT_MIN))) return INT_MIN;
  long long whole = static_cast<long long>(size);  // toward zero
  const F fraction = size - static_cast<F>(whole);
  if (fraction > F(0.5) || (fraction == F(0.5) && (whole & 1))) ++whole;
  else if (fraction < F(-0.5) || (fraction == F(-0.5) && (whole & 1))) --whole;
  return static_cast<int>(std::clamp<long long>(whole, INT_MIN, INT_MAX));
}

}  // namespace

int RoundedFontSize(long double size) {
  // Halves go to the even neighbour. Sizes come from the document as floats,
  // which double holds exactly; long double arithmetic is slow and this runs
  // for every run, so it is only used for a value double cannot hold.
  const double narrow = static_cast<double>(size);
  if (static_cast<long double>(narrow) == size) return RoundHalfEven(narrow);
  return RoundHalfEven(size);
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

namespace {

const char16_t* Escape(char16_t c, ValueContext context) {
  if (context == ValueContext::HtmlAttribute) {
    switch (c) {
      case u'"': return u"&quot;";
      case u'<': return u"&lt;";
      case u'>': return u"&gt;";
      default: return nullptr;
    }
  }
  switch (c) {
    case u'[': return u"%5B";
    case u']': return u"%5D";
    case u'"': return u"%22";
    default: return nullptr;
  }
}

}  // namespace

void AppendValue(std::u16string& out, std::u16string_view value, ValueContext context) {
  bool plain = true;
  for (char16_t c : value) plain = plain && !(c >= 0xD800 && c <= 0xDFFF) && !Escape(c, context);
  if (plain) {
    out.append(value);
    return;
  }
  for (size_t i = 0; i < value.size(); ++i) {
    const char16_t c = value[i];
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < value.size() && value[i + 1] >= 0xDC00 && value[i + 1] <= 0xDFFF) {
      out.push_back(c);
      out.push_back(value[++i]);
    } else if (c >= 0xD800 && c <= 0xDFFF) {
      out.push_back(u'\uFFFD');
    } else if (const char16_t* escaped = Escape(c, context)) {
      out += escaped;
    } else {
      out.push_back(c);
    }
  }
}

}  // namespace tagsmith::markup
