// tagsmith-convert run as a process, with a temporary home for its settings.

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "app/global_share.h"
#include "conversion/tag_sets.h"
#include "support/process.h"
#include "support/temp_dir.h"

namespace tagsmith {
namespace {

using testing::ProcessResult;

// Bold "Hello", plain " world", a second paragraph.
constexpr const char* kDoc = "{\\rtf1 {\\b Hello} world\\par second}";

class TagsmithConvert : public ::testing::Test {
 protected:
  ProcessResult Convert(const std::vector<std::string>& args) { return testing::RunProcess(TAGSMITH_CONVERT, args); }
  std::string Doc(const std::string& rtf, const std::string& name = "doc.rtf") {
    const auto path = home / name;
    testing::WriteFile(path, rtf);
    return path.string();
  }
  testing::TempHome home;
};

TEST_F(TagsmithConvert, WritesBBCodeByDefaultWithCrLfLineEnds) {
  const ProcessResult r = Convert({Doc(kDoc)});
  EXPECT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(r.out, "[b]Hello[/b] world\r\nsecond\r\n");
  EXPECT_EQ(Convert({"--to", "BBCode", Doc(kDoc)}).out, r.out);
}

TEST_F(TagsmithConvert, WritesHtmlWithTheDefaultHtmlTags) {
  const ProcessResult r = Convert({"--to", "html", Doc(kDoc)});
  EXPECT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(r.out,
            "<span align=left><span style=\"font-size: 12pt; \"><b>Hello</b></span>"
            "<span style=\"font-size: 12pt; \"> world<br/>\r\n</span><span align=left>second\r\n</span></span>");
  EXPECT_EQ(Convert({"--to=html", Doc(kDoc)}).out, r.out);
}

TEST_F(TagsmithConvert, TheTagSetsComeFromTheSettingsAndTagsReplacesThemForOneRun) {
  {
    Registry registry(Registry::DefaultFileName());
    SettingsStore store(registry);
    TBBCODETagSetHolder bbcode;
    bbcode.Data = TBBCODETagSet(0);
    bbcode.Data.Include(bttItalic);
    store.WritePersistent(settings::kBBCodeTagSet, bbcode);
  }
  // One run, its final mark included, in one centred paragraph.
  const std::string doc = Doc("{\\rtf1 {\\b\\i both}\\qc\\par}");
  EXPECT_EQ(Convert({doc}).out, "[i]both\r\n[/i]");
  EXPECT_EQ(Convert({"--tags", "bold, ALIGN", doc}).out, "[center][b]both\r\n[/b][/center]");
  EXPECT_EQ(Convert({"--tags=", doc}).out, "both\r\n");
  EXPECT_EQ(Convert({"--to", "html", "--tags", "bold,italic", doc}).out, "<b><i>both\r\n</i></b>");
  EXPECT_EQ(Convert({doc}).out, "[i]both\r\n[/i]") << "--tags changed nothing stored";
}

TEST_F(TagsmithConvert, ReadsStandardInputAndWritesToAFile) {
  const std::string in = Doc(kDoc);
  const ProcessResult r = testing::RunProcess("/bin/sh", {"-c", "exec \"$0\" - < \"$1\"", TAGSMITH_CONVERT, in});
  EXPECT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(r.out, "[b]Hello[/b] world\r\nsecond\r\n");

  const auto out = home / "out.bbcode";
  const ProcessResult f = Convert({"-o", out.string(), in});
  EXPECT_EQ(f.exitCode, 0) << f.err;
  EXPECT_EQ(f.out, "");
  EXPECT_EQ(testing::ReadFile(out), "[b]Hello[/b] world\r\nsecond\r\n");
}

TEST_F(TagsmithConvert, CodeIsUtf8AndObjectsAreImageTags) {
  const ProcessResult r =
      Convert({Doc("{\\rtf1 \\u1055?\\u1088?\\u1080? {\\pict\\pngblip\\picwgoal100\\pichgoal100 89504e47} \\u-10179?\\u-8704?}")});
  EXPECT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(r.out, "При [img][/img] 😀\r\n");
}

TEST_F(TagsmithConvert, FailuresNameTheFileAndLeaveNoOutput) {
  const auto out = home / "out.txt";
  struct Case {
    std::vector<std::string> args;
    std::string err;
  };
  const std::string missing = (home / "missing.rtf").string();
  const std::string plain = Doc("just text", "plain.txt");
  const std::string noFolder = (home / "no" / "such" / "folder" / "out.txt").string();
  const Case cases[] = {
      {{missing}, "tagsmith-convert: " + missing + ": cannot be read: No such file or directory\n"},
      {{"-o", out.string(), plain},
       "tagsmith-convert: " + plain + ": Not an RTF document: it does not begin with {\\rtf\n"},
      {{"-o", noFolder, Doc(kDoc)}, "tagsmith-convert: " + noFolder + ": cannot be written: No such file or directory\n"},
  };
  for (const Case& c : cases) {
    const ProcessResult r = Convert(c.args);
    EXPECT_EQ(r.exitCode, 1) << c.err;
    EXPECT_EQ(r.err, c.err);
    EXPECT_EQ(r.out, "");
  }
  EXPECT_FALSE(std::filesystem::exists(out)) << "a failed conversion writes no file";

  // A settings file that is not a registry is reported and left alone.
  testing::WriteFile(Registry::DefaultFileName(), "not a database");
  const ProcessResult r = Convert({Doc(kDoc)});
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_EQ(r.err.rfind("tagsmith-convert: Registry file " + Registry::DefaultFileName(), 0), 0u) << r.err;
  EXPECT_EQ(testing::ReadFile(Registry::DefaultFileName()), "not a database");
}

TEST_F(TagsmithConvert, CommandLinesItCannotUnderstandFailWithStatusTwo) {
  const std::string doc = Doc(kDoc);
  struct Case {
    std::vector<std::string> args;
    std::string first;  // the first line of the error output
  };
  const Case cases[] = {
      {{}, "tagsmith-convert: no INPUT given"},
      {{doc, doc}, "tagsmith-convert: one INPUT only, not 2"},
      {{"--to", "pdf", doc}, "tagsmith-convert: --to takes bbcode or html, not \"pdf\""},
      {{"--to"}, "tagsmith-convert: --to needs bbcode or html"},
      {{doc, "-o"}, "tagsmith-convert: -o needs a file name"},
      {{"--fast", doc}, "tagsmith-convert: unknown option --fast"},
      {{"--tags", "bold,blink", doc}, "tagsmith-convert: unknown tag kind \"blink\""},
      {{"--tags", "fontbkcolor", doc}, "tagsmith-convert: fontbkcolor is not a tag kind of BBCode"},
  };
  for (const Case& c : cases) {
    const ProcessResult r = Convert(c.args);
    EXPECT_EQ(r.exitCode, 2) << c.first;
    EXPECT_EQ(r.err.substr(0, r.err.find('\n')), c.first);
    EXPECT_NE(r.err.find("usage: tagsmith-convert"), std::string::npos);
    EXPECT_EQ(r.out, "");
  }
  // A file whose name looks like an option, after "--".
  const std::string dashed = Doc(kDoc, "-dashed.rtf");
  const ProcessResult r = testing::RunProcess(
      "/bin/sh", {"-c", "cd \"$1\" && exec \"$0\" -- -dashed.rtf", TAGSMITH_CONVERT, home.path().string()});
  EXPECT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(r.out, "[b]Hello[/b] world\r\nsecond\r\n");
}

TEST_F(TagsmithConvert, HelpExplainsEveryOption) {
  const ProcessResult r = Convert({"--help"});
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(r.err, "");
  for (const char* text : {"usage: tagsmith-convert [--to bbcode|html] [-o FILE] [--tags LIST] INPUT\n", "--to KIND",
                           "-o FILE", "--tags LIST", "fontbkcolor", "- for standard input", "CR LF",
                           "tagsmith-config"})
    EXPECT_NE(r.out.find(text), std::string::npos) << text;
  EXPECT_EQ(Convert({"-h"}).out, r.out);
}

}  // namespace
}  // namespace tagsmith
