#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/errors.h"

namespace tagsmith {

// A request that did not end with a complete 2xx reply: no connection, a
// time-out, a status other than 2xx (redirects are not followed), the
// connection closing before the reply was complete, a reply over its size
// limit, or a cancelled transfer. The message names the method, the address
// and the reason; Status() is the HTTP status of the reply when one arrived
// (a refused status, or a 2xx whose body then failed), 0 when none did.
class EHttpError : public Exception {
 public:
  explicit EHttpError(const std::string& message, long status = 0) : Exception(message), status_(status) {}
  long Status() const { return status_; }

 private:
  long status_;
};

// A file that cannot be read (or, for a download, written): "Cannot open file
// "PATH". REASON".
class EFileOpenError : public Exception {
 public:
  using Exception::Exception;
};

// The content type sent with a file: ".png" gives "image/png", ".jpeg" and
// ".jpg" give "image/jpeg" (extension compared with exact letter case); any
// other name is looked up in the system's MIME database (`mimeDatabase`, a
// mime.types file, extensions compared without regard to case); a name found
// nowhere gives "application/octet-stream". Any thread.
std::string MimeTypeOfFile(const std::string& path, const std::string& mimeDatabase = "/etc/mime.types");

// The body reader of one reply. With ReplyTerminator empty it keeps the whole
// body. With ReplyTerminator set (ReadUntilTerminator) it looks for the
// terminator bytes in what has arrived, also when they are split across
// arrivals; once found, the reply is everything up to and including them, the
// rest is dropped and the reader reports the reply complete. Either way a body
// over `maxBytes` is refused, so a host cannot make the reply grow without
// bound.
class TIdIOHandlerStackEx {
 public:
  explicit TIdIOHandlerStackEx(std::string replyTerminator = {}, size_t maxBytes = 64u << 20)
      : ReplyTerminator(std::move(replyTerminator)), maxBytes_(maxBytes) {}

  const std::string ReplyTerminator;

  enum class Result { More, Complete, TooLarge };
  // Takes the bytes of one arrival. After Complete or TooLarge it takes no more.
  Result Append(std::string_view bytes);

  bool Complete() const { return complete_; }
  // The reply read so far (after Complete: up to and including the terminator).
  const std::string& Reply() const { return buffer_; }
  std::string TakeReply() { return std::move(buffer_); }

 private:
  const size_t maxBytes_;
  std::string buffer_;
  size_t searchPos_ = 0;
  bool complete_ = false;
  bool full_ = false;
};

// A multipart/form-data body (RFC 2388): one part per field, in the order
// added. The file's bytes are read when it is added, so the body holds the
// whole file.
class HttpMultipartForm {
 public:
  // A text part: Content-Disposition form-data with `name`, then `value`.
  void AddField(std::string name, std::string value);
  // A file part: form-data with `name` and the file's base name as file name,
  // Content-Type MimeTypeOfFile(path), then the file's bytes. Throws
  // EFileOpenError when the file cannot be read.
  void AddFile(std::string name, const std::string& path);

  struct Part {
    std::string name;
    std::string data;
    bool isFile = false;
    std::string fileName;
    std::string contentType;
  };
  const std::vector<Part>& Parts() const { return parts_; }

 private:
  std::vector<Part> parts_;
};

struct HttpOptions {
  // The request's Host header; empty: the host of the address.
  std::string host;
  // Longest wait for the connection to be made.
  std::chrono::milliseconds connectTimeout{15000};
  // The idle read time-out: the request fails once no data has moved for this
  // long, counted in whole idle slices. Applies to the status line, headers
  // and body alike, and to the request body going out.
  std::chrono::milliseconds readTimeout{180000};
  std::chrono::milliseconds idleSlice{250};
  // When set, the body is read only until these bytes (TIdIOHandlerStackEx);
  // the declared length plays no part and the rest is not read.
  std::string replyTerminator;
  // Largest body kept in memory.
  size_t maxReplyBytes = 64u << 20;
  // Largest body GetToFile writes; a longer reply ends the download as a
  // failure, so a server cannot fill the disk.
  uint64_t maxFileBytes = uint64_t(512) << 20;
  // "HOST:PORT" that every connection goes to instead of the address's host;
  // the request line and the Host header are unchanged. Empty: the address.
  std::string connectTo;
  // When it becomes true the transfer ends within one idle slice with
  // EHttpError. May be null.
  const std::atomic<bool>* cancel = nullptr;
  std::string userAgent = "Mozilla/3.0 (compatible)";
  std::string accept = "text/html, */*";
};

// The system's one HTTP client (libcurl), for the uploads and the update check. Every call makes its own connection
// and frees it at its end, so separate clients may run on separate threads at
// once; one client object is used by one thread at a time. No proxy is used
// and redirects are not followed. Every call throws EHttpError unless the reply
// is complete with a 2xx status.
// Initialises the HTTP library (and its TLS library) once; every request does
// it at the latest. The upload machinery does it when the program is loaded, so
// that the libraries' own clean-up at program end comes after the machinery
// has ended its threads. Any thread.
void HttpGlobalInit();

class HttpClient {
 public:
  explicit HttpClient(HttpOptions options = {});

  HttpOptions& Options() { return options_; }
  const HttpOptions& Options() const { return options_; }

  // GET into memory: the body (up to the terminator when one is set).
  std::string Get(const std::string& url);
  // GET into a file, created or replaced. On failure the partial file is
  // removed and EHttpError (EFileOpenError when the file cannot be created) is
  // thrown. The body goes straight to the file, up to maxFileBytes; neither
  // the memory limit nor the terminator applies.
  void GetToFile(const std::string& url, const std::string& path);
  // POST of a multipart/form-data body; returns the reply body.
  std::string Post(const std::string& url, const HttpMultipartForm& form);

 private:
  HttpOptions options_;
};

}  // namespace tagsmith
