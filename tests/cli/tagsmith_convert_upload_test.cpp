// tagsmith-convert --upload run as a process against image hosts served on
// 127.0.0.1 by the test: the settings name the hosts, --connect-to sends
// every connection to the test's server.

#include <gtest/gtest.h>

#include <signal.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <regex>
#include <string>
#include <vector>

#include "app/global_share.h"
#include "support/http_server.h"
#include "support/picture_bytes.h"
#include "support/process.h"
#include "support/temp_dir.h"
#include "upload/upload_test_support.h"

namespace tagsmith {
namespace {

using namespace std::chrono_literals;
using testing::HexOf;
using testing::HttpReply;
using testing::HttpTestServer;
using testing::MakePng;
using testing::ProcessResult;
using testing::ReadFile;

constexpr const char* kImageShackPattern = "upload%d.images.test";
constexpr const char* kFastPicHost = "fastpic.images.test";

// A picture shown at 90 x 60 twips: 6 x 4 pixels at 96 dpi.
std::string SmallPicture() {
  return "{\\pict\\pngblip\\picwgoal90\\pichgoal60 " + HexOf(MakePng(testing::Pattern(6, 4))) + "}";
}

// 200 x 200 pixels of noise: well over the 35 KiB that make an image big.
std::string BigPicture() {
  testing::Straight noise{200, 200, std::vector<uint32_t>(200 * 200)};
  uint32_t seed = 7;
  for (uint32_t& p : noise.pixels) p = 0xFF000000u | ((seed = seed * 1103515245u + 12345u) >> 8);
  return "{\\pict\\pngblip\\picwgoal3000\\pichgoal3000 " + HexOf(MakePng(noise)) + "}";
}

// The uploaded file's part of a request.
testing::FormPart FilePart(const HttpTestServer::Request& r) {
  for (const auto& part : testing::ParseMultipart(r.Header("Content-Type"), r.body))
    if (part.hasFileName) return part;
  return {};
}

std::vector<std::string> FieldNames(const HttpTestServer::Request& r) {
  std::vector<std::string> names;
  for (const auto& part : testing::ParseMultipart(r.Header("Content-Type"), r.body)) names.push_back(part.name);
  return names;
}

class TagsmithConvertUpload : public ::testing::Test {
 protected:
  TagsmithConvertUpload() {
    Registry registry(Registry::DefaultFileName());
    SettingsStore store(registry);
    store.Write(settings::kUpscaleImages, false);
    store.Write(settings::kImageShackHost, kImageShackPattern);
    store.Write(settings::kFastPicHost, kFastPicHost);
  }
  std::string Doc(const std::string& rtf) {
    const auto path = home / "doc.rtf";
    testing::WriteFile(path, rtf);
    return path.string();
  }
  ProcessResult Upload(const HttpTestServer& server, const std::string& host, const std::string& doc,
                       std::vector<std::string> more = {}) {
    std::vector<std::string> args{"--images", dir.string(), "--upload", host, "--connect-to", server.Authority()};
    args.insert(args.end(), more.begin(), more.end());
    args.push_back(doc);
    return testing::RunProcess(TAGSMITH_CONVERT, args);
  }
  std::vector<std::string> TempFolders() const {
    std::vector<std::string> out;
    std::error_code ec;
    for (const auto& e : std::filesystem::directory_iterator(home / ".cache/Quorindo/Tagsmith/TempFiles", ec))
      out.push_back(e.path().filename().string());
    return out;
  }

