#pragma once

// The banner storages: ZIP archives of advertisement pictures for one
// language each, kept in a storage folder, and the rotation of their pictures
// in the editor window's banner strip.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "localization/simple_translator.h"
#include "platform/errors.h"
#include "richtext/picture_decoder.h"
#include "updates/zip_reader.h"

namespace tagsmith {

// The component's own failures, with the system's messages ("Cant add
// storage!", "There are no banners with lang!", ...). Failures of the ZIP
// reader (EZipReader), of the XML reader (EXmlError) and of PNG decoding
// (EPictureError) keep their own classes and pass through every operation.
class EBannerStorages : public Exception {
 public:
  using Exception::Exception;
};

// Where the pictures are shown: the editor window's banner strip (100 pixels
// high, at least 500 wide), which draws each picture centred and unscaled
// with a hand cursor. The component calls it on the user-interface thread.
class IBanner {
 public:
  virtual ~IBanner() = default;
  // Shows `picture` (premultiplied 0xAARRGGBB, see picture_decoder.h) in
  // place of the previous one. The strip keeps its own copy.
  virtual void ShowPicture(const DecodedPicture& picture) = 0;
  // Shows nothing: the strip stays empty.
  virtual void ClearPicture() = 0;
  // Called when the user clicks the picture; an empty handler means a click
  // does nothing. The component resets it before it goes away.
  virtual void SetClickHandler(std::function<void()> handler) = 0;
};

// One picture of a storage: its archive entry (a PNG) and what a click opens.
struct TBannRec {
  std::string Name;
  std::string Url;
};

// The list of one storage file.
struct TStorageData {
  int32_t Ver = -1;                // -1 when "Ver" is missing or not an integer
  std::string Lang;                // at most two characters
  std::vector<TBannRec> Pictures;  // in the random order chosen when read
};

struct TStorageListItem {
  TStorageData Contents;
  std::string FileName;  // path of the storage file
};

// What a storage file may hold: its list and pictures are small, so an entry
// over 16 MiB is refused before it is unpacked.
inline constexpr TZipLimits kStorageZipLimits{4096, uint64_t(16) << 20, uint64_t(16) << 20};

// Keeps the storages of a storage folder, adds downloaded ones, removes
// obsolete ones and rotates the pictures of the current language in Banner.
//
// A storage file is "<StorageDir>/storage_<Lang>_<Ver>.bin", a ZIP archive
// with a "list.xml" (root "Banners" with "Ver" and "Lang", "Item" children
// with "Name" and "Url") and the PNG pictures it names. Language codes are
// compared exactly on their first two characters.
//
// Nothing is cached between pictures: each picture is read from its archive
// when it is shown. User-interface thread only; no lock.
class TBannerStorages {
 public:
  TBannerStorages() = default;
  // Takes the click handler back from Banner.
  ~TBannerStorages();
  TBannerStorages(const TBannerStorages&) = delete;
  TBannerStorages& operator=(const TBannerStorages&) = delete;

  // Where pictures are shown; none after creation (pictures are then still
  // read and decoded, and failures reported alike, but shown nowhere). The
  // banner must outlive the component or be replaced first; a replaced
  // banner gets its click handler reset.
  IBanner* Banner() const { return banner_; }
  void SetBanner(IBanner* banner);

  // Its current language selects the storages shown; without one, "en".
  TSimpleTranslator* Translator() const { return translator_; }
  void SetTranslator(TSimpleTranslator* translator) { translator_ = translator; }

  // The storage folder; empty after creation. A value that differs from the
  // current one and names an existing folder is taken and the folder is
  // loaded (ReloadStorages, which shows the first picture); when that throws,
  // StorageDir becomes empty again and the failure is passed on ("There are
  // no banners with lang!" for a folder without a storage of the current
  // language or "en"). Any other value is ignored.
  const std::string& StorageDir() const { return storageDir_; }
  void SetStorageDir(const std::string& folder);

  // Reads every "*.bin" file of StorageDir (regular files, the extension in
  // any letter case, in byte order of their names) into a fresh list, then
  // restarts the rotation. A file that is not a storage is skipped; any
  // other failure (a damaged archive, a list that is not XML) ends the reload
  // and is passed on, with the storages read until then in the list.
  void ReloadStorages();

