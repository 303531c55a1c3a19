#include "app/global_share.h"

#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <mutex>
#include <sstream>

#include <sys/stat.h>
#include <unistd.h>

#include "conversion/tag_sets.h"
#include "platform/shell.h"
#include "platform/strings.h"

namespace tagsmith {

namespace {

constexpr RegistryHive kHKCU = RegistryHive::CurrentUser;

std::string ToBackslashes(std::string_view path) {
  std::string out(path);
  for (char& c : out)
    if (c == '/') c = '\\';
  return NormalizeRegistryPath(out);
}

std::string SignedText(uint32_t dword) { return std::to_string(static_cast<int32_t>(dword)); }

std::string TextOf(const RegistryValue& v) {
  return v.type == RegistryType::DWord ? SignedText(v.dword) : v.text;
}

bool FlagOf(const RegistryValue& v) {
  if (v.type == RegistryType::DWord) return v.dword != 0;
  return ParseFlag(v.text).value_or(false);
}

std::optional<int32_t> IntegerOf(const RegistryValue& v) {
  if (v.type == RegistryType::DWord) return static_cast<int32_t>(v.dword);
  if (auto n = ParseDWord(v.text)) return static_cast<int32_t>(*n);
  return std::nullopt;
}

const RegistryEntry* FindEntry(const std::vector<RegistryEntry>& entries, std::string_view name) {
  for (const RegistryEntry& e : entries)
    if (EqualsIgnoreCase(e.name, name)) return &e;
  return nullptr;
}

std::string HostProblem(const std::string& name, std::string_view host) {
  if (host.empty()) return name + " is empty";
  for (char c : host)
    if (static_cast<unsigned char>(c) <= ' ' || c == '/' || c == '\\' || c == '?' || c == '#' || c == '@' ||
        c == '%')
      return FormatString("%s is not a host name: \"%.*s\"", name.c_str(), static_cast<int>(host.size()),
                          host.data());
  return {};
}

// The ImageShack host is formatted with the server number: exactly one %d
// and no other conversion, so formatting it can never read a missing argument.
std::string HostPatternProblem(const std::string& name, std::string_view pattern) {
  const size_t at = pattern.find("%d");
  if (at == std::string_view::npos || pattern.find('%', at + 2) != std::string_view::npos ||
      pattern.substr(0, at).find('%') != std::string_view::npos)
    return FormatString("%s must hold exactly one %%d and no other %%: \"%.*s\"", name.c_str(),
                        static_cast<int>(pattern.size()), pattern.data());
  if (!HostProblem(name, std::string(pattern.substr(0, at)) + "1" + std::string(pattern.substr(at + 2))).empty())
    return FormatString("%s is not a host name pattern: \"%.*s\"", name.c_str(), static_cast<int>(pattern.size()),
                        pattern.data());
  return {};
}

template <size_t N>
void AddTagSet(std::vector<SettingInfo>& out, const char* key, const std::array<const char*, N>& names,
               uint16_t defaults) {
  out.push_back({key, SettingKind::Group, ""});
  out.push_back({std::string(key) + "\\Data", SettingKind::Group, ""});
  for (size_t i = 0; i < N; ++i)
    out.push_back({std::string(key) + "\\Data\\" + names[i], SettingKind::Flag,
                   ((defaults >> i) & 1u) ? "TRUE" : "FALSE"});
}

SettingInfo Info(const StringSetting& s) { return {s.name, SettingKind::String, s.defaultValue}; }
SettingInfo Info(const FlagSetting& s) { return {s.name, SettingKind::Flag, s.defaultValue ? "TRUE" : "FALSE"}; }
SettingInfo Info(const IntegerSetting& s) { return {s.name, SettingKind::Integer, std::to_string(s.defaultValue)}; }

std::vector<SettingInfo> BuildKnownSettings() {
  using namespace settings;
  std::vector<SettingInfo> out = {
      Info(kLocalInstall), Info(kInstallDir), Info(kUILang), Info(kImageFormat), Info(kImageHosting),
      Info(kUpscaleImages), Info(kEnableAntiHotlinking), Info(kAutoUpdate), Info(kOpenPictureInitDir),
      Info(kOpenRtfInitDir), Info(kSaveRtfInitDir), Info(kFileName), Info(kFileSig), Info(kHasUpdate), Info(kRunn), Info(kNoErr),
      Info(kProgVer1), Info(kProgVer2), Info(kProgVer3), Info(kProgVer4), Info(kImageShackHost),
      Info(kFastPicHost), Info(kUpdateHost), Info(kBBCodeDialect), Info(kHTMLDialect)};
  out.push_back({kMainFormData, SettingKind::Group, ""});
  for (SettingInfo info : {Info(kMainFormShowCmd), Info(kMainFormFlags), Info(kMainFormPixelsPerInch),
                           Info(kMainFormMinMaxPos), Info(kMainFormNormPos)}) {
    info.defaultText.clear();  // the window's own placement
    out.push_back(std::move(info));
  }
  AddTagSet(out, kBBCodeTagSet, kBBCODETagTypeNames, TBBCODETagSetHolder::kDefault);
  AddTagSet(out, kHTMLTagSet, kHTMLTagTypeNames, THTMLTagSetHolder::kDefault);
  return out;
}

}  // namespace

const std::vector<SettingInfo>& KnownSettings() {
  static const std::vector<SettingInfo> known = BuildKnownSettings();
  return known;
}

const SettingInfo* FindSetting(std::string_view path) {
  const std::string wanted = ToBackslashes(path);
  for (const SettingInfo& s : KnownSettings())
    if (EqualsIgnoreCase(s.name, wanted)) return &s;
  return nullptr;
}

std::string SettingValueProblem(const SettingInfo& setting, std::string_view text) {
  const std::string quoted = FormatString("\"%.*s\"", static_cast<int>(text.size()), text.data());
  switch (setting.kind) {
    case SettingKind::Group:
      return setting.name + " is a group of settings, not a value";
    case SettingKind::Flag:
      if (!ParseFlag(text))
        return FormatString("%s is a flag; %s is not TRUE, FALSE, YES, NO, Y, N or a number", setting.name.c_str(),
                            quoted.c_str());
      return {};
    case SettingKind::Integer:
      if (!ParseDWord(text))
        return FormatString("%s is an integer; %s is not a 32-bit number", setting.name.c_str(), quoted.c_str());
      return {};
    case SettingKind::String:
      for (const auto& [dialectSetting, kind] : {std::pair{settings::kHTMLDialect, uint8_t(0)},
                                                 std::pair{settings::kBBCodeDialect, uint8_t(1)}}) {
        if (!EqualsIgnoreCase(setting.name, dialectSetting.name)) continue;
        const TDialect* d = FindDialect(text);
        if (d && (d->Id == mdClassic || d->OutputKind == kind)) return {};
        std::string names;
        const std::vector<const TDialect*> dialects = DialectsOf(kind);
        for (size_t i = 0; i < dialects.size(); ++i)
          names += std::string(i == 0 ? "" : i + 1 == dialects.size() ? " or " : ", ") + dialects[i]->SettingValue;
        return FormatString("%s is %s, not %s", setting.name.c_str(), names.c_str(), quoted.c_str());
      }
      if (EqualsIgnoreCase(setting.name, settings::kImageShackHost.name))
        return HostPatternProblem(setting.name, text);
      if (EqualsIgnoreCase(setting.name, settings::kFastPicHost.name) ||
          EqualsIgnoreCase(setting.name, settings::kUpdateHost.name))
        return HostProblem(setting.name, text);
      return {};
  }
  return {};
}

TDialectChoice ReadDialects(SettingsStore& store) {
  TDialectChoice choice;
  choice.Html = DialectOfSetting(store.Read(settings::kHTMLDialect), 0);
  choice.BBCode = DialectOfSetting(store.Read(settings::kBBCodeDialect), 1);
  return choice;
}

void WriteDialects(SettingsStore& store, const TDialectChoice& choice) {
  store.Write(settings::kHTMLDialect, DialectProfile(choice.Html).SettingValue);
  store.Write(settings::kBBCodeDialect, DialectProfile(choice.BBCode).SettingValue);
}

std::optional<bool> ParseFlag(std::string_view text) {
  for (const char* word : {"TRUE", "YES", "Y"})
    if (EqualsIgnoreCase(text, word)) return true;
  for (const char* word : {"FALSE", "NO", "N"})
    if (EqualsIgnoreCase(text, word)) return false;
  if (auto number = ParseDWord(text)) return *number != 0;
  return std::nullopt;
}

// ---------------------------------------------------------------- store

SettingsStore::SettingsStore(Registry& registry, std::string root)
    : registry_(registry), root_(NormalizeRegistryPath(root)) {}

std::string SettingsStore::KeyOf(std::string_view path) const {
  const std::string sub = NormalizeRegistryPath(path);
  if (sub.empty()) return root_;
  if (root_.empty()) return sub;
  return root_ + "\\" + sub;
}

std::pair<std::string, std::string> SettingsStore::Split(std::string_view path) const {
  const std::string p = NormalizeRegistryPath(path);
  const size_t slash = p.rfind('\\');
  if (slash == std::string::npos) return {root_, p};
  return {KeyOf(std::string_view(p).substr(0, slash)), p.substr(slash + 1)};
}

std::string SettingsStore::ReadString(std::string_view path, const std::string& defaultValue) {
  auto [key, name] = Split(path);
  auto v = registry_.ReadValue(kHKCU, key, name);
  return v ? TextOf(*v) : defaultValue;
}

void SettingsStore::WriteString(std::string_view path, std::string_view value) {
  auto [key, name] = Split(path);
  registry_.WriteString(kHKCU, key, name, value);
}

bool SettingsStore::ReadFlag(std::string_view path, bool defaultValue) {
  auto [key, name] = Split(path);
  auto v = registry_.ReadValue(kHKCU, key, name);
  return v ? FlagOf(*v) : defaultValue;
}

void SettingsStore::WriteFlag(std::string_view path, bool value) { WriteString(path, value ? "TRUE" : "FALSE"); }

int32_t SettingsStore::ReadInteger(std::string_view path, int32_t defaultValue) {
  auto [key, name] = Split(path);
  auto v = registry_.ReadValue(kHKCU, key, name);
  if (!v) return defaultValue;
  return IntegerOf(*v).value_or(defaultValue);
}

void SettingsStore::WriteInteger(std::string_view path, int32_t value) {
  auto [key, name] = Split(path);
  registry_.WriteDWord(kHKCU, key, name, static_cast<uint32_t>(value));
}

bool SettingsStore::ValueExists(std::string_view path) {
  auto [key, name] = Split(path);
  return registry_.ValueExists(kHKCU, key, name);
}

bool SettingsStore::DeleteValue(std::string_view path) {
  auto [key, name] = Split(path);
  return registry_.DeleteValue(kHKCU, key, name);
}

bool SettingsStore::KeyExists(std::string_view path) { return registry_.KeyExists(kHKCU, KeyOf(path)); }

bool SettingsStore::DeleteKey(std::string_view path) { return registry_.DeleteKey(kHKCU, KeyOf(path)); }

void SettingsStore::ReadPersistent(std::string_view path, IPersistent& object) {
  const std::string key = KeyOf(path);
  const auto simple = registry_.ReadKey(kHKCU, key);
  for (PublishedProperty& p : object.GetPublishedProperties()) {
    if (p.kind == PublishedProperty::Kind::Set) {
      const auto elements = registry_.ReadKey(kHKCU, key + "\\" + p.name);
      if (!elements) continue;
      int64_t bits = 0;
      for (size_t i = 0; i < p.setElements.size() && i < 63; ++i) {
        const RegistryEntry* e = FindEntry(*elements, p.setElements[i]);
        if (e != nullptr && FlagOf(e->value)) bits |= int64_t{1} << i;
      }
      p.setInteger(bits);
      continue;
    }
    if (!simple) continue;
    const RegistryEntry* e = FindEntry(*simple, p.name);
    if (e == nullptr) continue;
    switch (p.kind) {
      case PublishedProperty::Kind::String:
        p.setString(TextOf(e->value));
        break;
      case PublishedProperty::Kind::Integer:
        if (auto n = IntegerOf(e->value)) p.setInteger(*n);
        break;
      case PublishedProperty::Kind::Boolean:
        p.setInteger(FlagOf(e->value) ? 1 : 0);
        break;
      case PublishedProperty::Kind::Set:
        break;
    }
  }
}

void SettingsStore::WritePersistent(std::string_view path, IPersistent& object) {
  const std::string key = KeyOf(path);
  std::vector<RegistryEntry> entries;
  for (PublishedProperty& p : object.GetPublishedProperties()) {
    switch (p.kind) {
      case PublishedProperty::Kind::String:
        entries.push_back({key, p.name, RegistryValue::String(p.getString())});
        break;
      case PublishedProperty::Kind::Integer:
        entries.push_back({key, p.name, RegistryValue::DWord(static_cast<uint32_t>(p.getInteger()))});
        break;
      case PublishedProperty::Kind::Boolean:
        entries.push_back({key, p.name, RegistryValue::String(p.getInteger() != 0 ? "TRUE" : "FALSE")});
        break;
      case PublishedProperty::Kind::Set: {
        const int64_t bits = p.getInteger();
        for (size_t i = 0; i < p.setElements.size() && i < 63; ++i)
          entries.push_back({key + "\\" + p.name, p.setElements[i],
                             RegistryValue::String(((bits >> i) & 1) ? "TRUE" : "FALSE")});
        break;
      }
    }
  }
  registry_.WriteValues(kHKCU, entries);
}

std::vector<RegistryEntry> SettingsStore::ListValues() {
  std::vector<RegistryEntry> entries = registry_.ListValues(kHKCU, root_);
  for (RegistryEntry& e : entries)
    e.path = e.path.size() <= root_.size() ? std::string() : e.path.substr(root_.size() + 1);
  return entries;
}

// ---------------------------------------------------------------- autostart

namespace {

// A command line of the registry's kind: blanks separate arguments, double
// quotes group them and are dropped.
std::vector<std::string> SplitCommandLine(std::string_view line) {
  std::vector<std::string> args;
  std::string current;
  bool inQuotes = false, have = false;
  for (char c : line) {
    if (c == '"') {
      inQuotes = !inQuotes;
      have = true;
    } else if ((c == ' ' || c == '\t') && !inQuotes) {
      if (have) args.push_back(current);
      current.clear();
      have = false;
    } else {
      current.push_back(c);
      have = true;
    }
  }
  if (have) args.push_back(current);
  return args;
}

std::string JoinCommandLine(const std::vector<std::string>& args) {
  std::string line;
  for (const std::string& a : args) {
    if (!line.empty()) line.push_back(' ');
    line += "\"" + a + "\"";
  }
  return line;
}

// Desktop-entry string escapes, applied after the Exec quoting.
std::string EscapeDesktopString(std::string_view text) {
  std::string out;
  for (char c : text) {
    switch (c) {
      case '\\': out += "\\\\"; break;
      case '\n': out += "\\n"; break;
      case '\t': out += "\\t"; break;
      case '\r': out += "\\r"; break;
      default: out.push_back(c);
    }
  }
  return out;
}

std::string UnescapeDesktopString(std::string_view text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\\' || i + 1 == text.size()) {
      out.push_back(text[i]);
      continue;
    }
    switch (text[++i]) {
      case '\\': out.push_back('\\'); break;
      case 'n': out.push_back('\n'); break;
      case 't': out.push_back('\t'); break;
      case 'r': out.push_back('\r'); break;
      case 's': out.push_back(' '); break;
      default:
        out.push_back('\\');
        out.push_back(text[i]);
    }
  }
  return out;
}

