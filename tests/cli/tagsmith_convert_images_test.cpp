// tagsmith-convert --images and --preview run as a process: the pictures of a
// document rendered as the convert dialog renders them, copied into a folder,
// and the dialog's preview page linking the copies.

#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "app/global_share.h"
#include "richtext/picture_decoder.h"
#include "support/picture_bytes.h"
#include "support/process.h"
#include "support/temp_dir.h"

namespace tagsmith {
namespace {

using namespace std::chrono_literals;
using testing::HexOf;
using testing::MakePng;
using testing::Pattern;
using testing::ProcessResult;
using testing::ReadFile;

// A picture of `bytes` shown at 90 x 60 twips: 6 x 4 pixels at 96 dpi.
std::string PictureGroup(const std::string& bytes, const char* keyword = "\\pngblip") {
  return std::string("{\\pict") + keyword + "\\picwgoal90\\pichgoal60 " + HexOf(bytes) + "}";
}

class TagsmithConvertImages : public ::testing::Test {
 protected:
  ProcessResult Convert(const std::vector<std::string>& args) { return testing::RunProcess(TAGSMITH_CONVERT, args); }
  std::string Doc(const std::string& rtf, const std::string& name = "doc.rtf") {
    const auto path = home / name;
    testing::WriteFile(path, rtf);
    return path.string();
  }
  // Settings the renderer reads; upscaling off keeps the pixels exact.
  void Settings(bool upscale, const std::string& imageFormat = "") {
    Registry registry(Registry::DefaultFileName());
    SettingsStore store(registry);
    store.Write(settings::kUpscaleImages, upscale);
    store.Write(settings::kImageFormat, imageFormat);
  }
  // The run folders left below the temporary-files root.
  std::vector<std::string> TempFolders() const {
    std::vector<std::string> out;
    std::error_code ec;
    for (const auto& e : std::filesystem::directory_iterator(home / ".cache/Quorindo/Tagsmith/TempFiles", ec))
      out.push_back(e.path().filename().string());
    return out;
  }
  DecodedPicture Decode(const std::filesystem::path& file, PictureFormat format = PictureFormat::kPng) {
    return DecodePicture(format, ReadFile(file));
  }

  testing::TempHome home;
  const testing::Straight pattern = Pattern(6, 4);
};

TEST_F(TagsmithConvertImages, EveryObjectIsRenderedAndItsChosenFileCopiedInObjectOrder) {
  Settings(false);
  const std::string doc =
      Doc("{\\rtf1 a" + PictureGroup(MakePng(pattern)) +
          " b{\\object\\objemb\\objw90\\objh60{\\*\\objclass Paint.Picture}{\\*\\objdata 0105}{\\result" +
          PictureGroup(MakePng(Pattern(6, 4))) + "}} c}");
  const auto dir = home / "out" / "images";
  const ProcessResult plain = Convert({doc});
  const ProcessResult r = Convert({"--images", dir.string(), doc});
  EXPECT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(r.err, "") << "no progress line when standard error is not a terminal";
  EXPECT_EQ(r.out, plain.out) << "the code is the code without --images";
  EXPECT_EQ(r.out, "a[img][/img] b[img][/img] c\r\n");
  for (const char* name : {"image-001.png", "image-002.png"}) {
    const DecodedPicture p = Decode(dir / name);
    ASSERT_EQ(p.width, 6) << name;
    ASSERT_EQ(p.height, 4) << name;
    EXPECT_EQ(p.pixels, pattern.pixels) << name;
  }
  EXPECT_TRUE(TempFolders().empty()) << "the temporary files are removed";

  // "ImageFormat" JPEG: the copies are the JPEG files; earlier copies stay.
  Settings(false, "JPEG");
  const ProcessResult jpeg = Convert({"--images=" + dir.string(), doc});
  EXPECT_EQ(jpeg.exitCode, 0) << jpeg.err;
  EXPECT_EQ(Decode(dir / "image-002.jpg", PictureFormat::kJpeg).width, 6);
  std::vector<std::string> names;
  for (const auto& e : std::filesystem::directory_iterator(dir)) names.push_back(e.path().filename().string());
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"image-001.jpg", "image-001.png", "image-002.jpg", "image-002.png"}));
}

