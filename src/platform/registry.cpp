#include "platform/registry.h"

#include <sqlite3.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <thread>

#include "platform/folders.h"
#include "platform/strings.h"

namespace tagsmith {

namespace {

const char* HiveName(RegistryHive hive) { return hive == RegistryHive::CurrentUser ? "HKCU" : "HKCR"; }

bool IsDamaged(int rc) {
  rc &= 0xFF;
  return rc == SQLITE_CORRUPT || rc == SQLITE_NOTADB;
}

[[noreturn]] void Fail(sqlite3* db, const std::string& file) {
  const int rc = sqlite3_errcode(db);
  const std::string message = sqlite3_errmsg(db);
  if (IsDamaged(rc))
    throw ERegistryError(FormatString("Registry file %s is damaged: %s", file.c_str(), message.c_str()));
  throw ERegistryError(FormatString("Registry file %s: %s", file.c_str(), message.c_str()));
}

void Exec(sqlite3* db, const std::string& file, const char* sql) {
  if (sqlite3_exec(db, sql, nullptr, nullptr, nullptr) != SQLITE_OK) Fail(db, file);
}

// One prepared statement; every failure becomes an ERegistryError.
class Statement {
 public:
  Statement(sqlite3* db, const std::string& file, const char* sql) : db_(db), file_(file) {
    if (sqlite3_prepare_v2(db, sql, -1, &stmt_, nullptr) != SQLITE_OK) Fail(db_, file_);
  }
  ~Statement() { sqlite3_finalize(stmt_); }
  Statement(const Statement&) = delete;
  Statement& operator=(const Statement&) = delete;

  Statement& Bind(int index, std::string_view text) {
    // An empty view may carry no pointer; SQLite would take that for NULL.
    const char* data = text.empty() ? "" : text.data();
    if (sqlite3_bind_text(stmt_, index, data, static_cast<int>(text.size()), SQLITE_TRANSIENT) != SQLITE_OK)
      Fail(db_, file_);
    return *this;
  }
  Statement& Bind(int index, int64_t value) {
    if (sqlite3_bind_int64(stmt_, index, value) != SQLITE_OK) Fail(db_, file_);
    return *this;
  }
  // True while a row is there.
  bool Step() {
    const int rc = sqlite3_step(stmt_);
    if (rc == SQLITE_ROW) return true;
    if (rc == SQLITE_DONE) return false;
    Fail(db_, file_);
  }
  void Run() {
    while (Step()) {
    }
  }
  void Reset() {
    sqlite3_reset(stmt_);
    sqlite3_clear_bindings(stmt_);
  }
  std::string Text(int column) const {
    const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(stmt_, column));
    if (text == nullptr) return {};
    return std::string(text, static_cast<size_t>(sqlite3_column_bytes(stmt_, column)));
  }
  int64_t Integer(int column) const { return sqlite3_column_int64(stmt_, column); }
  int Type(int column) const { return sqlite3_column_type(stmt_, column); }

 private:
  sqlite3* db_;
  const std::string& file_;
  sqlite3_stmt* stmt_ = nullptr;
};

// Rolls back unless committed, so a failed write leaves the file as it was.
class Transaction {
 public:
  Transaction(sqlite3* db, const std::string& file, bool write) : db_(db), file_(file) {
    // A writer takes the write lock at once: a read that later turns into a
    // write could fail with "database is locked" instead of waiting.
    Exec(db_, file_, write ? "BEGIN IMMEDIATE" : "BEGIN");
  }
  ~Transaction() {
    if (!done_) sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
  }
  Transaction(const Transaction&) = delete;
  Transaction& operator=(const Transaction&) = delete;

  void Commit() {
    Exec(db_, file_, "COMMIT");
    done_ = true;
  }

