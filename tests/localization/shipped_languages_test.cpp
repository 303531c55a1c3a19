#include <gtest/gtest.h>

#include <deque>
#include <filesystem>
#include <map>

#include "localization/count_format.h"
#include "localization/simple_translator.h"
#include "localization/translation_keys.h"
#include "platform/strings.h"
#include "support/temp_dir.h"

namespace tagsmith {
namespace {

namespace fs = std::filesystem;

const fs::path kLangDir = fs::path(TAGSMITH_SOURCE_DIR) / "Lang";
const char* const kCodes[] = {"en", "ru"};

// Accepts Caption and Hint, as the editor's actions and controls do.
class Component : public IPropertyTarget {
 public:
  bool SetStringProperty(const std::string& name, const std::string& value) override {
    if (name != "Caption" && name != "Hint") return false;
    props[name] = value;
    return true;
  }
  std::map<std::string, std::string> props;
};

// Every key of the table registered and translated in one language: the text
// each key gave, by key name. A property key whose properties did not all get
// the same text gives "<properties differ>".
std::map<std::string, std::string> TranslateEveryKey(const std::string& code) {
  TSimpleTranslator tr;
  tr.SetLangDir(kLangDir.string());
  tr.SetCurrLang(code);
  EXPECT_EQ(tr.CurrLang(), code);
  std::deque<std::string> variables;
  std::deque<Component> components;
  for (const TTranslationKey& key : kTranslationKeys) {
    if (key.Kind == tkVariable) {
      tr.AddStringTarget(key.Name, &variables.emplace_back());
    } else {
      Component& c = components.emplace_back();
      if (key.Props & kPropCaption) tr.AddPropertyTarget(&c, key.Name, "Caption");
      if (key.Props & kPropHint) tr.AddPropertyTarget(&c, key.Name, "Hint");
    }
  }
  tr.Translate();
  std::map<std::string, std::string> texts;
  size_t v = 0, p = 0;
  for (const TTranslationKey& key : kTranslationKeys) {
    if (key.Kind == tkVariable) {
      texts[key.Name] = variables[v++];
      continue;
    }
    const Component& c = components[p++];
    const size_t wanted = ((key.Props & kPropCaption) ? 1 : 0) + ((key.Props & kPropHint) ? 1 : 0);
    std::string text = c.props.empty() ? "" : c.props.begin()->second;
    for (const auto& [name, value] : c.props)
      if (value != text) text = "<properties differ>";
    texts[key.Name] = c.props.size() == wanted ? text : "";
  }
  return texts;
}

bool HasCyrillic(const std::string& text) {
  for (char16_t c : Utf8ToUtf16(text))
    if (c >= 0x0400 && c <= 0x04FF) return true;
  return false;
}

TEST(ShippedLanguages, FolderListsEnglishAndRussian) {
  TSimpleTranslator tr;
  tr.SetLangDir(kLangDir.string());
  std::vector<std::string> lines;
  tr.GetLanguages(lines);
  EXPECT_EQ(lines, (std::vector<std::string>{"en=English", "ru=Русский"}));
}

TEST(ShippedLanguages, EachFileHoldsEveryKeyOnceAndNoOther) {
  for (const char* code : kCodes) {
    SCOPED_TRACE(code);
    const XmlDocument doc = XmlDocument::LoadFile((kLangDir / (std::string(code) + ".xml")).string());
    std::map<std::string, int> found;  // lower-case key, how often
    for (const XmlNode& text : doc.Root().Children())
      if (text.Name() == "Text") ++found[AsciiLower(text.Attribute("Name").value_or(""))];
    for (const TTranslationKey& key : kTranslationKeys) {
      EXPECT_EQ(found[AsciiLower(key.Name)], 1) << key.Name;
      found.erase(AsciiLower(key.Name));
    }
    for (const auto& [name, count] : found) ADD_FAILURE() << "key not in the table: " << name;
  }
}

TEST(ShippedLanguages, EveryKeyTranslatesToANonEmptyTextInTheFileLanguage) {
  for (const char* code : kCodes) {
    SCOPED_TRACE(code);
    const auto texts = TranslateEveryKey(code);
    ASSERT_EQ(texts.size(), kTranslationKeys.size());
    for (const auto& [key, text] : texts) {
      EXPECT_FALSE(text.empty()) << key;
      EXPECT_NE(text, "<properties differ>") << key;
      if (std::string(code) == "ru") {
        EXPECT_TRUE(HasCyrillic(text)) << key << ": " << text;
      } else {
        for (unsigned char c : text) EXPECT_LT(c, 0x80) << key << ": " << text;
      }
    }
    // The texts given as several lines keep their line break.
    EXPECT_NE(texts.at("PasteAs_Hint").find("\r\n"), std::string::npos);
    EXPECT_NE(texts.at("AntiHotlinking_Hint").find("\r\n"), std::string::npos);
  }
}

TEST(ShippedLanguages, CountFormatsTakeExactlyTheDoneAndTotalIntegers) {
  for (const char* code : kCodes) {
    const auto texts = TranslateEveryKey(code);
    for (std::string_view key : kCountFormatKeys) {
      const std::string& text = texts.at(std::string(key));
      SCOPED_TRACE(std::string(code) + " " + std::string(key) + ": " + text);
      EXPECT_EQ(IntegerConversionCount(text), 2);
      const std::string line = FormatCountText(text, 17, 42);
      const size_t done = line.find("17");
      ASSERT_NE(done, std::string::npos);
      EXPECT_NE(line.find("42", done + 2), std::string::npos);
    }
  }
}

TEST(ShippedLanguages, CopiesBesideTheExecutablesMatchTheFiles) {
  const fs::path copies = fs::path(TAGSMITH_RUNTIME_DIR) / "Lang";
  int files = 0;
  for (const fs::directory_entry& entry : fs::directory_iterator(kLangDir)) {
    const fs::path copy = copies / entry.path().filename();
    ASSERT_TRUE(fs::exists(copy)) << copy;
    EXPECT_EQ(testing::ReadFile(copy), testing::ReadFile(entry.path())) << copy;
    ++files;
  }
  EXPECT_EQ(files, 2);
}

}  // namespace
}  // namespace tagsmith
