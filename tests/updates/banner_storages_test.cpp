#include "updates/banner_storages.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <set>

#include "platform/xml.h"
#include "support/picture_bytes.h"
#include "support/recording_shell.h"
#include "support/temp_dir.h"
#include "support/zip_builder.h"

namespace tagsmith {
namespace {

namespace fs = std::filesystem;
using testing::RecordingShell;
using testing::ScopedShell;
using testing::TempDir;
using testing::WriteFile;
using testing::ZipArchive;
using testing::ZipItem;

// The strip of the editor window as the component sees it: what it shows and
// the click handler it was given.
class FakeBanner : public IBanner {
 public:
  void ShowPicture(const DecodedPicture& picture) override {
    shown.push_back(picture.width);
    last = picture;
  }
  void ClearPicture() override {
    shown.push_back(0);
    last = DecodedPicture();
  }
  void SetClickHandler(std::function<void()> handler) override { click = std::move(handler); }

  std::vector<int> shown;  // widths of the pictures shown, 0 for an empty strip
  DecodedPicture last;
  std::function<void()> click;
};

template <typename F>
std::string BannerError(F&& f) {
  try {
    f();
  } catch (const EBannerStorages& e) {
    return e.what();
  }
  return std::string();
}

std::string Xml(const std::string& root, const std::string& items) {
  return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n" + root + "\n" + items + "</Banners>\n";
}

class BannerStoragesTest : public ::testing::Test {
 protected:
  // A storage with `count` pictures, each a PNG of its own width, so the
  // strip's record tells which one was shown. Returns the pictures' names.
  std::vector<std::string> WriteStorage(const fs::path& file, const std::string& lang, int ver, int count) {
    std::string items;
    std::vector<std::string> names;
    ZipArchive zip;
    for (int i = 0; i < count; ++i) {
      const std::string name = lang + "_" + std::to_string(ver) + "_" + std::to_string(i) + ".png";
      const int width = nextWidth_++;
      widths_[name] = width;
      names.push_back(name);
      items += "  <Item Name=\"" + name + "\" Url=\"https://www.quorindo.com/" + name + "\"/>\n";
      zip.items.push_back(ZipItem(name, testing::MakePng(testing::Pattern(width, 3)), i % 2 ? 8 : 0));
    }
    zip.items.push_back(
        ZipItem("list.xml", Xml("<Banners Ver=\"" + std::to_string(ver) + "\" Lang=\"" + lang + "\">", items)));
    WriteFile(file, zip.Build());
    return names;
  }
  fs::path Storage(const std::string& lang, int ver) const {
    return dir_ / ("storage_" + lang + "_" + std::to_string(ver) + ".bin");
  }
  void UseLanguage(const std::string& code) {
    WriteFile(langs_ / (code + ".xml"), "<TranslateData Lang=\"" + code + "\" ViewLang=\"" + code + "\"/>");
    translator_.SetLangDir(langs_.str());
    translator_.ScanLangDir(langs_.str());
    translator_.SetCurrLang(code);
    ASSERT_EQ(translator_.CurrLang(), code);
    storages_.SetTranslator(&translator_);
  }
  // The names of the pictures shown, from the widths the strip recorded.
  std::vector<std::string> Shown() const {
    std::vector<std::string> names;
    for (int w : banner_.shown) {
      std::string name = "(empty)";
      for (const auto& [n, width] : widths_)
        if (width == w) name = n;
      names.push_back(name);
    }
    return names;
  }
  // The storage's pictures in the order the rotation shows them.
  std::vector<std::string> Order(const fs::path& file) const {
    for (const TStorageListItem& s : storages_.Storages())
      if (fs::path(s.FileName) == file) {
        std::vector<std::string> names;
        for (const TBannRec& p : s.Contents.Pictures) names.push_back(p.Name);
        return names;
      }
    return {};
  }