// Every argument quoted, so blanks and reserved characters in paths are safe.
std::string ExecLine(const std::vector<std::string>& args) {
  std::string exec;
  for (const std::string& a : args) {
    if (!exec.empty()) exec.push_back(' ');
    exec.push_back('"');
    for (char c : a) {
      if (c == '"' || c == '`' || c == '$' || c == '\\') exec.push_back('\\');
      if (c == '%') exec.push_back('%');
      exec.push_back(c);
    }
    exec.push_back('"');
  }
  return EscapeDesktopString(exec);
}

std::vector<std::string> ExecArguments(std::string_view value) {
  const std::string exec = UnescapeDesktopString(value);
  std::vector<std::string> args;
  std::string current;
  bool inQuotes = false, have = false;
  for (size_t i = 0; i < exec.size(); ++i) {
    const char c = exec[i];
    if (inQuotes && c == '\\' && i + 1 < exec.size()) {
      current.push_back(exec[++i]);
    } else if (c == '"') {
      inQuotes = !inQuotes;
      have = true;
    } else if (c == '%' && i + 1 < exec.size() && exec[i + 1] == '%') {
      current.push_back('%');
      ++i;
      have = true;
    } else if ((c == ' ' || c == '\t') && !inQuotes) {
      if (have) args.push_back(current);
      current.clear();
      have = false;
    } else {
      current.push_back(c);
      have = true;
    }
  }
  if (have) args.push_back(current);
  return args;
}

