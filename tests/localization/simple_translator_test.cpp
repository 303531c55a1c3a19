#include "localization/simple_translator.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <random>

#include "support/temp_dir.h"

namespace tagsmith {
namespace {

using testing::TempDir;
using testing::WriteFile;

// A component with a fixed set of string properties.
class FakeComponent : public IPropertyTarget {
 public:
  explicit FakeComponent(std::initializer_list<std::pair<const std::string, std::string>> props)
      : props_(props) {}
  bool SetStringProperty(const std::string& name, const std::string& value) override {
    auto it = props_.find(name);
    if (it == props_.end()) return false;
    it->second = value;
    return true;
  }
  const std::string& Get(const std::string& name) const { return props_.at(name); }

 private:
  std::map<std::string, std::string> props_;
};

std::string LangFile(const std::string& code, const std::string& body,
                     const std::string& view = "View") {
  return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<TranslateData Lang=\"" + code +
         "\" ViewLang=\"" + view + "\">\n" + body + "</TranslateData>\n";
}

std::string Text(const std::string& name, const std::string& text) {
  return "<Text Name=\"" + name + "\"><Line Index=\"0\">" + text + "</Line></Text>\n";
}

class TranslatorTest : public ::testing::Test {
 protected:
  void Write(const std::string& file, const std::string& content) { WriteFile(dir_ / file, content); }
  std::vector<std::string> Languages() const {
    std::vector<std::string> lines{"stale"};
    tr_.GetLanguages(lines);
    return lines;
  }

