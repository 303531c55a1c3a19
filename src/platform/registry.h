#pragma once

#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/errors.h"

struct sqlite3;

namespace tagsmith {

// A registry database that cannot be opened, is damaged, or refused a read or
// write. The message names the file: "Registry file FILE: what went wrong".
class ERegistryError : public Exception {
 public:
  using Exception::Exception;
};

// The two hives the system uses; stored as 'HKCU' and 'HKCR'.
enum class RegistryHive { CurrentUser, ClassesRoot };

// The value kinds, with the numbers the registry gives them (and the file
// stores): REG_SZ and REG_DWORD.
enum class RegistryType : int { String = 1, DWord = 4 };

struct RegistryValue {
  RegistryType type = RegistryType::String;
  std::string text;    // RegistryType::String
  uint32_t dword = 0;  // RegistryType::DWord

  static RegistryValue String(std::string text) { return {RegistryType::String, std::move(text), 0}; }
  static RegistryValue DWord(uint32_t value) { return {RegistryType::DWord, {}, value}; }
  bool operator==(const RegistryValue&) const = default;
};

// One value with the key that holds it.
struct RegistryEntry {
  std::string path;  // the key, with backslashes
  std::string name;
  RegistryValue value;
};

// The registry stand-in: one SQLite file holding hierarchical keys with
// REG_SZ and REG_DWORD values. Key paths use backslashes
// ("Software\Quorindo\Tagsmith"); empty components are dropped and the empty
// path is the hive itself. Key and value names compare without regard to
// ASCII letter case and keep the case they were first written with.
//
// Nothing is cached: every read goes to the file and every write is
// committed before the call returns, so other processes see it at their next
// read. Concurrent writers wait for each other (up to kBusyTimeoutMs) instead
// of failing. Every call may throw ERegistryError. Safe to use from several
// threads; each process opens its own Registry (never carry one over a fork).
class Registry {
 public:
  static constexpr int kBusyTimeoutMs = 30000;

  // $XDG_CONFIG_HOME/Quorindo/registry.sqlite3 (default ~/.config). Throws
  // ERegistryError when no configuration folder can be determined.
  static std::string DefaultFileName();

  // Opens the file, creating it (and its folder, private to the user) when
  // missing. A file that is not a registry database, or is damaged, is left
  // exactly as it is and gives an ERegistryError naming it.
  explicit Registry(const std::string& fileName);
  ~Registry();
  Registry(const Registry&) = delete;
  Registry& operator=(const Registry&) = delete;

  const std::string& FileName() const { return fileName_; }

  bool KeyExists(RegistryHive hive, std::string_view path);
  // Creates the key and every missing parent key.
  void CreateKey(RegistryHive hive, std::string_view path);
  // Removes the key with all its sub-keys and values; false when it did not
  // exist. The hive itself (the empty path) cannot be deleted.
  bool DeleteKey(RegistryHive hive, std::string_view path);
  // The names of the key's direct sub-keys, ordered without regard to case.
  std::vector<std::string> GetKeyNames(RegistryHive hive, std::string_view path);

  bool ValueExists(RegistryHive hive, std::string_view path, std::string_view name);
  std::optional<RegistryValue> ReadValue(RegistryHive hive, std::string_view path, std::string_view name);
  // The key's values read at one moment, or nothing when the key does not
  // exist.
  std::optional<std::vector<RegistryEntry>> ReadKey(RegistryHive hive, std::string_view path);
  // The values of the key and of every key below it, ordered by key path and
  // name.
  std::vector<RegistryEntry> ListValues(RegistryHive hive, std::string_view path);

  // Writing a value creates its key and every parent key.
  void WriteValue(RegistryHive hive, std::string_view path, std::string_view name, const RegistryValue& value);
  void WriteString(RegistryHive hive, std::string_view path, std::string_view name, std::string_view text) {
    WriteValue(hive, path, name, RegistryValue::String(std::string(text)));
  }
  void WriteDWord(RegistryHive hive, std::string_view path, std::string_view name, uint32_t value) {
    WriteValue(hive, path, name, RegistryValue::DWord(value));
  }
  // Writes all entries in one transaction: another reader sees all or none.
  void WriteValues(RegistryHive hive, const std::vector<RegistryEntry>& entries);
  // False when the value did not exist.
  bool DeleteValue(RegistryHive hive, std::string_view path, std::string_view name);

 private:
  std::string fileName_;
  sqlite3* db_ = nullptr;
  std::mutex mutex_;
};

// A key path with its components joined by one backslash and empty ones
// dropped: "\Software\\Quorindo\" becomes "Software\Quorindo".
std::string NormalizeRegistryPath(std::string_view path);

// The number a REG_DWORD holds, read from text: decimal with an optional sign,
// or hexadecimal after "0x" or "$", within the 32 bits of a DWORD (so -1 and
// 4294967295 are the same DWORD). Nothing for any other text.
std::optional<uint32_t> ParseDWord(std::string_view text);

}  // namespace tagsmith