void CheckEntryName(std::string_view name) {
  if (name.empty() || name == "." || name == ".." || name.find('/') != std::string_view::npos ||
      name.find('\0') != std::string_view::npos)
    throw EGlobalShare(FormatString("The autostart entry name \"%.*s\" cannot name a file",
                                    static_cast<int>(name.size()), name.data()));
}

}  // namespace

PlainRegistry::PlainRegistry(Registry& registry) : registry_(registry) {}

std::string PlainRegistry::AutostartDir() {
  const std::string config = ConfigDir();
  if (config.empty()) throw EGlobalShare("Cannot find the autostart folder: no home folder is known");
  return StripTrailingBackslash(config) + "/autostart";
}

bool PlainRegistry::OpenKey(std::string_view path, bool canCreate) {
  const std::string key = NormalizeRegistryPath(path);
  const bool autostart = EqualsIgnoreCase(key, settings::kRunKey);
  if (!autostart) {
    if (canCreate) registry_.CreateKey(kHKCU, key);
    else if (!registry_.KeyExists(kHKCU, key)) return false;
  }
  key_ = key;
  autostart_ = autostart;
  open_ = true;
  return true;
}

void PlainRegistry::CloseKey() {
  open_ = false;
  autostart_ = false;
  key_.clear();
}