  TempDir dir_;
  TSimpleTranslator tr_;
};

TEST_F(TranslatorTest, KeyTextIsBuiltFromItsLines) {
  struct Case {
    const char* what;
    std::string text;  // the "Text" element
    std::string expected;
  } cases[] = {
      {"two lines joined by CR LF, no trailing break",
       "<Text Name='K'><Line Index='0'>first</Line><Line Index='1'>second</Line></Text>",
       "first\r\nsecond"},
      {"blanks around a single word trimmed", "<Text Name='K'><Line Index='0'>   word  </Line></Text>",
       "word"},
      {"tabs and line breaks at both ends trimmed",
       "<Text Name='K'><Line Index='0'>\n\t word\t\n</Line></Text>", "word"},
      {"blanks inside the text kept",
       "<Text Name='K'><Line Index='0'> a  </Line><Line Index='1'>  b </Line></Text>", "a  \r\n  b"},
      {"each line inserted at its Index",
       "<Text Name='K'><Line Index='0'>c</Line><Line Index='0'>a</Line><Line Index='1'>b</Line></Text>",
       "a\r\nb\r\nc"},
      {"empty last line leaves no trailing break",
       "<Text Name='K'><Line Index='0'>a</Line><Line Index='1'></Line></Text>", "a"},
      {"lines without an integer Index ignored",
       "<Text Name='K'><Line>x</Line><Line Index='one'>y</Line><Line Index='1.0'>y</Line>"
       "<Line Index=''>y</Line><Line Index='99999999999'>y</Line><Line Index='0'>z</Line></Text>",
       "z"},
      {"other children of Text ignored",
       "<Text Name='K'><Note>x</Note><Line Index='0'>a</Line><line Index='1'>b</line></Text>", "a"},
      {"references decoded", "<Text Name='K'><Line Index='0'>&amp;File &#x416;</Line></Text>",
       "&File \xD0\x96"},
      {"key found without regard to case", "<Text Name='k'><Line Index='0'>lower</Line></Text>",
       "lower"},
      {"a later Text of the same key wins",
       "<Text Name='K'><Line Index='0'>one</Line></Text><Text Name='K'><Line Index='0'>two</Line></Text>",
       "two"},
      {"a Text without lines gives the empty text", "<Text Name='K'/>", ""},
      {"a missing key leaves the target as it was", "<Text Name='Other'><Line Index='0'>x</Line></Text>",
       "kept"},
      {"children of the root other than Text ignored",
       "<Info><Text Name='K'><Line Index='0'>nested</Line></Text></Info>", "kept"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Write("en.xml", LangFile("en", c.text));
    TSimpleTranslator tr;
    tr.SetLangDir(dir_.str());
    tr.SetCurrLang("en");
    std::string target = "kept";
    tr.AddStringTarget("K", &target);
    tr.Translate();
    EXPECT_EQ(target, c.expected);
  }
}

TEST_F(TranslatorTest, ManyLinesLandWhereRepeatedInsertionPutsThem) {
  std::mt19937 random(20240517);
  for (int round = 0; round < 20; ++round) {
    const int count = round < 10 ? round + 1 : 400;
    std::vector<std::string> expected;
    std::string body = "<Text Name='K'>";
    for (int i = 0; i < count; ++i) {
      const int index = round == 10 ? 0 : std::uniform_int_distribution<int>(0, i)(random);
      const std::string line = "L" + std::to_string(i);
      expected.insert(expected.begin() + index, line);
      body += "<Line Index='" + std::to_string(index) + "'>" + line + "</Line>";
    }
    body += "</Text>";
    std::string joined;
    for (size_t i = 0; i < expected.size(); ++i) joined += (i ? "\r\n" : "") + expected[i];

    Write("en.xml", LangFile("en", body));
    TSimpleTranslator tr;
    tr.SetLangDir(dir_.str());
    tr.SetCurrLang("en");
    std::string target;
    tr.AddStringTarget("K", &target);
    tr.Translate();
    ASSERT_EQ(target, joined) << "round " << round;
  }
}

TEST_F(TranslatorTest, IndexBeyondTheLinesSoFarEndsTranslateWithTheListError) {
  Write("en.xml", LangFile("en",
                           Text("A", "before") +
                               "<Text Name='B'><Line Index='0'>x</Line><Line Index='2'>y</Line></Text>" +
                               Text("C", "after")));
  Write("ru.xml", LangFile("ru", "<Text Name='A'><Line Index='-1'>x</Line></Text>"));
  tr_.SetLangDir(dir_.str());
  std::string a, b = "b", c = "c";
  tr_.AddStringTarget("A", &a);
  tr_.AddStringTarget("B", &b);
  tr_.AddStringTarget("C", &c);

  tr_.SetCurrLang("en");
  try {
    tr_.Translate();
    FAIL() << "no error";
  } catch (const ESimpleTranslator& e) {
    EXPECT_STREQ(e.what(), "List index out of bounds (2)");
  }
  EXPECT_EQ(a, "before");  // written before the bad line
  EXPECT_EQ(b, "b");
  EXPECT_EQ(c, "c");

  tr_.SetCurrLang("ru");
  try {
    tr_.Translate();
    FAIL() << "no error";
  } catch (const ESimpleTranslator& e) {
    EXPECT_STREQ(e.what(), "List index out of bounds (-1)");
  }
}

TEST_F(TranslatorTest, CodesAreFoundWithoutRegardToCaseAndTheFirstDuplicateWins) {
  Write("a.xml", LangFile("en", Text("K", "first"), "English"));
  Write("b.xml", LangFile("EN", Text("K", "second"), "English too"));
  Write("c.xml", LangFile("ru", Text("K", "russian"), "Русский"));
  tr_.SetLangDir(dir_.str());
  EXPECT_EQ(Languages(), (std::vector<std::string>{"en=English", "EN=English too", "ru=Русский"}));

  std::string target;
  tr_.AddStringTarget("k", &target);
  tr_.SetCurrLang("EN");
  EXPECT_EQ(tr_.CurrLang(), "en");  // as the first file spells it
  tr_.Translate();
  EXPECT_EQ(target, "first");

  tr_.SetCurrLang("Ru");
  EXPECT_EQ(tr_.CurrLang(), "ru");
  tr_.Translate();
  EXPECT_EQ(target, "russian");
}

TEST_F(TranslatorTest, CurrLangAlreadyCurrentIsNotReadAgainAndUnknownCodesChangeNothing) {
  Write("en.xml", LangFile("en", Text("K", "old")));
  tr_.SetLangDir(dir_.str());
  EXPECT_EQ(tr_.CurrLang(), "");
  tr_.SetCurrLang("en");
  Write("en.xml", LangFile("en", Text("K", "new")));
  tr_.SetCurrLang("EN");
  tr_.SetCurrLang("de");
  EXPECT_EQ(tr_.CurrLang(), "en");

  std::string target;
  tr_.AddStringTarget("K", &target);
  tr_.Translate();
  EXPECT_EQ(target, "old");
}

TEST_F(TranslatorTest, SettingCurrLangDoesNotTranslateAndNothingIsWrittenWithoutALanguage) {
  Write("en.xml", LangFile("en", Text("K", "text")));
  std::string target = "design";
  tr_.AddStringTarget("K", &target);
  tr_.Translate();  // no language loaded
  tr_.SetLangDir(dir_.str());
  tr_.SetCurrLang("en");
  EXPECT_EQ(target, "design");
  tr_.Translate();
  EXPECT_EQ(target, "text");
}

TEST_F(TranslatorTest, PropertyThatCannotBeSetSkipsTheRemainingTargetsOfItsKeyOnly) {
  Write("en.xml", LangFile("en", Text("Bold", "Bold text") + Text("Hint", "A hint")));
  tr_.SetLangDir(dir_.str());
  tr_.SetCurrLang("en");

  FakeComponent first({{"Caption", "c1"}, {"Hint", "h1"}});
  FakeComponent noCaption({{"Hint", "h2"}});
  FakeComponent third({{"Caption", "c3"}, {"Hint", "h3"}});
  tr_.AddPropertyTarget(&first, "Bold", "Caption");
  tr_.AddPropertyTarget(&noCaption, "Bold", "Caption");
  tr_.AddPropertyTarget(&third, "Bold", "Caption");
  tr_.AddPropertyTarget(&first, "bold", "Hint");  // registered after the failing one
  tr_.AddPropertyTarget(&third, "Hint", "Hint");
  tr_.Translate();

  EXPECT_EQ(first.Get("Caption"), "Bold text");
  EXPECT_EQ(noCaption.Get("Hint"), "h2");
  EXPECT_EQ(third.Get("Caption"), "c3");
  EXPECT_EQ(first.Get("Hint"), "h1");
  EXPECT_EQ(third.Get("Hint"), "A hint");  // the next key is translated
}

TEST_F(TranslatorTest, EveryTargetOfAKeyGetsTheTextAndAKeyKeepsItsFirstKind) {
  Write("en.xml", LangFile("en", Text("LabelOR", "OR") + Text("FontBold", "Bold")));
  tr_.SetLangDir(dir_.str());
  tr_.SetCurrLang("en");
  std::string left, right;
  FakeComponent action({{"Caption", ""}, {"Hint", ""}});
  tr_.AddStringTarget("LabelOR", &left);
  tr_.AddStringTarget("labelor", &right);
  tr_.AddPropertyTarget(&action, "FontBold", "Caption");
  tr_.AddPropertyTarget(&action, "FontBold", "Hint");
  tr_.Translate();
  EXPECT_EQ(left, "OR");
  EXPECT_EQ(right, "OR");
  EXPECT_EQ(action.Get("Caption"), "Bold");
  EXPECT_EQ(action.Get("Hint"), "Bold");

  try {
    tr_.AddPropertyTarget(&action, "LABELOR", "Caption");
    FAIL() << "no error";
  } catch (const ESimpleTranslator& e) {
    EXPECT_STREQ(e.what(), "Translation key \"LABELOR\" takes string-variable targets");
  }
  try {
    tr_.AddStringTarget("FontBold", &left);
    FAIL() << "no error";
  } catch (const ESimpleTranslator& e) {
    EXPECT_STREQ(e.what(), "Translation key \"FontBold\" takes property targets");
  }
  try {
    tr_.AddStringTarget("New", nullptr);
    FAIL() << "no error";
  } catch (const ESimpleTranslator& e) {
    EXPECT_STREQ(e.what(), "Translation key \"New\": no variable given");
  }
  EXPECT_THROW(tr_.AddPropertyTarget(nullptr, "New", "Caption"), ESimpleTranslator);
}

TEST_F(TranslatorTest, ScanListsLanguageFilesInNameOrderAndLeavesOutEverythingElse) {
  Write("ru.xml", LangFile("ru", "", "Русский"));
  Write("DE.XML", LangFile("de", "", "Deutsch"));
  Write("en.xml", LangFile("en", "", "English"));
  Write("noheader.xml", "<?xml version=\"1.0\"?><TranslateData/>");
  Write("other-root.xml", "<Translations Lang=\"fr\" ViewLang=\"Français\"/>");
  Write("lower-root.xml", "<translatedata Lang=\"it\" ViewLang=\"Italiano\"/>");
  Write("notes.txt", "not xml at all <");
  Write("en.xml.bak", "not xml at all <");
  std::filesystem::create_directories(dir_ / "folder.xml");
  std::filesystem::create_symlink(dir_ / "en.xml", dir_ / "link.xml");

  EXPECT_TRUE(tr_.ScanLangDir(dir_.str()));
  EXPECT_EQ(Languages(),
            (std::vector<std::string>{"de=Deutsch", "en=English", "en=English", "=", "ru=Русский"}));

  std::string code = "x", view = "y";
  EXPECT_FALSE(TSimpleTranslator::ReadLangFileHeader((dir_ / "other-root.xml").string(), code, view));
  EXPECT_TRUE(TSimpleTranslator::ReadLangFileHeader((dir_ / "ru.xml").string(), code, view));
  EXPECT_EQ(code, "ru");
  EXPECT_EQ(view, "Русский");
}

TEST_F(TranslatorTest, FileInItsDeclaredEncodingTranslatesToUtf8) {
  // "Русский" and "Выход" in windows-1251
  Write("ru.xml",
        "<?xml version=\"1.0\" encoding=\"windows-1251\"?>\n"
        "<TranslateData Lang=\"ru\" ViewLang=\"\xD0\xF3\xF1\xF1\xEA\xE8\xE9\">"
        "<Text Name=\"Exit_Caption\"><Line Index=\"0\">\xC2\xFB\xF5\xEE\xE4</Line></Text>"
        "</TranslateData>\n");
  tr_.SetLangDir(dir_.str());
  EXPECT_EQ(Languages(), std::vector<std::string>{"ru=Русский"});
  FakeComponent action({{"Caption", "Exit"}});
  tr_.AddPropertyTarget(&action, "Exit_Caption", "Caption");
  tr_.SetCurrLang("ru");
  tr_.Translate();
  EXPECT_EQ(action.Get("Caption"), "Выход");
}

TEST_F(TranslatorTest, MalformedLanguageFileNamesTheFileAndLineAndKeepsTheOldList) {
  Write("en.xml", LangFile("en", "", "English"));
  tr_.SetLangDir(dir_.str());

  TempDir other;
  WriteFile(other / "a.xml", LangFile("de", ""));
  WriteFile(other / "b.xml", "<?xml version=\"1.0\"?>\n<TranslateData Lang=\"fr\">\n<Text>\n</TranslateData>\n");
  const std::string bad = (other / "b.xml").string();
  try {
    tr_.SetLangDir(other.str());
    FAIL() << "no error";
  } catch (const EXmlError& e) {
    const std::string message = e.what();
    EXPECT_EQ(message.rfind(bad + ":4: ", 0), 0u) << message;
  }
  EXPECT_EQ(tr_.LangDir(), dir_.str());
  EXPECT_EQ(Languages(), std::vector<std::string>{"en=English"});
}

TEST_F(TranslatorTest, FolderThatDoesNotExistLeavesTheOldFolderAndList) {
  Write("en.xml", LangFile("en", Text("K", "text"), "English"));
  tr_.SetLangDir(dir_.str());
  tr_.SetCurrLang("en");

  tr_.SetLangDir((dir_ / "missing").string());
  EXPECT_EQ(tr_.LangDir(), dir_.str());
  EXPECT_EQ(Languages(), std::vector<std::string>{"en=English"});
  EXPECT_EQ(tr_.CurrLang(), "en");
  tr_.SetLangDir("");
  EXPECT_EQ(tr_.LangDir(), dir_.str());
  EXPECT_FALSE(tr_.ScanLangDir((dir_ / "en.xml").string()));  // a file, not a folder
  EXPECT_EQ(Languages(), std::vector<std::string>{"en=English"});

  // The old folder is read again: a file added meanwhile is listed.
  Write("ru.xml", LangFile("ru", "", "Русский"));
  tr_.SetLangDir((dir_ / "missing").string());
  EXPECT_EQ(Languages(), (std::vector<std::string>{"en=English", "ru=Русский"}));
  EXPECT_EQ(tr_.CurrLang(), "en");
}

TEST_F(TranslatorTest, AnotherFolderListsItsOwnLanguagesAndNoneIsCurrentUntilChosen) {
  Write("en.xml", LangFile("en", Text("K", "first folder"), "English"));
  tr_.SetLangDir(dir_.str());
  tr_.SetCurrLang("en");

  TempDir other;
  WriteFile(other / "de.xml", LangFile("de", Text("K", "zweiter"), "Deutsch"));
  WriteFile(other / "en.xml", LangFile("en", Text("K", "second folder"), "English"));
  tr_.SetLangDir(other.str());
  EXPECT_EQ(tr_.LangDir(), other.str());
  EXPECT_EQ(Languages(), (std::vector<std::string>{"de=Deutsch", "en=English"}));
  EXPECT_EQ(tr_.CurrLang(), "");

  std::string target;
  tr_.AddStringTarget("K", &target);
  tr_.SetCurrLang("en");
  tr_.Translate();
  EXPECT_EQ(target, "second folder");
}

TEST_F(TranslatorTest, LanguageFileBrokenAfterTheScanKeepsTheCurrentLanguage) {
  Write("en.xml", LangFile("en", Text("K", "english")));
  Write("ru.xml", LangFile("ru", Text("K", "russian")));
  tr_.SetLangDir(dir_.str());
  tr_.SetCurrLang("en");
  Write("ru.xml", "<TranslateData Lang=\"ru\">");
  EXPECT_THROW(tr_.SetCurrLang("ru"), EXmlError);
  EXPECT_EQ(tr_.CurrLang(), "en");
  std::string target;
  tr_.AddStringTarget("K", &target);
  tr_.Translate();
  EXPECT_EQ(target, "english");
}

TEST_F(TranslatorTest, LoadedDocumentWithAnotherRootTranslatesNothing) {
  Write("en.xml", LangFile("en", Text("K", "text")));
  tr_.SetLangDir(dir_.str());
  // Replaced between the scan and the choice of the language.
  Write("en.xml", "<Other><Text Name=\"K\"><Line Index=\"0\">x</Line></Text></Other>");
  tr_.SetCurrLang("en");
  EXPECT_EQ(tr_.CurrLang(), "en");
  std::string target = "design";
  tr_.AddStringTarget("K", &target);
  tr_.Translate();
  EXPECT_EQ(target, "design");
}

}  // namespace
}  // namespace tagsmith
