// tagsmith-convert's dialects: --dialect, the settings that choose them, and
// the preview page in HTML5.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/global_share.h"
#include "support/process.h"
#include "support/temp_dir.h"

namespace tagsmith {
namespace {

using testing::ProcessResult;

// A centred bold heading at 18 pt over 12 pt body text with a [b] written
// by the user.
constexpr const char* kDoc =
    "{\\rtf1{\\fonttbl{\\f0 Arial;}}\\qc\\f0\\fs36{\\b Title}\\par\\ql\\fs24 Body text says [b] here.\\par}";

class TagsmithConvertDialect : public ::testing::Test {
 protected:
  ProcessResult Convert(std::vector<std::string> args) {
    args.push_back(doc);
    return testing::RunProcess(TAGSMITH_CONVERT, args);
  }
  testing::TempHome home;
  const std::string doc = [this] {
    testing::WriteFile(home / "doc.rtf", kDoc);
    return (home / "doc.rtf").string();
  }();
};

TEST_F(TagsmithConvertDialect, DialectChoosesTheSpellingOfTheCode) {
  const std::string tags = "--tags=bold,fontsize,fontname,align";
  struct Row {
    std::vector<std::string> args;
    std::string out;
  };
  const std::vector<Row> rows = {
      {{tags, "--dialect", "phpbb"}, "[size=150][b]Title[/b][/size]\r\nBody text says [b] here.\r\n"},
      {{tags, "--dialect=SMF"},
       "[center][size=15pt][b]Title[/b][/size]\r\n[/center]Body text says [nobbc][[/nobbc]b] here.\r\n"},
      {{tags, "--dialect", "xenforo"},
       "[center][size=22px][b]Title[/b][/size]\r\n[/center]Body text says [plain][[/plain]b] here.\r\n"},
      {{tags, "--dialect", "classic"},
       "[center][font=\"Arial\"][size=18][b]Title[/b][/size][/font][font=\"Arial\"][size=18]\r\n[/size][/font]"
       "[/center][left][font=\"Arial\"][size=12]Body text says [b] here.\r\n[/size][/font][/left]"},
      {{"--to", "html", "--tags", "bold,align", "--dialect", "html5"},
       "<div style=\"text-align: center\"><b>Title</b></div>\r\n<div style=\"text-align: left\">Body text says [b] "
       "here.</div>\r\n"},
  };
  for (const Row& row : rows) {
    const ProcessResult r = Convert(row.args);
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, row.out) << row.args[1];
  }
  // Classic is the code without the option, for both outputs.
  EXPECT_EQ(Convert({tags}).out, Convert({tags, "--dialect", "Classic"}).out);
  EXPECT_EQ(Convert({"--to", "html"}).out, Convert({"--to", "html", "--dialect", "classic"}).out);
}

TEST_F(TagsmithConvertDialect, ADialectOfTheOtherOutputOrAnUnknownNameIsAnError) {
  struct Row {
    std::vector<std::string> args;
    std::string message;
  };
  const std::vector<Row> rows = {
      {{"--dialect", "html5"}, "tagsmith-convert: --dialect html5 is a dialect of HTML: use it with --to html\n"},
      {{"--to", "html", "--dialect", "mybb"},
       "tagsmith-convert: --dialect mybb is a dialect of BBCode: use it with --to bbcode\n"},
      {{"--dialect", "ipb"},
       "tagsmith-convert: --dialect takes classic, html5, phpbb, mybb, smf, xenforo or vbulletin, not \"ipb\"\n"},
      {{"--dialect="}, "tagsmith-convert: --dialect takes classic, html5, phpbb, mybb, smf, xenforo or vbulletin, not \"\"\n"},
  };
  for (const Row& row : rows) {
    const ProcessResult r = Convert(row.args);
    EXPECT_EQ(r.exitCode, 2) << row.message;
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err.substr(0, r.err.find('\n') + 1), row.message);
  }
  const ProcessResult missing = testing::RunProcess(TAGSMITH_CONVERT, {"--dialect"});
  EXPECT_EQ(missing.exitCode, 2);
  EXPECT_EQ(missing.err.substr(0, missing.err.find('\n') + 1), "tagsmith-convert: --dialect needs a dialect name\n");
}

TEST_F(TagsmithConvertDialect, TheSettingsChooseTheDialectAndTheOptionOverridesThemForOneRun) {
  const std::string tags = "--tags=bold,fontsize";
  {
    Registry registry(Registry::DefaultFileName());
    SettingsStore store(registry);
    store.Write(settings::kBBCodeDialect, "MyBB");
    store.Write(settings::kHTMLDialect, "html5");
  }
  EXPECT_EQ(Convert({tags}).out, "[size=15][b]Title[/b][/size]\r\nBody text says [b] here.\r\n");
  EXPECT_EQ(Convert({tags, "--dialect", "vbulletin"}).out,
            "[size=21px][b]Title[/b][/size]\r\nBody text says [noparse][[/noparse]b] here.\r\n");
  EXPECT_EQ(Convert({"--to", "html", "--tags", "bold"}).out,
            "<div><b>Title</b></div>\r\n<div>Body text says [b] here.</div>\r\n");
  {
    Registry registry(Registry::DefaultFileName());
    SettingsStore store(registry);
    store.Write(settings::kBBCodeDialect, "HTML5");  // not a BBCode dialect: Classic
  }
  EXPECT_EQ(Convert({tags}).out, Convert({tags, "--dialect", "classic"}).out);
}

TEST_F(TagsmithConvertDialect, ThePreviewPageIsAnHtml5DocumentWhenHtml5IsChosen) {
  const auto page = home / "preview.html";
  ProcessResult r = Convert({"--to", "html", "--dialect", "html5", "--tags", "bold", "--images",
                             (home / "images").string(), "--preview", page.string()});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(testing::ReadFile(page),
            "<!DOCTYPE html>\r\n<html><head><meta charset=\"utf-8\"><title>Preview</title></head>"
            "<body style=\"background-color: #FFFFFF\">\r\n<div><b>Title</b></div>\r\n<div>Body text says [b] "
            "here.</div>\r\n</body></html>\r\n");
  r = Convert({"--to", "html", "--images", (home / "images").string(), "--preview", page.string()});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(testing::ReadFile(page).rfind("<html><head><title>Preview</title></head><body bgColor=#FFFFFF>", 0), 0u);
}

}  // namespace
}  // namespace tagsmith
