// Every RTF document of the shared corpus (and the shipped sample), opened
// into the editor's document, reads through the text-object operations
// exactly as RichDocument reads it and converts to exactly the code that
// tagsmith-convert writes for it, HTML and BBCode.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "app/ui/document_io.h"
#include "conversion/tags_array.h"
#include "platform/strings.h"
#include "qt_test_support.h"
#include "support/temp_dir.h"

namespace tagsmith::testing {
namespace {

std::vector<std::filesystem::path> Documents() {
  std::vector<std::filesystem::path> files;
  files.push_back(std::filesystem::path(TAGSMITH_SOURCE_DIR) / "samples" / "sample.rtf");
  if (auto shared = SharedDir()) {
    const std::filesystem::path corpus = *shared / "corpus" / "rtf";
    std::error_code ec;
    if (std::filesystem::is_directory(corpus, ec))
      for (const auto& entry : std::filesystem::recursive_directory_iterator(corpus))
        if (entry.is_regular_file() && entry.path().extension() == ".rtf") files.push_back(entry.path());
  }
  std::sort(files.begin() + 1, files.end());
  return files;
}

std::u16string Code(const std::shared_ptr<ITextDocument>& doc, const std::shared_ptr<IRichEditOle>& objects,
                    uint8_t kind) {
  THTMLTagSetHolder html;
  TBBCODETagSetHolder bbcode;
  TTagsArray tags;
  tags.Document = doc;
  tags.RichEditOle = objects;
  tags.DataModule = {&html, &bbcode};
  tags.OutputKind = kind;
  tags.Analyze();
  return tags.GetCode(false);
}

TEST(CorpusAgreement, TheQtDocumentConvertsEveryDocumentAsRichDocumentDoes) {
  const std::vector<std::filesystem::path> files = Documents();
  if (files.size() == 1) std::cout << "[ SKIPPED  ] the shared corpus is not beside this checkout; the sample only\n";
  for (const auto& path : files) {
    SCOPED_TRACE(path.string());
    auto rich = RichDocument::Create();
    ReadRtf(ReadFile(path), *rich);
    Editor e;
    LoadDocumentFile(*e.doc, path.string());
    EXPECT_EQ(e.Describe(), Describe(*rich));
    for (uint8_t kind : {uint8_t(0), uint8_t(1)})
      EXPECT_EQ(Utf16ToUtf8(Code(e.doc, e.doc, kind)), Utf16ToUtf8(Code(rich, rich, kind)))
          << (kind == 0 ? "HTML" : "BBCode");
  }
}

}  // namespace
}  // namespace tagsmith::testing