  TempDir dir_, langs_;
  TSimpleTranslator translator_;
  FakeBanner banner_;
  TBannerStorages storages_;
  std::map<std::string, int> widths_;
  int nextWidth_ = 11;
};

TEST_F(BannerStoragesTest, ReadStorageDataReadsTheList) {
  struct Case {
    const char* what;
    std::string root;
    std::string items;
    int ver;
    std::string lang;
    std::set<std::string> pictures;
  } cases[] = {
      {"plain", "<Banners Ver=\"3\" Lang=\"en\">", "<Item Name=\"a.png\" Url=\"http://x/a\"/>", 3, "en", {"a.png"}},
      {"long code cut to two characters", "<Banners Ver=\"1\" Lang=\"english\">", "", 1, "en", {}},
      {"two Cyrillic characters", "<Banners Ver=\"1\" Lang=\"рус\">", "", 1, "ру", {}},
      {"Ver missing", "<Banners Lang=\"de\">", "", -1, "de", {}},
      {"Ver not an integer", "<Banners Ver=\"2.5\" Lang=\"de\">", "", -1, "de", {}},
      {"Ver with blanks", "<Banners Ver=\" 12 \" Lang=\"de\">", "", 12, "de", {}},
      {"Lang missing", "<Banners Ver=\"1\">", "", 1, "", {}},
      {"items without name or address left out, other children skipped", "<Banners Ver=\"1\" Lang=\"en\">",
       "<Item Name=\"a.png\"/><Item Url=\"http://x\"/><Item Name=\"\" Url=\"http://x\"/>"
       "<Item Name=\"b.png\" Url=\"\"/><Picture Name=\"c.png\" Url=\"http://x\"/>"
       "<Item Name=\"d.png\" Url=\"http://x/d\"><Item Name=\"e.png\" Url=\"http://x/e\"/></Item>",
       1, "en", {"d.png"}},
  };
  for (const Case& c : cases) {
    ZipArchive zip;
    zip.items = {ZipItem("List.XML", Xml(c.root, c.items))};
    WriteFile(dir_ / "s.bin", zip.Build());
    const TStorageData data = TBannerStorages::ReadStorageData((dir_ / "s.bin").string());
    EXPECT_EQ(data.Ver, c.ver) << c.what;
    EXPECT_EQ(data.Lang, c.lang) << c.what;
    std::set<std::string> names;
    for (const TBannRec& p : data.Pictures) names.insert(p.Name);
    EXPECT_EQ(names, c.pictures) << c.what;
  }
  ZipArchive zip;
  zip.items = {ZipItem("list.xml", Xml("<Banners Ver=\"3\" Lang=\"en\">",
                                       "<Item Name=\"a.png\" Url=\"https://www.quorindo.com/a\"/>"))};
  WriteFile(dir_ / "s.bin", zip.Build());
  const TStorageData data = TBannerStorages::ReadStorageData((dir_ / "s.bin").string());
  ASSERT_EQ(data.Pictures.size(), 1u);
  EXPECT_EQ(data.Pictures[0].Url, "https://www.quorindo.com/a");
}

TEST_F(BannerStoragesTest, WhatIsNoStorageFailsWithItsOwnClass) {
  ZipArchive wrongRoot, noList, listInFolder;
  wrongRoot.items = {ZipItem("list.xml", "<Banner Ver=\"1\" Lang=\"en\"/>")};
  noList.items = {ZipItem("other.xml", "<Banners Ver=\"1\" Lang=\"en\"/>")};
  listInFolder.items = {ZipItem("data/list.xml", "<Banners Ver=\"1\" Lang=\"en\"/>")};
  const std::string notValid = "Target file is not a valid storage file!";
  for (const std::string& bytes : {wrongRoot.Build(), noList.Build(), listInFolder.Build(), std::string("text")}) {
    WriteFile(dir_ / "s.bin", bytes);
    EXPECT_EQ(BannerError([&] { TBannerStorages::ReadStorageData((dir_ / "s.bin").string()); }), notValid);
  }
  // Failures of the readers below keep their classes.
  EXPECT_THROW(TBannerStorages::ReadStorageData((dir_ / "missing.bin").string()), EZipReader);
  ZipArchive badXml;
  badXml.items = {ZipItem("list.xml", "<Banners Ver=\"1\"")};
  WriteFile(dir_ / "s.bin", badXml.Build());
  EXPECT_THROW(TBannerStorages::ReadStorageData((dir_ / "s.bin").string()), EXmlError);
}

TEST_F(BannerStoragesTest, PicturesAreShuffledUniformlyAtEachRead) {
  WriteStorage(Storage("en", 1), "en", 1, 6);
  std::set<std::vector<std::string>> orders;
  std::map<std::string, int> first;
  for (int i = 0; i < 300; ++i) {
    const TStorageData data = TBannerStorages::ReadStorageData(Storage("en", 1).string());
    std::vector<std::string> names;
    for (const TBannRec& p : data.Pictures) names.push_back(p.Name);
    ASSERT_EQ(std::set<std::string>(names.begin(), names.end()).size(), 6u);
    orders.insert(names);
    ++first[names[0]];
  }
  EXPECT_GT(orders.size(), 50u);
  ASSERT_EQ(first.size(), 6u);  // every picture comes first now and then
  for (const auto& [name, count] : first) EXPECT_GT(count, 15) << name;
}

TEST_F(BannerStoragesTest, StorageDirLoadsTheFolderAndShowsTheFirstPicture) {
  WriteStorage(Storage("en", 1), "en", 1, 2);
  storages_.SetBanner(&banner_);
  storages_.SetStorageDir((dir_ / "missing").string());  // not a folder: ignored
  EXPECT_EQ(storages_.StorageDir(), "");
  storages_.SetStorageDir(dir_.str());
  EXPECT_EQ(storages_.StorageDir(), dir_.str());
  ASSERT_EQ(storages_.Storages().size(), 1u);
  EXPECT_EQ(Shown(), std::vector<std::string>{Order(Storage("en", 1))[0]});
  EXPECT_EQ(storages_.CurrentStorage(), 0);
  EXPECT_EQ(storages_.CurrentPicture(), 0);
  EXPECT_TRUE(banner_.click);
  storages_.SetStorageDir(dir_.str());  // the same folder: no reload
  EXPECT_EQ(banner_.shown.size(), 1u);

  // A folder without a storage of the language or "en".
  TempDir other;
  WriteStorage(other / "storage_ru_1.bin", "ru", 1, 1);
  EXPECT_EQ(BannerError([&] { storages_.SetStorageDir(other.str()); }), "There are no banners with lang!");
  EXPECT_EQ(storages_.StorageDir(), "");
}

TEST_F(BannerStoragesTest, RotationShowsTheLanguageStorageByStorage) {
  WriteStorage(Storage("en", 1), "en", 1, 3);
  WriteStorage(Storage("de", 1), "de", 1, 2);
  WriteStorage(Storage("en", 2), "en", 2, 1);
  storages_.SetBanner(&banner_);

  UseLanguage("de");
  storages_.SetStorageDir(dir_.str());
  for (int i = 0; i < 4; ++i) storages_.ShowNextBanner();
  const auto de = Order(Storage("de", 1));
  EXPECT_EQ(Shown(), (std::vector<std::string>{de[0], de[1], de[0], de[1], de[0]}));

  // No "fr" storage: the "en" ones, storage by storage in listing order
  // (storage_en_1 before storage_en_2), each in its shuffled order.
  banner_.shown.clear();
  UseLanguage("fr");
  storages_.RestartRotation();
  for (int i = 0; i < 4; ++i) storages_.ShowNextBanner();
  const auto en1 = Order(Storage("en", 1));
  const auto en2 = Order(Storage("en", 2));
  EXPECT_EQ(Shown(), (std::vector<std::string>{en1[0], en1[1], en1[2], en2[0], en1[0]}));

  // Without a translator the language is "en".
  banner_.shown.clear();
  storages_.SetTranslator(nullptr);
  storages_.RestartRotation();
  EXPECT_EQ(Shown(), std::vector<std::string>{en1[0]});
}

// A code of more than two characters matches storages on its first two, in
// both steps of the search, so the rotation neither hangs nor falls back.
TEST_F(BannerStoragesTest, LongLanguageCodesCompareOnTwoCharacters) {
  WriteStorage(Storage("en", 1), "en", 1, 1);
  WriteStorage(Storage("de", 1), "de", 1, 2);
  storages_.SetBanner(&banner_);
  UseLanguage("deu");
  storages_.SetStorageDir(dir_.str());
  storages_.ShowNextBanner();
  const auto de = Order(Storage("de", 1));
  EXPECT_EQ(Shown(), (std::vector<std::string>{de[0], de[1]}));
}

// Storages of the language that hold no picture would make the search go
// round for ever: the strip stays empty instead, and a click does nothing.
TEST_F(BannerStoragesTest, LanguageWithoutPicturesShowsAnEmptyStrip) {
  WriteStorage(Storage("en", 1), "en", 1, 2);
  WriteStorage(Storage("de", 1), "de", 1, 0);
  WriteStorage(Storage("de", 2), "de", 2, 0);
  storages_.SetBanner(&banner_);
  UseLanguage("en");
  storages_.SetStorageDir(dir_.str());
  ASSERT_TRUE(banner_.click);
  UseLanguage("de");
  storages_.RestartRotation();
  storages_.ShowNextBanner();
  EXPECT_EQ(banner_.shown.back(), 0);
  EXPECT_EQ(banner_.shown.size(), 3u);
  EXPECT_FALSE(banner_.click);
  RecordingShell shell;
  ScopedShell scoped(shell);
  storages_.BannerClick();
  EXPECT_TRUE(shell.Calls().empty());
}

TEST_F(BannerStoragesTest, NoStorageOfTheLanguageOrEnglishFails) {
  WriteStorage(Storage("ru", 1), "ru", 1, 1);
  ZipArchive notStorage;
  notStorage.items = {ZipItem("x", "y")};
  WriteFile(dir_ / "storage_en_1.bin", notStorage.Build());
  UseLanguage("de");
  EXPECT_EQ(BannerError([&] { storages_.SetStorageDir(dir_.str()); }), "There are no banners with lang!");
  EXPECT_EQ(BannerError([&] { storages_.ShowNextBanner(); }), "There are no banners with lang!");
  TBannerStorages empty;
  EXPECT_EQ(BannerError([&] { empty.ShowNextBanner(); }), "There are no banners with lang!");
}

TEST_F(BannerStoragesTest, ReloadSkipsWhatIsNoStorageAndStopsAtDamage) {
  WriteStorage(Storage("en", 1), "en", 1, 1);
  WriteStorage(dir_ / "UPPER.BIN", "en", 5, 1);
  WriteStorage(dir_ / "storage_en_2.zip", "en", 2, 1);  // not ".bin"
  WriteFile(dir_ / "notes.bin", "not an archive");
  fs::create_directory(dir_ / "folder.bin");
  storages_.SetStorageDir(dir_.str());
  std::vector<std::string> files;
  for (const TStorageListItem& s : storages_.Storages()) files.push_back(fs::path(s.FileName).filename().string());
  EXPECT_EQ(files, (std::vector<std::string>{"UPPER.BIN", "storage_en_1.bin"}));

  // A damaged archive is not skipped: its reader's error ends the reload.
  ZipArchive hostile;
  hostile.items = {ZipItem("../list.xml", "<Banners/>")};
  WriteFile(dir_ / "storage_en_0.bin", hostile.Build());
  EXPECT_THROW(storages_.ReloadStorages(), EZipReader);
}

TEST_F(BannerStoragesTest, HasStorageMatchesLanguageAndExactVersion) {
  WriteStorage(Storage("en", 4), "en", 4, 1);
  WriteStorage(Storage("de", 6), "de", 6, 1);
  EXPECT_FALSE(storages_.HasStorage("en", 4));  // nothing loaded yet
  storages_.SetStorageDir(dir_.str());
  struct Case {
    const char* lang;
    int ver;
    bool expected;
  } cases[] = {{"en", 4, true},  {"en", 5, false},      {"en", 3, false}, {"english", 4, true},
               {"EN", 4, false}, {"de", 6, true},       {"e", 4, false},  {"", 4, false}};
  for (const Case& c : cases) EXPECT_EQ(storages_.HasStorage(c.lang, c.ver), c.expected) << c.lang << " " << c.ver;
}

TEST_F(BannerStoragesTest, RemoveOldStoragesDeletesOldVersionsOfTheLanguage) {
  for (int v : {3, 5, 6}) WriteStorage(Storage("en", v), "en", v, 1);
  WriteStorage(Storage("de", 2), "de", 2, 1);
  storages_.SetStorageDir(dir_.str());
  storages_.ShowNextBanner();
  const int storage = storages_.CurrentStorage(), picture = storages_.CurrentPicture();
  storages_.RemoveOldStorages(5, "english");
  EXPECT_FALSE(fs::exists(Storage("en", 3)));
  EXPECT_FALSE(fs::exists(Storage("en", 5)));
  EXPECT_TRUE(fs::exists(Storage("en", 6)));
  EXPECT_TRUE(fs::exists(Storage("de", 2)));
  ASSERT_EQ(storages_.Storages().size(), 2u);
  EXPECT_EQ(storages_.CurrentStorage(), storage);  // the position stays
  EXPECT_EQ(storages_.CurrentPicture(), picture);
  // The list shrank under the position: the next picture still comes.
  storages_.ShowNextBanner();
}

TEST_F(BannerStoragesTest, RemoveOldStoragesStopsAtAFileThatCannotBeDeleted) {
  for (int v : {1, 2, 3}) WriteStorage(Storage("en", v), "en", v, 1);
  WriteStorage(Storage("ru", 1), "ru", 1, 1);
  storages_.SetStorageDir(dir_.str());
  fs::remove(Storage("en", 1));  // gone already: counts as deleted
  fs::remove(Storage("en", 2));  // a folder in its place cannot be deleted
  fs::create_directories(Storage("en", 2) / "inside");
  EXPECT_EQ(BannerError([&] { storages_.RemoveOldStorages(3, "en"); }), "Cant delete banner!");
  std::vector<std::string> left;
  for (const TStorageListItem& s : storages_.Storages()) left.push_back(fs::path(s.FileName).filename().string());
  EXPECT_EQ(left, (std::vector<std::string>{"storage_en_2.bin", "storage_en_3.bin", "storage_ru_1.bin"}));
  EXPECT_TRUE(fs::exists(Storage("en", 3)));
}

TEST_F(BannerStoragesTest, AddStorageCopiesUnderTheCanonicalName) {
  TempDir downloads;
  WriteStorage(Storage("en", 1), "en", 1, 1);
  const fs::path download = downloads / "0000ABCD.tmp";
  WriteStorage(download, "english", 7, 2);
  EXPECT_EQ(BannerError([&] { storages_.AddStorage(download.string()); }), "StorageDir does not specified!");
  storages_.SetStorageDir(dir_.str());
  EXPECT_EQ(BannerError([&] { storages_.AddStorage((downloads / "missing.tmp").string()); }),
            "File \"" + (downloads / "missing.tmp").string() + "\" does not exist!");

  storages_.AddStorage(download.string());
  EXPECT_EQ(testing::ReadFile(Storage("en", 7)), testing::ReadFile(download));
  ASSERT_EQ(storages_.Storages().size(), 2u);
  EXPECT_EQ(storages_.Storages()[1].FileName, Storage("en", 7).string());
  EXPECT_EQ(storages_.Storages()[1].Contents.Ver, 7);
  EXPECT_EQ(storages_.CurrentStorage(), 0);
  EXPECT_EQ(storages_.CurrentPicture(), 0);
  EXPECT_TRUE(storages_.HasStorage("en", 7));

  // Twice: the file is replaced, the list holds both until the next reload.
  storages_.AddStorage(download.string());
  EXPECT_EQ(storages_.Storages().size(), 3u);
  size_t files = 0;
  for (const auto& entry : fs::directory_iterator(dir_.path())) files += entry.is_regular_file();
  EXPECT_EQ(files, 2u);
  storages_.ReloadStorages();
  EXPECT_EQ(storages_.Storages().size(), 2u);
}

TEST_F(BannerStoragesTest, AddStorageRefusesWhatIsNoStorageAndLeavesNothingBehind) {
  TempDir downloads, outside;
  WriteStorage(Storage("en", 1), "en", 1, 1);
  storages_.SetStorageDir(dir_.str());
  auto folderFiles = [&] {
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir_.path())) names.insert(entry.path().filename().string());
    return names;
  };
  const std::set<std::string> before = folderFiles();