  testing::TempHome home;
  const std::filesystem::path dir = home / "images";
};

// Answers every ImageShack request with links named after the uploaded file.
void ImageShackLinks(const HttpTestServer::Request& r, HttpTestServer::Connection& c) {
  const std::string name = FilePart(r).fileName;
  c.Send(HttpReply(testing::ImageShackReply("http://img/" + name, "http://thumb/" + name, "http://page/" + name)));
}

TEST_F(TagsmithConvertUpload, AnImageShackUploadWritesTheLinksAndBigImagesAsLinkedPreviews) {
  HttpTestServer server(ImageShackLinks);
  const std::string doc = Doc("{\\rtf1 a" + SmallPicture() + " b" + BigPicture() + "}");
  const ProcessResult r = Upload(server, "imageshack", doc);
  EXPECT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(r.out,
            "a[img]http://img/image-001.png[/img] b"
            "[url=http://page/image-002.jpg][img]http://thumb/image-002.jpg[/img][/url]\r\n");

  // One request per image, each as the host protocol shapes it.
  const auto requests = server.Requests();
  ASSERT_EQ(requests.size(), 2u);
  for (const auto& q : requests) {
    EXPECT_EQ(q.method, "POST");
    EXPECT_EQ(q.target, "/upload_api.php");
    EXPECT_TRUE(std::regex_match(q.Header("Host"), std::regex("upload[0-8]\\.images\\.test"))) << q.Header("Host");
    EXPECT_EQ(FieldNames(q), (std::vector<std::string>{"public", "rembar", "fileupload"}));
    const testing::FormPart file = FilePart(q);
    EXPECT_EQ(file.data, ReadFile(dir / file.fileName)) << "the copy in the folder is what is sent";
  }

  // Without anti-hotlinking a big image is linked directly.
  {
    Registry registry(Registry::DefaultFileName());
    SettingsStore(registry).Write(settings::kEnableAntiHotlinking, false);
  }
  const ProcessResult direct = Upload(server, "ImageShack", doc, {"--to", "html"});
  EXPECT_EQ(direct.exitCode, 0) << direct.err;
  EXPECT_NE(direct.out.find("<img src=\"http://img/image-002.jpg\" border=\"0\">"), std::string::npos) << direct.out;
  EXPECT_TRUE(TempFolders().empty()) << "the temporary files are removed";
}

TEST_F(TagsmithConvertUpload, AFastPicUploadWritesItsImageLinks) {
  HttpTestServer server([](const auto& r, auto& c) {
    c.Send(HttpReply(testing::FastPicReply("http://i/" + FilePart(r).fileName)));
  });
  const ProcessResult r = Upload(server, "fastpic", Doc("{\\rtf1 " + SmallPicture() + "}"));
  EXPECT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(r.out, "[img]http://i/image-001.png[/img]\r\n");
  const auto requests = server.Requests();
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(requests[0].target, "/upload?api=1");
  EXPECT_EQ(requests[0].Header("Host"), kFastPicHost);
  EXPECT_EQ(FieldNames(requests[0]),
            (std::vector<std::string>{"method", "uploading", "thumb_size", "check_thumb", "file1"}));
}

TEST_F(TagsmithConvertUpload, AHostThatAlwaysFailsEndsTheRunWithItsReasonAndNoCode) {
  HttpTestServer server([](const auto&, auto& c) { c.Send(HttpReply("", "500 Internal Server Error")); });
  const auto code = home / "code.txt";
  const ProcessResult r = Upload(server, "imageshack", Doc("{\\rtf1 " + SmallPicture() + "}"), {"-o", code.string()});
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_EQ(r.err, "tagsmith-convert: " + (dir / "image-001.png").string() +
                       " could not be uploaded: Post request was failed!\n"
                       "tagsmith-convert: the upload to ImageShack failed (0 of 1 images uploaded); no code written\n");
  EXPECT_EQ(r.out, "");
  EXPECT_FALSE(std::filesystem::exists(code));
  EXPECT_EQ(server.RequestCount(), 15u) << "UploadTriesNumber attempts";
  EXPECT_TRUE(std::filesystem::exists(dir / "image-001.png")) << "the images are written before the upload";
  EXPECT_TRUE(TempFolders().empty());
}

TEST_F(TagsmithConvertUpload, CtrlCDuringAStalledUploadAbortsItCleanly) {
  // Headers, then nothing: the upload waits for the rest of the reply.
  HttpTestServer server([](const auto&, auto& c) {
    c.Send("HTTP/1.1 200 OK\r\nContent-Type: text/xml\r\n\r\n<imginfo>");
    c.HoldUntilPeerCloses(60s);
  });
  const std::string doc = Doc("{\\rtf1 " + SmallPicture() + "}");
  const pid_t pid = testing::StartProcess(
      TAGSMITH_CONVERT, {"--images", dir.string(), "--upload", "imageshack", "--connect-to", server.Authority(), doc},
      home / "stdout", home / "stderr");
  ASSERT_GT(pid, 0);
  ASSERT_TRUE(server.WaitForRequests(1, 60s));
  const auto signalled = std::chrono::steady_clock::now();
  ASSERT_EQ(kill(pid, SIGINT), 0);
  EXPECT_EQ(testing::WaitProcess(pid), 130);
  EXPECT_LT(std::chrono::steady_clock::now() - signalled, 5s);
  EXPECT_EQ(ReadFile(home / "stderr"), "tagsmith-convert: interrupted; the upload was aborted and no code written\n");
  EXPECT_EQ(ReadFile(home / "stdout"), "");
  EXPECT_TRUE(TempFolders().empty()) << "the temporary files are removed";
}

TEST_F(TagsmithConvertUpload, UploadOptionsAndHostSettingsAreChecked) {
  const std::string doc = Doc("{\\rtf1 " + SmallPicture() + "}");
  struct Case {
    std::vector<std::string> args;
    std::string first;
  };
  const Case cases[] = {
      {{"--upload", "imageshack", doc}, "tagsmith-convert: --upload needs --images DIR: the images are rendered there first"},
      {{"--images", "d", "--upload", "flickr", doc}, "tagsmith-convert: --upload takes imageshack or fastpic, not \"flickr\""},
      {{"--images", "d", "--connect-to", "127.0.0.1:80", doc}, "tagsmith-convert: --connect-to needs --upload"},
      {{"--images", "d", "--upload", "fastpic", "--connect-to", "localhost", doc},
       "tagsmith-convert: --connect-to takes HOST:PORT, not \"localhost\""},
      {{"--images", "d", "--upload", "fastpic", "--connect-to=127.0.0.1:99999", doc},
       "tagsmith-convert: --connect-to takes HOST:PORT, not \"127.0.0.1:99999\""},
  };
  for (const Case& c : cases) {
    const ProcessResult r = testing::RunProcess(TAGSMITH_CONVERT, c.args);
    EXPECT_EQ(r.exitCode, 2) << c.first;
    EXPECT_EQ(r.err.substr(0, r.err.find('\n')), c.first);
  }

  const ProcessResult help = testing::RunProcess(TAGSMITH_CONVERT, {"--help"});
  for (const char* text : {"--upload HOST", "imageshack", "fastpic", "--connect-to HOST:PORT", "EnableAntiHotlinking"})
    EXPECT_NE(help.out.find(text), std::string::npos) << text;

  // A host setting the uploader cannot use stops the run before any work.
  {
    Registry registry(Registry::DefaultFileName());
    SettingsStore(registry).Write(settings::kImageShackHost, "upload.images.test");
  }
  HttpTestServer server(ImageShackLinks);
  const ProcessResult r = Upload(server, "imageshack", doc);
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_EQ(r.err,
            "tagsmith-convert: The setting ImageShackHost must hold exactly one %d and no other %: "
            "\"upload.images.test\"\n");
  EXPECT_FALSE(std::filesystem::exists(dir));
  EXPECT_EQ(server.RequestCount(), 0u);

  // A document without pictures has nothing to upload.
  const ProcessResult none = Upload(server, "fastpic", Doc("{\\rtf1 text}"));
  EXPECT_EQ(none.exitCode, 0) << none.err;
  EXPECT_EQ(none.out, "text\r\n");
}

}  // namespace
}  // namespace tagsmith
