#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "conversion/dialects.h"
#include "platform/errors.h"
#include "platform/folders.h"
#include "platform/persistent.h"
#include "platform/registry.h"
#include "platform/version.h"
#include "updates/signature.h"

namespace tagsmith {

// Failures of the settings store and the folder set: the store used before
// InitGlobalShare, a setting holding a value the system cannot use, an
// autostart entry that cannot be written, an installer that cannot be made
// executable. Registry failures arrive as ERegistryError.
class EGlobalShare : public Exception {
 public:
  using Exception::Exception;
};

// One value of the settings table: its path below the settings root and the
// default a reader gets when it is absent.
struct StringSetting {
  const char* name;
  const char* defaultValue;
};
struct FlagSetting {
  const char* name;
  bool defaultValue;
};
struct IntegerSetting {
  const char* name;
  int32_t defaultValue;
};

// The settings table: every value any part of the system reads or writes,
// all below kRoot in HKEY_CURRENT_USER. Nothing else names a setting or
// holds a host name.
namespace settings {

inline constexpr const char* kRoot = "Software\\Quorindo\\Tagsmith";

inline constexpr FlagSetting kLocalInstall{"LocalInstall", false};
inline constexpr StringSetting kInstallDir{"InstallDir", ""};
inline constexpr StringSetting kUILang{"UILang", "en"};
inline constexpr StringSetting kImageFormat{"ImageFormat", ""};
inline constexpr StringSetting kImageHosting{"ImageHosting", ""};
// The display labels of the two image hosts, ImageShack first: the settings
// dialog lists them and stores the chosen one in ImageHosting; the value
// equal to the second (case-sensitive) selects FastPic.
inline constexpr const char* kImageHostLabels[2] = {"ImageShack", "FastPic"};
inline constexpr FlagSetting kUpscaleImages{"UpscaleImages", true};
inline constexpr FlagSetting kEnableAntiHotlinking{"EnableAntiHotlinking", true};
inline constexpr FlagSetting kAutoUpdate{"AutoUpdate", true};

// The tag sets, read and written with ReadPersistent/WritePersistent: one
// flag per tag kind in the sub-key "Data" below these.
inline constexpr const char* kBBCodeTagSet = "bbcode";
inline constexpr const char* kHTMLTagSet = "html";

// The dialect of each output's code: the setting value of one of the
// output's dialects (DialectsOf), in any letter case; anything else reads as
// Classic (ReadDialects).
inline constexpr StringSetting kBBCodeDialect{"BBCodeDialect", "Classic"};
inline constexpr StringSetting kHTMLDialect{"HTMLDialect", "Classic"};

// Initial folders of the editor's file dialogs; an absent value means none
// (test with ValueExists).
inline constexpr StringSetting kOpenPictureInitDir{"OpenPictureInitDir", ""};
inline constexpr StringSetting kOpenRtfInitDir{"OpenRtfInitDir", ""};
inline constexpr StringSetting kSaveRtfInitDir{"SaveRtfInitDir", ""};

// Placement of the program's editor window. When absent the window keeps its
// own design-time placement, so readers test ValueExists; the defaults here
// are never meant to be used.
inline constexpr const char* kMainFormData = "MainFormData";
inline constexpr IntegerSetting kMainFormShowCmd{"MainFormData\\ShowCmd", 0};
inline constexpr IntegerSetting kMainFormFlags{"MainFormData\\Flags", 0};
inline constexpr IntegerSetting kMainFormPixelsPerInch{"MainFormData\\PixelsPerInch", 0};
inline constexpr StringSetting kMainFormMinMaxPos{"MainFormData\\MinMaxPos", ""};
inline constexpr StringSetting kMainFormNormPos{"MainFormData\\NormPos", ""};

// The update hand-off.
inline constexpr StringSetting kFileName{"FileName", ""};
// The base64 signature of the recorded installer, checked again before it is
// started (see updates/signature.h).
inline constexpr StringSetting kFileSig{"FileSig", ""};
inline constexpr FlagSetting kHasUpdate{"HasUpdate", false};
inline constexpr FlagSetting kRunn{"Runn", false};
inline constexpr FlagSetting kNoErr{"NoErr", true};
inline constexpr IntegerSetting kProgVer1{"ProgVer1", -1};
inline constexpr IntegerSetting kProgVer2{"ProgVer2", -1};
inline constexpr IntegerSetting kProgVer3{"ProgVer3", -1};
inline constexpr IntegerSetting kProgVer4{"ProgVer4", -1};

// The hosts the system talks to. ImageShackHost is a pattern with exactly
// one %d (the server number); read them with ReadImageShackHost,
// ReadFastPicHost and ReadUpdateHost, which check them.
inline constexpr StringSetting kImageShackHost{"ImageShackHost", "load%d.imageshack.us"};
inline constexpr StringSetting kFastPicHost{"FastPicHost", "fastpic.ru"};
inline constexpr StringSetting kUpdateHost{"UpdateHost", "www.quorindo.com"};

// Outside the root: the autostart entry, served by PlainRegistry.
inline constexpr const char* kRunKey = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";
inline constexpr const char* kRunValue = "Tagsmith";

}  // namespace settings

// The settings table as data, for tools that take setting names from users.
enum class SettingKind { String, Flag, Integer, Group };
struct SettingInfo {
  std::string name;         // path below the root, with backslashes
  SettingKind kind;
  std::string defaultText;  // as a reader gets it when absent; empty when none applies
};

// Every known value and group (the tag-set keys, "MainFormData"), including
// one flag per tag kind below "bbcode\Data" and "html\Data".
const std::vector<SettingInfo>& KnownSettings();
// The known setting at `path` (backslashes or slashes, any letter case), or
// nullptr.
const SettingInfo* FindSetting(std::string_view path);
// Why `text` cannot be stored in `setting`, or empty when it can: a flag must
// read as a flag, an integer as a 32-bit number, a host as a host name.
std::string SettingValueProblem(const SettingInfo& setting, std::string_view text);

// A flag's text: "TRUE", "YES", "Y" / "FALSE", "NO", "N" in any letter case,
// else a DWORD number (non-zero is true); nothing for any other text.
std::optional<bool> ParseFlag(std::string_view text);

// The settings store: values below a root key of HKEY_CURRENT_USER. A path
// may name a value in a sub-key ("MainFormData\NormPos"); writing creates the
// sub-keys. Nothing is cached, every write is stored at once. Reads never
// fail for absent or unreadable content (they give the default, as the table
// says); registry failures throw ERegistryError. Main thread only.
class SettingsStore {
 public:
  explicit SettingsStore(Registry& registry, std::string root = settings::kRoot);

