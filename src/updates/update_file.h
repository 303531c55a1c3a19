#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/errors.h"
#include "platform/version.h"

namespace tagsmith {

// The updater's own failures; the message is one of its fixed English texts
// ("Update file parse error!", "Cannot connect to URL!", ...).
class EWebUpdaterException : public Exception {
 public:
  using Exception::Exception;
};

inline constexpr const char* kUpdateFileParseError = "Update file parse error!";

// One "Stor" element: a banner storage offered for download, with the
// language and obsolete-version bound of its "StorList".
struct TBannData {
  int32_t Ver = -1;
  int32_t VerOldFrom = -1;
  std::string Lang;
  std::string URI;
  bool operator==(const TBannData&) const = default;
};

// One "StorList" element.
struct TBannLangData {
  int32_t VerOldFrom = -1;
  std::string Lang;
  bool operator==(const TBannLangData&) const = default;
};

// What the update file offers.
struct TUpdateFile {
  std::string UpdateServer;       // host of every download
  TVer ProgVer;                   // the offered program version; (-1, ...) without "ProgramData"
  std::string ProgURI;            // path of the installer on UpdateServer
  std::string ProgSig;            // base64 signature of the installer ("Sig")
  std::vector<TBannLangData> Langs;   // per "StorList", in document order
  std::vector<TBannData> Banners;     // per "Stor" of every list, in document order
};

// An integer attribute's text: read as a 64-bit decimal integer (blanks
// around it allowed, an optional sign) whose low 32 bits are the value; -1 for
// a missing attribute or text that is not such an integer.
int32_t UpdateFileInteger(const std::optional<std::string>& text);

// Reads the update file (UTF-8 XML). The root must be exactly "UpdateData"
// with a non-empty "UpdateServer"; "ProgramData" and "BannersData" are its
// children of those names, "StorList" and "Stor" children of other names are
// skipped, every name compares with exact case. A file without "ProgramData"
// offers no program (its version reads missing); one without "BannersData"
// offers no storages. Any fault, XML that is not well-formed included, throws
// EWebUpdaterException(kUpdateFileParseError). Any thread.
TUpdateFile ParseUpdateFile(std::string_view bytes);

}  // namespace tagsmith