  WriteFile(downloads / "text.tmp", "not an archive");
  EXPECT_EQ(BannerError([&] { storages_.AddStorage((downloads / "text.tmp").string()); }), "Cant add storage!");
  // A code with "/" would put the copy into another folder.
  ZipArchive slash;
  slash.items = {ZipItem("list.xml", "<Banners Ver=\"1\" Lang=\"./\"/>")};
  WriteFile(downloads / "slash.tmp", slash.Build());
  EXPECT_EQ(BannerError([&] { storages_.AddStorage((downloads / "slash.tmp").string()); }), "Cant add storage!");
  // A damaged archive keeps the reader's error.
  ZipArchive hostile;
  hostile.items = {ZipItem("list.xml", "<Banners Ver=\"1\" Lang=\"en\"/>").ClaimingOffset(0x7FFF0000)};
  WriteFile(downloads / "hostile.tmp", hostile.Build());
  EXPECT_THROW(storages_.AddStorage((downloads / "hostile.tmp").string()), EZipReader);
  // The copy cannot be written (a folder holds its name): the folder stays.
  WriteStorage(downloads / "good.tmp", "en", 9, 1);
  fs::create_directories(Storage("en", 9) / "x");
  EXPECT_EQ(BannerError([&] { storages_.AddStorage((downloads / "good.tmp").string()); }), "Cant add storage!");
  EXPECT_TRUE(fs::is_directory(Storage("en", 9)));
  fs::remove_all(Storage("en", 9));

