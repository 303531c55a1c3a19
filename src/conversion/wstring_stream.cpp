#include "conversion/wstring_stream.h"

#include <algorithm>
#include <cstring>

#include "platform/memory.h"

namespace tagsmith {

namespace {
int64_t HalfUp(int64_t bytes) { return (bytes + 1) / 2; }
}  // namespace

TWStringStream::TWStringStream(std::u16string text) : data_(std::move(text)) {}

void TWStringStream::WriteWideString(std::u16string_view text) {
  Write(text.data(), static_cast<int64_t>(text.size() * sizeof(char16_t)));
}

int64_t TWStringStream::Read(void* buffer, int64_t count) {
  // Bytes are taken from the character at ceil(P / 2). At the even positions
  // the stream is used at, that is byte P; at an odd one it is one further,
  // so the count is also bounded by what lies after that byte.
  const int64_t total = static_cast<int64_t>(data_.size()) * 2;
  const int64_t from = HalfUp(position_) * 2;
  const int64_t n = std::max<int64_t>(0, std::min({count, total - position_, total - from}));
  if (n > 0) std::memcpy(buffer, reinterpret_cast<const char*>(data_.data()) + from, static_cast<size_t>(n));
  position_ += n;
  return n;
}

int64_t TWStringStream::Write(const void* buffer, int64_t count) {
  if (count < 0) return 0;
  if (count > 0 && position_ == static_cast<int64_t>(data_.size()) * 2 && count % 2 == 0) {
    // Appending whole characters at the end, the way code is accumulated.
    data_.append(static_cast<const char16_t*>(buffer), static_cast<size_t>(count / 2));
    position_ += count;
    return count;
  }
  const int64_t from = HalfUp(position_) * 2;
  // ceil((P + count) / 2) characters, even for a count of 0: a write always
  // ends the data after the written bytes. At an odd position the copy
  // starts one byte later and needs one character more.
  const int64_t chars = std::max(HalfUp(position_ + count), HalfUp(from + count));
  data_.resize(static_cast<size_t>(chars));
  if (count > 0) std::memcpy(reinterpret_cast<char*>(data_.data()) + from, buffer, static_cast<size_t>(count));
  position_ += count;
  return count;
}

int64_t TWStringStream::Seek(int64_t offset, int origin) {
  const int64_t total = static_cast<int64_t>(data_.size()) * 2;
  switch (origin) {
    case soFromBeginning: position_ = offset; break;
    case soFromCurrent: position_ += offset; break;
    case soFromEnd: position_ = total - offset; break;
    default: break;
  }
  position_ = std::clamp<int64_t>(position_, 0, total);
  return position_;
}

void TWStringStream::SetSize(int64_t size) {
  size = std::max<int64_t>(size, 0);
  data_.resize(static_cast<size_t>(HalfUp(size)));
  if (size < position_) position_ = size;
}

void TWStringStream::Reserve(size_t chars) {
  if (chars <= data_.capacity()) return;
  data_.reserve(chars);
  AdviseHugePages(data_.data(), data_.capacity() * sizeof(char16_t));
}

std::u16string TWStringStream::TakeDataString() {
  std::u16string out;
  out.swap(data_);
  position_ = 0;
  return out;
}

}  // namespace tagsmith
