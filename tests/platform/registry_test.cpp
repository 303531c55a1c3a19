#include "platform/registry.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <atomic>
#include <thread>

#include "support/temp_dir.h"

namespace tagsmith {
namespace {

using testing::ReadFile;
using testing::ScopedEnv;
using testing::TempHome;
using testing::WriteFile;

constexpr RegistryHive kCU = RegistryHive::CurrentUser;
constexpr RegistryHive kCR = RegistryHive::ClassesRoot;

// Runs SQL straight on the file, as a user with the sqlite3 tool would.
std::string Sql(const std::string& file, const std::string& sql) {
  sqlite3* db = nullptr;
  EXPECT_EQ(sqlite3_open(file.c_str(), &db), SQLITE_OK);
  std::string out;
  char* error = nullptr;
  sqlite3_exec(
      db, sql.c_str(),
      [](void* arg, int n, char** values, char**) {
        auto* text = static_cast<std::string*>(arg);
        for (int i = 0; i < n; ++i) *text += (i ? "|" : "") + std::string(values[i] ? values[i] : "NULL");
        *text += "\n";
        return 0;
      },
      &out, &error);
  EXPECT_EQ(error, nullptr) << error;
  sqlite3_free(error);
  sqlite3_close(db);
  return out;
}

std::string Message(const std::function<void()>& fn) {
  try {
    fn();
  } catch (const ERegistryError& e) {
    return e.what();
  }
  return "(no ERegistryError)";
}

class RegistryTest : public ::testing::Test {
 protected:
  TempHome home;
  std::string file = (home / ".config/Quorindo/registry.sqlite3").string();
};

TEST_F(RegistryTest, DefaultFileFollowsXdgConfigHomeAndElseTheHomeFolder) {
  EXPECT_EQ(Registry::DefaultFileName(), file);
  {
    ScopedEnv relative("XDG_CONFIG_HOME", "relative/config");
    EXPECT_EQ(Registry::DefaultFileName(), (home / ".config/Quorindo/registry.sqlite3").string());
  }
  ScopedEnv other("XDG_CONFIG_HOME", (home / "elsewhere/").string());
  EXPECT_EQ(Registry::DefaultFileName(), (home / "elsewhere/Quorindo/registry.sqlite3").string());
}

TEST_F(RegistryTest, NewFileHoldsTheDocumentedTablesInWalMode) {
  { Registry reg(file); }
  EXPECT_EQ(Sql(file, "SELECT sql FROM sqlite_master WHERE type = 'table' ORDER BY name"),
            "CREATE TABLE keys(hive TEXT, path TEXT COLLATE NOCASE, PRIMARY KEY(hive, path))\n"
            "CREATE TABLE vals(hive TEXT, path TEXT COLLATE NOCASE, name TEXT COLLATE NOCASE, type INTEGER, data, "
            "PRIMARY KEY(hive, path, name))\n");
  EXPECT_EQ(Sql(file, "PRAGMA journal_mode"), "wal\n");
  EXPECT_EQ(std::filesystem::status(home / ".config/Quorindo").permissions() & std::filesystem::perms::all,
            std::filesystem::perms::owner_all);
}

TEST_F(RegistryTest, WritingAValueCreatesItsKeyAndEveryParentInTheDocumentedForm) {
  Registry reg(file);
  reg.WriteString(kCU, "Software\\Quorindo\\Tagsmith\\bbcode\\Data", "bttBold", "TRUE");
  reg.WriteDWord(kCU, "Software\\Quorindo\\Tagsmith", "ProgVer1", 0xFFFFFFFFu);
  EXPECT_EQ(Sql(file, "SELECT hive, path FROM keys ORDER BY path"),
            "HKCU|Software\n"
            "HKCU|Software\\Quorindo\n"
            "HKCU|Software\\Quorindo\\Tagsmith\n"
            "HKCU|Software\\Quorindo\\Tagsmith\\bbcode\n"
            "HKCU|Software\\Quorindo\\Tagsmith\\bbcode\\Data\n");
  EXPECT_EQ(Sql(file, "SELECT hive, path, name, type, data, typeof(data) FROM vals ORDER BY name"),
            "HKCU|Software\\Quorindo\\Tagsmith\\bbcode\\Data|bttBold|1|TRUE|text\n"
            "HKCU|Software\\Quorindo\\Tagsmith|ProgVer1|4|4294967295|integer\n");
  EXPECT_TRUE(reg.KeyExists(kCU, "Software\\Quorindo"));
  EXPECT_FALSE(reg.KeyExists(kCR, "Software\\Quorindo"));
  EXPECT_EQ(reg.GetKeyNames(kCU, ""), std::vector<std::string>{"Software"});
  EXPECT_EQ(reg.GetKeyNames(kCU, "Software\\Quorindo\\Tagsmith"), std::vector<std::string>{"bbcode"});
}

TEST_F(RegistryTest, ValuesRoundTripByKind) {
  Registry reg(file);
  const std::vector<std::pair<std::string, RegistryValue>> cases = {
      {"text", RegistryValue::String("C:\\Programs\\Tool\\")},
      {"empty", RegistryValue::String("")},
      {"unicode", RegistryValue::String("Schrift \xC3\xA4\xE2\x82\xAC")},
      {"zero", RegistryValue::DWord(0)},
      {"max", RegistryValue::DWord(0xFFFFFFFFu)},
      {"", RegistryValue::String("the key's default value")},
  };
  for (const auto& [name, value] : cases) reg.WriteValue(kCU, "K", name, value);
  for (const auto& [name, value] : cases) {
    auto read = reg.ReadValue(kCU, "K", name);
    ASSERT_TRUE(read) << name;
    EXPECT_EQ(*read, value) << name;
  }
  reg.WriteDWord(kCU, "K", "text", 7);
  EXPECT_EQ(*reg.ReadValue(kCU, "K", "text"), RegistryValue::DWord(7));
  EXPECT_FALSE(reg.ReadValue(kCU, "K", "missing"));
  EXPECT_FALSE(reg.ReadValue(kCU, "Missing", "text"));
}

TEST_F(RegistryTest, NamesIgnoreLetterCaseAndKeepTheirFirstSpelling) {
  Registry reg(file);
  reg.WriteString(kCU, "Software\\Quorindo", "UILang", "en");
  reg.WriteString(kCU, "SOFTWARE\\quorindo", "uilang", "de");
  EXPECT_EQ(reg.ReadValue(kCU, "software\\QUORINDO", "UILANG")->text, "de");
  EXPECT_TRUE(reg.ValueExists(kCU, "Software\\Quorindo", "uiLang"));
  EXPECT_EQ(Sql(file, "SELECT path, name, data FROM vals"), "Software\\Quorindo|UILang|de\n");
  EXPECT_EQ(Sql(file, "SELECT count(*) FROM keys"), "2\n");
}

TEST_F(RegistryTest, PathsDropEmptyComponents) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"", ""}, {"\\", ""}, {"A", "A"}, {"\\A\\\\B\\", "A\\B"}, {"A\\B\\C", "A\\B\\C"}};
  for (const auto& [in, out] : cases) EXPECT_EQ(NormalizeRegistryPath(in), out) << in;
  Registry reg(file);
  reg.WriteString(kCU, "\\A\\\\B\\", "v", "x");
  EXPECT_EQ(reg.ReadValue(kCU, "A\\B", "v")->text, "x");
}

