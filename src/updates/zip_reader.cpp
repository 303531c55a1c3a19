#include "updates/zip_reader.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <numeric>
#include <optional>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include "platform/strings.h"

namespace tagsmith {

namespace {

constexpr uint32_t kLocalHeaderSig = 0x04034b50;
constexpr uint32_t kCentralHeaderSig = 0x02014b50;
constexpr uint32_t kEndRecordSig = 0x06054b50;
constexpr uint32_t kDescriptorSig = 0x08074b50;
constexpr size_t kLocalHeaderSize = 30;
constexpr size_t kCentralHeaderSize = 46;
constexpr size_t kEndRecordSize = 22;
constexpr size_t kMaxCommentSize = 0xFFFF;
constexpr uint16_t kFlagDescriptor = 8;
constexpr size_t kChunk = 64 * 1024;

uint16_t Le16(const char* p) { return uint16_t(uint8_t(p[0]) | uint8_t(p[1]) << 8); }
uint32_t Le32(const char* p) { return uint32_t(Le16(p)) | uint32_t(Le16(p + 2)) << 16; }

char AsciiLowerSlash(char c) {
  if (c == '\\') return '/';
  if (c >= 'A' && c <= 'Z') return char(c - 'A' + 'a');
  return c;
}

// A name that a later extraction to disk would place outside its folder.
bool ClimbsOut(std::string_view name) {
  if (!name.empty() && (name[0] == '/' || name[0] == '\\')) return true;
  size_t start = 0;
  while (start <= name.size()) {
    size_t end = name.find_first_of("/\\", start);
    if (end == std::string_view::npos) end = name.size();
    if (name.substr(start, end - start) == "..") return true;
    start = end + 1;
  }
  return false;
}

}  // namespace

// Where the archive's bytes come from: a file read piecewise or bytes in
// memory. Read fills exactly `n` bytes or throws.
class TZipReader::Source {
 public:
  virtual ~Source() = default;
  virtual uint64_t Size() const = 0;
  // False when [offset, offset + n) is not inside the data.
  bool Contains(uint64_t offset, uint64_t n) const { return offset <= Size() && n <= Size() - offset; }
  virtual void Read(uint64_t offset, char* out, size_t n) const = 0;
};

class TZipReader::MemorySource : public TZipReader::Source {
 public:
  explicit MemorySource(std::string_view bytes) : bytes_(bytes) {}
  uint64_t Size() const override { return bytes_.size(); }
  void Read(uint64_t offset, char* out, size_t n) const override {
    if (n) std::memcpy(out, bytes_.data() + offset, n);
  }

 private:
  std::string_view bytes_;
};

class TZipReader::FileSource : public TZipReader::Source {
 public:
  FileSource(int fd, uint64_t size, std::string path) : fd_(fd), size_(size), path_(std::move(path)) {}
  ~FileSource() override { ::close(fd_); }
  uint64_t Size() const override { return size_; }
  void Read(uint64_t offset, char* out, size_t n) const override {
    while (n > 0) {
      const ssize_t got = ::pread(fd_, out, n, off_t(offset));
      if (got < 0 && errno == EINTR) continue;
      if (got < 0)
        throw EZipReader(FormatString("Cannot read ZIP archive \"%s\". %s", path_.c_str(), std::strerror(errno)));
      if (got == 0)  // the file shrank while it was open
        throw EZipReader(FormatString("Cannot read ZIP archive \"%s\". The file ended early", path_.c_str()));
      out += got;
      offset += uint64_t(got);
      n -= size_t(got);
    }
  }

 private:
  int fd_;
  uint64_t size_;
  std::string path_;
};

TZipReader::TZipReader(std::unique_ptr<Source> source, std::string sourceName, const TZipLimits& limits)
    : source_(std::move(source)), sourceName_(std::move(sourceName)), limits_(limits) {}

TZipReader::TZipReader(TZipReader&&) noexcept = default;
TZipReader& TZipReader::operator=(TZipReader&&) noexcept = default;
TZipReader::~TZipReader() = default;

TZipReader TZipReader::OpenFile(const std::string& path, const TZipLimits& limits) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) throw EZipReader(FormatString("Cannot open ZIP archive \"%s\". %s", path.c_str(), std::strerror(errno)));
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    const int err = S_ISDIR(st.st_mode) ? EISDIR : (errno ? errno : EINVAL);
    ::close(fd);
    throw EZipReader(FormatString("Cannot open ZIP archive \"%s\". %s", path.c_str(), std::strerror(err)));
  }
  TZipReader reader(std::make_unique<FileSource>(fd, uint64_t(st.st_size), path), path, limits);
  reader.Open();
  return reader;
}