  Registry& GetRegistry() const { return registry_; }
  const std::string& Root() const { return root_; }

  // A REG_DWORD reads as its signed decimal text.
  std::string ReadString(std::string_view path, const std::string& defaultValue);
  void WriteString(std::string_view path, std::string_view value);
  // Stored as REG_SZ "TRUE" or "FALSE"; read as ParseFlag says, with text
  // that is neither word nor number reading false.
  bool ReadFlag(std::string_view path, bool defaultValue);
  void WriteFlag(std::string_view path, bool value);
  // Stored as REG_DWORD; a REG_SZ holding a number reads as that number,
  // other text as the default.
  int32_t ReadInteger(std::string_view path, int32_t defaultValue);
  void WriteInteger(std::string_view path, int32_t value);
  bool ValueExists(std::string_view path);
  bool DeleteValue(std::string_view path);
  bool KeyExists(std::string_view path);
  bool DeleteKey(std::string_view path);

  // The object's published properties below the sub-key `path`: a simple
  // property as the value named like it, a Set property as a further sub-key
  // named like it with one flag per element. Reading leaves a property whose
  // value (or sub-key) is absent unchanged; a Set whose sub-key exists is
  // rebuilt from scratch, a missing element reading false. Writing stores
  // every property and element in one step, so no reader sees half of it.
  void ReadPersistent(std::string_view path, IPersistent& object);
  void WritePersistent(std::string_view path, IPersistent& object);

  // Every value below the root, with key paths relative to it.
  std::vector<RegistryEntry> ListValues();

  std::string Read(const StringSetting& s) { return ReadString(s.name, s.defaultValue); }
  bool Read(const FlagSetting& s) { return ReadFlag(s.name, s.defaultValue); }
  int32_t Read(const IntegerSetting& s) { return ReadInteger(s.name, s.defaultValue); }
  void Write(const StringSetting& s, std::string_view value) { WriteString(s.name, value); }
  void Write(const FlagSetting& s, bool value) { WriteFlag(s.name, value); }
  void Write(const IntegerSetting& s, int32_t value) { WriteInteger(s.name, value); }

 private:
  std::string KeyOf(std::string_view path) const;
  std::pair<std::string, std::string> Split(std::string_view path) const;