void PlainRegistry::RequireOpen() const {
  if (!open_) throw EGlobalShare("No registry key is open");
}

std::string PlainRegistry::FindAutostartFile(std::string_view name) const {
  CheckEntryName(name);
  const std::string dir = AutostartDir();
  const std::string wanted = std::string(name) + ".desktop";
  std::error_code ec;
  if (std::filesystem::exists(dir + "/" + wanted, ec)) return dir + "/" + wanted;
  for (const auto& entry : std::filesystem::directory_iterator(dir, ec)) {
    const std::string file = entry.path().filename().string();
    if (EqualsIgnoreCase(file, wanted)) return entry.path().string();
  }
  return {};
}

bool PlainRegistry::ValueExists(std::string_view name) {
  RequireOpen();
  if (autostart_) return !FindAutostartFile(name).empty();
  return registry_.ValueExists(kHKCU, key_, name);
}

std::string PlainRegistry::ReadString(std::string_view name) {
  RequireOpen();
  if (!autostart_) {
    auto v = registry_.ReadValue(kHKCU, key_, name);
    return v ? TextOf(*v) : std::string();
  }
  const std::string file = FindAutostartFile(name);
  if (file.empty()) return {};
  std::ifstream in(file);
  std::string line;
  bool inEntry = false;
  while (std::getline(in, line)) {
    if (!line.empty() && line.front() == '[') inEntry = line == "[Desktop Entry]";
    else if (inEntry && line.rfind("Exec=", 0) == 0) return JoinCommandLine(ExecArguments(line.substr(5)));
  }
  return {};
}

