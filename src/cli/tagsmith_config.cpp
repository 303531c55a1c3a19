// tagsmith-config: the settings store from the shell, in the manner of
// git config. Exit status 0 on success, 1 for a failed command (unknown
// setting, bad value, value not set, unusable registry file), 2 for a
// command line that cannot be understood.

#include <algorithm>
#include <cstdio>
#include <functional>
#include <iostream>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/global_share.h"
#include "conversion/tag_sets.h"
#include "platform/strings.h"

namespace tagsmith {
namespace {

constexpr const char* kUsage =
    "usage: tagsmith-config list\n"
    "       tagsmith-config get NAME\n"
    "       tagsmith-config set [--flag | --int | --string] NAME VALUE\n"
    "       tagsmith-config unset NAME\n"
    "       tagsmith-config handoff\n"
    "\n"
    "Reads and writes the settings of Tagsmith in its registry file\n"
    "($XDG_CONFIG_HOME/Quorindo/registry.sqlite3, HKEY_CURRENT_USER\\Software\\Quorindo\\Tagsmith).\n"
    "\n"
    "  list            every stored setting as NAME=VALUE; a stored tag set\n"
    "                  with every tag kind as the program reads it\n"
    "  get NAME        the stored value; status 1 when it is not set\n"
    "  set NAME VALUE  stores the value in the setting's kind: a flag as TRUE or\n"
    "                  FALSE (given as TRUE, FALSE, YES, NO, Y, N or a number),\n"
    "                  an integer as a 32-bit number, anything else as text;\n"
    "                  --flag, --int or --string insist on that kind\n"
    "  unset NAME      removes the value, or a whole group (bbcode, html,\n"
    "                  MainFormData), so that the program uses its defaults\n"
    "  handoff         the values of the update hand-off, as the program reads\n"
    "                  them (\"unset HasUpdate\" gives a normal start again)\n"
    "\n"
    "NAME is a path below the settings root, with slashes or backslashes, in any\n"
    "letter case: UILang, UpscaleImages, bbcode/Data/bttBold.\n"
    "\n"
    "A tag set (bbcode/Data, html/Data) is stored whole, one flag per tag kind;\n"
    "once it is stored, a kind without a value is off. Setting one kind stores\n"
    "the whole set with that kind changed (the others as the program used them),\n"
    "unsetting one kind stores it with that kind back at its default.\n";

struct UsageError {
  std::string message;
};
struct CommandError {
  std::string message;
};

std::string Display(std::string name) {
  for (char& c : name)
    if (c == '\\') c = '/';
  return name;
}

const char* KindName(SettingKind kind) {
  switch (kind) {
    case SettingKind::String: return "a string";
    case SettingKind::Flag: return "a flag";
    case SettingKind::Integer: return "an integer";
    case SettingKind::Group: return "a group of settings";
  }
  return "";
}

const SettingInfo& Known(const std::string& name) {
  const SettingInfo* info = FindSetting(name);
  if (info == nullptr) throw CommandError{"unknown setting \"" + name + "\""};
  return *info;
}

// A tag set as the program keeps it: the holder it is read into and written
// from, so that this tool reads and writes a set exactly as the program and
// its settings dialog do.
struct TagSetInfo {
  std::string key;  // the holder's key below the root; the set is its sub-key "Data"
  std::function<std::unique_ptr<IPersistent>()> makeHolder;
};

const std::vector<TagSetInfo>& TagSets() {
  static const std::vector<TagSetInfo> sets = {
      {settings::kBBCodeTagSet, [] { return std::make_unique<TBBCODETagSetHolder>(); }},
      {settings::kHTMLTagSet, [] { return std::make_unique<THTMLTagSetHolder>(); }},
  };
  return sets;
}

std::string DataKey(const TagSetInfo& set) { return set.key + "\\Data"; }

// The holder's one Set property.
PublishedProperty DataProperty(IPersistent& holder) {
  for (PublishedProperty& p : holder.GetPublishedProperties())
    if (p.kind == PublishedProperty::Kind::Set) return p;
  throw CommandError{"a tag-set holder without its set"};
}

// A tag set's bits and kind names as the program reads them: its defaults
// while the set is not stored.
struct TagSetValue {
  int64_t bits = 0;
  int64_t defaults = 0;
  std::vector<std::string> kinds;
};

TagSetValue ReadTagSet(SettingsStore& store, const TagSetInfo& set) {
  std::unique_ptr<IPersistent> holder = set.makeHolder();
  TagSetValue value;
  const PublishedProperty data = DataProperty(*holder);
  value.defaults = data.getInteger();
  value.kinds = data.setElements;
  store.ReadPersistent(set.key, *holder);
  value.bits = DataProperty(*holder).getInteger();
  return value;
}

// Stores the whole set, every kind, in one step.
void WriteTagSet(SettingsStore& store, const TagSetInfo& set, int64_t bits) {
  std::unique_ptr<IPersistent> holder = set.makeHolder();
  DataProperty(*holder).setInteger(bits);
  store.WritePersistent(set.key, *holder);
}

// The tag set and kind a known setting names, when it is one tag kind.
struct TagKind {
  const TagSetInfo* set = nullptr;
  size_t bit = 0;
};

std::optional<TagKind> TagKindOf(const SettingInfo& info) {
  for (const TagSetInfo& set : TagSets()) {
    const std::string prefix = DataKey(set) + "\\";
    const std::string_view name = info.name;
    if (name.size() <= prefix.size() || !EqualsIgnoreCase(name.substr(0, prefix.size()), prefix)) continue;
    const std::string kind = info.name.substr(prefix.size());
    std::unique_ptr<IPersistent> holder = set.makeHolder();
    const std::vector<std::string> kinds = DataProperty(*holder).setElements;
    for (size_t i = 0; i < kinds.size(); ++i)
      if (EqualsIgnoreCase(kinds[i], kind)) return TagKind{&set, i};
  }
  return std::nullopt;
}

// The registry's order of key paths: ASCII letters without regard to case.
bool PathBefore(const std::string& a, const std::string& b) {
  return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
    auto fold = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
    return static_cast<unsigned char>(fold(x)) < static_cast<unsigned char>(fold(y));
  });
}

