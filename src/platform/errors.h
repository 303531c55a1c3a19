#pragma once

#include <stdexcept>
#include <string>

namespace tagsmith {

// The one exception base of the system. Every component derives its own class
// from it (EOleError, EUploadThread, ...); the message is the system's English
// text, exactly as the user or caller is meant to see it.
class Exception : public std::runtime_error {
 public:
  explicit Exception(const std::string& message) : std::runtime_error(message) {}
};

}  // namespace tagsmith
