#pragma once

#include <cstdint>

#include "platform/errors.h"

namespace tagsmith {

class EStreamError : public Exception {
 public:
  using Exception::Exception;
};

// The platform-neutral stream base: a derived class supplies Read, Write, Seek
// and SetSize; size, position and copying come from here, through those four.
class TStream {
 public:
  enum Origin { soFromBeginning = 0, soFromCurrent = 1, soFromEnd = 2 };

  virtual ~TStream() = default;
  // Reads up to `count` bytes; returns the number read.
  virtual int64_t Read(void* buffer, int64_t count) = 0;
  // Writes `count` bytes; returns the number written.
  virtual int64_t Write(const void* buffer, int64_t count) = 0;
  // Moves the position; returns the new position.
  virtual int64_t Seek(int64_t offset, int origin) = 0;
  virtual void SetSize(int64_t size) = 0;

  int64_t GetPosition() { return Seek(0, soFromCurrent); }
  void SetPosition(int64_t position) { Seek(position, soFromBeginning); }
  int64_t GetSize();
  // Read/Write exactly `count` bytes or raise EStreamError.
  void ReadBuffer(void* buffer, int64_t count);
  void WriteBuffer(const void* buffer, int64_t count);
  // Copies `count` bytes from the source's position; count 0 copies the whole
  // source from its start. Returns the bytes copied.
  int64_t CopyFrom(TStream& source, int64_t count);
};

}  // namespace tagsmith