 private:
  sqlite3* db_;
  const std::string& file_;
  bool done_ = false;
};

// The prefix condition shared by the statements that reach a key and every
// key below it; ?1 is the hive, ?2 the key path.
#define BELOW_KEY "(path = ?2 OR substr(path, 1, length(?2) + 1) COLLATE NOCASE = ?2 || '\\')"

RegistryValue RowValue(const Statement& row, int typeColumn, const std::string& file, const std::string& path,
                       const std::string& name) {
  const int64_t type = row.Integer(typeColumn);
  const int data = typeColumn + 1;
  if (type == static_cast<int>(RegistryType::String))
    return RegistryValue::String(row.Type(data) == SQLITE_NULL ? std::string() : row.Text(data));
  if (type == static_cast<int>(RegistryType::DWord)) {
    std::optional<uint32_t> number;
    if (row.Type(data) == SQLITE_INTEGER) {
      const int64_t v = row.Integer(data);
      if (v >= INT32_MIN && v <= static_cast<int64_t>(UINT32_MAX)) number = static_cast<uint32_t>(v);
    } else if (row.Type(data) == SQLITE_TEXT) {
      number = ParseDWord(row.Text(data));
    }
    if (!number)
      throw ERegistryError(FormatString("Registry file %s: value \"%s\" of key \"%s\" holds no 32-bit number",
                                        file.c_str(), name.c_str(), path.c_str()));
    return RegistryValue::DWord(*number);
  }
  throw ERegistryError(FormatString("Registry file %s: value \"%s\" of key \"%s\" has the unknown type %lld",
                                    file.c_str(), name.c_str(), path.c_str(), static_cast<long long>(type)));
}

void InsertKeys(sqlite3* db, const std::string& file, const char* hive, const std::string& path) {
  if (path.empty()) return;
  Statement insert(db, file, "INSERT OR IGNORE INTO keys(hive, path) VALUES(?1, ?2)");
  for (size_t pos = path.find('\\'); ; pos = path.find('\\', pos + 1)) {
    insert.Reset();
    insert.Bind(1, hive).Bind(2, std::string_view(path).substr(0, pos)).Run();
    if (pos == std::string::npos) break;
  }
}

void UpsertValue(sqlite3* db, const std::string& file, const char* hive, const std::string& path,
                 std::string_view name, const RegistryValue& value) {
  Statement upsert(db, file,
                   "INSERT INTO vals(hive, path, name, type, data) VALUES(?1, ?2, ?3, ?4, ?5) "
                   "ON CONFLICT(hive, path, name) DO UPDATE SET type = excluded.type, data = excluded.data");
  upsert.Bind(1, hive).Bind(2, path).Bind(3, name).Bind(4, static_cast<int64_t>(value.type));
  if (value.type == RegistryType::DWord) upsert.Bind(5, static_cast<int64_t>(value.dword));
  else upsert.Bind(5, value.text);
  upsert.Run();
}

}  // namespace

std::string NormalizeRegistryPath(std::string_view path) {
  std::string out;
  size_t start = 0;
  while (start <= path.size()) {
    size_t end = path.find('\\', start);
    if (end == std::string_view::npos) end = path.size();
    if (end > start) {
      if (!out.empty()) out.push_back('\\');
      out.append(path.substr(start, end - start));
    }
    start = end + 1;
  }
  return out;
}

std::optional<uint32_t> ParseDWord(std::string_view text) {
  bool negative = false;
  if (!text.empty() && (text[0] == '-' || text[0] == '+')) {
    negative = text[0] == '-';
    text.remove_prefix(1);
  }
  unsigned base = 10;
  if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
    base = 16;
    text.remove_prefix(2);
  } else if (text.size() > 1 && text[0] == '$') {
    base = 16;
    text.remove_prefix(1);
  }
  if (text.empty()) return std::nullopt;
  uint64_t value = 0;
  for (char c : text) {
    unsigned digit;
    if (c >= '0' && c <= '9') digit = static_cast<unsigned>(c - '0');
    else if (base == 16 && c >= 'a' && c <= 'f') digit = static_cast<unsigned>(c - 'a' + 10);
    else if (base == 16 && c >= 'A' && c <= 'F') digit = static_cast<unsigned>(c - 'A' + 10);
    else return std::nullopt;
    value = value * base + digit;
    if (value > UINT32_MAX) return std::nullopt;
  }
  if (negative) {
    if (value > static_cast<uint64_t>(INT32_MAX) + 1) return std::nullopt;
    return static_cast<uint32_t>(-static_cast<int64_t>(value));
  }
  return static_cast<uint32_t>(value);
}

