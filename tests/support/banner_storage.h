#pragma once

#include <string>
#include <vector>

#include "support/picture_bytes.h"
#include "support/zip_builder.h"

namespace tagsmith::testing {

// The bytes of a banner storage of `lang` and version `ver`: one PNG of
// width w and height 3 for each of `widths` (so a strip that records widths
// tells which picture it shows), each linking to `url` + its name.
inline std::string BannerStorageBytes(const std::string& lang, int ver, const std::vector<int>& widths,
                                      const std::string& url = "https://www.quorindo.com/") {
  ZipArchive zip;
  std::string items;
  for (int w : widths) {
    const std::string name = lang + "_" + std::to_string(w) + ".png";
    items += "  <Item Name=\"" + name + "\" Url=\"" + url + name + "\"/>\n";
    zip.items.push_back(ZipItem(name, MakePng(Pattern(w, 3)), 8));
  }
  zip.items.push_back(ZipItem("list.xml", "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<Banners Ver=\"" +
                                              std::to_string(ver) + "\" Lang=\"" + lang + "\">\n" + items +
                                              "</Banners>\n"));
  return zip.Build();
}

}  // namespace tagsmith::testing