void List(SettingsStore& store) {
  struct Line {
    std::string path, name, value;
  };
  std::vector<Line> lines;
  auto inTagSet = [](const std::string& path) {
    for (const TagSetInfo& set : TagSets())
      if (EqualsIgnoreCase(path, DataKey(set))) return true;
    return false;
  };
  for (const RegistryEntry& e : store.ListValues()) {
    // A stored tag set is listed whole below, as the program reads it.
    if (inTagSet(e.path)) continue;
    lines.push_back({e.path, e.name,
                     e.value.type == RegistryType::DWord ? std::to_string(static_cast<int32_t>(e.value.dword))
                                                         : e.value.text});
  }
  for (const TagSetInfo& set : TagSets()) {
    if (!store.KeyExists(DataKey(set))) continue;
    const TagSetValue value = ReadTagSet(store, set);
    for (size_t i = 0; i < value.kinds.size(); ++i)
      lines.push_back({DataKey(set), value.kinds[i], ((value.bits >> i) & 1) ? "TRUE" : "FALSE"});
  }
  std::stable_sort(lines.begin(), lines.end(),
                   [](const Line& a, const Line& b) { return PathBefore(a.path, b.path); });
  for (const Line& l : lines)
    std::cout << Display(l.path.empty() ? l.name : l.path + "\\" + l.name) << "=" << l.value << "\n";
}

void Get(SettingsStore& store, const std::string& name) {
  const SettingInfo& info = Known(name);
  if (info.kind == SettingKind::Group)
    throw CommandError{Display(info.name) + " is a group of settings; name one of its values"};
  if (const std::optional<TagKind> tag = TagKindOf(info)) {
    // Once the set is stored, a kind without a value is off, whatever its
    // default.
    const bool stored = store.KeyExists(DataKey(*tag->set));
    const TagSetValue value = ReadTagSet(store, *tag->set);
    const bool on = (value.bits >> tag->bit) & 1;
    if (!store.ValueExists(info.name))
      throw CommandError{Display(info.name) + " is not set (the program uses " + (on ? "TRUE" : "FALSE") +
                         (stored ? ", as the stored tag set has no value for it)" : ")")};
    std::cout << (on ? "TRUE" : "FALSE") << "\n";
    return;
  }
  if (!store.ValueExists(info.name)) {
    std::string message = Display(info.name) + " is not set";
    if (!info.defaultText.empty()) message += " (the program uses " + info.defaultText + ")";
    throw CommandError{message};
  }
  std::cout << store.ReadString(info.name, "") << "\n";
}

