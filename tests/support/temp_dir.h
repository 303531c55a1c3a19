#pragma once

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <system_error>

#include <unistd.h>

namespace tagsmith::testing {

// A fresh folder under the system temporary folder, removed with its contents.
class TempDir {
 public:
  TempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "tagsmith-test-XXXXXX").string();
    if (!mkdtemp(pattern.data())) std::abort();
    path_ = pattern;
  }
  ~TempDir() {
    std::error_code ec;
    std::filesystem::permissions(path_, std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add, ec);
    std::filesystem::remove_all(path_, ec);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::filesystem::path& path() const { return path_; }
  std::string str() const { return path_.string(); }
  std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

 private:
  std::filesystem::path path_;
};

// Sets an environment variable for the life of the object, then restores it.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const std::string& value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    setenv(name, value.c_str(), 1);
  }
  ~ScopedEnv() {
    if (old_) setenv(name_.c_str(), old_->c_str(), 1);
    else unsetenv(name_.c_str());
  }
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

 private:
  std::string name_;
  std::optional<std::string> old_;
};

// A temporary home: HOME and every XDG folder point into a fresh folder, so a
// test never touches the real home of the user running it.
class TempHome {
 public:
  TempHome()
      : home_("HOME", dir_.str()),
        config_("XDG_CONFIG_HOME", (dir_ / ".config").string()),
        data_("XDG_DATA_HOME", (dir_ / ".local/share").string()),
        cache_("XDG_CACHE_HOME", (dir_ / ".cache").string()) {}

  const std::filesystem::path& path() const { return dir_.path(); }
  std::filesystem::path operator/(const std::string& name) const { return dir_ / name; }

 private:
  TempDir dir_;
  ScopedEnv home_, config_, data_, cache_;
};

inline void WriteFile(const std::filesystem::path& path, const std::string& bytes) {
  std::filesystem::create_directories(path.parent_path());
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

inline std::string ReadFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The shared design folder beside the checkout (corpus, benchmark generators),
// or nothing when this clone lives elsewhere; tests then skip with a message.
inline std::optional<std::filesystem::path> SharedDir() {
  std::filesystem::path p = TAGSMITH_SHARED_DIR;
  std::error_code ec;
  if (std::filesystem::is_directory(p, ec)) return std::filesystem::canonical(p, ec);
  return std::nullopt;
}

}  // namespace tagsmith::testing
