#include "localization/simple_translator.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

#include "platform/strings.h"

namespace tagsmith {

namespace {

constexpr const char* kRootName = "TranslateData";

// The "Index" attribute as an integer, or nothing when it is absent or not a
// (32-bit, decimal) integer; such a line is ignored.
std::optional<int> ParseIndex(const std::optional<std::string>& value) {
  if (!value) return std::nullopt;
  return ParseInt32(*value);
}

// Blanks and control characters (every byte up to U+0020) at both ends.
std::string Trim(std::string s) {
  size_t b = 0;
  while (b < s.size() && static_cast<unsigned char>(s[b]) <= ' ') ++b;
  size_t e = s.size();
  while (e > b && static_cast<unsigned char>(s[e - 1]) <= ' ') --e;
  return s.substr(b, e - b);
}

// Builds a key's text from its "Line" children: each line is inserted into
// the line list at its "Index"; the lines are joined, each followed by CR LF,
// and the result trimmed.
//
// The list is never built by repeated insertion: a file of many lines all at
// Index 0 would take quadratic time. Every valid insert grows the list by
// one, so line i (counting valid lines) is in bounds exactly when its Index
// lies in [0, i]; and walking the lines backwards, each one takes the
// Index-th slot still free, which a Fenwick tree over the free slots finds in
// logarithmic time.
std::string BuildText(const XmlNode& text) {
  std::vector<std::pair<int, std::string>> lines;
  for (const XmlNode& line : text.Children()) {
    if (line.Name() != "Line") continue;
    std::optional<int> index = ParseIndex(line.Attribute("Index"));
    if (!index) continue;
    if (*index < 0 || static_cast<size_t>(*index) > lines.size())
      throw ESimpleTranslator(FormatString("List index out of bounds (%d)", *index));
    lines.emplace_back(*index, line.Text());
  }
  const size_t n = lines.size();
  if (n == 0) return std::string();

  // 1-based; node i counts the free slots of (i - lowbit(i), i], all free at first.
  std::vector<int> tree(n + 1);
  for (size_t i = 1; i <= n; ++i) tree[i] = static_cast<int>(i & (~i + 1));
  size_t topBit = 1;
  while (topBit * 2 <= n) topBit *= 2;
  std::vector<size_t> slotOf(n);
  for (size_t k = n; k-- > 0;) {
    // The 0-based slot holding the (Index + 1)-th free position.
    int remaining = lines[k].first + 1;
    size_t pos = 0;
    for (size_t step = topBit; step; step /= 2) {
      if (pos + step <= n && tree[pos + step] < remaining) {
        pos += step;
        remaining -= tree[pos];
      }
    }
    slotOf[k] = pos;  // slot pos + 1 (1-based) is the one
    for (size_t i = pos + 1; i <= n; i += i & (~i + 1)) tree[i] -= 1;
  }
  std::vector<const std::string*> ordered(n);
  size_t total = 0;
  for (size_t k = 0; k < n; ++k) {
    ordered[slotOf[k]] = &lines[k].second;
    total += lines[k].second.size() + 2;
  }
  std::string joined;
  joined.reserve(total);
  for (const std::string* line : ordered) {
    joined += *line;
    joined += "\r\n";
  }
  return Trim(std::move(joined));
}

std::string JoinPath(const std::string& folder, const std::string& name) {
  if (!folder.empty() && folder.back() == '/') return folder + name;
  return folder + "/" + name;
}

bool HasXmlExtension(const std::string& name) {
  return name.size() >= 4 && EqualsIgnoreCase(std::string_view(name).substr(name.size() - 4), ".xml");
}

}  // namespace

void TSimpleTranslator::SetLangDir(const std::string& folder) {
  if (folder == langDir_) return;
  if (ScanLangDir(folder)) {
    langDir_ = folder;
  } else {
    ScanLangDir(langDir_);
  }
}

std::string TSimpleTranslator::CurrLang() const {
  if (currentIndex_ < 0 || static_cast<size_t>(currentIndex_) >= languages_.size()) return std::string();
  return languages_[static_cast<size_t>(currentIndex_)].first;
}

void TSimpleTranslator::SetCurrLang(const std::string& code) {
  const int index = FindLang(code);
  if (index < 0 || index == currentIndex_) return;
  document_ = XmlDocument::LoadFile(languages_[static_cast<size_t>(index)].second.FileName);
  currentIndex_ = index;
}

int TSimpleTranslator::FindLang(const std::string& code) const {
  for (size_t i = 0; i < languages_.size(); ++i)
    if (EqualsIgnoreCase(languages_[i].first, code)) return static_cast<int>(i);
  return -1;
}

TTranslationEntry& TSimpleTranslator::EntryFor(const std::string& key, TTargetKind kind) {
  auto [it, added] = registry_.try_emplace(AsciiLower(key));
  if (added) {
    it->second.Kind = kind;
  } else if (it->second.Kind != kind) {
    // A key holds one kind of target; a second kind would never be written.
    throw ESimpleTranslator(FormatString(
        "Translation key \"%s\" takes %s targets", key.c_str(),
        it->second.Kind == tkVariable ? "string-variable" : "property"));
  }
  return it->second;
}

void TSimpleTranslator::AddStringTarget(const std::string& key, std::string* variable) {
  if (!variable) throw ESimpleTranslator(FormatString("Translation key \"%s\": no variable given", key.c_str()));
  EntryFor(key, tkVariable).Variables.push_back(variable);
}

void TSimpleTranslator::AddPropertyTarget(IPropertyTarget* instance, const std::string& key,
                                          const std::string& propName) {
  if (!instance) throw ESimpleTranslator(FormatString("Translation key \"%s\": no object given", key.c_str()));
  EntryFor(key, tkProperty).Objects.push_back(TObjRecord{instance, propName});
}

void TSimpleTranslator::GetLanguages(std::vector<std::string>& lines) const {
  lines.clear();
  lines.reserve(languages_.size());
  for (const auto& [code, rec] : languages_) lines.push_back(code + "=" + rec.ViewLang);
}

void TSimpleTranslator::Translate() {
  if (!document_) return;
  const XmlNode root = document_->Root();
  if (root.Name() != kRootName) return;
  for (const XmlNode& text : root.Children()) {
    if (text.Name() != "Text") continue;
    const std::string value = BuildText(text);
    auto it = registry_.find(AsciiLower(text.Attribute("Name").value_or("")));
    if (it == registry_.end()) continue;
    const TTranslationEntry& entry = it->second;
    if (entry.Kind == tkVariable) {
      for (std::string* variable : entry.Variables) *variable = value;
    } else {
      for (const TObjRecord& target : entry.Objects)
        if (!target.Instance->SetStringProperty(target.PropName, value)) break;
    }
  }
}

bool TSimpleTranslator::ScanLangDir(const std::string& folder) {
  namespace fs = std::filesystem;
  std::error_code ec;
  if (folder.empty() || !fs::is_directory(folder, ec)) return false;

  std::vector<std::string> names;
  fs::directory_iterator it(folder, ec);
  if (ec) return false;
  for (const fs::directory_iterator end; it != end; it.increment(ec)) {
    const std::string name = it->path().filename().string();
    std::error_code typeError;
    if (HasXmlExtension(name) && it->is_regular_file(typeError)) names.push_back(name);
  }
  if (ec) return false;
  std::sort(names.begin(), names.end());

  LangList found;
  for (const std::string& name : names) {
    TLangRec rec;
    rec.FileName = JoinPath(folder, name);
    std::string code;
    if (ReadLangFileHeader(rec.FileName, code, rec.ViewLang)) found.emplace_back(code, std::move(rec));
  }

  // The current language survives a rescan that lists its file again (the
  // same folder read once more); otherwise none is current until CurrLang is
  // set, rather than an index that now points at another language.
  int current = -1;
  if (currentIndex_ >= 0 && static_cast<size_t>(currentIndex_) < languages_.size()) {
    // Named references rather than a structured binding, which clang 14
    // cannot capture in the lambda.
    const std::string& code = languages_[static_cast<size_t>(currentIndex_)].first;
    const TLangRec& rec = languages_[static_cast<size_t>(currentIndex_)].second;
    auto match = std::find_if(found.begin(), found.end(),
                              [&](const auto& lang) { return EqualsIgnoreCase(lang.first, code); });
    if (match != found.end() && match->second.FileName == rec.FileName)
      current = static_cast<int>(match - found.begin());
  }
  languages_ = std::move(found);
  currentIndex_ = current;
  return true;
}

bool TSimpleTranslator::ReadLangFileHeader(const std::string& fileName, std::string& code,
                                           std::string& viewLang) {
  const XmlDocument doc = XmlDocument::LoadFile(fileName);
  const XmlNode root = doc.Root();
  if (root.Name() != kRootName) return false;
  code = root.Attribute("Lang").value_or("");
  viewLang = root.Attribute("ViewLang").value_or("");
  return true;
}

}  // namespace tagsmith
