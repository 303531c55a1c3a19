#pragma once

#include <optional>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "localization/translation_keys.h"
#include "platform/errors.h"
#include "platform/xml.h"

namespace tagsmith {

// The translator's own failures: a "Line" whose "Index" lies beyond the lines
// collected so far ("List index out of bounds (%d)"), a registration that does
// not fit its key, a count text that cannot be formatted. A language file that
// is not well-formed XML raises the XML reader's EXmlError instead.
class ESimpleTranslator : public Exception {
 public:
  using Exception::Exception;
};

// An object whose named string properties ("Caption", "Hint", ...) the
// translator sets. The UI's widgets plug in through a small adapter.
class IPropertyTarget {
 public:
  virtual ~IPropertyTarget() = default;
  // Sets the property; returns false, changing nothing, when the object has
  // no string property of that name.
  virtual bool SetStringProperty(const std::string& name, const std::string& value) = 0;
};

// A property target: the object and the name of one of its string properties.
struct TObjRecord {
  IPropertyTarget* Instance = nullptr;
  std::string PropName;
};

// The targets of one key. `Kind` is fixed by the key's first registration;
// only the list of that kind is used.
struct TTranslationEntry {
  TTargetKind Kind = tkVariable;
  std::vector<std::string*> Variables;  // kind 0, in registration order
  std::vector<TObjRecord> Objects;      // kind 1, in registration order
};

// One installed language: its display name and the full path of its file.
struct TLangRec {
  std::string ViewLang;
  std::string FileName;
};

// Lists the language files of a folder, loads the file of the current
// language and writes its texts into registered targets. Keys and language
// codes are compared without regard to ASCII letter case. Texts are UTF-8.
//
// User-interface thread only. Registered variables and objects are owned by
// the registering code and must outlive the translator (or its last
// Translate).
class TSimpleTranslator {
 public:
  TSimpleTranslator() = default;
  TSimpleTranslator(const TSimpleTranslator&) = delete;
  TSimpleTranslator& operator=(const TSimpleTranslator&) = delete;

  // The folder of the language files; empty after creation.
  const std::string& LangDir() const { return langDir_; }
  // When `folder` differs (case-sensitive) from the current value it is
  // scanned; on success it becomes the value, otherwise the old folder is
  // scanned again and the value is kept. A folder that does not exist
  // therefore leaves the old folder and its list in place. Errors of
  // ScanLangDir propagate and leave value and list unchanged.
  void SetLangDir(const std::string& folder);

  // The code of the current language as its file gives it; empty while no
  // language is current.
  std::string CurrLang() const;
  // Makes the first language whose code matches `code` current and loads its
  // file. An unknown code, or the language already current, changes nothing
  // (the file is not read again). Does not translate. A file that can no
  // longer be read as XML throws EXmlError and leaves the current language.
  void SetCurrLang(const std::string& code);

  // Registers a string variable under `key`. A new key takes string-variable
  // targets; registering a variable under a key that takes property targets
  // (or a null variable) throws ESimpleTranslator.
  void AddStringTarget(const std::string& key, std::string* variable);
  // Registers (`instance`, `propName`) under `key`. A new key takes property
  // targets; the mismatch and a null instance throw ESimpleTranslator.
  void AddPropertyTarget(IPropertyTarget* instance, const std::string& key,
                         const std::string& propName);

  // Replaces `lines` with one "code=ViewLang" line per language, in the
  // order the files were found.
  void GetLanguages(std::vector<std::string>& lines) const;

  // Writes the texts of the loaded language file into the registered
  // targets, "Text" by "Text" in document order. Keys the file lacks leave
  // their targets as they are; a property that cannot be set skips the
  // remaining targets of its key. Throws ESimpleTranslator
  // "List index out of bounds (N)" for a "Line" whose "Index" N lies beyond
  // the key's lines so far; the texts written before it stay written.
  void Translate();

  // Replaces the language list with the "*.xml" files of `folder` (the
  // extension in any letter case; regular files only, in byte order of their
  // names) whose root is "TranslateData". Returns false, changing nothing,
  // when `folder` is not an existing folder. A file that cannot be read as
  // XML throws EXmlError naming the file and line; the list then stays as it
  // was. The current language stays current when its file is listed again.
  bool ScanLangDir(const std::string& folder);

  // Reads a language file's header: true with the root's "Lang" and
  // "ViewLang" (empty when absent) when the root is named "TranslateData",
  // false otherwise. Throws EXmlError when the file cannot be read as XML.
  static bool ReadLangFileHeader(const std::string& fileName, std::string& code,
                                 std::string& viewLang);

 private:
  using LangList = std::vector<std::pair<std::string, TLangRec>>;

  TTranslationEntry& EntryFor(const std::string& key, TTargetKind kind);
  int FindLang(const std::string& code) const;

  std::string langDir_;
  std::optional<XmlDocument> document_;
  std::unordered_map<std::string, TTranslationEntry> registry_;  // by lower-case key
  LangList languages_;                                            // code, record
  int currentIndex_ = -1;
};

}  // namespace tagsmith
