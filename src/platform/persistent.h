#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace tagsmith {

// One published property of a persistent object: what the settings store
// reads and writes by name. Integer, Boolean and Set properties go through
// getInteger/setInteger (a Boolean as 0 or 1, a Set as its bit mask with bit i
// for the element of ordinal i); String properties through getString/setString.
struct PublishedProperty {
  enum class Kind { String, Integer, Boolean, Set };

  std::string name;
  Kind kind = Kind::Integer;
  std::vector<std::string> setElements;  // Kind::Set: element names by ordinal
  std::function<std::string()> getString;
  std::function<void(const std::string&)> setString;
  std::function<int64_t()> getInteger;
  std::function<void(int64_t)> setInteger;
};

// An object whose published properties the settings store can persist.
class IPersistent {
 public:
  virtual ~IPersistent() = default;
  virtual std::vector<PublishedProperty> GetPublishedProperties() = 0;
};

}  // namespace tagsmith
