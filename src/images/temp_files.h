#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <unordered_set>
#include <vector>

#include "platform/errors.h"
#include "platform/tick_count.h"

namespace tagsmith {

// A temporary folder or name that cannot be had: the root is not writable,
// every candidate folder name is taken, or the extension is unusable.
class ETempFiles : public Exception {
 public:
  using Exception::Exception;
};

// The one source of temporary file names. It hands out names of files that do
// not exist yet, remembers them, and deletes those files (and the run folder
// it created) when it is destroyed. It never creates the files themselves.
//
// Names: run folders "<root>/tmp%.8X" below the root
// $XDG_CACHE_HOME/Quorindo/Tagsmith/TempFiles (the current folder when no
// cache folder is known), files "<folder>/%.8X<extension>", both counted from
// the tick count upwards (wrapping after FFFFFFFF). Every folder it creates is
// private to the user (mode 0700). A name is never handed out twice, and a
// candidate that exists on disk in any form (file, folder, link) is skipped.
//
// No lock: main thread only (workers ask through the synchronize mechanism).
class TTempFiles {
 public:
  using TickSource = std::function<uint32_t()>;

  // Candidate run-folder names tried in a row before giving up.
  static constexpr int kMaxFolderAttempts = 4096;

  explicit TTempFiles(TickSource tickSource = GetTickCount);
  // Deletes every registered file, then removes the folders it created, last
  // first; what cannot be deleted (a forgotten file, a foreign one) stays.
  ~TTempFiles();
  TTempFiles(const TTempFiles&) = delete;
  TTempFiles& operator=(const TTempFiles&) = delete;

  // The full path of a file that does not exist yet in the current folder,
  // registered for deletion. `extension` is appended verbatim (".png"); it
  // must not hold "/". Throws ETempFiles when no folder or name can be had.
  std::string CreateTempFileName(const std::string& extension);

  // Drops the first registered name equal to `fileName` (exact, else without
  // regard to letter case); that file then survives the clean-up. Unknown
  // names are ignored.
  void ForgetFile(const std::string& fileName);

  // Uses `dir` (one trailing "/" dropped) as the current folder when it is an
  // existing folder other than the current one; otherwise nothing changes.
  // Such a folder is never removed.
  void SetTempDir(const std::string& dir);

  // The current folder. When none is set, or the set one has vanished, a new
  // run folder is created first (ETempFiles when that fails).
  std::string GetTempDir();

  const std::vector<std::string>& RegisteredFiles() const { return files_; }
  const std::vector<std::string>& CreatedFolders() const { return folders_; }

 private:
  void DeleteTempFiles();
  std::string CreateRunFolder();

  TickSource tickSource_;
  std::string current_;
  std::vector<std::string> files_;
  std::vector<std::string> folders_;
  std::unordered_set<std::string> handedOut_;
};

}  // namespace tagsmith