void PlainRegistry::WriteString(std::string_view name, std::string_view value) {
  RequireOpen();
  if (!autostart_) {
    registry_.WriteString(kHKCU, key_, name, value);
    return;
  }
  const std::vector<std::string> args = SplitCommandLine(value);
  if (args.empty()) throw EGlobalShare("The autostart command is empty");
  const std::string dir = AutostartDir();
  std::string file = FindAutostartFile(name);
  if (file.empty()) file = dir + "/" + std::string(name) + ".desktop";
  if (const int err = CreatePrivateFolders(dir); err != 0)
    throw EGlobalShare(FormatString("Cannot write the autostart file %s: %s", file.c_str(), std::strerror(err)));

  std::ostringstream text;
  text << "[Desktop Entry]\n"
       << "Type=Application\n"
       << "Name=" << EscapeDesktopString(name) << "\n"
       << "Exec=" << ExecLine(args) << "\n"
       << "Terminal=false\n"
       << "X-GNOME-Autostart-enabled=true\n";
  // Written beside and renamed over, so a session never reads half an entry.
  const std::string temp = file + FormatString(".%d.tmp", static_cast<int>(getpid()));
  {
    std::ofstream out(temp, std::ios::binary | std::ios::trunc);
    out << text.str();
    out.close();
    if (!out) {
      const int err = errno;
      std::remove(temp.c_str());
      throw EGlobalShare(FormatString("Cannot write the autostart file %s: %s", file.c_str(), std::strerror(err)));
    }
  }
  if (std::rename(temp.c_str(), file.c_str()) != 0) {
    const int err = errno;
    std::remove(temp.c_str());
    throw EGlobalShare(FormatString("Cannot write the autostart file %s: %s", file.c_str(), std::strerror(err)));
  }
}

