#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "platform/persistent.h"

namespace tagsmith {

// The HTML tag kinds; the ordinal is the bit of the kind in a THTMLTagSet.
enum THTMLTagType : uint8_t {
  httImage = 0,
  httFontName,
  httFontSize,
  httFontColor,
  httFontBkColor,
  httBold,
  httItalic,
  httUnderline,
  httStrikeout,
  httAlign,
  httBullets,  // no writer consults it
};

// The BBCode tag kinds.
enum TBBCODETagType : uint8_t {
  bttImage = 0,
  bttFontName,
  bttFontSize,
  bttFontColor,
  bttBold,
  bttItalic,
  bttUnderline,
  bttStrikeout,
  bttAlign,
  bttBullets,  // no writer consults it
};

inline constexpr std::array<const char*, 11> kHTMLTagTypeNames = {
    "httImage", "httFontName", "httFontSize", "httFontColor", "httFontBkColor", "httBold",
    "httItalic", "httUnderline", "httStrikeout", "httAlign", "httBullets"};
inline constexpr std::array<const char*, 10> kBBCODETagTypeNames = {
    "bttImage", "bttFontName", "bttFontSize", "bttFontColor", "bttBold",
    "bttItalic", "bttUnderline", "bttStrikeout", "bttAlign", "bttBullets"};

// A set of tag kinds held in 16 bits: bit i is set when kind i is enabled.
template <typename E, int Count>
class TagSet {
 public:
  static constexpr int kCount = Count;
  static constexpr uint16_t kAll = static_cast<uint16_t>((1u << Count) - 1);

  constexpr TagSet() = default;
  constexpr explicit TagSet(uint16_t bits) : bits_(bits & kAll) {}

  constexpr bool Contains(E kind) const { return (bits_ >> kind) & 1u; }
  constexpr void Include(E kind) { bits_ = static_cast<uint16_t>(bits_ | (1u << kind)); }
  constexpr void Exclude(E kind) { bits_ = static_cast<uint16_t>(bits_ & ~(1u << kind)); }
  constexpr uint16_t Bits() const { return bits_; }
  constexpr bool operator==(const TagSet&) const = default;

 private:
  uint16_t bits_ = 0;
};

using THTMLTagSet = TagSet<THTMLTagType, 11>;
using TBBCODETagSet = TagSet<TBBCODETagType, 10>;

// Holds the HTML tag kinds the writers may produce. Persistent through its one
// published property `Data` (a set stored as one flag per element).
class THTMLTagSetHolder : public IPersistent {
 public:
  static constexpr uint16_t kDefault = 0x03FF;  // everything but httBullets
  THTMLTagSetHolder() : Data(kDefault) {}
  std::vector<PublishedProperty> GetPublishedProperties() override;

  THTMLTagSet Data;
};

// Holds the BBCode tag kinds the writers may produce.
class TBBCODETagSetHolder : public IPersistent {
 public:
  // images, colour, bold, italic, underline, strikeout
  static constexpr uint16_t kDefault = 0x00F9;
  TBBCODETagSetHolder() : Data(kDefault) {}
  std::vector<PublishedProperty> GetPublishedProperties() override;

  TBBCODETagSet Data;
};

}  // namespace tagsmith