TZipReader TZipReader::OpenMemory(std::string_view bytes, const std::string& sourceName, const TZipLimits& limits) {
  TZipReader reader(std::make_unique<MemorySource>(bytes), sourceName, limits);
  reader.Open();
  return reader;
}

void TZipReader::Fail(const std::string& reason) const {
  throw EZipReader(FormatString("ZIP archive \"%s\" is damaged: %s", sourceName_.c_str(), reason.c_str()));
}

void TZipReader::FailEntry(const TZipEntry& entry, const std::string& reason) const {
  throw EZipReader(
      FormatString("ZIP archive \"%s\": entry \"%s\" %s", sourceName_.c_str(), entry.Name.c_str(), reason.c_str()));
}

void TZipReader::Open() {
  if (!ReadCentralDirectory()) ScanLocalHeaders();
}

// Finds the end record among the last bytes, preferring one whose comment
// reaches exactly to the end of the data, and reads the central directory
// it points to. False when there is no end record at all.
bool TZipReader::ReadCentralDirectory() {
  const uint64_t size = source_->Size();
  if (size < kEndRecordSize) return false;
  const size_t tailSize = size_t(std::min<uint64_t>(size, kEndRecordSize + kMaxCommentSize));
  std::string tail(tailSize, '\0');
  source_->Read(size - tailSize, tail.data(), tailSize);

  std::optional<size_t> found;
  for (size_t pos = tailSize - kEndRecordSize + 1; pos-- > 0;) {
    if (Le32(&tail[pos]) != kEndRecordSig) continue;
    const size_t commentEnd = pos + kEndRecordSize + Le16(&tail[pos + 20]);
    if (commentEnd == tailSize) {
      found = pos;
      break;
    }
    if (commentEnd < tailSize && !found) found = pos;
  }
  if (!found) return false;

  const char* end = &tail[*found];
  const uint64_t endPos = size - tailSize + *found;
  const uint16_t disk = Le16(end + 4), cdDisk = Le16(end + 6);
  const uint16_t onDisk = Le16(end + 8), count = Le16(end + 10);
  const uint32_t cdSize = Le32(end + 12), cdOffset = Le32(end + 16);
  if (count == 0xFFFF || cdSize == 0xFFFFFFFF || cdOffset == 0xFFFFFFFF) Fail("ZIP64 archives are not supported");
  if (disk != 0 || cdDisk != 0 || onDisk != count) Fail("the archive spans several disks");
  if (count > limits_.MaxEntries)
    Fail(FormatString("it holds %u entries, more than the limit of %zu", unsigned(count), limits_.MaxEntries));
  if (cdSize > limits_.MaxCentralDirectory)
    Fail(FormatString("its central directory of %u bytes exceeds the limit of %llu", unsigned(cdSize),
                      (unsigned long long)limits_.MaxCentralDirectory));
  if (uint64_t(cdOffset) + cdSize > endPos) Fail("the central directory lies past the end of the archive");
  // Bytes in front of the archive (a self-extractor's stub) move every
  // recorded offset by the same amount.
  const uint64_t cdStart = endPos - cdSize;
  const uint64_t shift = cdStart - cdOffset;

  std::string cd(cdSize, '\0');
  source_->Read(cdStart, cd.data(), cd.size());
  std::vector<TZipEntry> entries;
  entries.reserve(count);
  size_t p = 0;
  for (unsigned i = 0; i < count; ++i) {
    if (cd.size() - p < kCentralHeaderSize || Le32(&cd[p]) != kCentralHeaderSig)
      Fail(FormatString("the central directory ends after %u of its %u entries", i, unsigned(count)));
    const char* h = &cd[p];
    const size_t nameLen = Le16(h + 28), extraLen = Le16(h + 30), commentLen = Le16(h + 32);
    if (cd.size() - p - kCentralHeaderSize < nameLen + extraLen + commentLen)
      Fail(FormatString("the central directory ends inside entry %u", i));
    TZipEntry e;
    e.Name.assign(h + kCentralHeaderSize, nameLen);
    e.Flags = Le16(h + 8);
    e.Method = Le16(h + 10);
    e.Crc32 = Le32(h + 16);
    const uint32_t csize = Le32(h + 20), usize = Le32(h + 24), offset = Le32(h + 42);
    if (csize == 0xFFFFFFFF || usize == 0xFFFFFFFF || offset == 0xFFFFFFFF) Fail("ZIP64 archives are not supported");
    e.CompressedSize = csize;
    e.UncompressedSize = usize;
    e.HeaderOffset = uint64_t(offset) + shift;
    entries.push_back(std::move(e));
    p += kCentralHeaderSize + nameLen + extraLen + commentLen;
  }
  entries_ = std::move(entries);
  CheckEntries(cdStart);
  isZip_ = true;
  return true;
}