TEST_F(RegistryTest, DeleteKeyRemovesItsSubtreeAndNothingBeside) {
  Registry reg(file);
  reg.WriteString(kCU, "A\\B", "v", "1");
  reg.WriteString(kCU, "A\\B\\C\\D", "v", "2");
  reg.WriteString(kCU, "A\\BC", "v", "3");  // shares the prefix, is not below
  reg.WriteString(kCU, "A", "v", "4");
  reg.WriteString(kCR, "A\\B", "v", "5");   // other hive
  EXPECT_TRUE(reg.DeleteKey(kCU, "a\\b"));
  EXPECT_FALSE(reg.KeyExists(kCU, "A\\B"));
  EXPECT_FALSE(reg.KeyExists(kCU, "A\\B\\C"));
  EXPECT_FALSE(reg.ValueExists(kCU, "A\\B\\C\\D", "v"));
  EXPECT_EQ(reg.ReadValue(kCU, "A\\BC", "v")->text, "3");
  EXPECT_EQ(reg.ReadValue(kCU, "A", "v")->text, "4");
  EXPECT_EQ(reg.ReadValue(kCR, "A\\B", "v")->text, "5");
  EXPECT_EQ(reg.GetKeyNames(kCU, "A"), std::vector<std::string>{"BC"});
  EXPECT_FALSE(reg.DeleteKey(kCU, "A\\B"));
  EXPECT_EQ(Message([&] { reg.DeleteKey(kCU, "\\"); }),
            "Registry file " + file + ": the hive HKCU itself cannot be deleted");
}