  Registry& registry_;
  std::string root_;
};

// The dialects the settings choose; a value naming no dialect of its output
// reads as Classic. Writing stores each dialect's setting value.
TDialectChoice ReadDialects(SettingsStore& store);
void WriteDialects(SettingsStore& store, const TDialectChoice& choice);

// The plain registry accessor for the one value outside the settings root,
// the autostart entry. The key settings::kRunKey is the XDG autostart folder
// ($XDG_CONFIG_HOME/autostart): its value NAME exists exactly when the file
// NAME.desktop exists (names compare without regard to case), writing the
// value (a command line such as "\"/opt/tagsmith/tagsmith\"") writes a desktop
// entry whose Exec= runs that command, deleting it removes the file. Any
// other key lies in the registry's HKEY_CURRENT_USER. Main thread only.
class PlainRegistry {
 public:
  explicit PlainRegistry(Registry& registry);

  // Opens a key below HKEY_CURRENT_USER, creating it when `canCreate`; false
  // when it does not exist and may not be created.
  bool OpenKey(std::string_view path, bool canCreate);
  void CloseKey();

  // These need an open key (EGlobalShare otherwise).
  bool ValueExists(std::string_view name);
  // Empty when absent.
  std::string ReadString(std::string_view name);
  void WriteString(std::string_view name, std::string_view value);
  bool DeleteValue(std::string_view name);

  static std::string AutostartDir();

 private:
  void RequireOpen() const;
  std::string FindAutostartFile(std::string_view name) const;

  Registry& registry_;
  std::string key_;
  bool open_ = false;
  bool autostart_ = false;
};

// The file name the module-name test compares with.
inline constexpr const char* kProgramFileName = "tagsmith";

// Opens the settings store and computes the folder set; the module path is
// the running executable (/proc/self/exe) unless given. A second call before
// DoneGlobalShare does nothing. Throws ERegistryError when the registry file
// cannot be used; nothing is then open.
void InitGlobalShare();
void InitGlobalShare(const std::string& modulePath);
// The same over the registry file `registryFile`; ":memory:" is a store that
// lives only as long as the process (what the program falls back to when the
// user's registry file cannot be used, so that it still starts).
void InitGlobalShare(const std::string& modulePath, const std::string& registryFile);
// Closes the store and clears the folder set, once for each InitGlobalShare.
void DoneGlobalShare();

// The open store (EGlobalShare before InitGlobalShare).
SettingsStore& GetSettingsStore();
PlainRegistry& GetPlainRegistry();

// The folder set, fixed by InitGlobalShare; none ends with "/".
bool IsLocalInstall();
std::string ProgramExePath();
std::string ProgramDir();
std::string LanguageDir();
std::string DataDir();
std::string AppDataDir();
std::string BannerDir();
std::string TempFilesDir();  // empty unless IsLocalInstall

// The full path of the running executable.
std::string CurrentModulePath();

// The hosts, checked: EGlobalShare names the setting when its value cannot
// be used (an ImageShackHost without exactly one %d, a host with blanks or
// slashes, an empty one).
std::string ReadImageShackHost();
std::string ReadFastPicHost();
std::string ReadUpdateHost();

// The installer hand-off, over GetSettingsStore().
TVer ReadProgVer();
// Records a downloaded installer whose signature was checked: "FileName",
// "FileSig" (the base64 signature), then "HasUpdate" true.
void StoreDownloadedUpdate(const std::string& fileName, const std::string& signature);
bool ReadHasUpdate();
bool ReadRunn();
bool ReadNoErr();
// Starts the recorded installer through GetShell() when its bytes still carry
// the signature of `key` recorded in "FileSig": made executable, with the
// arguments "/SP-", "/VERYSILENT", "/SUPPRESSMSGBOXES", "/dir=\"<ProgramDir>\""
// and "/pid=<process id>", each handed over as it is (no shell); does not
// wait. Returns true when it was started.
// When "FileName" is empty or names no file, "HasUpdate" is cleared and
// false returned, so that the next start is a normal one. An installer whose
// signature is missing or does not verify, or that cannot be made executable
// or started, is not run: "HasUpdate" is cleared and EGlobalShare (EShellError
// for a failed start) says why.
bool RunUpdateInstaller(const Ed25519PublicKey& key = MakerPublicKey());

// What the program's start-up does after the hand-off.
enum class StartupNext {
  End,          // "Runn" is set, or the waiting installer was started
  NormalStart,  // create the editor window and the data module
};
struct StartupHandOffResult {
  StartupNext next = StartupNext::NormalStart;
  // Why a waiting installer was not started (its signature, a failed start);
  // empty otherwise. The program shows it and starts normally.
  std::string problem;
};

// The first steps of the program's start-up, once InitGlobalShare has run:
// "Runn" true ends the program at once; otherwise a waiting update
// ("HasUpdate") runs RunUpdateInstaller, and the program ends when it started
// the installer; in every other case the normal start follows. Registry
// failures propagate as ERegistryError.
StartupHandOffResult RunStartupHandOff(const Ed25519PublicKey& key = MakerPublicKey());

}  // namespace tagsmith
