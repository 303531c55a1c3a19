#include "platform/http_client.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <thread>

#include "support/http_server.h"
#include "support/temp_dir.h"
#include "upload_test_support.h"

namespace tagsmith {
namespace {

using namespace std::chrono_literals;
using testing::HttpReply;
using testing::HttpTestServer;

std::string ErrorOf(const std::function<void()>& call) {
  try {
    call();
  } catch (const EHttpError& e) {
    return e.what();
  }
  return "(no EHttpError)";
}

HttpOptions Short(std::string terminator = {}) {
  HttpOptions o;
  o.replyTerminator = std::move(terminator);
  o.readTimeout = 300ms;
  o.idleSlice = 25ms;
  o.connectTimeout = 2000ms;
  return o;
}

TEST(MimeTypeOfFile, FixedTableWithExactCaseThenTheSystemDatabase) {
  testing::TempDir dir;
  const std::string db = (dir / "mime.types").string();
  testing::WriteFile(db,
                     "# comment line\n"
                     "image/x-test-png\t\tpng\n"
                     "image/gif\t\t\tgif\n"
                     "text/plain\t\ttxt text # trailing comment\n");
  const struct {
    const char* path;
    const char* type;
  } cases[] = {
      {"/a/b.png", "image/png"},
      {"/a/b.jpg", "image/jpeg"},
      {"/a/b.jpeg", "image/jpeg"},
      {"/a/B.PNG", "image/x-test-png"},  // not the table: the database, whose lookup ignores case
      {"/a/b.JPG", "application/octet-stream"},
      {"/a/b.Gif", "image/gif"},
      {"/a/b.text", "text/plain"},
      {"/a/b.unknown", "application/octet-stream"},
      {"/a.png/noext", "application/octet-stream"},
      {"/a/.", "application/octet-stream"},
  };
  for (const auto& c : cases) EXPECT_EQ(MimeTypeOfFile(c.path, db), c.type) << c.path;
  EXPECT_EQ(MimeTypeOfFile("x.gif", (dir / "missing.types").string()), "application/octet-stream");
}

TEST(ReplyTerminatorReader, FindsTheTerminatorWhereverTheArrivalsSplitIt) {
  const std::string terminator = "</imginfo>";
  const std::string reply = "<imginfo><links/></imginfo>";
  const std::string wire = reply + "trailing </imginfo> advert";
  // Every split of the wire into three arrivals.
  for (size_t a = 0; a <= wire.size(); ++a) {
    for (size_t b = a; b <= wire.size(); ++b) {
      TIdIOHandlerStackEx reader(terminator);
      const std::string_view w(wire);
      TIdIOHandlerStackEx::Result r = reader.Append(w.substr(0, a));
      if (r == TIdIOHandlerStackEx::Result::More) r = reader.Append(w.substr(a, b - a));
      if (r == TIdIOHandlerStackEx::Result::More) r = reader.Append(w.substr(b));
      ASSERT_EQ(r, TIdIOHandlerStackEx::Result::Complete) << a << "," << b;
      ASSERT_EQ(reader.Reply(), reply) << a << "," << b;
    }
  }
  TIdIOHandlerStackEx open(terminator);
  EXPECT_EQ(open.Append("<imginfo></imginf"), TIdIOHandlerStackEx::Result::More);
  EXPECT_FALSE(open.Complete());

  TIdIOHandlerStackEx small(terminator, 16);
  EXPECT_EQ(small.Append("0123456789"), TIdIOHandlerStackEx::Result::More);
  EXPECT_EQ(small.Append("0123456789"), TIdIOHandlerStackEx::Result::TooLarge);
  EXPECT_EQ(small.Append("</imginfo>"), TIdIOHandlerStackEx::Result::TooLarge);
}

TEST(HttpClient, PostSendsTheHeadersAndTheFieldsInOrder) {
  testing::TempDir dir;
  const std::string file = (dir / "picture.png").string();
  std::string bytes;
  for (int i = 0; i < 70000; ++i) bytes += static_cast<char>(i * 7 % 256);
  testing::WriteFile(file, bytes);
  HttpTestServer server([](const auto&, auto& c) { c.Send(HttpReply("done")); });

  HttpMultipartForm form;
  form.AddField("first", "1");
  form.AddField("second", "two words");
  form.AddFile("upload", file);
  HttpOptions options = Short();
  options.host = "uploads.example.test";
  options.connectTo = server.Authority();
  HttpClient client(options);
  EXPECT_EQ(client.Post("http://uploads.example.test/path?q=1", form), "done");

  ASSERT_EQ(server.RequestCount(), 1u);
  const auto request = server.Requests()[0];
  EXPECT_EQ(request.method, "POST");
  EXPECT_EQ(request.target, "/path?q=1");
  EXPECT_EQ(request.Header("Host"), "uploads.example.test");
  EXPECT_EQ(request.Header("User-Agent"), "Mozilla/3.0 (compatible)");
  EXPECT_EQ(request.Header("Accept"), "text/html, */*");
  EXPECT_EQ(request.Header("Expect"), "");
  const auto parts = testing::ParseMultipart(request.Header("Content-Type"), request.body);
  ASSERT_EQ(parts.size(), 3u);
  EXPECT_EQ(parts[0].disposition, "form-data; name=\"first\"");
  EXPECT_EQ(parts[0].data, "1");
  EXPECT_EQ(parts[1].disposition, "form-data; name=\"second\"");
  EXPECT_EQ(parts[1].data, "two words");
  EXPECT_EQ(parts[2].disposition, "form-data; name=\"upload\"; filename=\"picture.png\"");
  EXPECT_EQ(parts[2].contentType, "image/png");
  EXPECT_EQ(parts[2].data, bytes);
}

TEST(HttpClient, AFileThatCannotBeReadFailsWhenTheBodyIsBuilt) {
  HttpMultipartForm form;
  try {
    form.AddFile("f", "/nonexistent/dir/x.png");
    FAIL() << "no error";
  } catch (const EFileOpenError& e) {
    EXPECT_STREQ(e.what(), "Cannot open file \"/nonexistent/dir/x.png\". No such file or directory");
  }
}

TEST(HttpClient, TerminatorSplitOverTwoReadsCompletesTheReplyAtTheSecond) {
  std::atomic<bool> secondHalfSent{false};
  HttpTestServer server([&](const auto&, auto& c) {
    c.Send("HTTP/1.1 200 OK\r\nContent-Type: text/xml\r\n\r\n<imginfo>x</img");
    c.Pause(150ms);
    // Set before the bytes go out: the client can only finish after them.
    secondHalfSent = true;
    c.Send("info>");
    // The reply is complete now; holding the connection shows the client does
    // not wait for its end.
    c.HoldUntilPeerCloses(5s);
  });
  HttpClient client(Short("</imginfo>"));
  EXPECT_EQ(client.Get("http://" + server.Authority() + "/"), "<imginfo>x</imginfo>");
  EXPECT_TRUE(secondHalfSent);
}

TEST(HttpClient, BytesAfterTheTerminatorAreIgnoredAndTheDeclaredLengthPlaysNoPart) {
  const struct {
    const char* name;
    std::string wire;
  } cases[] = {
      {"trailing text", HttpReply("<imginfo>a</imginfo><!-- advert -->trailing")},
      {"declared too short", "HTTP/1.1 200 OK\r\nContent-Length: 3\r\n\r\n<imginfo>a</imginfo>"},
      {"declared too long", "HTTP/1.1 200 OK\r\nContent-Length: 5000\r\n\r\n<imginfo>a</imginfo>"},
  };
  for (const auto& c : cases) {
    HttpTestServer server([&](const auto&, auto& conn) {
      conn.Send(c.wire);
      conn.HoldUntilPeerCloses(5s);
    });
    HttpClient client(Short("</imginfo>"));
    EXPECT_EQ(client.Get("http://" + server.Authority() + "/"), "<imginfo>a</imginfo>") << c.name;
  }
}

TEST(HttpClient, RejectedRepliesAndBrokenConnectionsFailWithTheirReason) {
  const struct {
    const char* name;
    std::string wire;
    const char* reason;
  } cases[] = {
      {"server error", HttpReply("<imginfo></imginfo>", "500 Internal Server Error"),
       "the server replied HTTP/1.1 500 Internal Server Error"},
      {"redirect", HttpReply("", "302 Found", "Location: http://127.0.0.1:1/\r\n"), "the server replied HTTP/1.1 302 Found"},
      {"closed early", "HTTP/1.1 200 OK\r\n\r\n<imginfo>", "the connection closed before the reply was complete"},
  };
  for (const auto& c : cases) {
    HttpTestServer server([&](const auto&, auto& conn) { conn.Send(c.wire); });
    const std::string url = "http://" + server.Authority() + "/x";
    HttpClient client(Short("</imginfo>"));
    EXPECT_EQ(ErrorOf([&] { client.Get(url); }), "GET " + url + ": " + c.reason) << c.name;
  }
}

TEST(HttpClient, RefusedConnectionFails) {
  const std::string url = "http://127.0.0.1:" + std::to_string(testing::UnusedPort()) + "/";
  HttpClient client(Short());
  const std::string error = ErrorOf([&] { client.Get(url); });
  EXPECT_EQ(error.rfind("GET " + url + ": ", 0), 0u) << error;
  EXPECT_NE(error.find("onnect"), std::string::npos) << error;
}

TEST(HttpClient, SilenceFailsAfterTheIdleReadTimeOutWhileTricklingDataKeepsItAlive) {
  // Headers, then nothing: the body wait times out.
  // Nothing at all: the header wait times out the same way.
  for (const std::string head : {"HTTP/1.1 200 OK\r\n\r\n<imginfo>", ""}) {
    HttpTestServer server([&](const auto&, auto& c) {
      c.Send(head);
      c.HoldUntilPeerCloses(10s);
    });
    const std::string url = "http://" + server.Authority() + "/";
    HttpOptions options = Short("</imginfo>");
    options.readTimeout = 200ms;
    options.idleSlice = 50ms;
    HttpClient client(options);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(ErrorOf([&] { client.Get(url); }), "GET " + url + ": read time-out (no data for 200 ms)");
    EXPECT_GE(std::chrono::steady_clock::now() - start, 200ms);
  }

  // A byte every 60 ms for 600 ms never leaves 200 ms of silence.
  HttpTestServer trickle([](const auto&, auto& c) {
    c.Send("HTTP/1.1 200 OK\r\n\r\n<imginfo>");
    for (int i = 0; i < 10; ++i) {
      c.Pause(60ms);
      c.Send(" ");
    }
    c.Send("</imginfo>");
  });
  HttpOptions options = Short("</imginfo>");
  options.readTimeout = 200ms;
  options.idleSlice = 50ms;
  HttpClient client(options);
  EXPECT_EQ(client.Get("http://" + trickle.Authority() + "/"), "<imginfo>          </imginfo>");
}

TEST(HttpClient, ReplyOverTheLimitFailsInsteadOfGrowing) {
  HttpTestServer server([](const auto&, auto& c) {
    c.Send("HTTP/1.1 200 OK\r\n\r\n");
    const std::string chunk(4096, 'a');
    for (int i = 0; i < 64 && c.Send(chunk); ++i) {
    }
  });
  const std::string url = "http://" + server.Authority() + "/";
  HttpOptions options = Short("</imginfo>");
  options.maxReplyBytes = 10000;
  HttpClient client(options);
  EXPECT_EQ(ErrorOf([&] { client.Get(url); }), "GET " + url + ": the reply is too large");
}

TEST(HttpClient, CancelEndsATransferInProgress) {
  HttpTestServer server([](const auto&, auto& c) {
    c.Send("HTTP/1.1 200 OK\r\n\r\n");
    c.HoldUntilPeerCloses(10s);
  });
  std::atomic<bool> cancel{false};
  HttpOptions options = Short("</x>");
  options.readTimeout = 10s;
  options.cancel = &cancel;
  std::thread canceller([&] {
    server.WaitForRequests(1, 5s);
    cancel = true;
  });
  const std::string url = "http://" + server.Authority() + "/";
  HttpClient client(options);
  EXPECT_EQ(ErrorOf([&] { client.Get(url); }), "GET " + url + ": cancelled");
  canceller.join();
}

TEST(HttpClient, GetReadsTheWholeBodyIntoMemoryOrIntoAFile) {
  std::string body;
  for (int i = 0; i < 300000; ++i) body += static_cast<char>('a' + i % 26);
  HttpTestServer server([&](const auto& request, auto& c) {
    if (request.target == "/missing") c.Send(HttpReply("gone", "404 Not Found"));
    else c.Send(HttpReply(body));
  });
  HttpClient client(Short());
  const std::string base = "http://" + server.Authority();
  EXPECT_EQ(client.Get(base + "/file"), body);
  EXPECT_EQ(server.Requests()[0].method, "GET");
  EXPECT_EQ(server.Requests()[0].Header("Host"), server.Authority());

  testing::TempDir dir;
  const auto target = dir / "download.bin";
  client.GetToFile(base + "/file", target.string());
  EXPECT_EQ(testing::ReadFile(target), body);

  // A failed download leaves no partial file behind, not even over an old one.
  EXPECT_EQ(ErrorOf([&] { client.GetToFile(base + "/missing", target.string()); }),
            "GET " + base + "/missing: the server replied HTTP/1.1 404 Not Found");
  EXPECT_FALSE(std::filesystem::exists(target));
  EXPECT_THROW(client.GetToFile(base + "/file", (dir / "no" / "such" / "dir").string()), EFileOpenError);
}

TEST(HttpClient, ADownloadPastItsLimitFailsAndLeavesNoFile) {
  const std::string body(300000, 'z');
  HttpTestServer server([&](const auto&, auto& c) { c.Send(HttpReply(body)); });
  const std::string url = "http://" + server.Authority() + "/big";
  testing::TempDir dir;
  const auto target = dir / "download.bin";
  HttpOptions options = Short();
  struct Case {
    uint64_t limit;
    bool fits;
  };
  for (const Case c : {Case{body.size(), true}, Case{body.size() - 1, false}, Case{1000, false}}) {
    SCOPED_TRACE(c.limit);
    options.maxFileBytes = c.limit;
    HttpClient client(options);
    if (c.fits) {
      client.GetToFile(url, target.string());
      EXPECT_EQ(testing::ReadFile(target).size(), body.size());
      continue;
    }
    try {
      client.GetToFile(url, target.string());
      ADD_FAILURE() << "no error";
    } catch (const EHttpError& e) {
      EXPECT_EQ(std::string(e.what()), "GET " + url + ": the reply is larger than " + std::to_string(c.limit) + " bytes");
      EXPECT_EQ(e.Status(), 200);  // the server did reply
    }
    EXPECT_FALSE(std::filesystem::exists(target));
  }
}

TEST(HttpClient, TheStatusOfAFailedRequestTellsWhetherTheServerReplied) {
  HttpTestServer server([](const auto& request, auto& c) {
    if (request.target == "/404") c.Send(HttpReply("gone", "404 Not Found"));
    else if (request.target == "/cut") c.Send(HttpReply("0123456789").substr(0, 86));
  });
  HttpClient client(Short());
  const std::string base = "http://" + server.Authority();
  const auto status = [&](const std::string& url) -> long {
    try {
      client.Get(url);
    } catch (const EHttpError& e) {
      return e.Status();
    }
    return -1;
  };
  EXPECT_EQ(status(base + "/404"), 404);
  EXPECT_EQ(status(base + "/cut"), 200);
  EXPECT_EQ(status(base + "/nothing"), 0);  // closed without a reply
  EXPECT_EQ(status("http://127.0.0.1:" + std::to_string(testing::UnusedPort()) + "/"), 0);
}

}  // namespace
}  // namespace tagsmith
