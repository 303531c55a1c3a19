#include "richtext/code_pages.h"

#include <iconv.h>

#include <algorithm>
#include <cerrno>

#include "platform/strings.h"

namespace tagsmith {

namespace {

struct SingleBytePage {
  int number;
  const char16_t* table;
};

#include "richtext/code_page_tables.inc"

constexpr char16_t kReplacement = 0xFFFD;

const char* IconvName(int codePage) {
  switch (codePage) {
    case 932: return "CP932";
    case 936: return "CP936";
    case 949: return "CP949";
    case 950: return "CP950";
    case 1361: return "JOHAB";
    default: return nullptr;
  }
}

}  // namespace

int CodePageOfCharset(int charset) {
  switch (charset) {
    case 0: return 1252;    // ANSI
    case 2: return kCodePageSymbol;
    case 77: return 10000;  // Mac Roman
    case 78: return 932;    // Mac Japanese, a Shift-JIS variant
    case 79: return 949;    // Mac Korean
    case 80: return 936;    // Mac Simplified Chinese
    case 81: return 950;    // Mac Traditional Chinese
    case 128: return 932;   // Shift-JIS
    case 129: return 949;   // Hangul
    case 130: return 1361;  // Johab
    case 134: return 936;   // GB2312 / GBK
    case 136: return 950;   // Big5
    case 161: return 1253;  // Greek
    case 162: return 1254;  // Turkish
    case 163: return 1258;  // Vietnamese
    case 177: return 1255;  // Hebrew
    case 178: return 1256;  // Arabic
    case 186: return 1257;  // Baltic
    case 204: return 1251;  // Cyrillic
    case 222: return 874;   // Thai
    case 238: return 1250;  // Eastern European
    case 254: return 437;   // PC 437
    case 255: return 850;   // OEM
    default: return 0;      // 1 (default) and unknown charsets
  }
}

const char16_t* SingleByteTable(int codePage) {
  for (const SingleBytePage& page : kSingleBytePages)
    if (page.number == codePage) return page.table;
  return nullptr;
}

bool IsMultiByteCodePage(int codePage) {
  return codePage == kCodePageUtf8 || IconvName(codePage) != nullptr;
}

bool IsLeadByte(int codePage, uint8_t byte) {
  switch (codePage) {
    case 932: return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC);
    case 936:
    case 949:
    case 950: return byte >= 0x81 && byte <= 0xFE;
    case 1361: return (byte >= 0x84 && byte <= 0xD3) || (byte >= 0xD8 && byte <= 0xF9);
    case kCodePageUtf8: return byte >= 0xC0;
    default: return false;
  }
}

MultiByteDecoder::MultiByteDecoder(int codePage) : codePage_(codePage), iconv_(reinterpret_cast<void*>(-1)) {
  if (const char* name = IconvName(codePage)) iconv_ = iconv_open("UTF-16LE", name);
}

MultiByteDecoder::~MultiByteDecoder() {
  if (iconv_ != reinterpret_cast<void*>(-1)) iconv_close(static_cast<iconv_t>(iconv_));
}

void MultiByteDecoder::Decode(std::string_view bytes, std::u16string* out) {
  if (codePage_ == kCodePageUtf8) {
    out->append(Utf8ToUtf16(bytes));
    return;
  }
  if (iconv_ == reinterpret_cast<void*>(-1)) {
    // Without the C library's tables: ASCII stays, every other character
    // (a lead byte with its trail byte) becomes one replacement character.
    for (size_t i = 0; i < bytes.size(); ++i) {
      const uint8_t b = static_cast<uint8_t>(bytes[i]);
      if (b < 0x80) {
        out->push_back(b);
        continue;
      }
      out->push_back(kReplacement);
      if (IsLeadByte(codePage_, b) && i + 1 < bytes.size()) ++i;
    }
    return;
  }
  iconv_t cd = static_cast<iconv_t>(iconv_);
  iconv(cd, nullptr, nullptr, nullptr, nullptr);
  char buffer[1024];
  char* in = const_cast<char*>(bytes.data());
  size_t inLeft = bytes.size();
  while (inLeft > 0) {
    char* outPtr = buffer;
    size_t outLeft = sizeof buffer;
    const size_t rc = iconv(cd, &in, &inLeft, &outPtr, &outLeft);
    const int error = rc == static_cast<size_t>(-1) ? errno : 0;
    const size_t produced = static_cast<size_t>(outPtr - buffer);
    for (size_t i = 0; i + 1 < produced; i += 2)
      out->push_back(static_cast<char16_t>(static_cast<uint8_t>(buffer[i]) |
                                           (static_cast<uint8_t>(buffer[i + 1]) << 8)));
    if (error == EILSEQ) {
      // An invalid byte: replace it and go on with the next one.
      out->push_back(kReplacement);
      ++in;
      --inLeft;
      iconv(cd, nullptr, nullptr, nullptr, nullptr);
    } else if (error == EINVAL) {
      // A character cut off at the end.
      out->push_back(kReplacement);
      break;
    } else if (error != 0 && error != E2BIG) {
      out->push_back(kReplacement);
      break;
    }
  }
}

}  // namespace tagsmith
