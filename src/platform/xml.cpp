#include "platform/xml.h"

#include <libxml/parser.h>
#include <libxml/tree.h>

#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstring>
#include <mutex>

#include "platform/strings.h"

namespace tagsmith {

namespace {

void InitOnce() {
  static std::once_flag once;
  std::call_once(once, [] { xmlInitParser(); });
}

constexpr int kParseOptions = XML_PARSE_NONET;

struct ContextFree {
  void operator()(xmlParserCtxt* ctxt) const { xmlFreeParserCtxt(ctxt); }
};

// Collects the first error of one parse instead of letting libxml2 print it.
// libxml2's error handler is per thread, so parses on other threads are not
// affected.
class ErrorCapture {
 public:
  ErrorCapture() { xmlSetStructuredErrorFunc(this, &ErrorCapture::Handle); }
  ~ErrorCapture() { xmlSetStructuredErrorFunc(nullptr, nullptr); }

  std::string Describe(const std::string& source) const {
    if (!found_) return source + ": not a well-formed XML document";
    return FormatString("%s:%d: %s", source.c_str(), line_, message_.c_str());
  }

 private:
  static void Handle(void* self, xmlError* err) {
    auto* capture = static_cast<ErrorCapture*>(self);
    if (capture->found_ || !err || err->level < XML_ERR_ERROR) return;
    capture->found_ = true;
    capture->line_ = err->line;
    capture->message_ = err->message ? err->message : "parse error";
    while (!capture->message_.empty() &&
           (capture->message_.back() == '\n' || capture->message_.back() == ' '))
      capture->message_.pop_back();
  }

  bool found_ = false;
  int line_ = 0;
  std::string message_;
};

std::string FromXml(const xmlChar* text) {
  return text ? std::string(reinterpret_cast<const char*>(text)) : std::string();
}

}  // namespace

void XmlDocument::Free::operator()(_xmlDoc* doc) const { xmlFreeDoc(doc); }

XmlDocument XmlDocument::LoadFile(const std::string& path) {
  InitOnce();
  if (access(path.c_str(), R_OK) != 0)
    throw EXmlError(FormatString("%s: cannot read the file (%s)", path.c_str(), std::strerror(errno)));
  ErrorCapture errors;
  std::unique_ptr<xmlParserCtxt, ContextFree> ctxt(xmlNewParserCtxt());
  if (!ctxt) throw EXmlError(path + ": out of memory");
  xmlDoc* doc = xmlCtxtReadFile(ctxt.get(), path.c_str(), nullptr, kParseOptions);
  if (!doc || !ctxt->wellFormed) {
    std::string message = errors.Describe(path);
    if (doc) xmlFreeDoc(doc);
    throw EXmlError(message);
  }
  return XmlDocument(doc);
}

XmlDocument XmlDocument::LoadMemory(std::string_view data, const std::string& sourceName,
                                    const char* encoding) {
  InitOnce();
  if (data.size() > static_cast<size_t>(INT_MAX)) throw EXmlError(sourceName + ": document too large");
  ErrorCapture errors;
  std::unique_ptr<xmlParserCtxt, ContextFree> ctxt(xmlNewParserCtxt());
  if (!ctxt) throw EXmlError(sourceName + ": out of memory");
  xmlDoc* doc = xmlCtxtReadMemory(ctxt.get(), data.data(), static_cast<int>(data.size()),
                                  sourceName.c_str(), encoding, kParseOptions);
  if (!doc || !ctxt->wellFormed) {
    std::string message = errors.Describe(sourceName);
    if (doc) xmlFreeDoc(doc);
    throw EXmlError(message);
  }
  return XmlDocument(doc);
}

XmlNode XmlDocument::Root() const { return XmlNode(doc_ ? xmlDocGetRootElement(doc_.get()) : nullptr); }

std::string XmlNode::Name() const { return node_ ? FromXml(node_->name) : std::string(); }

int XmlNode::Line() const { return node_ ? static_cast<int>(xmlGetLineNo(node_)) : 0; }

std::optional<std::string> XmlNode::Attribute(std::string_view name) const {
  if (!node_) return std::nullopt;
  const std::string key(name);
  xmlAttr* attr = xmlHasProp(node_, reinterpret_cast<const xmlChar*>(key.c_str()));
  if (!attr) return std::nullopt;
  xmlChar* value = xmlNodeListGetString(node_->doc, attr->children, 1);
  std::string out = FromXml(value);
  xmlFree(value);
  return out;
}

std::string XmlNode::Text() const {
  if (!node_) return std::string();
  xmlChar* content = xmlNodeGetContent(node_);
  std::string out = FromXml(content);
  xmlFree(content);
  return out;
}

std::vector<XmlNode> XmlNode::Children() const {
  std::vector<XmlNode> out;
  if (!node_) return out;
  for (xmlNode* c = node_->children; c; c = c->next)
    if (c->type == XML_ELEMENT_NODE) out.emplace_back(c);
  return out;
}

XmlNode XmlNode::Child(std::string_view name, bool ignoreCase) const {
  if (!node_) return XmlNode();
  for (xmlNode* c = node_->children; c; c = c->next) {
    if (c->type != XML_ELEMENT_NODE) continue;
    const std::string n = FromXml(c->name);
    if (ignoreCase ? EqualsIgnoreCase(n, name) : n == name) return XmlNode(c);
  }
  return XmlNode();
}

}  // namespace tagsmith