  EXPECT_EQ(folderFiles(), before);
  EXPECT_EQ(storages_.Storages().size(), 1u);
}

TEST_F(BannerStoragesTest, ShowBannerDecodesOnePictureAndNamesWhatIsMissing) {
  const auto names = WriteStorage(Storage("en", 1), "en", 1, 2);
  storages_.SetStorageDir(dir_.str());
  DecodedPicture picture;
  const int second = storages_.Storages()[0].Contents.Pictures[1].Name == names[1] ? 1 : 0;
  storages_.ShowBanner(0, second, picture);
  EXPECT_EQ(picture.width, widths_[names[1]]);
  EXPECT_EQ(picture.height, 3);
  const DecodedPicture expected = DecodePicture(PictureFormat::kPng, testing::MakePng(testing::Pattern(picture.width, 3)));
  EXPECT_EQ(picture.pixels, expected.pixels);

  EXPECT_EQ(BannerError([&] { storages_.ShowBanner(1, 0, picture); }), "Storage for assign does not exist!");
  EXPECT_EQ(BannerError([&] { storages_.ShowBanner(-1, 0, picture); }), "Storage for assign does not exist!");
  EXPECT_EQ(BannerError([&] { storages_.ShowBanner(0, 2, picture); }), "Picture for assign does not exist!");

  // The file changed under the list: a picture that is gone, no archive at
  // all, a picture that is no PNG.
  ZipArchive without;
  without.items = {ZipItem("list.xml", "<Banners Ver=\"1\" Lang=\"en\"/>")};
  WriteFile(Storage("en", 1), without.Build());
  EXPECT_EQ(BannerError([&] { storages_.ShowBanner(0, 0, picture); }), "Target file is not a valid storage file!");
  WriteFile(Storage("en", 1), "gone");
  EXPECT_EQ(BannerError([&] { storages_.ShowBanner(0, 0, picture); }), "Target file is not a valid storage file!");
  ZipArchive jpeg;
  jpeg.items = {ZipItem(names[0], testing::MakeJpeg(testing::Pattern(4, 4))),
                ZipItem(names[1], testing::MakeJpeg(testing::Pattern(4, 4)))};
  WriteFile(Storage("en", 1), jpeg.Build());
  EXPECT_THROW(storages_.ShowBanner(0, 0, picture), EPictureError);
}