bool PlainRegistry::DeleteValue(std::string_view name) {
  RequireOpen();
  if (!autostart_) return registry_.DeleteValue(kHKCU, key_, name);
  const std::string file = FindAutostartFile(name);
  if (file.empty()) return false;
  if (std::remove(file.c_str()) != 0) {
    const int err = errno;
    throw EGlobalShare(FormatString("Cannot remove the autostart file %s: %s", file.c_str(), std::strerror(err)));
  }
  return true;
}

// ---------------------------------------------------------------- module state

namespace {

struct GlobalShare {
  std::mutex mutex;
  int initCount = 0;
  std::unique_ptr<Registry> registry;
  std::unique_ptr<SettingsStore> store;
  std::unique_ptr<PlainRegistry> plain;
  bool isLocalInstall = false;
  std::string programExePath, programDir, languageDir, dataDir, appDataDir, bannerDir, tempFilesDir;
};

GlobalShare& State() {
  static GlobalShare state;
  return state;
}

std::string Folder(std::string GlobalShare::*field) {
  GlobalShare& g = State();
  std::lock_guard lock(g.mutex);
  return g.*field;
}

}  // namespace

std::string CurrentModulePath() {
  std::error_code ec;
  const auto path = std::filesystem::read_symlink("/proc/self/exe", ec);
  return ec ? std::string() : path.string();
}

void InitGlobalShare() { InitGlobalShare(CurrentModulePath()); }

void InitGlobalShare(const std::string& modulePath) {
  {
    GlobalShare& g = State();
    std::lock_guard lock(g.mutex);
    if (g.initCount > 0) {
      ++g.initCount;
      return;
    }
  }
  InitGlobalShare(modulePath, Registry::DefaultFileName());
}

void InitGlobalShare(const std::string& modulePath, const std::string& registryFile) {
  GlobalShare& g = State();
  std::lock_guard lock(g.mutex);
  if (g.initCount > 0) {
    ++g.initCount;
    return;
  }
  auto registry = std::make_unique<Registry>(registryFile);
  auto store = std::make_unique<SettingsStore>(*registry);
  auto plain = std::make_unique<PlainRegistry>(*registry);

  g.isLocalInstall = store->Read(settings::kLocalInstall);
  const size_t slash = modulePath.rfind('/');
  const std::string moduleName = slash == std::string::npos ? modulePath : modulePath.substr(slash + 1);
  if (moduleName != kProgramFileName) {
    g.programDir = StripTrailingBackslash(store->Read(settings::kInstallDir));
    g.programExePath = g.programDir + "/" + kProgramFileName;
  } else {
    g.programExePath = modulePath;
    g.programDir = slash == std::string::npos ? std::string() : modulePath.substr(0, slash);
  }
  g.languageDir = g.programDir + "/Lang";
  g.appDataDir = StripTrailingBackslash(RoamingAppDataDir());
  g.dataDir = g.programDir + "/Data";
  if (g.isLocalInstall) {
    g.bannerDir = g.dataDir;
    g.tempFilesDir = g.programDir + "/TempFiles";
  } else {
    g.bannerDir = g.appDataDir + "/Quorindo/Tagsmith/BannData";
    g.tempFilesDir.clear();
  }
  g.registry = std::move(registry);
  g.store = std::move(store);
  g.plain = std::move(plain);
  g.initCount = 1;
}

void DoneGlobalShare() {
  GlobalShare& g = State();
  std::lock_guard lock(g.mutex);
  if (g.initCount == 0 || --g.initCount > 0) return;
  g.plain.reset();
  g.store.reset();
  g.registry.reset();
  g.isLocalInstall = false;
  for (std::string* s : {&g.programExePath, &g.programDir, &g.languageDir, &g.dataDir, &g.appDataDir,
                         &g.bannerDir, &g.tempFilesDir})
    s->clear();
}

SettingsStore& GetSettingsStore() {
  GlobalShare& g = State();
  std::lock_guard lock(g.mutex);
  if (!g.store) throw EGlobalShare("The settings store is not open");
  return *g.store;
}

