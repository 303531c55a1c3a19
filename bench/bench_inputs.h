#pragma once

// What the document benchmarks share: the generated RTF documents (the shared
// generator bench/gen_rtf.py beside the checkout, written to a temporary
// folder at start and removed at the end) and the peak memory of the process.

#include <sys/resource.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>

namespace tagsmith::bench {

inline std::string ReadFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::string bytes(std::filesystem::file_size(path), '\0');
  in.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  return bytes;
}

inline double PeakRssMb() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return static_cast<double>(usage.ru_maxrss) / 1024.0;
}

// The generated documents by size, made once each.
class Inputs {
 public:
  ~Inputs() {
    std::error_code ec;
    if (!dir_.empty()) std::filesystem::remove_all(dir_, ec);
  }
  // The generated document of `bytes` bytes, or an empty string with `error` set.
  const std::string& Get(size_t bytes, std::string* error) {
    auto it = docs_.find(bytes);
    if (it != docs_.end()) return it->second;
    static const std::string none;
    const std::filesystem::path generator = std::filesystem::path(TAGSMITH_SHARED_DIR) / "bench" / "gen_rtf.py";
    if (!std::filesystem::exists(generator)) {
      *error = "the generator " + generator.string() + " is not there";
      return none;
    }
    if (dir_.empty()) {
      std::string pattern = (std::filesystem::temp_directory_path() / "tagsmith-bench-XXXXXX").string();
      if (!mkdtemp(pattern.data())) {
        *error = "no temporary folder";
        return none;
      }
      dir_ = pattern;
    }
    const std::filesystem::path out = PathOf(bytes);
    const std::string command =
        "python3 '" + generator.string() + "' '" + out.string() + "' " + std::to_string(bytes) + " 1 > /dev/null";
    if (std::system(command.c_str()) != 0) {
      *error = "the generator failed: " + command;
      return none;
    }
    return docs_.emplace(bytes, ReadFile(out)).first->second;
  }

  // Where Get wrote the document of `bytes` bytes.
  std::filesystem::path PathOf(size_t bytes) const { return dir_ / ("doc-" + std::to_string(bytes) + ".rtf"); }

 private:
  std::filesystem::path dir_;
  std::map<size_t, std::string> docs_;
};

inline Inputs& TheInputs() {
  static Inputs inputs;
  return inputs;
}

}  // namespace tagsmith::bench