TEST_F(BannerStoragesTest, PictureThatCannotBeShownEmptiesTheStrip) {
  WriteStorage(Storage("en", 1), "en", 1, 2);
  storages_.SetBanner(&banner_);
  storages_.SetStorageDir(dir_.str());
  WriteFile(Storage("en", 1), "gone");
  EXPECT_EQ(BannerError([&] { storages_.ShowNextBanner(); }), "Target file is not a valid storage file!");
  EXPECT_EQ(banner_.shown.back(), 0);
  EXPECT_FALSE(banner_.click);
  EXPECT_EQ(storages_.CurrentPicture(), 1);  // moved on all the same
}

// A storage comes from the network: a click opens only a web address.
TEST_F(BannerStoragesTest, ClickOpensOnlyWebAddresses) {
  struct Case {
    std::string url;
    bool opened;
  } cases[] = {
      {"https://www.quorindo.com/tagsmith/tips.html", true},
      {"http://www.quorindo.com/", true},
      {"HTTPS://WWW.QUORINDO.COM/A", true},
      {"file:///etc/passwd", false},
      {"/usr/bin/xterm", false},
      {"xterm", false},
      {"C:\\Windows\\System32\\cmd.exe", false},
      {"javascript:alert(1)", false},
      {"ftp://www.quorindo.com/", false},
      {"http:/www.quorindo.com", false},
      {"https://", false},
      {"http:///etc/passwd", false},
      {"http://www.quorindo.com/a b", false},
      {"http://www.quorindo.com/\n--help", false},
      {" http://www.quorindo.com/", false},
  };
  RecordingShell shell;
  ScopedShell scoped(shell);
  storages_.SetBanner(&banner_);
  for (const Case& c : cases) {
    ZipArchive zip;
    std::string url;
    for (char ch : c.url) url += ch == '&' ? std::string("&amp;") : ch == '\n' ? std::string("&#10;") : std::string(1, ch);
    zip.items = {ZipItem("a.png", testing::MakePng(testing::Pattern(5, 5))),
                 ZipItem("list.xml", "<Banners Ver=\"1\" Lang=\"en\"><Item Name=\"a.png\" Url=\"" + url + "\"/></Banners>")};
    TempDir dir;
    WriteFile(dir / "storage_en_1.bin", zip.Build());
    storages_.SetStorageDir(dir.str());
    ASSERT_EQ(storages_.Storages()[0].Contents.Pictures[0].Url, c.url);
    ASSERT_TRUE(banner_.click);
    const size_t before = shell.Calls().size();
    banner_.click();
    const auto calls = shell.Calls();
    EXPECT_EQ(calls.size() - before, c.opened ? 1u : 0u) << c.url;
    if (c.opened && calls.size() > before) {
      EXPECT_EQ(calls.back().kind, RecordingShell::Call::Kind::Open);
      EXPECT_EQ(calls.back().target, c.url);
    }
  }
}

