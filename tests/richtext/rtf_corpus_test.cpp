// Real RTF files written by word processors, text controls and converters:
// every one reads without error, shows the words a reader of the document
// sees (and not those it does not see), and reads back the same after
// being written.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "richtext/rtf_reader.h"
#include "richtext/rtf_test_support.h"
#include "richtext/rtf_writer.h"
#include "support/temp_dir.h"

namespace tagsmith::testing {
namespace {

struct CorpusFile {
  std::vector<std::u16string> words;           // visible text, in the order given
  std::vector<std::u16string> absent = {};     // text a reader does not see
  int objects = 0;                             // pictures and objects
  std::vector<std::pair<std::u16string, std::u16string>> links = {};  // text, its link
  std::vector<std::u16string> bulleted = {};   // text in list paragraphs
  std::vector<std::u16string> unbulleted = {};  // text in other paragraphs
};

// Files by their path below the corpus folder.
const std::map<std::string, CorpusFile>& Expected() {
  static const std::map<std::string, CorpusFile> files = {
      {"LibreOffice__core/sw__qa__extras__rtfexport__data__hyperlink-with-backslashes.rtf",
       {{u"link"}, {}, 0, {{u"link", u"c:\\temp\\doc1.doc"}}}},
      {"LibreOffice__core/sw__qa__extras__rtfexport__data__hyperlink.rtf",
       {{u"Hello", u"world", u"!"}, {u"HYPERLINK"}, 0, {{u"world", u"http://en.wikipedia.org/wiki/World"}}}},
      {"LibreOffice__core/sw__qa__extras__rtfimport__data__bin-skipping.rtf", {{u"text"}, {u"MUST NOT IMPORT"}}},
      {"LibreOffice__core/sw__qa__extras__rtfimport__data__fdo44176.rtf",
       {{u"First page has no header.\rSecond page has a header."}, {u"foo"}}},
      {"LibreOffice__core/sw__qa__extras__rtfimport__data__fdo45394.rtf", {{u"\t\t\rc\td\t\r"}, {u"ПК"}}},
      {"LibreOffice__core/sw__qa__extras__rtfimport__data__fdo47326.rtf", {{u"Windows®XP:", u"Cartes:"}}},
      {"LibreOffice__core/sw__qa__extras__rtfimport__data__fdo48356.rtf", {{u"Maček"}}},
      {"LibreOffice__core/sw__qa__extras__rtfimport__data__fdo54900.rtf", {{u"foo\rN\t"}}},
      {"LibreOffice__core/sw__qa__extras__rtfimport__data__fdo57708.rtf", {{u"PM1 TEST"}, {u"Crystal"}, 1}},
      {"LibreOffice__core/writerfilter__qa__cppunittests__rtftok__data__invalid-hex.rtf", {{u"xřx"}}},

      {"erdomke__RtfPipe/RtfPipe.Tests__Files__Hyperlink.rtf",
       {{u"Include www link", u"http://www.cnn.com/", u"Bookmark_1", u"Hyperlink within doc"},
        {u"HYPERLINK", u"00d0c9ea"},
        0,
        {{u"http://www.cnn.com/", u"http://www.cnn.com/"}}}},
      {"erdomke__RtfPipe/RtfPipe.Tests__Files__Issue23.rtf", {{u"就诊时间", u"健康查体", u"华法林钠片"}}},
      {"erdomke__RtfPipe/RtfPipe.Tests__Files__Issue34.rtf", {{u"У Х В А Л А"}}},
      {"erdomke__RtfPipe/RtfPipe.Tests__Files__Issue37.rtf", {{u"Proba proba"}, {}, 2}},
      {"erdomke__RtfPipe/RtfPipe.Tests__Files__Issue39.rtf",
       {{u"Tauragė", u"Technical", u"Sunkvežimio paskirtis"}, {u"Quote no."}}},
      {"erdomke__RtfPipe/RtfPipe.Tests__Files__Issue46.rtf",
       {{u"It is an example test rtf-file", u"2nd column", u"It is the last row of the list"}, {}, 2}},
      {"erdomke__RtfPipe/RtfPipe.Tests__Files__Issue49.rtf", {{u"5% Auf Patronen"}}},
      {"erdomke__RtfPipe/RtfPipe.Tests__Files__Issue53.rtf",
       {{u"A\rB\rC\rD"}, {u"1)"}, 0, {}, {u"A", u"B", u"C", u"D"}}},
      {"erdomke__RtfPipe/RtfPipe.Tests__Files__List.rtf",
       {{u"Paragraph", u"Bullet 2", u"List 1"}, {}, 0, {}, {u"Bullet 2", u"List 1"}, {u"Paragraph 2"}}},
      {"erdomke__RtfPipe/RtfPipe.Tests__Files__ListWord.rtf",
       {{u"Paragraph", u"Bullet 2", u"List 2"}, {}, 0, {}, {u"Bullet 2", u"List 2"}, {u"Paragraph 2"}}},
      {"erdomke__RtfPipe/RtfPipe.Tests__Files__PictureObjectEmbed2.rtf", {{}, {}, 1}},
      {"erdomke__RtfPipe/RtfPipe.Tests__Files__RtfParserTest_4.rtf", {{u"バージョンアップ注文書"}}},
      {"erdomke__RtfPipe/RtfPipe.Tests__Files__RtfParserTest_5.rtf",
       {{u"McAfee(R) VirusScan(R) for Mac", u"リリース ノート"}}},
      {"erdomke__RtfPipe/RtfPipe.Tests__Files__RtfParserTest_fail_1.rtf", {{u"Hello world in {RTF}"}}},
      {"erdomke__RtfPipe/RtfPipe.Tests__Files__RtfParserTest_fail_3.rtf", {{u"Hello world in {RTF}"}}},
      {"erdomke__RtfPipe/RtfPipe.Tests__Files__Test01.rtf",
       {{u"Hellou RTF World", u"strikethrough", u"[Γ]", u"visible"}, {u"should not appear", u"this neither"}}},
      {"erdomke__RtfPipe/RtfPipe.Tests__Files__minimal.rtf", {{u"foobar"}}},
      {"erdomke__RtfPipe/RtfPipe.Tests__Files__phprtflite__image_from_strings.rtf",
       {{u"Images (as files) with PHPRtfLite.", u"Missing image or not readable"}, {}, 7}},
      {"erdomke__RtfPipe/RtfPipe.Tests__Files__phprtflite__utf8.rtf",
       {{u"Lietuviškos raidės", u"русский техт", u"le code à côté de"}}},
      {"erdomke__RtfPipe/RtfPipe.Tests__Files__rtf2xml__symbol.rtf",
       {{u"GREEK CAPITAL LETTER ALPHA", u"GREEK SMALL LETTER ALPHA"}, {u"Smaller case"}}},
      {"erdomke__RtfPipe/RtfPipe.Tests__Files__rtf2xml__ted_mixed_faces.rtf", {{u"bold-italics", u"underlined"}}},
      {"erdomke__RtfPipe/docu__RtfTestDocument.rtf", {{u"Heading 1", u"Strikethrough", u"Bulleted list"}}},

      {"jgm__pandoc/test__rtf__accent.rtf", {{u"le café où on ne fume pas"}}},
      {"jgm__pandoc/test__rtf__bookmark.rtf", {{u"Bookmark_1", u"click me"}, {}, 0, {{u"click me", u"#bookmark_1"}}}},
      {"jgm__pandoc/test__rtf__footnote.rtf",
       {{u"Mead's landmark study", u"turning point for Margaret Mead."}, {u"Sahlins", u"bibliography"}}},
      {"jgm__pandoc/test__rtf__formatting.rtf",
       {{u"Small Caps", u"bold and italics", u"strikeout", u"superscript"}, {u"John MacFarlane"}}},
      {"jgm__pandoc/test__rtf__image.rtf", {{}, {}, 1}},
      {"jgm__pandoc/test__rtf__link.rtf", {{u"pandoc"}, {}, 0, {{u"pandoc", u"http://pandoc.org"}}}},
      {"jgm__pandoc/test__rtf__list_complex.rtf",
       {{u"Twelve", u"Out of list!", u"Eight Continue"}, {}, 0, {}, {u"Twelve"}, {u"Out of list!"}}},
      {"jgm__pandoc/test__rtf__list_legacy.rtf", {{u"Numbered", u"Bulleted"}, {}, 0, {}, {u"Numbered", u"Bulleted"}}},
      {"jgm__pandoc/test__rtf__table_error_codes.rtf", {{u"PandocFailOnWarningError", u"PandocResourceNotFound"}}},
      {"jgm__pandoc/test__rtf__table_nested.rtf",
       {{u"Level two before\rDeep A\tDeep B\t\rDeep C\tDeep D\t\rLevel two after\t\rOuter after\t\rOutside table"},
        {u"FALLBACK"}}},
      {"jgm__pandoc/test__rtf__table_nested_malformed_itap.rtf", {{u"Child at skipped level", u"Outer cell"}}},
      {"jgm__pandoc/test__rtf__unicode.rtf", {{u"“hi”", u"‘hi’", u"α"}}},

      {"joniles__rtfparserkit/src__test__resources__com__rtfparserkit__parser__standard__data__test10001Encoding.rtf",
       {{u"お読みください"}, {u"disc"}}},
      {"joniles__rtfparserkit/src__test__resources__com__rtfparserkit__parser__standard__data__test437Encoding.rtf",
       {{u"Test Document", u"Test Subtitle"}}},
      {"joniles__rtfparserkit/src__test__resources__com__rtfparserkit__parser__standard__data__test874Encoding.rtf",
       {{u"Test Heading", u"Some more test text"}}},
      {"joniles__rtfparserkit/src__test__resources__com__rtfparserkit__parser__standard__data__test950Encoding.rtf",
       {{u"Test Text", u"Copyright © 2004-2013"}, {u"Test Author"}}},
      {"joniles__rtfparserkit/src__test__resources__com__rtfparserkit__parser__standard__data__testGitHubIssue6.rtf",
       {{u"INNEN. KÜCHE - TAG", u"Hier ist die zweite Szene."}}},
      {"joniles__rtfparserkit/src__test__resources__com__rtfparserkit__parser__standard__data__testKoreanEncoding.rtf",
       {{u"MS Project Addin ProjectPlus"}}},
      {"joniles__rtfparserkit/"
       "src__test__resources__com__rtfparserkit__parser__standard__data__testNegativeUnicode.rtf",
       {{u"From:", u"F700", u"F720"}}},
      {"joniles__rtfparserkit/src__test__resources__com__rtfparserkit__parser__standard__data__testUnicode.rtf",
       {{u"Johann Strauß", u"René Magritte", u"中国", u"Česká republika"}}},
      {"joniles__rtfparserkit/src__test__resources__com__rtfparserkit__parser__standard__data__testUpr.rtf",
       {{u"End User License Agreement"}}},

      {"joshy__striprtf/tests__rtf__Example_text.rtf",
       {{u"Text here with hyperlink", u"Another font", u"A graphic"}, {}, 2}},
      {"joshy__striprtf/tests__rtf__TX_RTF32_18.0.541.501.rtf", {{u"symbol", u"≤", u"Ⅷ"}}},
      {"joshy__striprtf/tests__rtf__ansicpg1250.rtf", {{u"Proszę o zapoznanie się", u"rozporządzeniem"}}},
      {"joshy__striprtf/tests__rtf__bytes.rtf", {{u"УХВАЛА", u"Верховний Суд"}}},
      {"joshy__striprtf/tests__rtf__calcium_score.rtf", {{u"Calcium-Score", u"Coronararterie"}}},
      {"joshy__striprtf/tests__rtf__hyperlinks.rtf", {{u"Wikipedia", u"Search"}}},
      {"joshy__striprtf/tests__rtf__issue_11.rtf", {{u"测试"}}},
      {"joshy__striprtf/tests__rtf__issue_20.rtf", {{u"Test"}}},
      {"joshy__striprtf/tests__rtf__issue_55_1.rtf", {{u"ü", u"เ"}}},
      {"joshy__striprtf/tests__rtf__line_break_textedit_mac.rtf", {{u"A\rB\rC"}}},
      {"joshy__striprtf/tests__rtf__mac_textedit_hyperlink.rtf",
       {{u"macOS text edit hyperlink", u"striprtf.dev", u"github"}}},
      {"joshy__striprtf/tests__rtf__nbsp.rtf", {{u"This is some bold text with non\u00A0breaking\u00A0spaces."}}},
      {"joshy__striprtf/tests__rtf__nested_table.rtf",
       {{u"Gesamt DLP", u"Coronar-Alter", u"Mehrere pulmonale Noduli"}}},
      {"joshy__striprtf/tests__rtf__unicode.rtf", {{u"柔道"}}},

      {"tbluemel__rtf.js/samples__.common__data__rtf__simplepngbin.rtf", {{}, {}, 1}},
      {"tbluemel__rtf.js/test__rtf-test-files__colors__source.rtf", {{u"Colored Line", u"Highlighted Line"}}},
      {"tbluemel__rtf.js/test__rtf-test-files__hyperlink__source.rtf",
       {{u"a hyperlink to this project", u"should be centered"}}},
      {"tbluemel__rtf.js/test__rtf-test-files__implicit-par__source.rtf", {{u"LINE1 - APPLE", u"LINE3 - CLEAN"}}},
      {"tbluemel__rtf.js/test__rtf-test-files__infer-double-width__source.rtf", {{u"要やフぎば要立"}}},
      {"tbluemel__rtf.js/test__rtf-test-files__paragraph-properties__source.rtf",
       {{u"five paragraph document", u"right aligned"}}},
      {"tbluemel__rtf.js/test__rtf-test-files__pile-of-poo__source.rtf", {{u"Iñtërnâtiônàlizætiøn☃💩"}}},
      {"tbluemel__rtf.js/test__rtf-test-files__sample__source.rtf",
       {{u"This is a test RTF", u"I’m a test file", u"Item 4", u"Next row"}, {u"hidden"}, 0, {}, {u"Item 4"}}},
      {"tbluemel__rtf.js/test__rtf-test-files__simplepict__source.rtf", {{u"First a PNG:"}, {}, 3}},
      {"tbluemel__rtf.js/test__rtf-test-files__simplepng__source.rtf", {{}, {}, 1}},
      {"tbluemel__rtf.js/test__rtf-test-files__superscript-subscript__source.rtf",
       {{u"Normal", u"and normal once again."}}},
      {"tbluemel__rtf.js/test__rtf-test-files__wmf-and-emf__source.rtf",
       {{u"System Integration Test Process", u"ROLES & RESPONSIBILITIES"}, {}, 2}},
  };
  return files;
}

std::vector<std::filesystem::path> CorpusFiles(const std::filesystem::path& root) {
  std::vector<std::filesystem::path> files;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(root))
    if (entry.is_regular_file() && entry.path().extension() == ".rtf") files.push_back(entry.path());
  std::sort(files.begin(), files.end());
  return files;
}

class RtfCorpus : public ::testing::Test {
 protected:
  void SetUp() override {
    auto shared = SharedDir();
    if (!shared || !std::filesystem::is_directory(*shared / "corpus" / "rtf"))
      GTEST_SKIP() << "the RTF corpus (corpus/rtf in the shared folder) is not there";
    root_ = *shared / "corpus" / "rtf";
  }
  std::filesystem::path root_;
};

TEST_F(RtfCorpus, EveryFileReadsWithItsVisibleWords) {
  const auto files = CorpusFiles(root_);
  ASSERT_FALSE(files.empty());
  for (const auto& path : files) {
    const std::string name = std::filesystem::relative(path, root_).generic_string();
    SCOPED_TRACE(name);
    const std::string bytes = ReadFile(path);
    std::shared_ptr<RichDocument> doc;
    ASSERT_NO_THROW(doc = ReadDocument(bytes));
    EXPECT_LE(static_cast<size_t>(doc->StoryLength()), bytes.size() + 1) << "the text outgrew its RTF";

    auto it = Expected().find(name);
    if (it == Expected().end()) {
      ADD_FAILURE() << "no visible words are listed for this file";
      continue;
    }
    const CorpusFile& expected = it->second;
    const std::u16string& text = doc->Text();
    size_t from = 0;
    for (const std::u16string& word : expected.words) {
      const size_t at = text.find(word, from);
      EXPECT_NE(at, std::u16string::npos) << "missing or out of order: " << Quoted(word);
      if (at != std::u16string::npos) from = at + word.size();
    }
    for (const std::u16string& word : expected.absent)
      EXPECT_EQ(text.find(word), std::u16string::npos) << "should not be read: " << Quoted(word);
    EXPECT_EQ(ObjectCount(*doc), expected.objects);
    for (const auto& [word, link] : expected.links) {
      const size_t at = text.find(word);
      ASSERT_NE(at, std::u16string::npos) << Quoted(word);
      EXPECT_EQ(FormatAt(*doc, static_cast<int32_t>(at)).link, link) << Quoted(word);
    }
    for (const std::u16string& word : expected.bulleted) {
      const size_t at = text.find(word);
      ASSERT_NE(at, std::u16string::npos) << Quoted(word);
      EXPECT_TRUE(ParaAt(*doc, static_cast<int32_t>(at)).bullets) << Quoted(word);
    }
    for (const std::u16string& word : expected.unbulleted) {
      const size_t at = text.find(word);
      ASSERT_NE(at, std::u16string::npos) << Quoted(word);
      EXPECT_FALSE(ParaAt(*doc, static_cast<int32_t>(at)).bullets) << Quoted(word);
    }
  }
}

TEST_F(RtfCorpus, EveryFileReadsBackTheSameAfterBeingWritten) {
  for (const auto& path : CorpusFiles(root_)) {
    SCOPED_TRACE(std::filesystem::relative(path, root_).generic_string());
    auto doc = ReadDocument(ReadFile(path));
    const std::string rtf = WriteRtf(*doc, *doc);
    auto back = ReadDocument(rtf);
    EXPECT_EQ(Describe(*back), Describe(*doc));
  }
}

}  // namespace
}  // namespace tagsmith::testing
