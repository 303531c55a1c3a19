// Showing a banner from a storage of 20 pictures: each picture opens the
// archive, finds and inflates its entry, decodes the PNG and hands the
// pixels to the strip, with nothing kept from the picture before. The
// pictures are the shipped 500 x 100 banners, each stored deflated.
// The goal is under 5 ms a picture.

#include <benchmark/benchmark.h>

#include <filesystem>
#include <string>

#include "support/temp_dir.h"
#include "support/zip_builder.h"
#include "updates/banner_storages.h"

namespace tagsmith {
namespace {

namespace fs = std::filesystem;

// Keeps its own copy of each picture, as the editor's strip does.
class CopyingBanner : public IBanner {
 public:
  void ShowPicture(const DecodedPicture& picture) override { shown = picture; }
  void ClearPicture() override { shown = DecodedPicture(); }
  void SetClickHandler(std::function<void()>) override {}
  DecodedPicture shown;
};

// A storage folder with one storage of 20 pictures made of the shipped ones.
class Folder {
 public:
  Folder() {
    std::vector<std::string> pictures;
    for (const char* lang : {"en", "ru"}) {
      const TZipReader shipped =
          TZipReader::OpenFile((fs::path(TAGSMITH_SOURCE_DIR) / "Data" / ("storage_" + std::string(lang) + "_1.bin")).string());
      for (size_t i = 0; i < shipped.Entries().size(); ++i)
        if (shipped.Entries()[i].Name != "list.xml") pictures.push_back(shipped.Extract(int(i)));
    }
    testing::ZipArchive zip;
    std::string list = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<Banners Ver=\"1\" Lang=\"en\">\n";
    for (int i = 0; i < 20; ++i) {
      const std::string name = "banner" + std::to_string(i) + ".png";
      zip.items.push_back(testing::ZipItem(name, pictures[size_t(i) % pictures.size()]));
      list += "<Item Name=\"" + name + "\" Url=\"https://www.quorindo.com/tagsmith/tips/" + name + ".html\"/>\n";
    }
    zip.items.insert(zip.items.begin(), testing::ZipItem("list.xml", list + "</Banners>\n"));
    testing::WriteFile(dir_ / "storage_en_1.bin", zip.Build());
  }
  std::string Path() const { return dir_.str(); }

 private:
  testing::TempDir dir_;
};

void BM_ShowNextBanner(benchmark::State& state) {
  Folder folder;
  CopyingBanner banner;
  TBannerStorages storages;
  storages.SetBanner(&banner);
  storages.SetStorageDir(folder.Path());
  for (auto _ : state) {
    storages.ShowNextBanner();
    benchmark::DoNotOptimize(banner.shown.pixels.data());
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_ShowNextBanner)->Unit(benchmark::kMillisecond)->Repetitions(5)->ReportAggregatesOnly(true);

void BM_ReadStorageData(benchmark::State& state) {
  Folder folder;
  const std::string file = folder.Path() + "/storage_en_1.bin";
  for (auto _ : state) benchmark::DoNotOptimize(TBannerStorages::ReadStorageData(file));
}
BENCHMARK(BM_ReadStorageData)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace tagsmith

BENCHMARK_MAIN();
