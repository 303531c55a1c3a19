#pragma once

#include <chrono>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/sync_queue.h"
#include "support/http_server.h"

namespace tagsmith::testing {

// One part of a multipart/form-data body as a server sees it.
struct FormPart {
  std::string disposition;  // the whole Content-Disposition value
  std::string name;
  std::string fileName;
  bool hasFileName = false;
  std::string contentType;
  std::string data;
};

inline std::string DispositionParam(const std::string& disposition, const std::string& key) {
  const std::string marker = key + "=\"";
  size_t at = disposition.find("; " + marker);
  if (at == std::string::npos) return {};
  at += 2 + marker.size();
  return disposition.substr(at, disposition.find('"', at) - at);
}

// Splits a body by the boundary its request's Content-Type names. Throws
// std::runtime_error when the body is not well formed.
inline std::vector<FormPart> ParseMultipart(const std::string& contentType, const std::string& body) {
  const std::string prefix = "multipart/form-data; boundary=";
  if (contentType.rfind(prefix, 0) != 0) throw std::runtime_error("not multipart: " + contentType);
  const std::string delimiter = "--" + contentType.substr(prefix.size());
  std::vector<FormPart> parts;
  size_t pos = 0;
  if (body.compare(0, delimiter.size(), delimiter) != 0) throw std::runtime_error("no opening boundary");
  pos = delimiter.size();
  for (;;) {
    if (body.compare(pos, 2, "--") == 0) break;  // closing boundary
    if (body.compare(pos, 2, "\r\n") != 0) throw std::runtime_error("boundary not followed by CRLF");
    pos += 2;
    const size_t headEnd = body.find("\r\n\r\n", pos);
    if (headEnd == std::string::npos) throw std::runtime_error("part without headers");
    FormPart part;
    size_t line = pos;
    while (line < headEnd) {
      size_t next = body.find("\r\n", line);
      if (next > headEnd) next = headEnd;
      const std::string header = body.substr(line, next - line);
      const size_t colon = header.find(':');
      std::string value = header.substr(colon + 1);
      value.erase(0, value.find_first_not_of(' '));
      const std::string key = header.substr(0, colon);
      if (HttpTestServer::SameText(key, "Content-Disposition")) part.disposition = value;
      if (HttpTestServer::SameText(key, "Content-Type")) part.contentType = value;
      line = next + 2;
    }
    part.name = DispositionParam(part.disposition, "name");
    part.hasFileName = part.disposition.find("; filename=\"") != std::string::npos;
    part.fileName = DispositionParam(part.disposition, "filename");
    const size_t dataStart = headEnd + 4;
    const size_t dataEnd = body.find("\r\n" + delimiter, dataStart);
    if (dataEnd == std::string::npos) throw std::runtime_error("part without closing boundary");
    part.data = body.substr(dataStart, dataEnd - dataStart);
    parts.push_back(part);
    pos = dataEnd + 2 + delimiter.size();
  }
  return parts;
}

// Serves main-thread steps until `done` or `limit`; true when done.
inline bool ServeFor(const std::function<bool()>& done, std::chrono::milliseconds limit) {
  const auto end = std::chrono::steady_clock::now() + limit;
  SyncQueue::Main().ServeUntil([&] { return done() || std::chrono::steady_clock::now() >= end; });
  return done();
}

// Serves main-thread steps for `duration` (for checks that something does
// not happen meanwhile).
inline void ServeDuring(std::chrono::milliseconds duration) {
  ServeFor([] { return false; }, duration);
}

inline std::string ImageShackReply(const std::string& image, const std::string& thumb = "http://t/x.th.png",
                                   const std::string& page = "http://p/x") {
  return "<?xml version=\"1.0\" encoding=\"iso-8859-1\"?><imginfo><links><image_link>" + image +
         "</image_link><thumb_link>" + thumb + "</thumb_link><ad_link>" + page +
         "</ad_link></links></imginfo>";
}

inline std::string FastPicReply(const std::string& image, const std::string& status = "ok") {
  return "<?xml version=\"1.0\" encoding=\"UTF-8\"?><UploadSettings><status>" + status +
         "</status><imagepath>" + image + "</imagepath><thumbpath>http://t/x</thumbpath><viewurl>http://v/x</viewurl>"
         "</UploadSettings>";
}

}  // namespace tagsmith::testing
