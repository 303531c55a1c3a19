#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/stream.h"

namespace tagsmith {

// A byte stream over a wide (UTF-16) string: code is accumulated in one and
// handed to the clipboard and to files from one. Positions and sizes are
// bytes; the string holds two bytes per character. Writing truncates what
// lies after the written bytes, also when it writes none.
class TWStringStream : public TStream {
 public:
  explicit TWStringStream(std::u16string text = std::u16string());

  // Writes the characters (two bytes each, no terminator) at the position.
  void WriteWideString(std::u16string_view text);

  int64_t Read(void* buffer, int64_t count) override;
  int64_t Write(const void* buffer, int64_t count) override;
  // Origin soFromEnd counts the offset backwards from the end.
  int64_t Seek(int64_t offset, int origin) override;
  void SetSize(int64_t size) override;

  // Makes room for `chars` characters of data without changing it, so a long
  // accumulation does not move its data around as it grows.
  void Reserve(size_t chars);

  const std::u16string& DataString() const { return data_; }
  std::u16string TakeDataString();

 private:
  std::u16string data_;
  int64_t position_ = 0;
};

}  // namespace tagsmith