TEST_F(RegistryTest, DeleteValueReportsWhetherItExisted) {
  Registry reg(file);
  reg.WriteString(kCU, "K", "a", "1");
  reg.WriteString(kCU, "K", "b", "2");
  EXPECT_TRUE(reg.DeleteValue(kCU, "k", "A"));
  EXPECT_FALSE(reg.DeleteValue(kCU, "K", "a"));
  EXPECT_TRUE(reg.KeyExists(kCU, "K"));  // the key stays
  EXPECT_EQ(reg.ReadValue(kCU, "K", "b")->text, "2");
}

TEST_F(RegistryTest, EnumerationListsDirectSubKeysAndValuesBelowAKey) {
  Registry reg(file);
  reg.WriteString(kCU, "R\\b", "x", "1");
  reg.WriteString(kCU, "R\\A\\deep", "y", "2");
  reg.WriteDWord(kCU, "R", "z", 3);
  reg.WriteString(kCU, "Rx", "w", "4");
  EXPECT_EQ(reg.GetKeyNames(kCU, "r"), (std::vector<std::string>{"A", "b"}));
  const auto listed = reg.ListValues(kCU, "R");
  ASSERT_EQ(listed.size(), 3u);
  EXPECT_EQ(listed[0].path + "|" + listed[0].name, "R|z");
  EXPECT_EQ(listed[1].path + "|" + listed[1].name, "R\\A\\deep|y");
  EXPECT_EQ(listed[2].path + "|" + listed[2].name, "R\\b|x");
  EXPECT_EQ(reg.ListValues(kCU, "").size(), 4u);

  EXPECT_FALSE(reg.ReadKey(kCU, "R\\missing"));
  reg.CreateKey(kCU, "R\\empty");
  ASSERT_TRUE(reg.ReadKey(kCU, "R\\empty"));
  EXPECT_TRUE(reg.ReadKey(kCU, "R\\empty")->empty());
  ASSERT_EQ(reg.ReadKey(kCU, "R\\b")->size(), 1u);
}

TEST_F(RegistryTest, WriteValuesStoresEveryEntry) {
  Registry reg(file);
  reg.WriteValues(kCU, {{"S\\Data", "a", RegistryValue::String("TRUE")},
                        {"S\\Data", "b", RegistryValue::String("FALSE")},
                        {"S", "n", RegistryValue::DWord(5)}});
  EXPECT_EQ(reg.ListValues(kCU, "S").size(), 3u);
}

TEST_F(RegistryTest, AnotherConnectionSeesEveryWriteAtItsNextRead) {
  Registry writer(file);
  Registry reader(file);
  for (uint32_t i = 0; i < 50; ++i) {
    writer.WriteDWord(kCU, "K", "n", i);
    EXPECT_EQ(reader.ReadValue(kCU, "K", "n")->dword, i);
  }
  writer.DeleteValue(kCU, "K", "n");
  EXPECT_FALSE(reader.ValueExists(kCU, "K", "n"));
}

TEST_F(RegistryTest, HandEditedRowsReadByTheirTypeOrFailNamingTheValue) {
  { Registry reg(file); }
  Sql(file,
      "INSERT INTO vals VALUES('HKCU', 'K', 'textnum', 4, '12');"
      "INSERT INTO vals VALUES('HKCU', 'K', 'negative', 4, -1);"
      "INSERT INTO vals VALUES('HKCU', 'K', 'null', 1, NULL);"
      "INSERT INTO vals VALUES('HKCU', 'K', 'number', 1, 42);"
      "INSERT INTO vals VALUES('HKCU', 'K', 'word', 4, 'abc');"
      "INSERT INTO vals VALUES('HKCU', 'K', 'binary', 3, x'00');");
  Registry reg(file);
  EXPECT_EQ(*reg.ReadValue(kCU, "K", "textnum"), RegistryValue::DWord(12));
  EXPECT_EQ(*reg.ReadValue(kCU, "K", "negative"), RegistryValue::DWord(0xFFFFFFFFu));
  EXPECT_EQ(*reg.ReadValue(kCU, "K", "null"), RegistryValue::String(""));
  EXPECT_EQ(*reg.ReadValue(kCU, "K", "number"), RegistryValue::String("42"));
  EXPECT_EQ(Message([&] { reg.ReadValue(kCU, "K", "word"); }),
            "Registry file " + file + ": value \"word\" of key \"K\" holds no 32-bit number");
  EXPECT_EQ(Message([&] { reg.ReadValue(kCU, "K", "binary"); }),
            "Registry file " + file + ": value \"binary\" of key \"K\" has the unknown type 3");
}

