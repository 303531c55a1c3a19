#include "platform/xml.h"

#include <gtest/gtest.h>

#include "support/temp_dir.h"

namespace tagsmith {
namespace {

using testing::TempDir;
using testing::WriteFile;

TEST(Xml, FileInItsDeclaredEncodingReadsAsUtf8) {
  TempDir dir;
  // "Русский" in windows-1251
  WriteFile(dir / "ru.xml",
            "<?xml version=\"1.0\" encoding=\"windows-1251\"?>\n"
            "<TranslateData Lang=\"ru\" ViewLang=\"\xD0\xF3\xF1\xF1\xEA\xE8\xE9\"/>\n");
  XmlDocument doc = XmlDocument::LoadFile((dir / "ru.xml").string());
  EXPECT_EQ(doc.Root().Name(), "TranslateData");
  EXPECT_EQ(doc.Root().Attribute("ViewLang").value_or(""), "Русский");
  EXPECT_FALSE(doc.Root().Attribute("Missing").has_value());
}

TEST(Xml, MalformedFileErrorNamesTheFileAndLine) {
  TempDir dir;
  const std::string path = (dir / "bad.xml").string();
  WriteFile(path, "<a>\n<b>\n</a>\n");
  try {
    XmlDocument::LoadFile(path);
    FAIL() << "no error";
  } catch (const EXmlError& e) {
    const std::string msg = e.what();
    EXPECT_EQ(msg.rfind(path + ":3: ", 0), 0u) << msg;
  }
  EXPECT_THROW(XmlDocument::LoadFile((dir / "missing.xml").string()), EXmlError);
}

TEST(Xml, MemoryWithExplicitEncodingAndChildLookup) {
  const std::string reply = "<imginfo><LINKS><image_link>http://h/\xE9.png</image_link></LINKS></imginfo>";
  XmlDocument doc = XmlDocument::LoadMemory(reply, "reply", "ISO-8859-1");
  XmlNode links = doc.Root().Child("links", /*ignoreCase=*/true);
  ASSERT_TRUE(links);
  EXPECT_FALSE(doc.Root().Child("links"));
  EXPECT_EQ(links.Child("image_link").Text(), "http://h/\xC3\xA9.png");
  EXPECT_EQ(doc.Root().Children().size(), 1u);
}

TEST(Xml, ExternalEntitiesAreNotFetchedAndNotExpanded) {
  const std::string evil =
      "<?xml version=\"1.0\"?><!DOCTYPE r [<!ENTITY x SYSTEM \"file:///etc/passwd\">]><r>&x;</r>";
  XmlDocument doc = XmlDocument::LoadMemory(evil, "evil");
  EXPECT_EQ(doc.Root().Text().find("root:"), std::string::npos);
  EXPECT_THROW(XmlDocument::LoadMemory("<r>", "trunc"), EXmlError);
  EXPECT_THROW(XmlDocument::LoadMemory("", "empty"), EXmlError);
}

}  // namespace
}  // namespace tagsmith
