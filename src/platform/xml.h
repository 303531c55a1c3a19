#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/errors.h"

struct _xmlDoc;
struct _xmlNode;

namespace tagsmith {

// A document that is not well-formed XML, or a file that cannot be read. The
// message names the source and the line: "FILE:LINE: what the parser said".
class EXmlError : public Exception {
 public:
  using Exception::Exception;
};

// A read-only view of one element of an XmlDocument; valid while the document
// lives. A default-constructed node is "none" (false in a condition).
class XmlNode {
 public:
  XmlNode() = default;
  explicit XmlNode(_xmlNode* node) : node_(node) {}

  explicit operator bool() const { return node_ != nullptr; }
  std::string Name() const;
  int Line() const;
  // The attribute's value (UTF-8), or nothing when it is absent. Exact case.
  std::optional<std::string> Attribute(std::string_view name) const;
  // The element's character content (all text below it), unchanged.
  std::string Text() const;
  // The element children, in document order.
  std::vector<XmlNode> Children() const;
  // The first element child with that name; exact case unless ignoreCase.
  XmlNode Child(std::string_view name, bool ignoreCase = false) const;

 private:
  _xmlNode* node_ = nullptr;
};

// The system's one XML reader (libxml2). Network access, external DTDs and
// entity substitution are off; the parser's own amplification limits apply.
// Thread-safe: separate documents may be parsed on separate threads.
class XmlDocument {
 public:
  // Parses a file, honouring the encoding its declaration names (a
  // windows-1251 file reads correctly). Throws EXmlError naming the file.
  static XmlDocument LoadFile(const std::string& path);
  // Parses bytes. `encoding` (e.g. "ISO-8859-1", "UTF-8") overrides the
  // declaration when given. `sourceName` is used in error messages.
  static XmlDocument LoadMemory(std::string_view data, const std::string& sourceName,
                                const char* encoding = nullptr);

  XmlNode Root() const;

 private:
  struct Free {
    void operator()(_xmlDoc* doc) const;
  };
  explicit XmlDocument(_xmlDoc* doc) : doc_(doc) {}
  std::unique_ptr<_xmlDoc, Free> doc_;
};

}  // namespace tagsmith