TEST_F(BannerStoragesTest, ClickHandlerIsTakenBackFromTheBanner) {
  WriteStorage(Storage("en", 1), "en", 1, 1);
  FakeBanner other;
  {
    TBannerStorages storages;
    storages.SetBanner(&banner_);
    storages.SetStorageDir(dir_.str());
    ASSERT_TRUE(banner_.click);
    storages.SetBanner(&other);
    EXPECT_FALSE(banner_.click);
    storages.ShowNextBanner();
    ASSERT_TRUE(other.click);
  }
  EXPECT_FALSE(other.click);
}

TEST(CopyFolderFiles, CopiesPlainFilesReplacingOthers) {
  TempDir from, to;
  WriteFile(from / "storage_en_1.bin", "one");
  WriteFile(from / ".hidden", "h");
  WriteFile(from / "sub/inner.bin", "no");
  WriteFile(to / "storage_en_1.bin", "old");
  WriteFile(to / "kept.bin", "kept");
  CopyFolderFiles(from.str() + "/", to.str() + "/");
  std::map<std::string, std::string> files;
  for (const auto& entry : fs::directory_iterator(to.path()))
    if (entry.is_regular_file()) files[entry.path().filename().string()] = testing::ReadFile(entry.path());
  EXPECT_EQ(files, (std::map<std::string, std::string>{
                       {".hidden", "h"}, {"kept.bin", "kept"}, {"storage_en_1.bin", "one"}}));
  EXPECT_FALSE(fs::exists(to / "sub"));

  CopyFolderFiles(from.str(), from.str());  // onto itself: nothing changes
  EXPECT_EQ(testing::ReadFile(from / "storage_en_1.bin"), "one");
  CopyFolderFiles((from / "missing").string(), to.str());  // nothing to copy, no error
  CopyFolderFiles(from.str(), (to / "missing").string());  // nowhere to copy, no error
  EXPECT_FALSE(fs::exists(to / "missing"));
}

}  // namespace
}  // namespace tagsmith