// Without an end record: the entries are the local headers that follow one
// another from the start of the data. An entry written with a data
// descriptor and no sizes in its header ends where a descriptor follows
// whose compressed size matches the distance.
void TZipReader::ScanLocalHeaders() {
  const uint64_t size = source_->Size();
  std::vector<TZipEntry> entries;
  uint64_t pos = 0;
  char h[kLocalHeaderSize];
  while (source_->Contains(pos, 4)) {
    source_->Read(pos, h, 4);
    if (Le32(h) != kLocalHeaderSig) break;
    if (entries.size() >= limits_.MaxEntries)
      Fail(FormatString("it holds more entries than the limit of %zu", limits_.MaxEntries));
    if (!source_->Contains(pos, kLocalHeaderSize)) Fail("a local header runs past the end of the archive");
    source_->Read(pos, h, kLocalHeaderSize);
    TZipEntry e;
    e.Flags = Le16(h + 6);
    e.Method = Le16(h + 8);
    e.Crc32 = Le32(h + 14);
    uint32_t csize = Le32(h + 18), usize = Le32(h + 22);
    const size_t nameLen = Le16(h + 26), extraLen = Le16(h + 28);
    if (!source_->Contains(pos + kLocalHeaderSize, nameLen + extraLen))
      Fail("a local header runs past the end of the archive");
    e.Name.resize(nameLen);
    source_->Read(pos + kLocalHeaderSize, e.Name.data(), nameLen);
    e.HeaderOffset = pos;
    e.DataOffset = pos + kLocalHeaderSize + nameLen + extraLen;
    uint64_t next = 0;
    if ((e.Flags & kFlagDescriptor) && csize == 0 && usize == 0) {
      // The packed data is bounded by the largest entry allowed (deflate
      // adds at most a few bytes per 16 KiB stored block).
      const uint64_t bound = limits_.MaxEntrySize + limits_.MaxEntrySize / 1024 + 1024;
      const uint64_t searchEnd = std::min<uint64_t>(size, e.DataOffset + bound + 16);
      bool found = false;
      std::string window;
      for (uint64_t at = e.DataOffset; at < searchEnd && !found; at += kChunk) {
        const size_t len = size_t(std::min<uint64_t>(searchEnd - at, kChunk + 20));
        window.resize(len);
        source_->Read(at, window.data(), len);
        for (size_t i = 0; i < std::min<size_t>(len, kChunk) && !found; ++i) {
          const uint64_t distance = at + i - e.DataOffset;
          const char* d = window.data() + i;
          if (len - i >= 16 && Le32(d) == kDescriptorSig && Le32(d + 8) == distance) {
            e.Crc32 = Le32(d + 4), csize = Le32(d + 8), usize = Le32(d + 12);
            next = at + i + 16;
            found = true;
          } else if (len - i >= 12 && Le32(d + 4) == distance &&
                     (at + i + 12 == size || (len - i >= 16 && (Le32(d + 12) == kLocalHeaderSig ||
                                                                Le32(d + 12) == kCentralHeaderSig)))) {
            e.Crc32 = Le32(d), csize = Le32(d + 4), usize = Le32(d + 8);
            next = at + i + 12;
            found = true;
          }
        }
      }
      if (!found) FailEntry(e, "has no data descriptor that matches its data");
    } else {
      if (csize == 0xFFFFFFFF || usize == 0xFFFFFFFF) Fail("ZIP64 archives are not supported");
      next = e.DataOffset + csize;
      if (e.Flags & kFlagDescriptor) {
        char d[4] = {};
        if (source_->Contains(next, 4)) source_->Read(next, d, 4);
        next += Le32(d) == kDescriptorSig ? 16 : 12;
      }
    }
    e.CompressedSize = csize;
    e.UncompressedSize = usize;
    if (!source_->Contains(e.DataOffset, e.CompressedSize) || next > size)
      FailEntry(e, "runs past the end of the archive");
    entries.push_back(std::move(e));
    pos = next;
  }
  entries_ = std::move(entries);
  if (entries_.empty()) return;
  CheckEntries(pos);
  isZip_ = true;
}

// Every entry's local header and packed bytes lie inside the data, before
// `end`, and no two entries share bytes; no name climbs out of its folder.
void TZipReader::CheckEntries(uint64_t end) {
  for (const TZipEntry& e : entries_)
    if (ClimbsOut(e.Name)) FailEntry(e, "points outside the archive's folder");
  std::vector<size_t> order(entries_.size());
  std::iota(order.begin(), order.end(), size_t(0));
  std::stable_sort(order.begin(), order.end(),
                   [&](size_t a, size_t b) { return entries_[a].HeaderOffset < entries_[b].HeaderOffset; });
  char h[kLocalHeaderSize];
  for (size_t k = 0; k < order.size(); ++k) {
    TZipEntry& e = entries_[order[k]];
    const uint64_t limit = k + 1 < order.size() ? entries_[order[k + 1]].HeaderOffset : end;
    if (e.HeaderOffset >= end) FailEntry(e, "lies past the end of the archive's data");
    if (e.HeaderOffset >= limit) FailEntry(e, "overlaps another entry");
    if (limit - e.HeaderOffset < kLocalHeaderSize) FailEntry(e, "has no room for its local header");
    source_->Read(e.HeaderOffset, h, kLocalHeaderSize);
    if (Le32(h) != kLocalHeaderSig) FailEntry(e, "has no local header");
    e.DataOffset = e.HeaderOffset + kLocalHeaderSize + Le16(h + 26) + Le16(h + 28);
    if (e.DataOffset > limit || e.CompressedSize > limit - e.DataOffset) FailEntry(e, "overlaps the data after it");
  }
}