TEST_F(RegistryTest, AFileThatIsNoDatabaseFailsNamingItAndStaysAsItWas) {
  const std::string garbage(8192, 'x');
  WriteFile(file, garbage);
  EXPECT_EQ(Message([&] { Registry reg(file); }), "Registry file " + file + " is damaged: file is not a database");
  EXPECT_EQ(ReadFile(file), garbage);
  EXPECT_FALSE(std::filesystem::exists(file + "-wal"));
}

TEST_F(RegistryTest, ADamagedPageFailsNamingTheFileAndStaysAsItWas) {
  {
    Registry reg(file);
    for (int i = 0; i < 400; ++i) reg.WriteString(kCU, "Software\\Many", "v" + std::to_string(i), std::string(50, 'a'));
  }
  std::string bytes = ReadFile(file);
  ASSERT_GT(bytes.size(), 4 * 4096u);
  for (size_t i = 2 * 4096; i < 3 * 4096; ++i) bytes[i] = static_cast<char>(0xA5);
  WriteFile(file, bytes);
  const std::string message = Message([&] {
    Registry reg(file);
    reg.ListValues(kCU, "");
  });
  EXPECT_EQ(message.rfind("Registry file " + file + " is damaged: ", 0), 0u) << message;
  EXPECT_EQ(ReadFile(file), bytes);
}

TEST_F(RegistryTest, AForeignDatabaseIsRefused) {
  std::filesystem::create_directories(home / ".config/Quorindo");
  Sql(file, "CREATE TABLE keys(a, b)");
  EXPECT_EQ(Message([&] { Registry reg(file); }),
            "Registry file " + file + " is not a registry database: no such column: hive");
}

TEST_F(RegistryTest, AFileThatCannotBeOpenedFailsNamingIt) {
  std::filesystem::create_directories(file);  // a folder where the file belongs
  EXPECT_EQ(Message([&] { Registry reg(file); }),
            "Cannot open registry file " + file + ": unable to open database file");

  WriteFile(home / "plain", "x");
  const std::string below = (home / "plain/Quorindo/registry.sqlite3").string();
  EXPECT_EQ(Message([&] { Registry reg(below); }),
            "Cannot create the folder of registry file " + below + ": Not a directory");
}

TEST(ParseDWord, ReadsDecimalAndHexWithinThirtyTwoBits) {
  const std::vector<std::pair<std::string, std::optional<uint32_t>>> cases = {
      {"0", 0u},          {"7", 7u},
      {"-1", 0xFFFFFFFFu}, {"+12", 12u},
      {"4294967295", 0xFFFFFFFFu}, {"-2147483648", 0x80000000u},
      {"0x1F", 31u},      {"$ff", 255u},
      {"4294967296", std::nullopt}, {"-2147483649", std::nullopt},
      {"", std::nullopt}, {"-", std::nullopt},
      {"0x", std::nullopt}, {"12a", std::nullopt},
      {" 7", std::nullopt}, {"maybe", std::nullopt},
  };
  for (const auto& [text, expected] : cases) EXPECT_EQ(ParseDWord(text), expected) << '"' << text << '"';
}

// One Registry shared by threads, and a second connection in the same
// process: every write arrives, none waits forever.
TEST_F(RegistryTest, ThreadsAndConnectionsWriteTogetherWithoutLoss) {
  Registry shared(file);
  Registry second(file);
  constexpr int kWrites = 300;
  std::atomic<bool> failed{false};
  auto writer = [&](Registry& reg, const std::string& key) {
    try {
      for (int i = 0; i < kWrites; ++i) {
        reg.WriteDWord(kCU, key, "v" + std::to_string(i), static_cast<uint32_t>(i));
        reg.ReadValue(kCU, "T", "v0");
      }
    } catch (const std::exception& e) {
      failed = true;
      ADD_FAILURE() << e.what();
    }
  };
  std::thread a(writer, std::ref(shared), "T\\a");
  std::thread b(writer, std::ref(shared), "T\\b");
  std::thread c(writer, std::ref(second), "T\\c");
  a.join();
  b.join();
  c.join();
  ASSERT_FALSE(failed);
  for (const char* key : {"T\\a", "T\\b", "T\\c"}) {
    const auto values = second.ReadKey(kCU, key);
    ASSERT_TRUE(values) << key;
    EXPECT_EQ(values->size(), static_cast<size_t>(kWrites)) << key;
  }
}

}  // namespace
}  // namespace tagsmith
