#include "updates/zip_reader.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <random>

#include "support/temp_dir.h"
#include "support/zip_builder.h"

namespace tagsmith {
namespace {

using testing::TempDir;
using testing::WriteFile;
using testing::ZipArchive;
using testing::ZipItem;

std::string Noise(size_t n, unsigned seed = 1) {
  std::mt19937 gen(seed);
  std::string s(n, '\0');
  for (char& c : s) c = char(gen());
  return s;
}

std::string Text(size_t n) {
  std::string s;
  while (s.size() < n) s += "Banners of the strip, line " + std::to_string(s.size()) + "\n";
  s.resize(n);
  return s;
}

// The message of the EZipReader that `f` throws, or "" when it throws none.
template <typename F>
std::string ZipError(F&& f) {
  try {
    f();
  } catch (const EZipReader& e) {
    return e.what();
  }
  return std::string();
}

TEST(ZipReader, ReadsStoredAndDeflatedEntriesWithAndWithoutCentralDirectory) {
  const std::string list = "<Banners Ver=\"1\" Lang=\"en\"/>";
  const std::string picture = Noise(3000);
  const std::string text = Text(20000);
  struct Case {
    const char* what;
    bool directory;
    bool descriptor;
    bool descriptorSignature;
    std::string prefix;
  } cases[] = {
      {"central directory", true, false, true, ""},
      {"central directory, data descriptors", true, true, true, ""},
      {"local headers only", false, false, true, ""},
      {"local headers only, data descriptors with signature", false, true, true, ""},
      {"local headers only, data descriptors without signature", false, true, false, ""},
      {"central directory behind a stub", true, false, true, "#!/bin/sh\nexit 0\n"},
  };
  for (const Case& c : cases) {
    ZipArchive zip;
    zip.centralDirectory = c.directory;
    zip.prefix = c.prefix;
    for (ZipItem item : {ZipItem{"list.xml", list, 8}, ZipItem{"pics/Banner1.PNG", picture, 0},
                         ZipItem{"docs\\read me.txt", text, 8}, ZipItem{"empty", "", 8}}) {
      if (c.descriptor) item.WithDescriptor(c.descriptorSignature);
      zip.items.push_back(item);
    }
    const std::string bytes = zip.Build();
    TZipReader reader = TZipReader::OpenMemory(bytes, "test.zip");
    ASSERT_TRUE(reader.IsZipArchive()) << c.what;
    ASSERT_EQ(reader.Entries().size(), 4u) << c.what;
    EXPECT_EQ(reader.Entries()[1].Name, "pics/Banner1.PNG") << c.what;
    EXPECT_EQ(reader.Entries()[1].Method, 0) << c.what;
    EXPECT_EQ(reader.Extract(0), list) << c.what;
    EXPECT_EQ(reader.Extract(1), picture) << c.what;
    EXPECT_EQ(reader.Extract(2), text) << c.what;
    EXPECT_EQ(reader.Extract(3), "") << c.what;
  }
}

TEST(ZipReader, FindsEntriesWithoutRegardToCaseAndSlashes) {
  ZipArchive zip;
  zip.items = {ZipItem("List.XML", "a"), ZipItem("pics\\Banner1.png", "b"), ZipItem("list.xml", "c"),
               ZipItem("Ünï.png", "d")};
  const std::string bytes = zip.Build();
  const TZipReader reader = TZipReader::OpenMemory(bytes, "test.zip");
  struct Case {
    const char* name;
    int expected;
  } cases[] = {
      {"list.xml", 0},           // the first of two that match
      {"LIST.xml", 0},           {"pics/banner1.PNG", 1}, {"PICS\\BANNER1.PNG", 1},
      {"Ünï.png", 3},           {"ünï.png", -1},          // only ASCII letters fold
      {"list.xm", -1},           {"banner1.png", -1},     {"", -1},
  };
  for (const Case& c : cases) EXPECT_EQ(reader.FindEntry(c.name), c.expected) << c.name;
}

TEST(ZipReader, FilesOpenLikeMemoryAndMissingFilesFail) {
  TempDir dir;
  ZipArchive zip;
  zip.items = {ZipItem("list.xml", Text(5000)), ZipItem("a.png", Noise(100), 0)};
  WriteFile(dir / "s.bin", zip.Build());
  TZipReader reader = TZipReader::OpenFile((dir / "s.bin").string());
  EXPECT_TRUE(reader.IsZipArchive());
  EXPECT_EQ(reader.Extract(reader.FindEntry("LIST.XML")), Text(5000));
  reader.Close();
  EXPECT_TRUE(reader.Entries().empty());
  EXPECT_EQ(ZipError([&] { reader.Extract(0); }), "ZIP archive \"" + (dir / "s.bin").string() + "\" is closed");

  const std::string missing = (dir / "missing.bin").string();
  EXPECT_EQ(ZipError([&] { TZipReader::OpenFile(missing); }),
            "Cannot open ZIP archive \"" + missing + "\". No such file or directory");
  EXPECT_EQ(ZipError([&] { TZipReader::OpenFile(dir.str()); }),
            "Cannot open ZIP archive \"" + dir.str() + "\". Is a directory");
}

TEST(ZipReader, DataThatIsNoArchiveOpensAsNoZip) {
  const std::string cases[] = {
      "",
      "PK",
      "plain text that is not an archive at all",
      Noise(70000, 7),
      std::string("\x89PNG\r\n\x1a\n", 8) + Noise(500),
      "PK\x01\x02 a central header alone",
  };
  for (const std::string& bytes : cases) {
    const TZipReader reader = TZipReader::OpenMemory(bytes, "x");
    EXPECT_FALSE(reader.IsZipArchive()) << bytes.size();
    EXPECT_TRUE(reader.Entries().empty());
    EXPECT_EQ(reader.FindEntry("list.xml"), -1);
  }
}

TEST(ZipReader, ArchiveWithoutEntriesIsStillAnArchive) {
  const std::string bytes = ZipArchive{}.Build();
  const TZipReader reader = TZipReader::OpenMemory(bytes, "empty.zip");
  EXPECT_TRUE(reader.IsZipArchive());
  EXPECT_TRUE(reader.Entries().empty());
}

TEST(ZipReader, DataOfAnotherLengthThanRecordedExtractsEmpty) {
  const std::string data = Text(4000);
  struct Case {
    const char* what;
    ZipItem item;
  } cases[] = {
      {"deflated, recorded size smaller", ZipItem("a", data).ClaimingUncompressed(1000)},
      {"deflated, recorded size larger", ZipItem("a", data).ClaimingUncompressed(5000)},
      {"deflated, recorded size zero", ZipItem("a", data).ClaimingUncompressed(0)},
      {"deflated, stream cut short", ZipItem("a", data).Packing(testing::RawDeflate(data).substr(0, 50))},
      {"stored, sizes differ", ZipItem("a", data, 0).ClaimingUncompressed(3999)},
  };
  for (const Case& c : cases) {
    ZipArchive zip;
    zip.items = {c.item};
    const std::string bytes = zip.Build();
    const TZipReader reader = TZipReader::OpenMemory(bytes, "x");
    EXPECT_EQ(reader.Extract(0), "") << c.what;
  }
}

TEST(ZipReader, EntriesThatCannotBeExtractedFailWithTheirName) {
  struct Case {
    const char* what;
    ZipItem item;
    std::string message;
  } cases[] = {
      {"bzip2", ZipItem("b.png", "x", 12), "entry \"b.png\" is packed with method 12, which cannot be extracted"},
      {"encrypted", ZipItem("c.png", "x").WithFlags(1), "entry \"c.png\" is encrypted"},
      {"damaged deflate", ZipItem("d.png", "x").Packing(std::string("\xff\xff\xff\xff", 4)),
       "entry \"d.png\" holds damaged data (invalid block type)"},
      {"too big", ZipItem("e.png", "x").ClaimingUncompressed(uint32_t(100) << 20),
       "entry \"e.png\" of 104857600 bytes exceeds the limit of 67108864"},
  };
  for (const Case& c : cases) {
    ZipArchive zip;
    zip.items = {c.item};
    const std::string bytes = zip.Build();
    const TZipReader reader = TZipReader::OpenMemory(bytes, "x.zip");
    EXPECT_EQ(ZipError([&] { reader.Extract(0); }), "ZIP archive \"x.zip\": " + c.message) << c.what;
  }
  ZipArchive zip;
  zip.items = {ZipItem("a", "x")};
  const std::string bytes = zip.Build();
  const TZipReader reader = TZipReader::OpenMemory(bytes, "x.zip");
  EXPECT_EQ(ZipError([&] { reader.Extract(1); }), "ZIP archive \"x.zip\" has no entry 1");
  EXPECT_EQ(ZipError([&] { reader.Extract(-1); }), "ZIP archive \"x.zip\" has no entry -1");
}

// Archives built to make a reader crash, loop, or allocate without bound.
TEST(ZipReader, HostileArchivesFailInBoundedTimeAndMemory) {
  const std::string data = Text(1000);
  auto withDirectory = [](std::vector<ZipItem> items) {
    ZipArchive zip;
    zip.items = std::move(items);
    return zip;
  };
  auto scanned = [](std::vector<ZipItem> items) {
    ZipArchive zip;
    zip.items = std::move(items);
    zip.centralDirectory = false;
    return zip;
  };
  ZipArchive manyEntries;
  for (int i = 0; i < 5000; ++i) manyEntries.items.push_back(ZipItem("f" + std::to_string(i), "", 0));
  ZipArchive manyScanned = manyEntries;
  manyScanned.centralDirectory = false;
  ZipArchive directoryPastEnd = withDirectory({ZipItem("a", data)});
  directoryPastEnd.claimDirectoryOffset = 0x7FFFFFFF;
  ZipArchive countTooHigh = withDirectory({ZipItem("a", data)});
  countTooHigh.claimCount = 3;
  ZipArchive zip64 = withDirectory({ZipItem("a", data)});
  zip64.claimCount = 0xFFFF;
  // Cut inside the second entry's data: the end record is gone, and the
  // scan of local headers meets an entry that runs past the end.
  std::string cut = withDirectory({ZipItem("a", Noise(1000), 0), ZipItem("b", Noise(1000), 0)}).Build();
  cut.resize(1500);

  struct Case {
    const char* what;
    std::string bytes;
    std::string message;  // after "ZIP archive "h.zip" "
  } cases[] = {
      {"entry offset past the end", withDirectory({ZipItem("a", data).ClaimingOffset(0x7FFFFF00)}).Build(),
       ": entry \"a\" lies past the end of the archive's data"},
      {"compressed size past the end", withDirectory({ZipItem("a", data).ClaimingCompressed(0x7FFFFF00)}).Build(),
       ": entry \"a\" overlaps the data after it"},
      {"two entries at one offset", withDirectory({ZipItem("a", data), ZipItem("b", data).ClaimingOffset(0)}).Build(),
       ": entry \"a\" overlaps another entry"},
      {"entry reaching into the next", withDirectory({ZipItem("a", data, 0).ClaimingCompressed(1100).ClaimingUncompressed(1100),
                      ZipItem("b", data)})
           .Build(),
       ": entry \"a\" overlaps the data after it"},
      {"central directory past the end", directoryPastEnd.Build(),
       " is damaged: the central directory lies past the end of the archive"},
      {"more entries counted than written", countTooHigh.Build(),
       " is damaged: the central directory ends after 1 of its 3 entries"},
      {"ZIP64 marker", zip64.Build(), " is damaged: ZIP64 archives are not supported"},
      {"thousands of entries", manyEntries.Build(), " is damaged: it holds 5000 entries, more than the limit of 4096"},
      {"thousands of entries, scanned", manyScanned.Build(),
       " is damaged: it holds more entries than the limit of 4096"},
      {"name with ..", withDirectory({ZipItem("a/../../etc/passwd", data)}).Build(),
       ": entry \"a/../../etc/passwd\" points outside the archive's folder"},
      {"name with ..\\", withDirectory({ZipItem("..\\evil.png", data)}).Build(),
       ": entry \"..\\evil.png\" points outside the archive's folder"},
      {"absolute name", withDirectory({ZipItem("/etc/passwd", data)}).Build(),
       ": entry \"/etc/passwd\" points outside the archive's folder"},
      {"cut inside an entry", cut, ": entry \"b\" runs past the end of the archive"},
      {"descriptor never found", scanned({ZipItem("a", data).WithDescriptor().ClaimingCompressed(7)}).Build(),
       ": entry \"a\" has no data descriptor that matches its data"},
  };
  for (const Case& c : cases) {
    const auto start = std::chrono::steady_clock::now();
    const std::string message = ZipError([&] {
      TZipReader reader = TZipReader::OpenMemory(c.bytes, "h.zip");
      for (size_t i = 0; i < reader.Entries().size(); ++i) reader.Extract(int(i));
    });
    EXPECT_EQ(message, "ZIP archive \"h.zip\"" + c.message) << c.what;
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5)) << c.what;
  }
}