TEST_F(TagsmithConvertImages, UpscaledObjectsAreRenderedLargeAndReducedToTheirScreenSize) {
  Settings(true);
  // 2 x 1 inches: 192 x 96 pixels on the screen.
  const std::string doc = Doc("{\\rtf1 {\\pict\\pngblip\\picwgoal2880\\pichgoal1440 " +
                              HexOf(MakePng({2, 1, {0xFF2040C0u, 0xFF2040C0u}})) + "}}");
  const auto dir = home / "out";
  const ProcessResult r = Convert({"--images", dir.string(), doc});
  EXPECT_EQ(r.exitCode, 0) << r.err;
  const DecodedPicture p = Decode(dir / "image-001.png");
  EXPECT_EQ(p.width, 192);
  EXPECT_EQ(p.height, 96);
}

TEST_F(TagsmithConvertImages, ThePreviewIsTheDialogsPageInUtf8WithLinksToTheCopies) {
  Settings(false);
  const std::string rtf = "{\\rtf1 \\u1055?\\u1088?\\u1080?\\u1074?\\u1077?\\u1090? " + PictureGroup(MakePng(pattern)) + "}";
  const std::string doc = Doc(rtf);
  const std::string folder = home.path().string();
  ASSERT_EQ(folder.find_first_not_of("/ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_."),
            std::string::npos)
      << "the expected link below assumes a plain temporary folder name";
  // A relative folder whose name must be encoded in a link.
  const ProcessResult r = testing::RunProcess(
      "/bin/sh", {"-c", "cd \"$1\" && exec \"$0\" --to bbcode --images 'my pictures #1' --preview page.html doc.rtf",
                  TAGSMITH_CONVERT, folder});
  EXPECT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(r.out, "Привет [img][/img]\r\n") << "the code keeps its own kind";

  const ProcessResult html = Convert({"--to", "html", doc});
  const std::string link = "file://localhost" + folder + "/my%20pictures%20%231/image-001.png";
  std::string body = html.out;
  const size_t img = body.find("<img src=\"\"");
  ASSERT_NE(img, std::string::npos) << body;
  body.replace(img, 11, "<img src=\"" + link + "\"");
  EXPECT_EQ(ReadFile(home / "page.html"),
            "<html><head><title>Preview</title></head><body bgColor=#FFFFFF>" + body + "</body></html>");
  EXPECT_TRUE(std::filesystem::exists(home / "my pictures #1" / "image-001.png"));
}

TEST_F(TagsmithConvertImages, APictureThatCannotBeDrawnIsReportedAndWrittenWhite) {
  Settings(false);
  const std::string png = MakePng(pattern);
  const std::string doc = Doc("{\\rtf1 " + PictureGroup(png.substr(0, 40)) + PictureGroup(png) + "}");
  const auto dir = home / "out";
  const ProcessResult r = Convert({"--images", dir.string(), "--preview", (home / "p.html").string(), doc});
  EXPECT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(r.err, "tagsmith-convert: " + (dir / "image-001.png").string() +
                       ": Invalid PNG picture: read beyond end of data (written as a white picture)\n");
  EXPECT_EQ(r.out, "[img][/img][img][/img]\r\n");
  EXPECT_EQ(Decode(dir / "image-001.png").pixels, std::vector<uint32_t>(24, 0xFFFFFFFFu));
  EXPECT_EQ(Decode(dir / "image-002.png").pixels, pattern.pixels);
  EXPECT_TRUE(std::filesystem::exists(home / "p.html"));
}