void Set(SettingsStore& store, const std::vector<std::string>& args) {
  std::optional<SettingKind> wanted;
  std::vector<std::string> operands;
  bool options = true;
  for (const std::string& a : args) {
    if (options && a == "--") options = false;
    else if (options && a == "--flag") wanted = SettingKind::Flag;
    else if (options && a == "--int") wanted = SettingKind::Integer;
    else if (options && a == "--string") wanted = SettingKind::String;
    else if (options && a.size() > 1 && a[0] == '-' && a[1] == '-') throw UsageError{"unknown option " + a};
    else operands.push_back(a);
  }
  if (operands.size() != 2) throw UsageError{"set takes NAME and VALUE"};
  const SettingInfo& info = Known(operands[0]);
  const std::string& value = operands[1];
  if (info.kind == SettingKind::Group)
    throw CommandError{Display(info.name) + " is a group of settings; name one of its values"};
  if (wanted && *wanted != info.kind)
    throw CommandError{Display(info.name) + " is " + KindName(info.kind) + ", not " + KindName(*wanted)};
  SettingInfo shown = info;
  shown.name = Display(info.name);
  if (const std::string problem = SettingValueProblem(shown, value); !problem.empty()) throw CommandError{problem};
  if (const std::optional<TagKind> tag = TagKindOf(info)) {
    // The whole set, with this one kind changed.
    int64_t bits = ReadTagSet(store, *tag->set).bits;
    if (*ParseFlag(value)) bits |= int64_t{1} << tag->bit;
    else bits &= ~(int64_t{1} << tag->bit);
    WriteTagSet(store, *tag->set, bits);
    return;
  }
  switch (info.kind) {
    case SettingKind::Flag:
      store.WriteFlag(info.name, *ParseFlag(value));
      break;
    case SettingKind::Integer:
      store.WriteInteger(info.name, static_cast<int32_t>(*ParseDWord(value)));
      break;
    default:
      store.WriteString(info.name, value);
  }
}

// The values the update hand-off keeps between program runs, with what each
// does, for the handoff command.
struct HandOffValue {
  const char* name;
  const char* meaning;
};
constexpr HandOffValue kHandOffValues[] = {
    {"HasUpdate", "a downloaded installer waits; the next start runs it and ends"},
    {"FileName", "the waiting installer"},
    {"FileSig", "its signature, checked again before it runs"},
    {"Runn", "TRUE: the program ends at once when started"},
    {"NoErr", "FALSE: no update check at start, and no periodic checks"},
    {"ProgVer1", "the installed version, most significant part"},
    {"ProgVer2", "the installed version, second part"},
    {"ProgVer3", "the installed version, third part"},
    {"ProgVer4", "the installed version, least significant part"},
};

void HandOff(SettingsStore& store) {
  for (const HandOffValue& v : kHandOffValues) {
    const SettingInfo& info = Known(v.name);
    const bool stored = store.ValueExists(info.name);
    const std::string value = stored ? store.ReadString(info.name, "") : info.defaultText;
    std::cout << info.name << "=" << value << (stored ? "" : " (not set)") << "\t# " << v.meaning << "\n";
  }
}

void Unset(SettingsStore& store, const std::string& name) {
  const SettingInfo& info = Known(name);
  if (const std::optional<TagKind> tag = TagKindOf(info)) {
    // Without a stored set every kind has its default already; otherwise the
    // set stays whole, with this kind back at its default.
    if (!store.KeyExists(DataKey(*tag->set))) return;
    const TagSetValue value = ReadTagSet(store, *tag->set);
    const int64_t mask = int64_t{1} << tag->bit;
    WriteTagSet(store, *tag->set, (value.bits & ~mask) | (value.defaults & mask));
    return;
  }
  if (info.kind == SettingKind::Group) store.DeleteKey(info.name);
  else store.DeleteValue(info.name);
}

int Run(const std::vector<std::string>& args) {
  if (args.empty()) throw UsageError{"no command given"};
  const std::string& command = args[0];
  if (command == "--help" || command == "-h" || command == "help") {
    std::cout << kUsage;
    return 0;
  }
  const std::vector<std::string> rest(args.begin() + 1, args.end());
  if (command != "list" && command != "get" && command != "set" && command != "unset" && command != "handoff")
    throw UsageError{"unknown command " + command};
  if (command == "handoff" && !rest.empty()) throw UsageError{"handoff takes no arguments"};
  if ((command == "list" && !rest.empty()) || ((command == "get" || command == "unset") && rest.size() != 1))
    throw UsageError{command == "list" ? "list takes no arguments" : command + " takes one NAME"};

  Registry registry(Registry::DefaultFileName());
  SettingsStore store(registry);
  if (command == "list") List(store);
  else if (command == "get") Get(store, rest[0]);
  else if (command == "set") Set(store, rest);
  else if (command == "handoff") HandOff(store);
  else Unset(store, rest[0]);
  return 0;
}

}  // namespace
}  // namespace tagsmith

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  try {
    return tagsmith::Run(args);
  } catch (const tagsmith::UsageError& e) {
    std::cerr << "tagsmith-config: " << e.message << "\n\n" << tagsmith::kUsage;
    return 2;
  } catch (const tagsmith::CommandError& e) {
    std::cerr << "tagsmith-config: " << e.message << "\n";
    return 1;
  } catch (const std::exception& e) {
    std::cerr << "tagsmith-config: " << e.what() << "\n";
    return 1;
  }
}
