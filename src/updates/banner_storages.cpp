#include "updates/banner_storages.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <random>
#include <system_error>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/folders.h"
#include "platform/shell.h"
#include "platform/strings.h"
#include "platform/xml.h"

namespace tagsmith {

namespace {

constexpr const char* kNotAStorage = "Target file is not a valid storage file!";
constexpr const char* kNoBanners = "There are no banners with lang!";
constexpr const char* kCantAdd = "Cant add storage!";
constexpr size_t kLangChars = 2;

// Only addresses of web pages are opened: a storage arrives from the network,
// and the shell would start a program or open a local file just as readily.
bool IsWebAddress(std::string_view url) {
  size_t rest = 0;
  if (url.size() > 7 && EqualsIgnoreCase(url.substr(0, 7), "http://")) rest = 7;
  else if (url.size() > 8 && EqualsIgnoreCase(url.substr(0, 8), "https://")) rest = 8;
  else return false;
  if (url[rest] == '/') return false;  // no host
  return std::none_of(url.begin(), url.end(), [](char c) {
    const auto b = static_cast<unsigned char>(c);
    return b <= ' ' || b == 0x7F;
  });
}

// Copies `from` to `to` through a temporary file beside `to` that is renamed
// over it, so a reader (this or another process sharing the folder) sees the
// old file or the new one, never half of one. False, leaving `to` as it was,
// when the copy cannot be made.
bool CopyFileReplacing(const std::string& from, const std::string& to) {
  const int in = ::open(from.c_str(), O_RDONLY | O_CLOEXEC);
  if (in < 0) return false;
  struct stat st {};
  if (::fstat(in, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(in);
    return false;
  }
  std::string temp = to + ".XXXXXX";
  const int out = ::mkostemp(temp.data(), O_CLOEXEC);
  if (out < 0) {
    ::close(in);
    return false;
  }
  bool ok = ::fchmod(out, st.st_mode & 0777) == 0;
  char buffer[64 * 1024];
  while (ok) {
    const ssize_t got = ::read(in, buffer, sizeof buffer);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) {
      ok = got == 0;
      break;
    }
    for (ssize_t done = 0; ok && done < got;) {
      const ssize_t put = ::write(out, buffer + done, size_t(got - done));
      if (put < 0 && errno == EINTR) continue;
      ok = put > 0;
      if (ok) done += put;
    }
  }
  ::close(in);
  ok = ::close(out) == 0 && ok;
  if (ok) ok = std::rename(temp.c_str(), to.c_str()) == 0;
  if (!ok) std::remove(temp.c_str());
  return ok;
}

bool SameFile(const std::string& a, const std::string& b) {
  std::error_code ec;
  return std::filesystem::equivalent(a, b, ec);
}

}  // namespace

TBannerStorages::~TBannerStorages() {
  if (banner_) banner_->SetClickHandler({});
}

void TBannerStorages::SetBanner(IBanner* banner) {
  if (banner_ && banner_ != banner) banner_->SetClickHandler({});
  banner_ = banner;
}

void TBannerStorages::SetStorageDir(const std::string& folder) {
  if (folder == storageDir_) return;
  std::error_code ec;
  if (!std::filesystem::is_directory(folder, ec)) return;
  storageDir_ = folder;
  try {
    ReloadStorages();
  } catch (...) {
    storageDir_.clear();
    throw;
  }
}

void TBannerStorages::ReloadStorages() {
  std::vector<std::string> files;
  std::error_code ec;
  if (!storageDir_.empty()) {
    for (std::filesystem::directory_iterator it(storageDir_, ec), end; !ec && it != end; it.increment(ec)) {
      const std::string name = it->path().filename().string();
      std::error_code typeError;
      if (name.size() >= 4 && EqualsIgnoreCase(std::string_view(name).substr(name.size() - 4), ".bin") &&
          it->is_regular_file(typeError))
        files.push_back(it->path().string());
    }
  }
  std::sort(files.begin(), files.end());

  storages_.clear();
  currentStorage_ = 0;
  currentPicture_ = -1;
  for (const std::string& file : files) {
    try {
      storages_.push_back({ReadStorageData(file), file});
    } catch (const EBannerStorages&) {
      // not a storage: left out
    }
  }
  RestartRotation();
}

void TBannerStorages::AddStorage(const std::string& fileName) {
  if (storageDir_.empty()) throw EBannerStorages("StorageDir does not specified!");
  std::error_code ec;
  if (!std::filesystem::exists(fileName, ec))
    throw EBannerStorages(FormatString("File \"%s\" does not exist!", fileName.c_str()));

  std::string target;
  bool copied = false;
  try {
    const TStorageData data = ReadStorageData(fileName);
    // The code comes from the archive; a "/" in it would put the copy
    // elsewhere than the storage folder.
    if (data.Lang.find('/') != std::string::npos) throw EBannerStorages(kCantAdd);
    target = FormatString("%s/storage_%s_%d%s", storageDir_.c_str(), data.Lang.c_str(), int(data.Ver), ".bin");
    if (!SameFile(fileName, target)) {
      if (!CopyFileReplacing(fileName, target)) throw EBannerStorages(kCantAdd);
      copied = true;
    }
    storages_.push_back({ReadStorageData(target), target});
  } catch (const EBannerStorages&) {
    if (copied) std::remove(target.c_str());
    throw EBannerStorages(kCantAdd);
  } catch (...) {
    // A copy that cannot be read back is no storage either; it must not
    // stay in the folder to break the next reload.
    if (copied) std::remove(target.c_str());
    throw;
  }
}

bool TBannerStorages::HasStorage(const std::string& lang, int32_t ver) const {
  const std::string code = FirstChars(lang, kLangChars);
  return std::any_of(storages_.begin(), storages_.end(), [&](const TStorageListItem& s) {
    return s.Contents.Lang == code && s.Contents.Ver == ver;
  });
}

void TBannerStorages::RemoveOldStorages(int32_t oldVer, const std::string& lang) {
  const std::string code = FirstChars(lang, kLangChars);
  for (size_t i = 0; i < storages_.size();) {
    const TStorageListItem& s = storages_[i];
    if (s.Contents.Lang != code || s.Contents.Ver > oldVer) {
      ++i;
      continue;
    }
    if (::unlink(s.FileName.c_str()) != 0 && errno != ENOENT) throw EBannerStorages("Cant delete banner!");
    storages_.erase(storages_.begin() + std::ptrdiff_t(i));
  }
}

void TBannerStorages::ShowNextBanner() {
  std::string lang = FirstChars(translator_ ? translator_->CurrLang() : std::string("en"), kLangChars);
  auto hasLang = [this](const std::string& code) {
    return std::any_of(storages_.begin(), storages_.end(),
                       [&](const TStorageListItem& s) { return s.Contents.Lang == code; });
  };
  if (!hasLang(lang)) {
    if (!hasLang("en")) throw EBannerStorages(kNoBanners);
    lang = "en";
  }
  // Storages of the language that all hold no picture would send the search
  // below round for ever: the strip stays empty instead.
  if (std::none_of(storages_.begin(), storages_.end(), [&](const TStorageListItem& s) {
        return s.Contents.Lang == lang && !s.Contents.Pictures.empty();
      })) {
    currentPicture_ = -1;
    EmptyStrip();
    return;
  }

  // The list may have shrunk since the position was set (RemoveOldStorages
  // before the reload that follows it).
  const int count = int(storages_.size());
  if (currentStorage_ < 0 || currentStorage_ >= count) {
    currentStorage_ = 0;
    currentPicture_ = -1;
  }
  auto advance = [&] {
    currentStorage_ = (currentStorage_ + 1) % count;
    currentPicture_ = -1;
  };
  for (;;) {
    while (storages_[size_t(currentStorage_)].Contents.Lang != lang) advance();
    if (currentPicture_ + 1 < int(storages_[size_t(currentStorage_)].Contents.Pictures.size())) {
      ++currentPicture_;
      break;
    }
    advance();
  }

  DecodedPicture picture;
  try {
    ShowBanner(currentStorage_, currentPicture_, picture);
  } catch (...) {
    // Leaving the previous picture up would make a click open this one's
    // address under it.
    EmptyStrip();
    throw;
  }
  if (banner_) {
    banner_->ShowPicture(picture);
    banner_->SetClickHandler([this] { BannerClick(); });
  }
}

void TBannerStorages::RestartRotation() {
  currentStorage_ = 0;
  currentPicture_ = -1;
  ShowNextBanner();
}

void TBannerStorages::EmptyStrip() {
  if (!banner_) return;
  banner_->ClearPicture();
  banner_->SetClickHandler({});
}

void TBannerStorages::ShowBanner(int storageIndex, int pictureIndex, DecodedPicture& bitmap) const {
  if (storageIndex < 0 || size_t(storageIndex) >= storages_.size())
    throw EBannerStorages("Storage for assign does not exist!");
  const TStorageListItem& storage = storages_[size_t(storageIndex)];
  if (pictureIndex < 0 || size_t(pictureIndex) >= storage.Contents.Pictures.size())
    throw EBannerStorages("Picture for assign does not exist!");
  const TZipReader archive = TZipReader::OpenFile(storage.FileName, kStorageZipLimits);
  bitmap = DecodeStoragePicture(archive, storage.Contents.Pictures[size_t(pictureIndex)].Name);
}

TStorageData TBannerStorages::ReadStorageData(const std::string& fileName) {
  return ReadStorageData(TZipReader::OpenFile(fileName, kStorageZipLimits));
}

TStorageData TBannerStorages::ReadStorageData(const TZipReader& archive) {
  if (!archive.IsZipArchive()) throw EBannerStorages(kNotAStorage);
  const int list = archive.FindEntry("list.xml");
  if (list < 0) throw EBannerStorages(kNotAStorage);
  const std::string xml = archive.Extract(list);
  const XmlDocument doc = XmlDocument::LoadMemory(xml, archive.SourceName() + ":list.xml", "UTF-8");
  const XmlNode root = doc.Root();
  if (!root || root.Name() != "Banners") throw EBannerStorages(kNotAStorage);

  TStorageData data;
  if (const auto ver = root.Attribute("Ver")) data.Ver = ParseInt32(*ver).value_or(-1);
  data.Lang = FirstChars(root.Attribute("Lang").value_or(std::string()), kLangChars);
  for (const XmlNode& item : root.Children()) {
    if (item.Name() != "Item") continue;
    TBannRec rec{item.Attribute("Name").value_or(std::string()), item.Attribute("Url").value_or(std::string())};
    if (!rec.Name.empty() && !rec.Url.empty()) data.Pictures.push_back(std::move(rec));
  }

  // Each position in turn takes one of the pictures not drawn yet.
  std::mt19937_64 random(uint64_t(std::chrono::high_resolution_clock::now().time_since_epoch().count()));
  std::vector<TBannRec>& p = data.Pictures;
  for (size_t i = 0; i + 1 < p.size(); ++i) {
    std::uniform_int_distribution<size_t> pick(i, p.size() - 1);
    std::swap(p[i], p[pick(random)]);
  }
  return data;
}

DecodedPicture TBannerStorages::DecodeStoragePicture(const TZipReader& archive, const std::string& name) {
  if (!archive.IsZipArchive()) throw EBannerStorages(kNotAStorage);
  const int entry = archive.FindEntry(name);
  if (entry < 0) throw EBannerStorages(kNotAStorage);
  return DecodePicture(PictureFormat::kPng, archive.Extract(entry));
}

void TBannerStorages::BannerClick() {
  if (currentStorage_ < 0 || size_t(currentStorage_) >= storages_.size()) return;
  const std::vector<TBannRec>& pictures = storages_[size_t(currentStorage_)].Contents.Pictures;
  if (currentPicture_ < 0 || size_t(currentPicture_) >= pictures.size()) return;
  const std::string& url = pictures[size_t(currentPicture_)].Url;
  if (IsWebAddress(url)) GetShell().OpenDocument(url);
}

void CopyFolderFiles(const std::string& source, const std::string& target) {
  const std::filesystem::path from = StripTrailingBackslash(source), to = StripTrailingBackslash(target);
  std::vector<std::filesystem::path> names;
  std::error_code ec;
  for (std::filesystem::directory_iterator it(from, ec), end; !ec && it != end; it.increment(ec)) {
    std::error_code typeError;
    if (it->is_regular_file(typeError)) names.push_back(it->path().filename());
  }
  for (const auto& name : names) {
    const std::string src = (from / name).string(), dst = (to / name).string();
    if (!SameFile(src, dst)) CopyFileReplacing(src, dst);
  }
}

}  // namespace tagsmith
