// The banner storages that ship in Data/: real storages for "en" and "ru",
// as their sources describe them, and copied beside the executables.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <set>

#include "localization/simple_translator.h"
#include "support/temp_dir.h"
#include "updates/banner_storages.h"

namespace tagsmith {
namespace {

namespace fs = std::filesystem;

const fs::path kDataDir = fs::path(TAGSMITH_SOURCE_DIR) / "Data";

struct Tip {
  std::string name, url;
};

std::string Trim(const std::string& s) {
  const size_t b = s.find_first_not_of(" \t");
  const size_t e = s.find_last_not_of(" \t\r");
  return b == std::string::npos ? std::string() : s.substr(b, e - b + 1);
}

// The tips of Data/banners/<lang>/tips.txt and its "# Ver:".
std::vector<Tip> ReadTips(const std::string& lang, int& ver) {
  std::ifstream in(kDataDir / "banners" / lang / "tips.txt");
  std::vector<Tip> tips;
  ver = -1;
  for (std::string line; std::getline(in, line);) {
    if (line.rfind("# Ver:", 0) == 0) ver = std::stoi(line.substr(6));
    if (line.empty() || line[0] == '#') continue;
    const size_t a = line.find('|'), b = line.find('|', a + 1);
    tips.push_back({Trim(line.substr(0, a)), Trim(line.substr(a + 1, b - a - 1))});
  }
  return tips;
}

class FakeBanner : public IBanner {
 public:
  void ShowPicture(const DecodedPicture& picture) override { sizes.emplace_back(picture.width, picture.height); }
  void ClearPicture() override { sizes.emplace_back(0, 0); }
  void SetClickHandler(std::function<void()>) override {}
  std::vector<std::pair<int, int>> sizes;
};

TEST(ShippedStorages, EachLanguageHasItsTipsAsBannersOfTheStripSize) {
  for (const std::string lang : {"en", "ru"}) {
    int ver = 0;
    const std::vector<Tip> tips = ReadTips(lang, ver);
    ASSERT_GE(tips.size(), 3u) << lang;
    const fs::path file = kDataDir / ("storage_" + lang + "_" + std::to_string(ver) + ".bin");
    ASSERT_TRUE(fs::exists(file)) << file << ": run scripts/make-banners.sh";

    const TStorageData data = TBannerStorages::ReadStorageData(file.string());
    EXPECT_EQ(data.Lang, lang);
    EXPECT_EQ(data.Ver, ver);
    std::set<std::pair<std::string, std::string>> expected, listed;
    for (const Tip& t : tips) expected.insert({t.name, t.url});
    for (const TBannRec& p : data.Pictures) listed.insert({p.Name, p.Url});
    EXPECT_EQ(listed, expected) << file << " is older than its tips.txt: run scripts/make-banners.sh";

    const TZipReader archive = TZipReader::OpenFile(file.string());
    for (const TBannRec& p : data.Pictures) {
      EXPECT_EQ(p.Url.rfind("https://www.quorindo.com/", 0), 0u) << p.Url;
      const DecodedPicture picture = TBannerStorages::DecodeStoragePicture(archive, p.Name);
      EXPECT_EQ(picture.width, 500) << p.Name;
      EXPECT_EQ(picture.height, 100) << p.Name;
    }

    // The copy beside the executables is the same file.
    const fs::path copy = fs::path(TAGSMITH_RUNTIME_DIR) / "Data" / file.filename();
    EXPECT_EQ(testing::ReadFile(copy), testing::ReadFile(file)) << copy;
  }
}

// What the program does at its first start: the banner folder filled from
// Data/ and opened, in Russian, and in a language without storages.
TEST(ShippedStorages, FreshBannerFolderShowsTheLanguageOrEnglish) {
  testing::TempDir bannerDir, langDir;
  CopyFolderFiles((fs::path(TAGSMITH_RUNTIME_DIR) / "Data").string(), bannerDir.str());
  for (const std::string code : {"ru", "de"})
    testing::WriteFile(langDir / (code + ".xml"), "<TranslateData Lang=\"" + code + "\" ViewLang=\"" + code + "\"/>");
  TSimpleTranslator translator;
  translator.SetLangDir(langDir.str());
  FakeBanner banner;
  TBannerStorages storages;
  storages.SetBanner(&banner);
  storages.SetTranslator(&translator);
  for (const std::string code : {"ru", "de"}) {
    translator.SetCurrLang(code);
    if (storages.StorageDir().empty()) storages.SetStorageDir(bannerDir.str());
    else storages.RestartRotation();
    const std::string shown = storages.Storages()[size_t(storages.CurrentStorage())].Contents.Lang;
    EXPECT_EQ(shown, code == "ru" ? "ru" : "en");
  }
  EXPECT_EQ(banner.sizes, (std::vector<std::pair<int, int>>{{500, 100}, {500, 100}}));
}

}  // namespace
}  // namespace tagsmith
