#include "platform/folders.h"

#include <cerrno>
#include <cstdlib>
#include <vector>

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tagsmith {

namespace {

std::string AbsoluteEnv(const char* name) {
  const char* value = std::getenv(name);
  if (value == nullptr || value[0] != '/') return {};
  return value;
}

std::string XdgDir(const char* name, const char* belowHome) {
  std::string dir = AbsoluteEnv(name);
  if (!dir.empty()) return dir;
  std::string home = HomeDir();
  if (home.empty()) return {};
  return StripTrailingBackslash(home) + belowHome;
}

}  // namespace

std::string HomeDir() {
  const char* home = std::getenv("HOME");
  if (home != nullptr && home[0] != '\0') return home;
  long size = sysconf(_SC_GETPW_R_SIZE_MAX);
  std::vector<char> buffer(size > 0 ? static_cast<size_t>(size) : 16384);
  passwd entry{};
  passwd* found = nullptr;
  if (getpwuid_r(getuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found != nullptr &&
      found->pw_dir != nullptr)
    return found->pw_dir;
  return {};
}

std::string RoamingAppDataDir() { return XdgDir("XDG_DATA_HOME", "/.local/share"); }

std::string LocalAppDataDir() { return XdgDir("XDG_CACHE_HOME", "/.cache"); }

std::string ConfigDir() { return XdgDir("XDG_CONFIG_HOME", "/.config"); }

std::string StripTrailingBackslash(std::string_view path) {
  if (!path.empty() && path.back() == '/') path.remove_suffix(1);
  return std::string(path);
}

int CreatePrivateFolders(const std::string& path) {
  struct stat st{};
  if (path.empty()) return 0;
  if (stat(path.c_str(), &st) == 0) return S_ISDIR(st.st_mode) ? 0 : ENOTDIR;
  // Walk down from the first missing ancestor; each level is made private.
  for (size_t pos = 1; pos <= path.size(); ++pos) {
    if (pos != path.size() && path[pos] != '/') continue;
    const std::string part = path.substr(0, pos);
    if (mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) return errno;
  }
  if (stat(path.c_str(), &st) != 0) return errno;
  return S_ISDIR(st.st_mode) ? 0 : ENOTDIR;
}

}  // namespace tagsmith
