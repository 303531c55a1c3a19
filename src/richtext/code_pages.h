#pragma once

// Decoding of the 8-bit text that RTF documents carry in Windows code pages:
// the single-byte pages through tables, the East Asian double-byte pages
// (932, 936, 949, 950, 1361) and UTF-8 (65001) through the C library's iconv.
// Bytes a code page does not define become U+FFFD.

#include <cstdint>
#include <string>
#include <string_view>

namespace tagsmith {

// Code pages named by their Windows number; 0 stands for "not known".
inline constexpr int kCodePageSymbol = 42;  // the symbol charset: byte b is U+F000 + b
inline constexpr int kCodePageUtf8 = 65001;

// The code page of an RTF font charset (\fcharsetN), or 0 when the charset
// does not name one (the default charset, unknown numbers); the document's
// code page applies then.
int CodePageOfCharset(int charset);

// The upper half (bytes 0x80-0xFF) of a single-byte code page, or nullptr
// when the page is not a single-byte page this decoder knows.
const char16_t* SingleByteTable(int codePage);

// True for the multi-byte pages: their characters span one or two bytes (up
// to four for UTF-8) and are decoded by MultiByteDecoder.
bool IsMultiByteCodePage(int codePage);

// Whether `byte` starts a two-byte character in `codePage` (a multi-byte page).
bool IsLeadByte(int codePage, uint8_t byte);

// Decodes byte strings of one multi-byte code page. Not thread-safe; one
// decoder per reader.
class MultiByteDecoder {
 public:
  explicit MultiByteDecoder(int codePage);
  ~MultiByteDecoder();
  MultiByteDecoder(const MultiByteDecoder&) = delete;
  MultiByteDecoder& operator=(const MultiByteDecoder&) = delete;

  int codePage() const { return codePage_; }
  // Appends the UTF-16 text of `bytes` to `out`. A byte that does not start a
  // valid character, and an incomplete character at the end, become U+FFFD.
  void Decode(std::string_view bytes, std::u16string* out);

 private:
  int codePage_;
  void* iconv_;  // iconv_t, or (iconv_t)-1 when the C library lacks the page
};

}  // namespace tagsmith
