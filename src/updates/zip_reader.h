#pragma once

// Reading ZIP archives: banner storages and the documents (OpenDocument
// files) whose parts the system looks into. Only reading; nothing is ever
// written into an archive.

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/errors.h"

namespace tagsmith {

// The reader's own failures: a file that cannot be read, an archive whose
// structure is damaged or hostile (sizes and offsets past the end, entries
// that overlap, more entries or bigger ones than the limits allow, names that
// climb out of the archive with ".."), an entry that is encrypted or packed
// with a method other than stored and deflated. The message names the archive
// and, where there is one, the entry.
class EZipReader : public Exception {
 public:
  using Exception::Exception;
};

// What one archive may hold before the reader refuses it. The defaults suit
// everything the system reads (a storage holds a list and a few pictures, a
// document a few dozen parts).
struct TZipLimits {
  size_t MaxEntries = 4096;
  uint64_t MaxEntrySize = uint64_t(64) << 20;          // uncompressed bytes of one entry
  uint64_t MaxCentralDirectory = uint64_t(16) << 20;  // bytes
};

// One entry as the central directory (or, without one, its local header)
// records it.
struct TZipEntry {
  std::string Name;  // as stored: bytes, "/" or "\" between folders
  uint16_t Flags = 0;
  uint16_t Method = 0;  // 0 stored, 8 deflated; others cannot be extracted
  uint32_t Crc32 = 0;   // recorded, never verified
  uint64_t CompressedSize = 0;
  uint64_t UncompressedSize = 0;
  uint64_t HeaderOffset = 0;  // of the local header, from the start of the data
  uint64_t DataOffset = 0;    // of the entry's packed bytes

  bool Encrypted() const { return (Flags & 1) != 0; }
};

// An open archive. Opening reads the end-of-central-directory record and the
// central directory; when the data has no such record, the entries are
// collected from the local file headers, one after the other from the start.
// Either way every entry is checked against the data before it is listed:
// its local header exists and its packed bytes end before the next entry (or
// the central directory) begins.
//
// Data that is no archive at all opens fine and reports IsZipArchive false
// with no entries; a damaged or hostile archive throws EZipReader. Every
// operation takes time and memory bounded by the data's size and the limits.
//
// One reader is used by one thread at a time; separate readers may run on
// separate threads.
class TZipReader {
 public:
  // Opens a file; reads it piecewise, never whole. Throws EZipReader when the
  // file does not exist or cannot be read, or when the archive is damaged.
  static TZipReader OpenFile(const std::string& path, const TZipLimits& limits = {});
  // Opens bytes in memory, which must outlive the reader. `sourceName` stands
  // for the archive in messages.
  static TZipReader OpenMemory(std::string_view bytes, const std::string& sourceName,
                               const TZipLimits& limits = {});

  TZipReader(TZipReader&&) noexcept;
  TZipReader& operator=(TZipReader&&) noexcept;
  ~TZipReader();

  // True when the central directory was read completely, or when the scan of
  // local headers found at least one entry.
  bool IsZipArchive() const { return isZip_; }
  const std::vector<TZipEntry>& Entries() const { return entries_; }
  const std::string& SourceName() const { return sourceName_; }

  // The index of the first entry whose name equals `name` without regard to
  // ASCII letter case, "\" and "/" taken alike; -1 when there is none.
  int FindEntry(std::string_view name) const;

  // The entry's bytes: stored ones copied, deflated ones inflated, never more
  // than its recorded uncompressed size. When the data turns out shorter or
  // longer than that size, the result is empty. The CRC is not checked.
  // Throws EZipReader for an index out of range, a closed archive, an
  // encrypted entry, another method, an entry above MaxEntrySize, damaged
  // deflate data, or a read failure.
  std::string Extract(int index) const;

  // Releases the file; the reader then has no entries.
  void Close();

 private:
  class Source;
  class MemorySource;
  class FileSource;
  TZipReader(std::unique_ptr<Source> source, std::string sourceName, const TZipLimits& limits);

  void Open();
  bool ReadCentralDirectory();
  void ScanLocalHeaders();
  void CheckEntries(uint64_t end);
  [[noreturn]] void Fail(const std::string& reason) const;
  [[noreturn]] void FailEntry(const TZipEntry& entry, const std::string& reason) const;

  std::unique_ptr<Source> source_;
  std::string sourceName_;
  TZipLimits limits_;
  std::vector<TZipEntry> entries_;
  bool isZip_ = false;
};

}  // namespace tagsmith
