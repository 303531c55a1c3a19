#include "platform/http_client.h"

#include <curl/curl.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <memory>
#include <mutex>
#include <new>
#include <sstream>

#include "platform/strings.h"

namespace tagsmith {

namespace {

std::string FileOpenMessage(const std::string& path, int error) {
  return FormatString("Cannot open file \"%s\". %s", path.c_str(), std::strerror(error));
}

std::string BaseName(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The extension including its dot, or empty when the base name has none.
std::string Extension(const std::string& path) {
  const std::string base = BaseName(path);
  const size_t dot = base.find_last_of('.');
  return dot == std::string::npos ? std::string() : base.substr(dot);
}

std::string LookUpMimeDatabase(const std::string& extension, const std::string& database) {
  if (extension.size() < 2) return {};
  const std::string wanted = extension.substr(1);
  std::ifstream in(database);
  std::string line;
  while (std::getline(in, line)) {
    const size_t hash = line.find('#');
    if (hash != std::string::npos) line.erase(hash);
    std::istringstream words(line);
    std::string type, ext;
    if (!(words >> type)) continue;
    while (words >> ext)
      if (EqualsIgnoreCase(ext, wanted)) return type;
  }
  return {};
}


struct EasyFree {
  void operator()(CURL* easy) const { curl_easy_cleanup(easy); }
};
struct MultiFree {
  void operator()(CURLM* multi) const { curl_multi_cleanup(multi); }
};
struct MimeFree {
  void operator()(curl_mime* mime) const { curl_mime_free(mime); }
};
struct Slist {
  curl_slist* list = nullptr;
  Slist() = default;
  Slist(const Slist&) = delete;
  Slist& operator=(const Slist&) = delete;
  ~Slist() { curl_slist_free_all(list); }
  void Append(const std::string& text) {
    curl_slist* next = curl_slist_append(list, text.c_str());
    if (!next) throw std::bad_alloc();
    list = next;
  }
};

// Where the body of one reply goes.
class BodySink {
 public:
  virtual ~BodySink() = default;
  // Takes one arrival. Returns false to stop the transfer: the reply is
  // complete (Done) or it failed (Error).
  virtual bool Write(std::string_view bytes) = 0;
  virtual bool Done() const = 0;
  virtual std::string Error() const = 0;
  // True when the transfer is stopped on purpose once Done.
  virtual bool EndsEarly() const = 0;
};

class MemorySink : public BodySink {
 public:
  MemorySink(const std::string& terminator, size_t maxBytes) : reader_(terminator, maxBytes) {}
  bool Write(std::string_view bytes) override {
    switch (reader_.Append(bytes)) {
      case TIdIOHandlerStackEx::Result::More: return true;
      case TIdIOHandlerStackEx::Result::Complete: return false;
      case TIdIOHandlerStackEx::Result::TooLarge: tooLarge_ = true; return false;
    }
    return false;
  }
  bool Done() const override { return reader_.Complete(); }
  std::string Error() const override { return tooLarge_ ? "the reply is too large" : std::string(); }
  bool EndsEarly() const override { return !reader_.ReplyTerminator.empty(); }
  std::string TakeReply() { return reader_.TakeReply(); }

 private:
  TIdIOHandlerStackEx reader_;
  bool tooLarge_ = false;
};

class FileSink : public BodySink {
 public:
  FileSink(const std::string& path, uint64_t maxBytes) : path_(path), maxBytes_(maxBytes) {
    file_ = std::fopen(path.c_str(), "wb");
    if (!file_) throw EFileOpenError(FileOpenMessage(path, errno));
  }
  ~FileSink() override { Close(); }
  bool Write(std::string_view bytes) override {
    if (bytes.size() > maxBytes_ - std::min<uint64_t>(maxBytes_, written_)) {
      error_ = FormatString("the reply is larger than %llu bytes", static_cast<unsigned long long>(maxBytes_));
      return false;
    }
    written_ += bytes.size();
    if (std::fwrite(bytes.data(), 1, bytes.size(), file_) == bytes.size()) return true;
    error_ = FormatString("cannot write \"%s\" (%s)", path_.c_str(), std::strerror(errno));
    return false;
  }
  bool Done() const override { return false; }
  std::string Error() const override { return error_; }
  bool EndsEarly() const override { return false; }
  // Flushes and closes; false (with Error set) when the data did not reach the file.
  bool Close() {
    if (!file_) return error_.empty();
    const bool ok = std::fclose(file_) == 0;
    file_ = nullptr;
    if (!ok && error_.empty())
      error_ = FormatString("cannot write \"%s\" (%s)", path_.c_str(), std::strerror(errno));
    return error_.empty();
  }

 private:
  std::string path_;
  uint64_t maxBytes_;
  uint64_t written_ = 0;
  std::FILE* file_ = nullptr;
  std::string error_;
};

// The state the callbacks of one transfer share with the loop that drives it.
struct Transfer {
  CURL* easy = nullptr;
  BodySink* sink = nullptr;
  uint64_t activity = 0;  // grows whenever bytes move either way
  curl_off_t uploaded = 0;
  std::string statusLine;
  long status = 0;
  bool statusRejected = false;
};

size_t OnHeader(char* data, size_t size, size_t count, void* user) {
  auto* t = static_cast<Transfer*>(user);
  const size_t n = size * count;
  ++t->activity;
  std::string_view line(data, n);
  while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.remove_suffix(1);
  if (line.substr(0, 5) == "HTTP/") {
    t->statusLine = std::string(line);
    return n;
  }
  if (!line.empty()) return n;
  // The blank line after a header block: interim (1xx) replies are followed by
  // the real one; anything but 2xx is rejected before its body is read.
  long code = 0;
  curl_easy_getinfo(t->easy, CURLINFO_RESPONSE_CODE, &code);
  t->status = code;
  if (code >= 100 && code < 200) return n;
  if (code < 200 || code > 299) {
    t->statusRejected = true;
    return 0;
  }
  return n;
}

size_t OnBody(char* data, size_t size, size_t count, void* user) {
  auto* t = static_cast<Transfer*>(user);
  const size_t n = size * count;
  ++t->activity;
  if (t->status == 0) curl_easy_getinfo(t->easy, CURLINFO_RESPONSE_CODE, &t->status);
  if (t->status < 200 || t->status > 299) {
    t->statusRejected = true;
    return 0;
  }
  return t->sink->Write(std::string_view(data, n)) ? n : 0;
}

int OnProgress(void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t ulnow) {
  auto* t = static_cast<Transfer*>(user);
  if (ulnow != t->uploaded) {
    t->uploaded = ulnow;
    ++t->activity;
  }
  return 0;
}

std::string StatusText(const Transfer& t) {
  return "the server replied " + (t.statusLine.empty() ? std::to_string(t.status) : t.statusLine);
}

void Check(CURLcode code, const char* what) {
  if (code != CURLE_OK)
    throw EHttpError(FormatString("cannot set up the request (%s: %s)", what, curl_easy_strerror(code)));
}

// Runs one request to its end. Throws EHttpError unless `sink` received a
// complete 2xx reply.
void Perform(const HttpOptions& options, const char* method, const std::string& url,
             const HttpMultipartForm* form, BodySink& sink) {
  HttpGlobalInit();
  // Declared before the handles, so it outlives them.
  char errorText[CURL_ERROR_SIZE] = "";
  Transfer t;
  const auto fail = [&](const std::string& reason) -> EHttpError {
    return EHttpError(FormatString("%s %s: %s", method, url.c_str(), reason.c_str()), t.status);
  };

  std::unique_ptr<CURL, EasyFree> easy(curl_easy_init());
  std::unique_ptr<CURLM, MultiFree> multi(curl_multi_init());
  if (!easy || !multi) throw std::bad_alloc();
  CURL* e = easy.get();
  t.easy = e;
  t.sink = &sink;

  Check(curl_easy_setopt(e, CURLOPT_URL, url.c_str()), "address");
  Check(curl_easy_setopt(e, CURLOPT_NOSIGNAL, 1L), "signals");
  Check(curl_easy_setopt(e, CURLOPT_ERRORBUFFER, errorText), "error buffer");
  Check(curl_easy_setopt(e, CURLOPT_PROXY, ""), "proxy");
  Check(curl_easy_setopt(e, CURLOPT_FOLLOWLOCATION, 0L), "redirects");
  Check(curl_easy_setopt(e, CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_1)), "version");
  Check(curl_easy_setopt(e, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(options.connectTimeout.count())),
        "connect time-out");
  Check(curl_easy_setopt(e, CURLOPT_USERAGENT, options.userAgent.c_str()), "user agent");
  Check(curl_easy_setopt(e, CURLOPT_HEADERFUNCTION, &OnHeader), "header reader");
  Check(curl_easy_setopt(e, CURLOPT_HEADERDATA, &t), "header reader");
  Check(curl_easy_setopt(e, CURLOPT_WRITEFUNCTION, &OnBody), "body reader");
  Check(curl_easy_setopt(e, CURLOPT_WRITEDATA, &t), "body reader");
  Check(curl_easy_setopt(e, CURLOPT_XFERINFOFUNCTION, &OnProgress), "progress");
  Check(curl_easy_setopt(e, CURLOPT_XFERINFODATA, &t), "progress");
  Check(curl_easy_setopt(e, CURLOPT_NOPROGRESS, 0L), "progress");
  // With a terminator the body ends where the terminator is, whatever length
  // the reply declares.
  if (sink.EndsEarly())
    Check(curl_easy_setopt(e, CURLOPT_IGNORE_CONTENT_LENGTH, 1L), "length");

  Slist headers;
  if (!options.host.empty()) headers.Append("Host: " + options.host);
  headers.Append("Accept: " + options.accept);
  headers.Append("Expect:");  // the body goes out at once, without waiting for a 100 reply
  Check(curl_easy_setopt(e, CURLOPT_HTTPHEADER, headers.list), "headers");

  Slist connectTo;
  if (!options.connectTo.empty()) {
    connectTo.Append("::" + options.connectTo);
    Check(curl_easy_setopt(e, CURLOPT_CONNECT_TO, connectTo.list), "connect-to");
  }

  std::unique_ptr<curl_mime, MimeFree> mime;
  if (form) {
    mime.reset(curl_mime_init(e));
    if (!mime) throw std::bad_alloc();
    for (const HttpMultipartForm::Part& p : form->Parts()) {
      curl_mimepart* part = curl_mime_addpart(mime.get());
      if (!part) throw std::bad_alloc();
      Check(curl_mime_name(part, p.name.c_str()), "field name");
      Check(curl_mime_data(part, p.data.data(), p.data.size()), "field data");
      if (p.isFile) {
        Check(curl_mime_filename(part, p.fileName.c_str()), "file name");
        Check(curl_mime_type(part, p.contentType.c_str()), "content type");
      }
    }
    Check(curl_easy_setopt(e, CURLOPT_MIMEPOST, mime.get()), "body");
  }

  if (curl_multi_add_handle(multi.get(), e) != CURLM_OK) throw fail("cannot start the transfer");
  // Taken off the multi handle before either handle is freed.
  struct Detach {
    CURLM* m;
    CURL* e;
    ~Detach() { curl_multi_remove_handle(m, e); }
  } detach{multi.get(), e};

  using Clock = std::chrono::steady_clock;
  const auto slice = std::max(options.idleSlice, std::chrono::milliseconds(1));
  Clock::time_point lastActivity = Clock::now();
  uint64_t seen = t.activity;
  bool timedOut = false;
  bool cancelled = false;
  int running = 1;
  if (curl_multi_perform(multi.get(), &running) != CURLM_OK) throw fail("transfer failed");
  while (running) {
    if (curl_multi_poll(multi.get(), nullptr, 0, static_cast<int>(slice.count()), nullptr) != CURLM_OK)
      throw fail("transfer failed");
    if (curl_multi_perform(multi.get(), &running) != CURLM_OK) throw fail("transfer failed");
    if (!running) break;
    const Clock::time_point now = Clock::now();
    if (t.activity != seen) {
      seen = t.activity;
      lastActivity = now;
    } else {
      // The idle time grows by whole slices only.
      const auto idle = (now - lastActivity) / slice * slice;
      if (idle >= options.readTimeout) {
        timedOut = true;
        break;
      }
    }
    if (options.cancel && options.cancel->load()) {
      cancelled = true;
      break;
    }
  }

  CURLcode result = CURLE_OK;
  int left = 0;
  while (CURLMsg* msg = curl_multi_info_read(multi.get(), &left))
    if (msg->msg == CURLMSG_DONE && msg->easy_handle == e) result = msg->data.result;
  if (t.status == 0) curl_easy_getinfo(e, CURLINFO_RESPONSE_CODE, &t.status);

  if (timedOut)
    throw fail(FormatString("read time-out (no data for %lld ms)",
                            static_cast<long long>(options.readTimeout.count())));
  if (cancelled) throw fail("cancelled");
  if (t.statusRejected) throw fail(StatusText(t));
  if (!sink.Error().empty()) throw fail(sink.Error());
  if (sink.Done()) return;
  if (result != CURLE_OK)
    throw fail(errorText[0] ? std::string(errorText) : std::string(curl_easy_strerror(result)));
  if (t.status < 200 || t.status > 299)
    throw fail(StatusText(t));
  if (sink.EndsEarly()) throw fail("the connection closed before the reply was complete");
}

}  // namespace

void HttpGlobalInit() {
  static std::once_flag once;
  std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

std::string MimeTypeOfFile(const std::string& path, const std::string& mimeDatabase) {
  const std::string ext = Extension(path);
  if (ext == ".png") return "image/png";
  if (ext == ".jpeg" || ext == ".jpg") return "image/jpeg";
  std::string type = LookUpMimeDatabase(ext, mimeDatabase);
  return type.empty() ? "application/octet-stream" : type;
}

TIdIOHandlerStackEx::Result TIdIOHandlerStackEx::Append(std::string_view bytes) {
  if (complete_) return Result::Complete;
  if (full_) return Result::TooLarge;
  if (bytes.size() > maxBytes_ - std::min(maxBytes_, buffer_.size())) {
    full_ = true;
    return Result::TooLarge;
  }
  buffer_.append(bytes);
  if (ReplyTerminator.empty()) return Result::More;
  const size_t found = buffer_.find(ReplyTerminator, searchPos_);
  if (found != std::string::npos) {
    buffer_.resize(found + ReplyTerminator.size());
    complete_ = true;
    return Result::Complete;
  }
  // A terminator split across arrivals starts at most this far back.
  const size_t keep = ReplyTerminator.size() - 1;
  searchPos_ = buffer_.size() > keep ? buffer_.size() - keep : 0;
  return Result::More;
}

void HttpMultipartForm::AddField(std::string name, std::string value) {
  parts_.push_back(Part{std::move(name), std::move(value), false, {}, {}});
}

void HttpMultipartForm::AddFile(std::string name, const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw EFileOpenError(FileOpenMessage(path, errno));
  std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (in.bad()) throw EFileOpenError(FileOpenMessage(path, errno));
  parts_.push_back(Part{std::move(name), std::move(bytes), true, BaseName(path), MimeTypeOfFile(path)});
}

HttpClient::HttpClient(HttpOptions options) : options_(std::move(options)) {}

std::string HttpClient::Get(const std::string& url) {
  MemorySink sink(options_.replyTerminator, options_.maxReplyBytes);
  Perform(options_, "GET", url, nullptr, sink);
  return sink.TakeReply();
}

void HttpClient::GetToFile(const std::string& url, const std::string& path) {
  HttpOptions options = options_;
  options.replyTerminator.clear();
  FileSink sink(path, options.maxFileBytes);
  try {
    Perform(options, "GET", url, nullptr, sink);
    if (!sink.Close()) throw EHttpError(FormatString("GET %s: %s", url.c_str(), sink.Error().c_str()));
  } catch (...) {
    sink.Close();
    std::remove(path.c_str());
    throw;
  }
}

std::string HttpClient::Post(const std::string& url, const HttpMultipartForm& form) {
  MemorySink sink(options_.replyTerminator, options_.maxReplyBytes);
  Perform(options_, "POST", url, &form, sink);
  return sink.TakeReply();
}

}  // namespace tagsmith
