#include "images/temp_files.h"

#include <cerrno>
#include <climits>
#include <cstring>

#include <sys/stat.h>
#include <unistd.h>

#include "platform/folders.h"
#include "platform/strings.h"

namespace tagsmith {

namespace {

bool IsFolder(const std::string& path) {
  struct stat st{};
  return !path.empty() && stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::string TempRoot() {
  const std::string local = LocalAppDataDir();
  if (local.empty()) {
    char cwd[PATH_MAX];
    return getcwd(cwd, sizeof cwd) != nullptr ? std::string(cwd) : std::string(".");
  }
  const std::string root = StripTrailingBackslash(local) + "/Quorindo/Tagsmith/TempFiles";
  // A root that cannot be made shows up as the failure to create the run
  // folder below it, with the reason.
  CreatePrivateFolders(root);
  return root;
}

}  // namespace

TTempFiles::TTempFiles(TickSource tickSource) : tickSource_(std::move(tickSource)) {}

TTempFiles::~TTempFiles() { DeleteTempFiles(); }

std::string TTempFiles::CreateRunFolder() {
  const std::string root = TempRoot();
  uint32_t counter = tickSource_();
  for (int attempt = 0; attempt < kMaxFolderAttempts; ++attempt) {
    const std::string candidate = FormatString("%s/tmp%.8X", root.c_str(), counter++);
    if (mkdir(candidate.c_str(), 0700) == 0) {
      chmod(candidate.c_str(), 0700);  // whatever the umask
      folders_.push_back(candidate);
      return candidate;
    }
    // Only a taken name is worth another try; anything else fails the same
    // way for every name.
    if (errno != EEXIST)
      throw ETempFiles(
          FormatString("Cannot create a temporary folder in %s: %s", root.c_str(), std::strerror(errno)));
  }
  throw ETempFiles(FormatString("Cannot create a temporary folder in %s: %d names in a row are taken", root.c_str(),
                                kMaxFolderAttempts));
}

std::string TTempFiles::GetTempDir() {
  // A folder that vanished (removed by a cleaner, say) would make every
  // caller's write fail; a fresh run folder takes its place.
  if (!IsFolder(current_)) current_ = CreateRunFolder();
  return current_;
}

std::string TTempFiles::CreateTempFileName(const std::string& extension) {
  if (extension.find('/') != std::string::npos || extension.find('\0') != std::string::npos)
    throw ETempFiles(FormatString("Bad temporary file extension \"%s\"", extension.c_str()));
  const std::string dir = GetTempDir();
  uint32_t counter = tickSource_();
  for (uint64_t tried = 0; tried <= UINT32_MAX; ++tried) {
    std::string candidate = FormatString("%s/%.8X%s", dir.c_str(), counter++, extension.c_str());
    if (handedOut_.count(candidate) != 0) continue;
    struct stat st{};
    if (lstat(candidate.c_str(), &st) == 0) continue;
    if (errno != ENOENT)
      throw ETempFiles(FormatString("Cannot form a temporary file name in %s: %s", dir.c_str(), std::strerror(errno)));
    handedOut_.insert(candidate);
    files_.push_back(candidate);
    return candidate;
  }
  throw ETempFiles(FormatString("Cannot form a temporary file name in %s: every name is taken", dir.c_str()));
}

void TTempFiles::ForgetFile(const std::string& fileName) {
  for (auto it = files_.begin(); it != files_.end(); ++it) {
    if (*it == fileName) {
      files_.erase(it);
      return;
    }
  }
  for (auto it = files_.begin(); it != files_.end(); ++it) {
    if (EqualsIgnoreCase(*it, fileName)) {
      files_.erase(it);
      return;
    }
  }
}

void TTempFiles::SetTempDir(const std::string& dir) {
  const std::string folder = StripTrailingBackslash(dir);
  if (folder != current_ && IsFolder(folder)) current_ = folder;
}

void TTempFiles::DeleteTempFiles() {
  for (const std::string& file : files_) unlink(file.c_str());
  for (auto it = folders_.rbegin(); it != folders_.rend(); ++it) rmdir(it->c_str());
}

}  // namespace tagsmith
