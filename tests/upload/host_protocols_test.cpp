#include "upload/host_protocols.h"

#include <gtest/gtest.h>

#include <regex>
#include <set>

#include "platform/xml.h"
#include "support/http_server.h"
#include "support/temp_dir.h"
#include "upload_test_support.h"

namespace tagsmith {
namespace {

using namespace std::chrono_literals;
using testing::HttpReply;
using testing::HttpTestServer;

struct HostFixture : ::testing::Test {
  HostFixture() {
    file = (dir / "object 3.png").string();
    bytes = std::string("\x89PNG\r\n\x1a\n", 8) + std::string(5000, '\0') + "end";
    testing::WriteFile(file, bytes);
  }
  UploadHosts HostsFor(const HttpTestServer& server) const {
    return UploadHosts{"load%d.imageshack.example.test", "fastpic.example.test", server.Authority()};
  }
  // Short enough that the stalls below fail fast...
  UploadTimeouts timeouts{2000ms, 300ms, 25ms};
  // ...and long enough that a loaded machine never fails a server that answers.
  UploadTimeouts patient{10000ms, 10000ms, 25ms};
  testing::TempDir dir;
  std::string file;
  std::string bytes;
};

std::string UploadErrorOf(const std::function<void()>& call) {
  try {
    call();
  } catch (const EUploadThread& e) {
    return e.what();
  }
  return "(no EUploadThread)";
}

TEST_F(HostFixture, ImageShackRequestHasItsFieldsInOrderOnANumberedHost) {
  HttpTestServer server([](const auto&, auto& c) {
    c.Send(HttpReply(testing::ImageShackReply("http://img/a.png", "http://img/a.th.png", "http://img/page")));
  });
  const UploadLinks links = UploadAttempt(TUploadServer::ImageShack, file, HostsFor(server), patient);
  EXPECT_EQ(links.ImageURL, "http://img/a.png");
  EXPECT_EQ(links.ImagePreviewURL, "http://img/a.th.png");
  EXPECT_EQ(links.LinkToPage, "http://img/page");

  ASSERT_EQ(server.RequestCount(), 1u);
  const auto r = server.Requests()[0];
  EXPECT_EQ(r.method, "POST");
  EXPECT_EQ(r.target, "/upload_api.php");
  EXPECT_TRUE(std::regex_match(r.Header("Host"), std::regex("load[0-8]\\.imageshack\\.example\\.test")))
      << r.Header("Host");
  EXPECT_EQ(r.Header("User-Agent"), "Mozilla/3.0 (compatible)");
  EXPECT_EQ(r.Header("Accept"), "text/html, */*");
  const auto parts = testing::ParseMultipart(r.Header("Content-Type"), r.body);
  ASSERT_EQ(parts.size(), 3u);
  EXPECT_EQ(parts[0].name, "public");
  EXPECT_EQ(parts[0].data, "yes");
  EXPECT_FALSE(parts[0].hasFileName);
  EXPECT_EQ(parts[1].name, "rembar");
  EXPECT_EQ(parts[1].data, "1");
  EXPECT_FALSE(parts[1].hasFileName);
  EXPECT_EQ(parts[2].name, "fileupload");
  EXPECT_EQ(parts[2].fileName, "object 3.png");
  EXPECT_EQ(parts[2].contentType, "image/png");
  EXPECT_EQ(parts[2].data, bytes);
}

TEST_F(HostFixture, FastPicRequestHasItsFieldsInOrderOnItsHost) {
  const std::string jpeg = (dir / "picture.jpg").string();
  testing::WriteFile(jpeg, "\xFF\xD8jpegdata\xFF\xD9");
  HttpTestServer server([](const auto&, auto& c) {
    c.Send(HttpReply("<?xml version=\"1.0\" encoding=\"UTF-8\"?><UploadSettings><Status>ok</Status>"
                     "<ImagePath>http://fp/i.jpg</ImagePath><THUMBPATH>http://fp/t.jpg</THUMBPATH>"
                     "<viewurl>http://fp/v</viewurl></UploadSettings>"));
  });
  const UploadLinks links = UploadAttempt(TUploadServer::FastPic, jpeg, HostsFor(server), patient);
  EXPECT_EQ(links.ImageURL, "http://fp/i.jpg");
  EXPECT_EQ(links.ImagePreviewURL, "http://fp/t.jpg");
  EXPECT_EQ(links.LinkToPage, "http://fp/v");

  ASSERT_EQ(server.RequestCount(), 1u);
  const auto r = server.Requests()[0];
  EXPECT_EQ(r.method, "POST");
  EXPECT_EQ(r.target, "/upload?api=1");
  EXPECT_EQ(r.Header("Host"), "fastpic.example.test");
  EXPECT_EQ(r.Header("User-Agent"), "Mozilla/3.0 (compatible)");
  EXPECT_EQ(r.Header("Accept"), "text/html, */*");
  const auto parts = testing::ParseMultipart(r.Header("Content-Type"), r.body);
  const std::vector<std::pair<std::string, std::string>> expected = {
      {"method", "file"}, {"uploading", "1"}, {"thumb_size", "200"}, {"check_thumb", "no"}};
  ASSERT_EQ(parts.size(), 5u);
  for (size_t i = 0; i < expected.size(); ++i) {
    EXPECT_EQ(parts[i].name, expected[i].first) << i;
    EXPECT_EQ(parts[i].data, expected[i].second) << i;
    EXPECT_FALSE(parts[i].hasFileName) << i;
  }
  EXPECT_EQ(parts[4].name, "file1");
  EXPECT_EQ(parts[4].fileName, "picture.jpg");
  EXPECT_EQ(parts[4].contentType, "image/jpeg");
  EXPECT_EQ(parts[4].data, "\xFF\xD8jpegdata\xFF\xD9");
}

TEST_F(HostFixture, ReplySplitInsideItsTerminatorWithTrailingTextIsRead) {
  HttpTestServer server([](const auto&, auto& c) {
    const std::string body = testing::ImageShackReply("http://img/split.png");
    const size_t cut = body.size() - 4;  // inside "</imginfo>"
    c.Send("HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body.substr(0, cut));
    c.Pause(100ms);
    c.Send(body.substr(cut) + "<html>advertisement, not XML");
    c.HoldUntilPeerCloses(5s);
  });
  EXPECT_EQ(UploadAttempt(TUploadServer::ImageShack, file, HostsFor(server), patient).ImageURL,
            "http://img/split.png");
}

TEST_F(HostFixture, FailedRequestsAreFailedPostsAndMalformedXmlIsNot) {
  const struct {
    const char* name;
    std::string wire;
    bool hold;  // keep the connection open after the wire
  } posts[] = {
      {"server error", HttpReply(testing::ImageShackReply("http://x"), "500 Internal Server Error"), false},
      {"closed before the terminator", "HTTP/1.1 200 OK\r\n\r\n<imginfo><links>", false},
      {"stall after the headers", "HTTP/1.1 200 OK\r\n\r\n", true},
      {"silence", "", true},
  };
  for (TUploadServer host : {TUploadServer::ImageShack, TUploadServer::FastPic}) {
    for (const auto& c : posts) {
      HttpTestServer server([&](const auto&, auto& conn) {
        conn.Send(c.wire);
        if (c.hold) conn.HoldUntilPeerCloses(5s);
      });
      EXPECT_EQ(UploadErrorOf([&] { UploadAttempt(host, file, HostsFor(server), timeouts); }),
                "Post request was failed!")
          << c.name;
    }
  }
  const std::string nobody = "127.0.0.1:" + std::to_string(testing::UnusedPort());
  const UploadHosts refused{nobody, nobody, ""};
  for (TUploadServer host : {TUploadServer::ImageShack, TUploadServer::FastPic})
    EXPECT_EQ(UploadErrorOf([&] { UploadAttempt(host, file, refused, timeouts); }), "Post request was failed!");

  HttpTestServer broken([](const auto&, auto& c) {
    c.Send(HttpReply("<imginfo><links><image_link>x</links></imginfo>"));
  });
  EXPECT_THROW(UploadAttempt(TUploadServer::ImageShack, file, HostsFor(broken), patient), EXmlError);
  HttpTestServer brokenFp([](const auto&, auto& c) { c.Send(HttpReply("<UploadSettings><status>ok</UploadSettings>")); });
  EXPECT_THROW(UploadAttempt(TUploadServer::FastPic, file, HostsFor(brokenFp), patient), EXmlError);

  HttpTestServer unused([](const auto&, auto& c) { c.Send(HttpReply(testing::FastPicReply("x"))); });
  EXPECT_THROW(UploadAttempt(TUploadServer::FastPic, (dir / "missing.png").string(), HostsFor(unused), timeouts),
               EFileOpenError);
  EXPECT_EQ(unused.RequestCount(), 0u);
}

TEST(ImageShackReply, ElementRulesAndFallbacks) {
  const auto reply = [](const std::string& links, const std::string& root = "imginfo") {
    return "<" + root + "><links>" + links + "</links></" + root + ">";
  };
  const std::string image = "<image_link>I</image_link>";
  const struct {
    const char* name;
    std::string xml;
    const char* preview;  // null: corrupted
    const char* page;
  } cases[] = {
      {"yfrog pair wins over the ordinary pair",
       reply(image + "<thumb_link>T</thumb_link><ad_link>A</ad_link><yfrog_thumb>YT</yfrog_thumb><yfrog_link>YL</yfrog_link>"),
       "YT", "YL"},
      {"yfrog_thumb without yfrog_link falls back",
       reply(image + "<yfrog_thumb>YT</yfrog_thumb><thumb_link>T</thumb_link><ad_link>A</ad_link>"), "T", "A"},
      {"yfrog_link without yfrog_thumb falls back",
       reply(image + "<yfrog_link>YL</yfrog_link><thumb_link>T</thumb_link><ad_link>A</ad_link>"), "T", "A"},
      {"child names ignore case",
       "<imginfo><LINKS><Image_Link>I</Image_Link><THUMB_LINK>T</THUMB_LINK><Ad_Link>A</Ad_Link></LINKS></imginfo>",
       "T", "A"},
      {"fallback missing ad_link", reply(image + "<yfrog_thumb>YT</yfrog_thumb><thumb_link>T</thumb_link>"), nullptr,
       nullptr},
      {"no image_link", reply("<thumb_link>T</thumb_link><ad_link>A</ad_link>"), nullptr, nullptr},
      {"no links", "<imginfo><image_link>I</image_link></imginfo>", nullptr, nullptr},
      {"links not a direct child", "<imginfo><x><links>" + image + "<thumb_link>T</thumb_link><ad_link>A</ad_link></links></x></imginfo>",
       nullptr, nullptr},
      {"root name has exact case", reply(image + "<thumb_link>T</thumb_link><ad_link>A</ad_link>", "ImgInfo"), nullptr,
       nullptr},
      {"other root", reply(image + "<thumb_link>T</thumb_link><ad_link>A</ad_link>", "error"), nullptr, nullptr},
  };
  for (const auto& c : cases) {
    if (c.preview) {
      UploadLinks links;
      ASSERT_NO_THROW(links = ReadImageShackReply(c.xml)) << c.name;
      EXPECT_EQ(links.ImageURL, "I") << c.name;
      EXPECT_EQ(links.ImagePreviewURL, c.preview) << c.name;
      EXPECT_EQ(links.LinkToPage, c.page) << c.name;
    } else {
      EXPECT_EQ(UploadErrorOf([&] { ReadImageShackReply(c.xml); }), "ImageShack XML data file is corrupted!")
          << c.name;
    }
  }
}

TEST(ImageShackReply, IsDecodedAsLatin1WhateverItDeclares) {
  const UploadLinks links = ReadImageShackReply(
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?><imginfo><links><image_link>http://h/\xE9.png</image_link>"
      "<thumb_link> t </thumb_link><ad_link>a&amp;b</ad_link></links></imginfo>");
  EXPECT_EQ(links.ImageURL, "http://h/\xC3\xA9.png");
  EXPECT_EQ(links.ImagePreviewURL, " t ");
  EXPECT_EQ(links.LinkToPage, "a&b");
}

TEST(FastPicReply, StatusMustBeExactlyOkAndEveryLinkPresent) {
  const auto reply = [](const std::string& inner, const std::string& root = "UploadSettings") {
    return "<" + root + ">" + inner + "</" + root + ">";
  };
  const std::string links = "<imagepath>I</imagepath><thumbpath>T</thumbpath><viewurl>V</viewurl>";
  const UploadLinks ok = ReadFastPicReply(reply("<status>ok</status>" + links));
  EXPECT_EQ(ok.ImageURL, "I");
  EXPECT_EQ(ok.ImagePreviewURL, "T");
  EXPECT_EQ(ok.LinkToPage, "V");
  EXPECT_EQ(ReadFastPicReply(reply("<status>ok</status><imagepath>http://h/\xD0\xAF</imagepath><thumbpath/><viewurl/>"))
                .ImageURL,
            "http://h/\xD0\xAF");

  const struct {
    const char* name;
    std::string xml;
  } corrupted[] = {
      {"status OK in capitals", reply("<status>OK</status>" + links)},
      {"status with blanks", reply("<status> ok</status>" + links)},
      {"no status", reply(links)},
      {"error status", reply("<status>error</status>" + links)},
      {"no imagepath", reply("<status>ok</status><thumbpath>T</thumbpath><viewurl>V</viewurl>")},
      {"no thumbpath", reply("<status>ok</status><imagepath>I</imagepath><viewurl>V</viewurl>")},
      {"no viewurl", reply("<status>ok</status><imagepath>I</imagepath><thumbpath>T</thumbpath>")},
      {"root name has exact case", reply("<status>ok</status>" + links, "uploadsettings")},
  };
  for (const auto& c : corrupted)
    EXPECT_EQ(UploadErrorOf([&] { ReadFastPicReply(c.xml); }), "FastPic XML data file is corrupted!") << c.name;
  EXPECT_THROW(ReadFastPicReply("<UploadSettings><status>ok</status>"), EXmlError);
}

TEST(ImageShackHost, ServerNumberIsUniformFromZeroToEight) {
  int counts[9] = {};
  for (int i = 0; i < 9000; ++i) {
    const int n = DrawImageShackServer();
    ASSERT_GE(n, 0);
    ASSERT_LE(n, 8);
    ++counts[n];
  }
  for (int n = 0; n < 9; ++n) {
    EXPECT_GT(counts[n], 800) << n;
    EXPECT_LT(counts[n], 1200) << n;
  }
}

TEST(ImageShackHost, PatternTakesTheNumberAtItsPlaceholderOnly) {
  EXPECT_EQ(ImageShackHostName("load%d.example.test", 4), "load4.example.test");
  EXPECT_EQ(ImageShackHostName("up%d-%d.example.test", 7), "up7-%d.example.test");
  EXPECT_EQ(ImageShackHostName("%s%n%d.example.test", 0), "%s%n0.example.test");
  EXPECT_EQ(ImageShackHostName("fixed.example.test", 3), "fixed.example.test");
}

TEST_F(HostFixture, ManyImageShackAttemptsUseEveryServerNumber) {
  std::mutex lock;
  std::set<std::string> hosts;
  HttpTestServer server([&](const auto& r, auto& c) {
    {
      std::lock_guard<std::mutex> g(lock);
      hosts.insert(r.Header("Host"));
    }
    c.Send(HttpReply(testing::ImageShackReply("http://x")));
  });
  for (int i = 0; i < 200 && hosts.size() < 9; ++i) {
    UploadAttempt(TUploadServer::ImageShack, file, HostsFor(server), patient);
    std::lock_guard<std::mutex> g(lock);
    if (hosts.size() == 9) break;
  }
  std::set<std::string> expected;
  for (int n = 0; n < 9; ++n) expected.insert("load" + std::to_string(n) + ".imageshack.example.test");
  std::lock_guard<std::mutex> g(lock);
  EXPECT_EQ(hosts, expected);
}

}  // namespace
}  // namespace tagsmith