PlainRegistry& GetPlainRegistry() {
  GlobalShare& g = State();
  std::lock_guard lock(g.mutex);
  if (!g.plain) throw EGlobalShare("The settings store is not open");
  return *g.plain;
}

bool IsLocalInstall() {
  GlobalShare& g = State();
  std::lock_guard lock(g.mutex);
  return g.isLocalInstall;
}

std::string ProgramExePath() { return Folder(&GlobalShare::programExePath); }
std::string ProgramDir() { return Folder(&GlobalShare::programDir); }
std::string LanguageDir() { return Folder(&GlobalShare::languageDir); }
std::string DataDir() { return Folder(&GlobalShare::dataDir); }
std::string AppDataDir() { return Folder(&GlobalShare::appDataDir); }
std::string BannerDir() { return Folder(&GlobalShare::bannerDir); }
std::string TempFilesDir() { return Folder(&GlobalShare::tempFilesDir); }

// ---------------------------------------------------------------- hosts and hand-off

namespace {

std::string CheckedHost(const StringSetting& setting) {
  const std::string value = GetSettingsStore().Read(setting);
  const std::string problem = SettingValueProblem(*FindSetting(setting.name), value);
  if (!problem.empty()) throw EGlobalShare("The setting " + problem);
  return value;
}

}  // namespace

std::string ReadImageShackHost() { return CheckedHost(settings::kImageShackHost); }
std::string ReadFastPicHost() { return CheckedHost(settings::kFastPicHost); }
std::string ReadUpdateHost() { return CheckedHost(settings::kUpdateHost); }

TVer ReadProgVer() {
  SettingsStore& store = GetSettingsStore();
  return {store.Read(settings::kProgVer1), store.Read(settings::kProgVer2), store.Read(settings::kProgVer3),
          store.Read(settings::kProgVer4)};
}

void StoreDownloadedUpdate(const std::string& fileName, const std::string& signature) {
  SettingsStore& store = GetSettingsStore();
  store.Write(settings::kFileName, fileName);
  store.Write(settings::kFileSig, signature);
  store.Write(settings::kHasUpdate, true);
}

bool ReadHasUpdate() { return GetSettingsStore().Read(settings::kHasUpdate); }
bool ReadRunn() { return GetSettingsStore().Read(settings::kRunn); }
bool ReadNoErr() { return GetSettingsStore().Read(settings::kNoErr); }

bool RunUpdateInstaller(const Ed25519PublicKey& key) {
  SettingsStore& store = GetSettingsStore();
  const std::string file = store.Read(settings::kFileName);
  struct stat st{};
  // With nothing to run, a waiting update would end every later start of the
  // program without starting anything; clear it so the next start is normal.
  if (file.empty() || stat(file.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) {
    store.Write(settings::kHasUpdate, false);
    return false;
  }
  try {
    // Checked again here: the file may have been swapped since it was
    // downloaded, and only the maker's own installer may run.
    const std::string problem = FileSignatureProblem(file, store.Read(settings::kFileSig), key);
    if (!problem.empty())
      throw EGlobalShare(FormatString("The installer %s was not started: %s", file.c_str(), problem.c_str()));
    if ((st.st_mode & S_IXUSR) == 0 && chmod(file.c_str(), (st.st_mode & 07777) | S_IXUSR) != 0) {
      const int err = errno;
      throw EGlobalShare(
          FormatString("Cannot make the installer %s executable: %s", file.c_str(), std::strerror(err)));
    }
    GetShell().StartProgram(file, {"/SP-", "/VERYSILENT", "/SUPPRESSMSGBOXES", "/dir=\"" + ProgramDir() + "\"",
                                   FormatString("/pid=%d", static_cast<int>(getpid()))});
  } catch (const Exception&) {
    store.Write(settings::kHasUpdate, false);
    throw;
  }
  return true;
}

StartupHandOffResult RunStartupHandOff(const Ed25519PublicKey& key) {
  if (ReadRunn()) return {StartupNext::End, {}};
  if (!ReadHasUpdate()) return {StartupNext::NormalStart, {}};
  try {
    if (RunUpdateInstaller(key)) return {StartupNext::End, {}};
  } catch (const EGlobalShare& e) {
    return {StartupNext::NormalStart, e.what()};
  } catch (const EShellError& e) {
    return {StartupNext::NormalStart, e.what()};
  }
  return {StartupNext::NormalStart, {}};
}

}  // namespace tagsmith