  // Checks a downloaded storage file, copies it into StorageDir as
  // "storage_<Lang>_<Ver>.bin" (replacing a file of that name at once, so no
  // reader ever sees half of it) and appends it to the list; the rotation
  // position stays. Throws EBannerStorages "StorageDir does not specified!",
  // "File \"PATH\" does not exist!", or "Cant add storage!" when the file or
  // its copy is not a storage, its language cannot be part of a file name, or
  // the copy cannot be written. A copy this call made is deleted again on
  // any failure after it.
  void AddStorage(const std::string& fileName);

  // True when a loaded storage has the first two characters of `lang` and
  // exactly version `ver`.
  bool HasStorage(const std::string& lang, int32_t ver) const;

  // Deletes the files of the storages of `lang` (first two characters) whose
  // version is `oldVer` or lower and drops them from the list; the rotation
  // position stays. A file that is gone already counts as deleted. Throws
  // EBannerStorages "Cant delete banner!" when a file cannot be deleted; that
  // storage stays listed and the storages after it are not looked at.
  void RemoveOldStorages(int32_t oldVer, const std::string& lang);

  // Shows the next picture of the current language (the translator's, cut
  // to two characters; "en" when no storage has it): storage by storage in
  // list order, each storage's pictures in their shuffled order, the first
  // storage again after the last. When no storage of the language holds a
  // picture, the strip is emptied instead. Throws EBannerStorages "There are
  // no banners with lang!" when no storage has the language or "en"; when
  // the picture cannot be shown, the strip is emptied, the position has
  // moved on, and the failure is passed on.
  void ShowNextBanner();

  // Back to the first storage, before its first picture, then ShowNextBanner.
  void RestartRotation();

  // Decodes picture `pictureIndex` of storage `storageIndex` from its file
  // into `bitmap`. Throws EBannerStorages "Storage for assign does not
  // exist!" for a storage index out of range, "Picture for assign does not
  // exist!" for a picture index out of range, and "Target file is not a
  // valid storage file!" when the file is not a ZIP archive or lacks the
  // picture.
  void ShowBanner(int storageIndex, int pictureIndex, DecodedPicture& bitmap) const;

  // Opens a storage file and reads its list, shuffled afresh (the generator
  // seeded from the clock). Throws EBannerStorages "Target file is not a
  // valid storage file!" when the file is not a ZIP archive, has no
  // "list.xml" or the list's root is not "Banners"; EZipReader when the file
  // cannot be read or the archive is damaged; EXmlError when the list is not
  // XML.
  static TStorageData ReadStorageData(const std::string& fileName);
  // The same for an archive that is open already.
  static TStorageData ReadStorageData(const TZipReader& archive);
  // The picture named `name` of an open storage archive, decoded as a PNG.
  // Throws as ShowBanner does for a missing picture, EPictureError for one
  // that is not a good PNG.
  static DecodedPicture DecodeStoragePicture(const TZipReader& archive, const std::string& name);

  // The click handler set on Banner: opens the current picture's "Url"
  // through the shell, but only an http:// or https:// address; anything
  // else a storage names (a file, a program, another scheme) is ignored, as
  // is a click while no picture is shown. EShellError passes through.
  void BannerClick();

  // The loaded storages, and the rotation position: the current storage's
  // index and the current picture's index in it (-1 before its first).
  const std::vector<TStorageListItem>& Storages() const { return storages_; }
  int CurrentStorage() const { return currentStorage_; }
  int CurrentPicture() const { return currentPicture_; }

 private:
  void EmptyStrip();

  IBanner* banner_ = nullptr;
  TSimpleTranslator* translator_ = nullptr;
  std::string storageDir_;
  std::vector<TStorageListItem> storages_;
  int currentStorage_ = 0;
  int currentPicture_ = -1;
};

// Copies every regular file of `source` into `target` under the same name,
// replacing files there; one trailing "/" of each path is ignored. Whatever
// cannot be copied (folders, unreadable files, a missing source) is passed
// over without a message. A file is never copied onto itself.
void CopyFolderFiles(const std::string& source, const std::string& target);

}  // namespace tagsmith
