#pragma once

// ZIP archives built byte by byte for tests, benchmarks and fuzz seeds: good
// ones (stored and deflated entries, with or without a central directory,
// with data descriptors) and bad ones (sizes, offsets and methods that lie).

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include <zlib.h>

#include "support/le_bytes.h"

namespace tagsmith::testing {


// Raw deflate (no zlib header), as ZIP entries hold it.
inline std::string RawDeflate(const std::string& data, int level = Z_DEFAULT_COMPRESSION) {
  z_stream z{};
  deflateInit2(&z, level, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY);
  std::string out(deflateBound(&z, uLong(data.size())), '\0');
  z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
  z.avail_in = uInt(data.size());
  z.next_out = reinterpret_cast<Bytef*>(out.data());
  z.avail_out = uInt(out.size());
  deflate(&z, Z_FINISH);
  out.resize(z.total_out);
  deflateEnd(&z);
  return out;
}

struct ZipItem {
  ZipItem(std::string name_, std::string data_, uint16_t method_ = 8)
      : name(std::move(name_)), data(std::move(data_)), method(method_) {}

  ZipItem& WithFlags(uint16_t f) { flags = f; return *this; }
  ZipItem& WithDescriptor(bool signature = true) {
    descriptor = true;
    descriptorSignature = signature;
    return *this;
  }
  ZipItem& ClaimingCompressed(uint32_t v) { claimCompressed = v; return *this; }
  ZipItem& ClaimingUncompressed(uint32_t v) { claimUncompressed = v; return *this; }
  ZipItem& ClaimingOffset(uint32_t v) { claimOffset = v; return *this; }
  ZipItem& Packing(std::string bytes) { packed = std::move(bytes); return *this; }

  std::string name;
  std::string data;
  uint16_t method = 8;       // 0 stored, 8 deflated (others are written stored)
  uint16_t flags = 0;        // bit 0 encrypted; bit 3 is set by `descriptor`
  bool descriptor = false;   // sizes after the data, zero in the local header
  bool descriptorSignature = true;
  // What the headers claim instead of the truth.
  std::optional<uint32_t> claimCompressed, claimUncompressed, claimOffset;
  std::optional<std::string> packed;  // the bytes written instead of packing `data`
};

struct ZipArchive {
  std::vector<ZipItem> items;
  bool centralDirectory = true;
  std::string prefix;   // bytes in front of the archive
  std::string comment;  // of the end record
  std::optional<uint16_t> claimCount;
  std::optional<uint32_t> claimDirectoryOffset;

  std::string Build() const {
    std::string out = prefix;
    std::string directory;
    for (const ZipItem& item : items) {
      const std::string packed = item.packed ? *item.packed : item.method == 8 ? RawDeflate(item.data) : item.data;
      const uint32_t crc = uint32_t(crc32(0, reinterpret_cast<const Bytef*>(item.data.data()), uInt(item.data.size())));
      const uint32_t csize = item.claimCompressed.value_or(uint32_t(packed.size()));
      const uint32_t usize = item.claimUncompressed.value_or(uint32_t(item.data.size()));
      const uint16_t flags = uint16_t(item.flags | (item.descriptor ? 8 : 0));
      const uint32_t offset = item.claimOffset.value_or(uint32_t(out.size() - prefix.size()));
      out += "PK\x03\x04";
      PutU16(out, 20);
      PutU16(out, flags);
      PutU16(out, item.method);
      PutU32(out, 0x00210000);  // 1980-01-01 00:00
      PutU32(out, item.descriptor ? 0 : crc);
      PutU32(out, item.descriptor ? 0 : csize);
      PutU32(out, item.descriptor ? 0 : usize);
      PutU16(out, uint32_t(item.name.size()));
      PutU16(out, 0);
      out += item.name;
      out += packed;
      if (item.descriptor) {
        if (item.descriptorSignature) out += "PK\x07\x08";
        PutU32(out, crc);
        PutU32(out, csize);
        PutU32(out, usize);
      }
      directory += "PK\x01\x02";
      PutU16(directory, 20);
      PutU16(directory, 20);
      PutU16(directory, flags);
      PutU16(directory, item.method);
      PutU32(directory, 0x00210000);
      PutU32(directory, crc);
      PutU32(directory, csize);
      PutU32(directory, usize);
      PutU16(directory, uint32_t(item.name.size()));
      PutU16(directory, 0);
      PutU16(directory, 0);
      PutU16(directory, 0);
      PutU16(directory, 0);
      PutU32(directory, 0);
      PutU32(directory, offset);
      directory += item.name;
    }
    if (!centralDirectory) return out;
    const uint32_t directoryOffset = claimDirectoryOffset.value_or(uint32_t(out.size() - prefix.size()));
    out += directory;
    out += "PK\x05\x06";
    PutU16(out, 0);
    PutU16(out, 0);
    const uint16_t count = claimCount.value_or(uint16_t(items.size()));
    PutU16(out, count);
    PutU16(out, count);
    PutU32(out, uint32_t(directory.size()));
    PutU32(out, directoryOffset);
    PutU16(out, uint32_t(comment.size()));
    out += comment;
    return out;
  }
};

}  // namespace tagsmith::testing