TEST_F(TagsmithConvertImages, ImagesThatCannotBeMadeOrCopiedEndTheRunWithoutCode) {
  Settings(false);
  const std::string doc = Doc("{\\rtf1 " + PictureGroup(MakePng(pattern)) + "}");
  const auto preview = home / "p.html";
  struct Case {
    const char* name;
    std::filesystem::path dir;
    std::string err;
  };
  // A folder where the copy should go; a file where the folder should be.
  std::filesystem::create_directories(home / "taken" / "image-001.png");
  testing::WriteFile(home / "file", "x");
  const Case cases[] = {
      {"folder in the way", home / "taken",
       "tagsmith-convert: " + (home / "taken" / "image-001.png").string() + ": cannot be written: Is a directory\n"},
      {"file in the way", home / "file" / "images",
       "tagsmith-convert: " + (home / "file" / "images").string() + ": cannot be made: Not a directory\n"},
  };
  for (const Case& c : cases) {
    const ProcessResult r = Convert({"--images", c.dir.string(), "--preview", preview.string(), doc});
    EXPECT_EQ(r.exitCode, 1) << c.name;
    EXPECT_EQ(r.err, c.err) << c.name;
    EXPECT_EQ(r.out, "") << c.name;
    EXPECT_FALSE(std::filesystem::exists(preview)) << c.name;
  }

  // No temporary folder to render into: the object gets no file at all.
  const auto tempRoot = home / ".cache/Quorindo/Tagsmith/TempFiles";
  std::filesystem::remove_all(tempRoot);
  testing::WriteFile(tempRoot, "in the way");
  const ProcessResult r = Convert({"--images", (home / "out").string(), doc});
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err.rfind("tagsmith-convert: object 1: Cannot create a temporary folder in ", 0), 0u) << r.err;
  EXPECT_NE(r.err.find(" (no image was made)\ntagsmith-convert: 1 of 1 images could not be made; no code written\n"),
            std::string::npos)
      << r.err;
}

TEST_F(TagsmithConvertImages, PreviewAndImageOptionsNeedTheirValues) {
  const std::string doc = Doc("{\\rtf1 x}");
  struct Case {
    std::vector<std::string> args;
    std::string first;
  };
  const Case cases[] = {
      {{"--preview", "p.html", doc},
       "tagsmith-convert: --preview needs --images DIR: the page links the copies of the images there"},
      {{"--images", "", doc}, "tagsmith-convert: --images needs a folder"},
      {{doc, "--images"}, "tagsmith-convert: --images needs a folder"},
      {{"--images", "d", "--preview=", doc}, "tagsmith-convert: --preview needs a file name"},
  };
  for (const Case& c : cases) {
    const ProcessResult r = Convert(c.args);
    EXPECT_EQ(r.exitCode, 2) << c.first;
    EXPECT_EQ(r.err.substr(0, r.err.find('\n')), c.first);
    EXPECT_EQ(r.out, "");
  }
  const ProcessResult help = Convert({"--help"});
  for (const char* text : {"--images DIR", "--preview FILE", "image-001.png", "white picture", "status 130",
                           "128 + N"})
    EXPECT_NE(help.out.find(text), std::string::npos) << text;
}

