#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <string>
#include <string_view>

#include "platform/errors.h"
#include "platform/http_client.h"

namespace tagsmith {

// The image hosts, in this order.
enum class TUploadServer { ImageShack = 0, FastPic = 1 };

// One failed upload attempt, which the upload thread may retry, or the final
// failure of an image ("Upload failed!").
class EUploadThread : public Exception {
 public:
  using Exception::Exception;
};

// Where the hosts are. The names come from the settings store through the
// uploader's owner; nothing here knows them.
struct UploadHosts {
  // The ImageShack upload host name with one "%d" for the server number 0 to 8.
  std::string imageShackPattern;
  std::string fastPicHost;
  // "HOST:PORT" that every upload connects to instead (tests); the request
  // still names the host above. Empty: connect to the named host.
  std::string connectTo;
};

// The time limits of one attempt (HttpOptions says how each is counted).
struct UploadTimeouts {
  std::chrono::milliseconds connect{15000};
  std::chrono::milliseconds read{180000};
  std::chrono::milliseconds idleSlice{250};
};

// The three links of an uploaded image.
struct UploadLinks {
  std::string ImageURL;
  std::string ImagePreviewURL;
  std::string LinkToPage;
};

// A host's reply is a small XML document; a longer one is refused.
constexpr size_t kMaxHostReplyBytes = 1u << 20;

// One upload attempt of `fileName` to `server`; any thread. Throws
// EUploadThread with "Post request was failed!" when the request fails, or
// with the host's "... XML data file is corrupted!" when the reply lacks what
// it must hold; EFileOpenError when the file cannot be read; EXmlError when
// the reply is not well-formed XML. `cancel` (may be null) ends a request in
// progress within one idle slice.
UploadLinks UploadAttempt(TUploadServer server, const std::string& fileName, const UploadHosts& hosts,
                          const UploadTimeouts& timeouts, const std::atomic<bool>* cancel = nullptr);

// The host protocols (imageshack.cpp, fastpic.cpp).
UploadLinks ImageShackAttempt(const std::string& fileName, const UploadHosts& hosts,
                              const UploadTimeouts& timeouts, const std::atomic<bool>* cancel);
UploadLinks FastPicAttempt(const std::string& fileName, const UploadHosts& hosts,
                           const UploadTimeouts& timeouts, const std::atomic<bool>* cancel);
// Reads a reply (the bytes up to and including the terminator). Throws as the
// attempts do.
UploadLinks ReadImageShackReply(std::string_view reply);
UploadLinks ReadFastPicReply(std::string_view reply);

// A uniform draw from 0 to 8 from the generator seeded at program start; any
// thread.
int DrawImageShackServer();
// The pattern with its first "%d" replaced by `server`; the rest of the
// pattern is taken literally (a pattern without "%d" is one host name).
std::string ImageShackHostName(const std::string& pattern, int server);

// The HTTP options shared by both protocols: the Host header, the reply
// terminator and the time limits.
HttpOptions UploadHttpOptions(const std::string& host, const std::string& terminator, const UploadHosts& hosts,
                              const UploadTimeouts& timeouts, const std::atomic<bool>* cancel);

}  // namespace tagsmith
