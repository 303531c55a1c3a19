#pragma once

// What the storage fuzzer checks on every input, shared with the test that
// replays the inputs it once found failing: the bytes are opened as a ZIP
// archive, every entry extracted, the archive read as a banner storage and
// each of its pictures decoded, as ShowBanner does.

#include <string>
#include <string_view>

#include "platform/strings.h"
#include "platform/xml.h"
#include "richtext/picture_decoder.h"
#include "updates/banner_storages.h"
#include "updates/zip_reader.h"

namespace tagsmith::testing {

// Returns what went wrong, or an empty string. A clear error of the reader,
// the XML reader, the PNG decoder or the component is a fine answer to bad
// input; crashes, leaks, hangs and runaway memory are for the sanitizers and
// the fuzzer to catch.
inline std::string CheckStorageInput(std::string_view input) {
  try {
    const TZipReader archive = TZipReader::OpenMemory(input, "fuzz.bin", kStorageZipLimits);
    if (!archive.IsZipArchive() && !archive.Entries().empty()) return "no archive, yet entries";
    for (size_t i = 0; i < archive.Entries().size(); ++i) {
      const TZipEntry& entry = archive.Entries()[i];
      if (entry.DataOffset > input.size() || entry.CompressedSize > input.size() - entry.DataOffset)
        return "an entry's data lies outside the input";
      try {
        const std::string data = archive.Extract(int(i));
        if (!data.empty() && data.size() != entry.UncompressedSize) return "extracted another size than recorded";
      } catch (const EZipReader&) {
      }
    }
    TStorageData storage;
    try {
      storage = TBannerStorages::ReadStorageData(archive);
    } catch (const EBannerStorages&) {
      return std::string();
    } catch (const EXmlError&) {
      return std::string();
    }
    if (FirstChars(storage.Lang, 2) != storage.Lang) return "a language code of more than two characters";
    for (const TBannRec& picture : storage.Pictures) {
      if (picture.Name.empty() || picture.Url.empty()) return "a picture without name or address";
      try {
        const DecodedPicture decoded = TBannerStorages::DecodeStoragePicture(archive, picture.Name);
        if (decoded.pixels.size() != size_t(decoded.width) * size_t(decoded.height)) return "a picture of the wrong size";
      } catch (const EBannerStorages&) {
      } catch (const EPictureError&) {
      } catch (const EZipReader&) {
      }
    }
  } catch (const EZipReader&) {
  }
  return std::string();
}

}  // namespace tagsmith::testing
