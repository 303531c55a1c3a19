#include "updates/update_file.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "support/temp_dir.h"
#include "updates/update_file_fuzz_check.h"

namespace tagsmith {
namespace {

TEST(UpdateFileInteger, ReadsA64BitIntegerAndKeepsItsLow32Bits) {
  struct Case {
    std::optional<std::string> text;
    int32_t value;
  };
  const Case cases[] = {
      {std::nullopt, -1},
      {"", -1},
      {"0", 0},
      {"17", 17},
      {" 7 ", 7},
      {"+5", 5},
      {"-1", -1},
      {"-2", -2},
      {"2147483647", 2147483647},
      {"2147483648", -2147483647 - 1},
      {"4294967295", -1},
      {"4294967296", 0},
      {"4294967297", 1},
      {"9223372036854775807", -1},           // low 32 bits all set
      {"-9223372036854775808", 0},           // the most negative 64-bit value
      {"9223372036854775808", -1},           // beyond 64 bits: not an integer
      {"99999999999999999999", -1},
      {"1.5", -1},
      {"0x10", -1},
      {"12a", -1},
      {"- 3", -1},
      {"+", -1},
      {"1 2", -1},
  };
  for (const Case& c : cases)
    EXPECT_EQ(UpdateFileInteger(c.text), c.value) << (c.text ? "\"" + *c.text + "\"" : std::string("absent"));
}

TEST(UpdateFile, ReadsServerProgramAndStorageListsInDocumentOrder) {
  const TUpdateFile file = ParseUpdateFile(R"(<?xml version="1.0" encoding="UTF-8"?>
<UpdateData UpdateServer="dl.example.com" Other="x">
  <ProgramData Ver1="1" Ver2="1" Ver3="0" Ver4="4294967297" URI="/setup/t.exe" Sig="c2ln"/>
  <ProgramData Ver1="9" Ver2="9" Ver3="9" Ver4="9" URI="/second.exe"/>
  <BannersData>
    <StorList Lang="en" VerOldFrom="3">
      <Stor Ver="4" URI="/b/en4.bin"/>
      <stor Ver="99" URI="/skipped"/>
      <Other Ver="98" URI="/skipped"/>
      <Stor URI="/b/en-nover.bin"/>
    </StorList>
    <storlist Lang="xx" VerOldFrom="1"><Stor Ver="5" URI="/skipped"/></storlist>
    <Note/>
    <StorList Lang="ru">
      <Stor Ver="2" URI="/b/ru2.bin">text is ignored</Stor>
    </StorList>
    <StorList Lang="de" VerOldFrom="0"/>
  </BannersData>
</UpdateData>)");
  EXPECT_EQ(file.UpdateServer, "dl.example.com");
  EXPECT_EQ(file.ProgVer, (TVer{1, 1, 0, 1}));  // the first ProgramData
  EXPECT_EQ(file.ProgURI, "/setup/t.exe");
  EXPECT_EQ(file.ProgSig, "c2ln");
  EXPECT_EQ(file.Langs, (std::vector<TBannLangData>{{3, "en"}, {-1, "ru"}, {0, "de"}}));
  EXPECT_EQ(file.Banners, (std::vector<TBannData>{
                              {4, 3, "en", "/b/en4.bin"}, {-1, 3, "en", "/b/en-nover.bin"}, {2, -1, "ru", "/b/ru2.bin"}}));
}

TEST(UpdateFile, MissingPartsOfferNothingOfTheirKind) {
  const TUpdateFile bare = ParseUpdateFile(R"(<UpdateData UpdateServer="h"/>)");
  EXPECT_EQ(bare.UpdateServer, "h");
  EXPECT_TRUE(bare.ProgVer.IsMissing());
  EXPECT_EQ(bare.ProgURI, "");
  EXPECT_TRUE(bare.Langs.empty());
  EXPECT_TRUE(bare.Banners.empty());

  const TUpdateFile partial = ParseUpdateFile(R"(<UpdateData UpdateServer="h"><ProgramData Ver1="1" Ver2="2" Ver3="3"/></UpdateData>)");
  EXPECT_EQ(partial.ProgVer, (TVer{1, 2, 3, -1}));
  EXPECT_TRUE(partial.ProgVer.IsMissing());
}

TEST(UpdateFile, EveryFaultIsTheParseError) {
  const char* cases[] = {
      "",
      "garbage that is not XML",
      "\x89PNG\r\n\x1a\n\0\0\0",
      "<UpdateData UpdateServer=\"h\">",                       // not closed
      "<updatedata UpdateServer=\"h\"/>",                      // letter case of the root
      "<UPDATEDATA UpdateServer=\"h\"/>",
      "<Other UpdateServer=\"h\"><UpdateData UpdateServer=\"h\"/></Other>",
      "<UpdateData/>",                                         // no server
      "<UpdateData UpdateServer=\"\"/>",
      "<UpdateData updateserver=\"h\"/>",                      // attribute names are exact too
      "<UpdateData UpdateServer=\"h\"/><second/>",
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?><UpdateData UpdateServer=\"\xff\xfe\"/>",  // not UTF-8
      "<!DOCTYPE x SYSTEM \"http://127.0.0.1:1/x.dtd\"><UpdateData UpdateServer=\"&ext;\"/>",
  };
  for (const char* text : cases) {
    SCOPED_TRACE(text);
    try {
      ParseUpdateFile(text);
      ADD_FAILURE() << "accepted";
    } catch (const EWebUpdaterException& e) {
      EXPECT_STREQ(e.what(), "Update file parse error!");
    }
  }
}

// Inputs the update-file fuzzer once found failing, and its seeds, replayed
// with its checks.
TEST(UpdateFileFuzzRegressions, EveryFoundInputEndsInAClearAnswer) {
  const std::filesystem::path root(TAGSMITH_SOURCE_DIR);
  std::vector<std::filesystem::path> inputs;
  for (const auto& folder : {root / "tests/updates/fuzz_regressions_update_file", root / "fuzz/seeds/update_file"})
    for (const auto& entry : std::filesystem::directory_iterator(folder))
      if (entry.is_regular_file()) inputs.push_back(entry.path());
  std::sort(inputs.begin(), inputs.end());
  ASSERT_FALSE(inputs.empty());
  for (const auto& path : inputs) EXPECT_EQ(testing::CheckUpdateFileInput(testing::ReadFile(path)), "") << path.filename();
}

}  // namespace
}  // namespace tagsmith
