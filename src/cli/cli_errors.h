#pragma once

// How tagsmith-convert's steps end early; main() turns each into its message
// and exit status.

#include <string>

namespace tagsmith {

// A command line that cannot be understood: status 2, with the usage.
struct UsageError {
  std::string message;
};

// A failure about one file (the input, an output, the settings) or one image:
// "tagsmith-convert: FILE: message", status 1.
struct FileError {
  std::string file;
  std::string message;
};

// A failure of the run as a whole, already explained on standard error where
// there was more to say: "tagsmith-convert: message", status 1.
struct RunError {
  std::string message;
};

// SIGINT or SIGTERM arrived and the step in progress wound down: status 128 +
// the signal's number, no code written; `what` says what was left undone.
struct Interrupted {
  int signal = 0;
  std::string what;
};

}  // namespace tagsmith
