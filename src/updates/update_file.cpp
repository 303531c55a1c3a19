#include "updates/update_file.h"

#include <limits>

#include "platform/xml.h"

namespace tagsmith {

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

std::string TextAttribute(const XmlNode& node, std::string_view name) {
  return node.Attribute(name).value_or(std::string());
}

int32_t IntegerAttribute(const XmlNode& node, std::string_view name) {
  return UpdateFileInteger(node.Attribute(name));
}

}  // namespace

int32_t UpdateFileInteger(const std::optional<std::string>& text) {
  if (!text) return -1;
  std::string_view s(*text);
  while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
  bool negative = false;
  if (!s.empty() && (s.front() == '+' || s.front() == '-')) {
    negative = s.front() == '-';
    s.remove_prefix(1);
  }
  if (s.empty()) return -1;
  // The magnitude as unsigned, so that the most negative value fits too.
  const uint64_t limit = negative ? uint64_t(std::numeric_limits<int64_t>::max()) + 1
                                  : uint64_t(std::numeric_limits<int64_t>::max());
  uint64_t magnitude = 0;
  for (char c : s) {
    if (c < '0' || c > '9') return -1;
    const uint64_t digit = uint64_t(c - '0');
    if (magnitude > (limit - digit) / 10) return -1;
    magnitude = magnitude * 10 + digit;
  }
  const uint64_t bits = negative ? ~magnitude + 1 : magnitude;
  return static_cast<int32_t>(static_cast<uint32_t>(bits & 0xFFFFFFFFu));
}

TUpdateFile ParseUpdateFile(std::string_view bytes) {
  std::optional<XmlDocument> doc;
  try {
    doc.emplace(XmlDocument::LoadMemory(bytes, "update file", "UTF-8"));
  } catch (const EXmlError&) {
    throw EWebUpdaterException(kUpdateFileParseError);
  }
  const XmlNode root = doc->Root();
  if (!root || root.Name() != "UpdateData") throw EWebUpdaterException(kUpdateFileParseError);

  TUpdateFile file;
  file.UpdateServer = TextAttribute(root, "UpdateServer");
  if (file.UpdateServer.empty()) throw EWebUpdaterException(kUpdateFileParseError);

  if (const XmlNode prog = root.Child("ProgramData")) {
    file.ProgVer = {IntegerAttribute(prog, "Ver1"), IntegerAttribute(prog, "Ver2"), IntegerAttribute(prog, "Ver3"),
                    IntegerAttribute(prog, "Ver4")};
    file.ProgURI = TextAttribute(prog, "URI");
    file.ProgSig = TextAttribute(prog, "Sig");
  }

  if (const XmlNode banners = root.Child("BannersData")) {
    for (const XmlNode& list : banners.Children()) {
      if (list.Name() != "StorList") continue;
      const TBannLangData lang{IntegerAttribute(list, "VerOldFrom"), TextAttribute(list, "Lang")};
      file.Langs.push_back(lang);
      for (const XmlNode& stor : list.Children()) {
        if (stor.Name() != "Stor") continue;
        file.Banners.push_back({IntegerAttribute(stor, "Ver"), lang.VerOldFrom, lang.Lang, TextAttribute(stor, "URI")});
      }
    }
  }
  return file;
}

}  // namespace tagsmith
