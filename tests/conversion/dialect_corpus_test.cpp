// Every dialect's code for every document of the shared RTF corpus and of
// samples/, with every tag kind on, checked for well-formedness by parsers
// from npm (tests/wellformed/check.js: @bbob/parser for BBCode, parse5 for
// HTML). The packages come with `npm ci` in tests/wellformed, which make
// test runs.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "conversion/tags_array.h"
#include "platform/strings.h"
#include "richtext/rich_document.h"
#include "richtext/rtf_reader.h"
#include "support/process.h"
#include "support/temp_dir.h"

namespace tagsmith {
namespace {

namespace fs = std::filesystem;

std::vector<fs::path> Documents() {
  std::vector<fs::path> files;
  auto add = [&files](const fs::path& root) {
    for (const auto& entry : fs::recursive_directory_iterator(root))
      if (entry.is_regular_file() && entry.path().extension() == ".rtf") files.push_back(entry.path());
  };
  add(fs::path(TAGSMITH_SOURCE_DIR) / "samples");
  if (auto shared = testing::SharedDir(); shared && fs::is_directory(*shared / "corpus" / "rtf"))
    add(*shared / "corpus" / "rtf");
  std::sort(files.begin(), files.end());
  return files;
}

TEST(DialectCorpus, EveryDialectWritesWellFormedCodeForEveryDocument) {
  const fs::path checker = fs::path(TAGSMITH_SOURCE_DIR) / "tests" / "wellformed";
  if (!fs::is_directory(checker / "node_modules" / "@bbob" / "parser") || !fs::is_directory(checker / "node_modules" / "parse5"))
    GTEST_SKIP() << "the npm parsers are not installed: run npm ci in tests/wellformed (make test does)";
  if (!testing::SharedDir())
    std::cout << "[ NOTE     ] the shared folder is not there: only samples/ is checked, not the RTF corpus\n";
  testing::TempDir out;
  int written = 0;
  for (const fs::path& file : Documents()) {
    auto doc = RichDocument::Create();
    try {
      ReadRtf(testing::ReadFile(file), *doc);
    } catch (const std::exception&) {
      continue;  // the corpus holds damaged files on purpose; their code is not the question here
    }
    THTMLTagSetHolder html;
    TBBCODETagSetHolder bbcode;
    html.Data = THTMLTagSet(THTMLTagSet::kAll);
    bbcode.Data = TBBCODETagSet(TBBCODETagSet::kAll);
    TDialectChoice dialects;
    TTagsArray tags;
    tags.Document = doc;
    tags.RichEditOle = doc;
    tags.DataModule = {&html, &bbcode, &dialects};
    tags.Analyze();
    // Addresses with the characters that would end a tag or an attribute;
    // every other object big, so the linked previews are written too.
    for (size_t i = 0; i < tags.EmbObjFormats.size(); ++i) {
      TEmbObjRec& rec = tags.EmbObjFormats[i].Obj;
      rec.FileSize = i % 2 ? 100000 : 100;
      rec.ImageURL = u"http://i.example/a[1]\"&b<" + Utf8ToUtf16(std::to_string(i)) + u">.png";
      rec.ImagePreviewURL = u"http://i.example/t]" + Utf8ToUtf16(std::to_string(i)) + u".png";
      rec.LinkToPage = u"http://i.example/p?x=1&y=[2]";
    }
    tags.AntiHotlinking = true;
    const std::string stem = fs::relative(file, file.parent_path().parent_path()).generic_string();
    std::string base;
    for (char c : stem) base.push_back(c == '/' || c == '.' ? '_' : c);
    for (uint8_t kind : {0, 1}) {
      for (const TDialect* d : DialectsOf(kind)) {
        if (d->Id == mdClassic) continue;
        (kind == 0 ? dialects.Html : dialects.BBCode) = d->Id;
        tags.OutputKind = kind;
        testing::WriteFile(out / (base + "." + d->Name + (kind == 0 ? ".html" : ".bbcode")),
                           Utf16ToUtf8(tags.GetCode(false)));
        ++written;
      }
    }
  }
  ASSERT_GT(written, 0);
  const testing::ProcessResult r =
      testing::RunProcess("/usr/bin/env", {"node", (checker / "check.js").string(), out.path().string()});
  EXPECT_EQ(r.exitCode, 0) << r.out << r.err;
  std::cout << "[ NOTE     ] " << r.out.substr(r.out.rfind('\n', r.out.size() - 2) + 1);
}

}  // namespace
}  // namespace tagsmith