int TZipReader::FindEntry(std::string_view name) const {
  for (size_t i = 0; i < entries_.size(); ++i) {
    const std::string& n = entries_[i].Name;
    if (n.size() != name.size()) continue;
    size_t k = 0;
    while (k < n.size() && AsciiLowerSlash(n[k]) == AsciiLowerSlash(name[k])) ++k;
    if (k == n.size()) return int(i);
  }
  return -1;
}

std::string TZipReader::Extract(int index) const {
  if (!source_) throw EZipReader(FormatString("ZIP archive \"%s\" is closed", sourceName_.c_str()));
  if (index < 0 || size_t(index) >= entries_.size())
    throw EZipReader(FormatString("ZIP archive \"%s\" has no entry %d", sourceName_.c_str(), index));
  const TZipEntry& e = entries_[size_t(index)];
  if (e.Encrypted()) FailEntry(e, "is encrypted");
  if (e.Method != 0 && e.Method != 8)
    FailEntry(e, FormatString("is packed with method %u, which cannot be extracted", unsigned(e.Method)));
  if (e.UncompressedSize > limits_.MaxEntrySize)
    FailEntry(e, FormatString("of %llu bytes exceeds the limit of %llu", (unsigned long long)e.UncompressedSize,
                              (unsigned long long)limits_.MaxEntrySize));

  if (e.Method == 0) {
    if (e.CompressedSize != e.UncompressedSize) return std::string();
    std::string out(size_t(e.UncompressedSize), '\0');
    source_->Read(e.DataOffset, out.data(), out.size());
    return out;
  }

  z_stream z{};
  if (inflateInit2(&z, -MAX_WBITS) != Z_OK) FailEntry(e, "cannot be inflated: out of memory");
  struct End {
    z_stream* z;
    ~End() { inflateEnd(z); }
  } end{&z};
  // The output grows as inflating yields it rather than being allocated at
  // the recorded size up front: a size that lies costs only what the data
  // really holds. At most one byte past the recorded size is produced, to
  // tell a longer entry from one of the right length.
  const uint64_t wanted = e.UncompressedSize;
  std::string out;
  out.reserve(size_t(std::min<uint64_t>(wanted, std::max<uint64_t>(kChunk, e.CompressedSize * 4))));
  std::string in;
  uint64_t fed = 0;
  for (;;) {
    if (z.avail_in == 0 && fed < e.CompressedSize) {
      const size_t n = size_t(std::min<uint64_t>(kChunk, e.CompressedSize - fed));
      in.resize(n);
      source_->Read(e.DataOffset + fed, in.data(), n);
      fed += n;
      z.next_in = reinterpret_cast<Bytef*>(in.data());
      z.avail_in = uInt(n);
    }
    const size_t had = out.size();
    const size_t room = size_t(std::min<uint64_t>(kChunk, wanted + 1 - had));
    out.resize(had + room);
    z.next_out = reinterpret_cast<Bytef*>(out.data() + had);
    z.avail_out = uInt(room);
    const uInt inBefore = z.avail_in;
    const int rc = inflate(&z, Z_NO_FLUSH);
    out.resize(had + (room - z.avail_out));
    if (out.size() > wanted) return std::string();  // longer than recorded
    if (rc == Z_STREAM_END) break;
    if (rc == Z_DATA_ERROR) FailEntry(e, FormatString("holds damaged data (%s)", z.msg ? z.msg : "inflate failed"));
    if (rc == Z_MEM_ERROR) FailEntry(e, "cannot be inflated: out of memory");
    if (rc != Z_OK && rc != Z_BUF_ERROR) FailEntry(e, "holds damaged data");
    // No progress and nothing left to feed: the data ends before the stream.
    if (out.size() == had && z.avail_in == inBefore && fed >= e.CompressedSize) return std::string();
  }
  if (out.size() != wanted) return std::string();
  return out;
}

void TZipReader::Close() {
  source_.reset();
  entries_.clear();
  isZip_ = false;
}

}  // namespace tagsmith