// Runs the command with its standard error on a terminal and returns what the
// terminal showed.
std::string RunOnATerminal(const std::vector<std::string>& arguments, const std::filesystem::path& outFile,
                           int* exitCode) {
  const int master = posix_openpt(O_RDWR | O_NOCTTY);
  if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0) return "(no terminal)";
  const std::string slaveName = ptsname(master);
  std::vector<std::string> all{TAGSMITH_CONVERT};
  all.insert(all.end(), arguments.begin(), arguments.end());
  std::vector<char*> argv;
  for (std::string& a : all) argv.push_back(a.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, outFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  posix_spawn_file_actions_addopen(&actions, 2, slaveName.c_str(), O_RDWR | O_NOCTTY, 0);
  posix_spawn_file_actions_addclose(&actions, master);
  pid_t pid = -1;
  const int rc = posix_spawn(&pid, TAGSMITH_CONVERT, &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  std::string shown;
  if (rc == 0) {
    // Read until the child has gone and the terminal has nothing more.
    for (;;) {
      pollfd p{master, POLLIN, 0};
      if (::poll(&p, 1, 200) > 0) {
        char buf[4096];
        const ssize_t n = ::read(master, buf, sizeof buf);
        if (n > 0) {
          shown.append(buf, size_t(n));
          continue;
        }
      }
      int status = 0;
      const pid_t done = waitpid(pid, &status, WNOHANG);
      if (done == pid) {
        *exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        pollfd q{master, POLLIN, 0};
        while (::poll(&q, 1, 100) > 0) {
          char buf[4096];
          const ssize_t n = ::read(master, buf, sizeof buf);
          if (n <= 0) break;
          shown.append(buf, size_t(n));
        }
        break;
      }
    }
  }
  ::close(master);
  return shown;
}

TEST_F(TagsmithConvertImages, AProgressLineIsShownOnATerminal) {
  Settings(false);
  const std::string doc = Doc("{\\rtf1 " + PictureGroup(MakePng(pattern)) + PictureGroup(MakePng(pattern)) + "}");
  int exitCode = -1;
  const std::string shown = RunOnATerminal({"--images", (home / "out").string(), doc}, home / "code.txt", &exitCode);
  EXPECT_EQ(exitCode, 0) << shown;
  for (const char* text : {"\rRendering images: 0 of 2", "\rRendering images: 1 of 2", "\rRendering images: 2 of 2"})
    EXPECT_NE(shown.find(text), std::string::npos) << text << " in " << shown;
  EXPECT_EQ(shown.substr(shown.size() - 2), "\r\n") << "the line is ended";
  EXPECT_EQ(ReadFile(home / "code.txt"), "[img][/img][img][/img]\r\n");
}

TEST_F(TagsmithConvertImages, CtrlCWhileRenderingStopsCleanlyWithoutCode) {
  Settings(true);
  // Many large upscaled pictures: far more work than the test waits for.
  std::string rtf = "{\\rtf1 ";
  for (int i = 0; i < 50; ++i) rtf += "{\\pict\\pngblip\\picwgoal5670\\pichgoal5670 " + HexOf(MakePng(pattern)) + "}";
  const std::string doc = Doc(rtf + "}");
  const auto dir = home / "out";
  const pid_t pid = testing::StartProcess(TAGSMITH_CONVERT, {"--images", dir.string(), doc}, home / "stdout",
                                          home / "stderr");
  ASSERT_GT(pid, 0);
  // Once the first temporary file is there, rendering is under way.
  const auto give_up = std::chrono::steady_clock::now() + 60s;
  auto rendering = [&] {
    for (const std::string& folder : TempFolders()) {
      std::error_code ec;
      if (std::filesystem::directory_iterator(home / ".cache/Quorindo/Tagsmith/TempFiles" / folder, ec) !=
          std::filesystem::directory_iterator())
        return true;
    }
    return false;
  };
  while (!rendering() && std::chrono::steady_clock::now() < give_up) std::this_thread::sleep_for(5ms);
  ASSERT_TRUE(rendering());
  const auto signalled = std::chrono::steady_clock::now();
  ASSERT_EQ(kill(pid, SIGINT), 0);
  EXPECT_EQ(testing::WaitProcess(pid), 130);
  EXPECT_LT(std::chrono::steady_clock::now() - signalled, 20s);
  EXPECT_EQ(ReadFile(home / "stderr"), "tagsmith-convert: interrupted; no code written\n");
  EXPECT_EQ(ReadFile(home / "stdout"), "");
  EXPECT_TRUE(TempFolders().empty()) << "the temporary files are removed";
  EXPECT_FALSE(std::filesystem::exists(dir / "image-001.png"));
}

}  // namespace
}  // namespace tagsmith