// A deflate bomb: megabytes of zeros from a few kilobytes. With an honest
// size it is refused before inflating; with a lying one, inflating stops at
// the recorded size.
TEST(ZipReader, ZipBombStopsAtTheRecordedSize) {
  const std::string zeros(std::size_t(80) << 20, '\0');
  const std::string packed = testing::RawDeflate(zeros, 9);
  ASSERT_LT(packed.size(), 300000u);
  ZipArchive honest;
  honest.items = {ZipItem("bomb", "").Packing(packed).ClaimingUncompressed(uint32_t(zeros.size()))};
  const std::string honestBytes = honest.Build();
  const TZipReader a = TZipReader::OpenMemory(honestBytes, "bomb.zip");
  EXPECT_EQ(ZipError([&] { a.Extract(0); }),
            "ZIP archive \"bomb.zip\": entry \"bomb\" of 83886080 bytes exceeds the limit of 67108864");

  ZipArchive lying;
  lying.items = {ZipItem("bomb", "").Packing(packed).ClaimingUncompressed(1000)};
  const std::string lyingBytes = lying.Build();
  const TZipReader b = TZipReader::OpenMemory(lyingBytes, "bomb.zip");
  EXPECT_EQ(b.Extract(0), "");

  TZipLimits small;
  small.MaxEntrySize = 1000;
  const TZipReader c = TZipReader::OpenMemory(honestBytes, "bomb.zip", small);
  EXPECT_NE(ZipError([&] { c.Extract(0); }), "");
}

// An archive written by another program (libarchive behind cmake -E tar),
// which packs with data descriptors.
TEST(ZipReader, ReadsArchivesOfOtherWriters) {
  TempDir dir;
  WriteFile(dir / "in/list.xml", "<Banners Ver=\"2\" Lang=\"ru\"/>");
  WriteFile(dir / "in/pic.png", Noise(5000));
  WriteFile(dir / "in/text.txt", Text(30000));
  const std::string command = "cd '" + (dir / "in").string() + "' && '" CMAKE_COMMAND "' -E tar cf '" +
                              (dir / "out.zip").string() + "' --format=zip list.xml pic.png text.txt";
  ASSERT_EQ(std::system(command.c_str()), 0);
  const TZipReader reader = TZipReader::OpenFile((dir / "out.zip").string());
  ASSERT_TRUE(reader.IsZipArchive());
  EXPECT_EQ(reader.Extract(reader.FindEntry("LIST.XML")), "<Banners Ver=\"2\" Lang=\"ru\"/>");
  EXPECT_EQ(reader.Extract(reader.FindEntry("pic.png")), Noise(5000));
  EXPECT_EQ(reader.Extract(reader.FindEntry("text.txt")), Text(30000));
}

}  // namespace
}  // namespace tagsmith