std::string Registry::DefaultFileName() {
  const std::string config = ConfigDir();
  if (config.empty())
    throw ERegistryError("Cannot find the registry file: neither XDG_CONFIG_HOME nor a home folder is known");
  return StripTrailingBackslash(config) + "/Quorindo/registry.sqlite3";
}

Registry::Registry(const std::string& fileName) : fileName_(fileName) {
  const size_t slash = fileName_.rfind('/');
  if (slash != std::string::npos && slash > 0) {
    if (const int err = CreatePrivateFolders(fileName_.substr(0, slash)); err != 0)
      throw ERegistryError(FormatString("Cannot create the folder of registry file %s: %s", fileName_.c_str(),
                                        std::strerror(err)));
  }
  const int rc = sqlite3_open_v2(fileName_.c_str(), &db_, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
  if (rc != SQLITE_OK) {
    const std::string message = db_ != nullptr ? sqlite3_errmsg(db_) : sqlite3_errstr(rc);
    sqlite3_close(db_);
    throw ERegistryError(FormatString("Cannot open registry file %s: %s", fileName_.c_str(), message.c_str()));
  }
  try {
    sqlite3_busy_timeout(db_, kBusyTimeoutMs);
    // Look before writing anything, so that a damaged file stays untouched.
    {
      Statement check(db_, fileName_, "PRAGMA quick_check(1)");
      const std::string verdict = check.Step() ? check.Text(0) : std::string("no verdict");
      if (verdict != "ok")
        throw ERegistryError(FormatString("Registry file %s is damaged: %s", fileName_.c_str(), verdict.c_str()));
    }
    // Switching to WAL needs a moment alone with the file; two processes
    // creating it together may meet here, so wait like any other writer.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kBusyTimeoutMs);
    for (;;) {
      const int wal = sqlite3_exec(db_, "PRAGMA journal_mode=WAL", nullptr, nullptr, nullptr);
      if (wal == SQLITE_OK) break;
      if ((wal & 0xFF) != SQLITE_BUSY && (wal & 0xFF) != SQLITE_LOCKED) Fail(db_, fileName_);
      if (std::chrono::steady_clock::now() > deadline) Fail(db_, fileName_);
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    // WAL with NORMAL commits each write at once and survives a crash of the
    // program; only a power cut may lose the last moments.
    Exec(db_, fileName_, "PRAGMA synchronous=NORMAL");
    bool haveTables = false;
    {
      Statement tables(db_, fileName_,
                       "SELECT count(*) FROM sqlite_master WHERE type = 'table' AND name IN ('keys', 'vals')");
      haveTables = tables.Step() && tables.Integer(0) == 2;
    }
    if (!haveTables) {
      Transaction create(db_, fileName_, true);
      Exec(db_, fileName_,
           "CREATE TABLE IF NOT EXISTS keys(hive TEXT, path TEXT COLLATE NOCASE, PRIMARY KEY(hive, path));"
           "CREATE TABLE IF NOT EXISTS vals(hive TEXT, path TEXT COLLATE NOCASE, name TEXT COLLATE NOCASE, "
           "type INTEGER, data, PRIMARY KEY(hive, path, name));");
      create.Commit();
    }
    for (const char* probe : {"SELECT hive, path FROM keys LIMIT 0", "SELECT hive, path, name, type, data FROM vals LIMIT 0"}) {
      sqlite3_stmt* stmt = nullptr;
      if (sqlite3_prepare_v2(db_, probe, -1, &stmt, nullptr) != SQLITE_OK) {
        const std::string message = sqlite3_errmsg(db_);
        throw ERegistryError(FormatString("Registry file %s is not a registry database: %s", fileName_.c_str(),
                                          message.c_str()));
      }
      sqlite3_finalize(stmt);
    }
  } catch (...) {
    sqlite3_close_v2(db_);
    db_ = nullptr;
    throw;
  }
}

Registry::~Registry() { sqlite3_close_v2(db_); }

bool Registry::KeyExists(RegistryHive hive, std::string_view path) {
  const std::string p = NormalizeRegistryPath(path);
  if (p.empty()) return true;
  std::lock_guard lock(mutex_);
  Statement find(db_, fileName_, "SELECT 1 FROM keys WHERE hive = ?1 AND path = ?2");
  return find.Bind(1, HiveName(hive)).Bind(2, p).Step();
}

void Registry::CreateKey(RegistryHive hive, std::string_view path) {
  const std::string p = NormalizeRegistryPath(path);
  std::lock_guard lock(mutex_);
  Transaction write(db_, fileName_, true);
  InsertKeys(db_, fileName_, HiveName(hive), p);
  write.Commit();
}

bool Registry::DeleteKey(RegistryHive hive, std::string_view path) {
  const std::string p = NormalizeRegistryPath(path);
  if (p.empty())
    throw ERegistryError(
        FormatString("Registry file %s: the hive %s itself cannot be deleted", fileName_.c_str(), HiveName(hive)));
  std::lock_guard lock(mutex_);
  Transaction write(db_, fileName_, true);
  Statement(db_, fileName_, "DELETE FROM vals WHERE hive = ?1 AND " BELOW_KEY).Bind(1, HiveName(hive)).Bind(2, p).Run();
  const int values = sqlite3_changes(db_);
  Statement(db_, fileName_, "DELETE FROM keys WHERE hive = ?1 AND " BELOW_KEY).Bind(1, HiveName(hive)).Bind(2, p).Run();
  const int keys = sqlite3_changes(db_);
  write.Commit();
  return keys > 0 || values > 0;
}

std::vector<std::string> Registry::GetKeyNames(RegistryHive hive, std::string_view path) {
  const std::string p = NormalizeRegistryPath(path);
  std::lock_guard lock(mutex_);
  Statement list(db_, fileName_,
                 p.empty() ? "SELECT path AS child FROM keys WHERE hive = ?1 AND path <> '' AND instr(path, '\\') = 0 "
                             "ORDER BY child COLLATE NOCASE"
                           : "SELECT substr(path, length(?2) + 2) AS child FROM keys WHERE hive = ?1 "
                             "AND substr(path, 1, length(?2) + 1) COLLATE NOCASE = ?2 || '\\' "
                             "AND child <> '' AND instr(child, '\\') = 0 ORDER BY child COLLATE NOCASE");
  list.Bind(1, HiveName(hive));
  if (!p.empty()) list.Bind(2, p);
  std::vector<std::string> names;
  while (list.Step()) names.push_back(list.Text(0));
  return names;
}

bool Registry::ValueExists(RegistryHive hive, std::string_view path, std::string_view name) {
  const std::string p = NormalizeRegistryPath(path);
  std::lock_guard lock(mutex_);
  Statement find(db_, fileName_, "SELECT 1 FROM vals WHERE hive = ?1 AND path = ?2 AND name = ?3");
  return find.Bind(1, HiveName(hive)).Bind(2, p).Bind(3, name).Step();
}

std::optional<RegistryValue> Registry::ReadValue(RegistryHive hive, std::string_view path, std::string_view name) {
  const std::string p = NormalizeRegistryPath(path);
  std::lock_guard lock(mutex_);
  Statement read(db_, fileName_, "SELECT type, data FROM vals WHERE hive = ?1 AND path = ?2 AND name = ?3");
  if (!read.Bind(1, HiveName(hive)).Bind(2, p).Bind(3, name).Step()) return std::nullopt;
  return RowValue(read, 0, fileName_, p, std::string(name));
}

std::optional<std::vector<RegistryEntry>> Registry::ReadKey(RegistryHive hive, std::string_view path) {
  const std::string p = NormalizeRegistryPath(path);
  std::lock_guard lock(mutex_);
  Transaction snapshot(db_, fileName_, false);
  if (!p.empty()) {
    Statement find(db_, fileName_, "SELECT 1 FROM keys WHERE hive = ?1 AND path = ?2");
    if (!find.Bind(1, HiveName(hive)).Bind(2, p).Step()) return std::nullopt;
  }
  Statement read(db_, fileName_,
                 "SELECT path, name, type, data FROM vals WHERE hive = ?1 AND path = ?2 ORDER BY name COLLATE NOCASE");
  read.Bind(1, HiveName(hive)).Bind(2, p);
  std::vector<RegistryEntry> entries;
  while (read.Step()) {
    RegistryEntry e{read.Text(0), read.Text(1), {}};
    e.value = RowValue(read, 2, fileName_, e.path, e.name);
    entries.push_back(std::move(e));
  }
  snapshot.Commit();
  return entries;
}

std::vector<RegistryEntry> Registry::ListValues(RegistryHive hive, std::string_view path) {
  const std::string p = NormalizeRegistryPath(path);
  std::lock_guard lock(mutex_);
  Statement read(db_, fileName_,
                 p.empty() ? "SELECT path, name, type, data FROM vals WHERE hive = ?1 "
                             "ORDER BY path COLLATE NOCASE, name COLLATE NOCASE"
                           : "SELECT path, name, type, data FROM vals WHERE hive = ?1 AND " BELOW_KEY
                             " ORDER BY path COLLATE NOCASE, name COLLATE NOCASE");
  read.Bind(1, HiveName(hive));
  if (!p.empty()) read.Bind(2, p);
  std::vector<RegistryEntry> entries;
  while (read.Step()) {
    RegistryEntry e{read.Text(0), read.Text(1), {}};
    e.value = RowValue(read, 2, fileName_, e.path, e.name);
    entries.push_back(std::move(e));
  }
  return entries;
}

void Registry::WriteValue(RegistryHive hive, std::string_view path, std::string_view name,
                          const RegistryValue& value) {
  const std::string p = NormalizeRegistryPath(path);
  std::lock_guard lock(mutex_);
  Transaction write(db_, fileName_, true);
  InsertKeys(db_, fileName_, HiveName(hive), p);
  UpsertValue(db_, fileName_, HiveName(hive), p, name, value);
  write.Commit();
}

void Registry::WriteValues(RegistryHive hive, const std::vector<RegistryEntry>& entries) {
  std::lock_guard lock(mutex_);
  Transaction write(db_, fileName_, true);
  for (const RegistryEntry& e : entries) {
    const std::string p = NormalizeRegistryPath(e.path);
    InsertKeys(db_, fileName_, HiveName(hive), p);
    UpsertValue(db_, fileName_, HiveName(hive), p, e.name, e.value);
  }
  write.Commit();
}

bool Registry::DeleteValue(RegistryHive hive, std::string_view path, std::string_view name) {
  const std::string p = NormalizeRegistryPath(path);
  std::lock_guard lock(mutex_);
  Transaction write(db_, fileName_, true);
  Statement(db_, fileName_, "DELETE FROM vals WHERE hive = ?1 AND path = ?2 AND name = ?3")
      .Bind(1, HiveName(hive))
      .Bind(2, p)
      .Bind(3, name)
      .Run();
  const bool existed = sqlite3_changes(db_) > 0;
  write.Commit();
  return existed;
}

}  // namespace tagsmith
