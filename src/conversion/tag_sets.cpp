#include "conversion/tag_sets.h"

namespace tagsmith {

namespace {

template <typename Set, size_t N>
PublishedProperty DataProperty(Set& data, const std::array<const char*, N>& names) {
  PublishedProperty p;
  p.name = "Data";
  p.kind = PublishedProperty::Kind::Set;
  p.setElements.assign(names.begin(), names.end());
  p.getInteger = [&data] { return static_cast<int64_t>(data.Bits()); };
  p.setInteger = [&data](int64_t bits) { data = Set(static_cast<uint16_t>(bits)); };
  return p;
}

}  // namespace

std::vector<PublishedProperty> THTMLTagSetHolder::GetPublishedProperties() {
  return {DataProperty(Data, kHTMLTagTypeNames)};
}

std::vector<PublishedProperty> TBBCODETagSetHolder::GetPublishedProperties() {
  return {DataProperty(Data, kBBCODETagTypeNames)};
}

}  // namespace tagsmith
