#include "app/ui/document_io.h"

#include <QBuffer>
#include <QByteArray>
#include <QImage>
#include <QImageReader>
#include <QStringDecoder>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextFragment>
#include <QTextImageFormat>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <new>

#include "app/ui/object_painter.h"
#include "platform/strings.h"
#include "richtext/code_pages.h"
#include "richtext/document_content.h"
#include "richtext/picture_decoder.h"
#include "richtext/rich_document.h"
#include "richtext/rtf_reader.h"
#include "richtext/rtf_writer.h"

namespace tagsmith {

namespace {

// Text files beyond this would not fit the document's positions once decoded.
constexpr size_t kMaxTextFile = size_t(1) << 30;
// Picture files beyond this are no picture a document can show.
constexpr size_t kMaxPictureFile = size_t(512) << 20;
// Pictures put into HTML as data are drawn at most this large.
constexpr int64_t kMaxHtmlPicturePixels = int64_t(4) << 20;

const char* const kRtfTypes[] = {"text/rtf", "application/rtf"};

std::u16string ToU16(const QString& text) {
  return std::u16string(reinterpret_cast<const char16_t*>(text.utf16()), static_cast<size_t>(text.size()));
}

// Reads a whole file; errno-style failures become `what` with the reason.
std::string ReadWholeFile(const std::string& path, size_t limit, const char* what) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) throw EDocumentIO(FormatString(what, path.c_str(), std::strerror(errno)));
  struct Closer {
    int fd;
    ~Closer() { ::close(fd); }
  } closer{fd};
  struct stat st {};
  if (::fstat(fd, &st) != 0) throw EDocumentIO(FormatString(what, path.c_str(), std::strerror(errno)));
  if (S_ISDIR(st.st_mode)) throw EDocumentIO(FormatString(what, path.c_str(), std::strerror(EISDIR)));
  if (st.st_size > 0 && static_cast<uint64_t>(st.st_size) > limit)
    throw EDocumentIO(FormatString(what, path.c_str(), "the file is too large"));
  std::string bytes;
  try {
    bytes.reserve(static_cast<size_t>(std::max<off_t>(st.st_size, 0)));
    char buffer[1 << 16];
    for (;;) {
      const ssize_t n = ::read(fd, buffer, sizeof buffer);
      if (n < 0) {
        if (errno == EINTR) continue;
        throw EDocumentIO(FormatString(what, path.c_str(), std::strerror(errno)));
      }
      if (n == 0) break;
      if (bytes.size() + static_cast<size_t>(n) > limit)
        throw EDocumentIO(FormatString(what, path.c_str(), "the file is too large"));
      bytes.append(buffer, static_cast<size_t>(n));
    }
  } catch (const std::bad_alloc&) {
    throw EDocumentIO(FormatString(what, path.c_str(), "not enough memory"));
  }
  return bytes;
}

// The reader's own test: blanks and a UTF-8 byte order mark, then "{\rtf".
bool IsRtf(std::string_view bytes) {
  if (bytes.substr(0, 3) == "\xEF\xBB\xBF") bytes.remove_prefix(3);
  while (!bytes.empty() && (bytes[0] == ' ' || bytes[0] == '\t' || bytes[0] == '\r' || bytes[0] == '\n'))
    bytes.remove_prefix(1);
  return bytes.substr(0, 5) == "{\\rtf";
}

// A builder that keeps nothing: reading into it shows whether a document
// reads at all before the real document is touched.
class NullBuilder : public IDocumentBuilder {
 public:
  void AppendText(std::u16string_view, const CharFormat&) override {}
  void AppendLineBreak(const CharFormat&) override {}
  void AppendObject(std::shared_ptr<IOleObject>, SIZEL, const CharFormat&) override {}
  void SetParaFormat(const ParaFormat&) override {}
};

std::u16string Utf16Of(std::string_view bytes, bool bigEndian) {
  std::u16string text;
  text.reserve(bytes.size() / 2);
  for (size_t i = 0; i + 1 < bytes.size(); i += 2) {
    const auto a = static_cast<uint8_t>(bytes[i]), b = static_cast<uint8_t>(bytes[i + 1]);
    text.push_back(static_cast<char16_t>(bigEndian ? (a << 8) | b : (b << 8) | a));
  }
  if (bytes.size() % 2) text.push_back(0xFFFD);
  return text;
}

// A text file's characters: its byte order mark says UTF-8 or UTF-16; else
// UTF-8 when the bytes are valid UTF-8, Windows-1252 otherwise.
std::u16string DecodeText(std::string_view bytes, const std::string& path) {
  if (bytes.substr(0, 2) == "\xFF\xFE") return Utf16Of(bytes.substr(2), false);
  if (bytes.substr(0, 2) == "\xFE\xFF") return Utf16Of(bytes.substr(2), true);
  if (bytes.substr(0, 3) == "\xEF\xBB\xBF") bytes.remove_prefix(3);
  if (bytes.find('\0') != std::string_view::npos)
    throw EDocumentIO(FormatString("The file %s is neither an RTF document nor a text file", path.c_str()));
  QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
  const QString text = utf8(QByteArrayView(bytes.data(), static_cast<qsizetype>(bytes.size())));
  if (!utf8.hasError()) return ToU16(text);
  const char16_t* high = SingleByteTable(1252);
  std::u16string out;
  out.reserve(bytes.size());
  for (char c : bytes) {
    const auto b = static_cast<uint8_t>(c);
    out.push_back(b < 0x80 || !high ? static_cast<char16_t>(b) : high[b - 0x80]);
  }
  return out;
}

QByteArray PngOf(const QImage& image) {
  QByteArray png;
  QBuffer buffer(&png);
  buffer.open(QIODevice::WriteOnly);
  if (!image.save(&buffer, "PNG")) return QByteArray();
  return png;
}

QImage ObjectPicture(IOleObject& object, SIZEL extent) {
  QSize pixels = ExtentPixels(extent, 96, 96);
  if (pixels.isEmpty()) {
    SIZEL own;
    if (object.GetExtent(DVASPECT_CONTENT, &own).ok()) pixels = ExtentPixels(own, 96, 96);
  }
  const int64_t area = int64_t(pixels.width()) * pixels.height();
  if (area > kMaxHtmlPicturePixels) {
    const double f = std::sqrt(double(kMaxHtmlPicturePixels) / double(area));
    pixels = QSize(std::max(1, int(pixels.width() * f)), std::max(1, int(pixels.height() * f)));
  }
  return RenderObjectImage(object, pixels);
}

// HTML of the content through Qt's writer, on a scratch document in which
// every object is a picture carried in the HTML itself.
QString HtmlOf(const DocumentContent& content) {
  QTextDocument scratch;
  QtDocument doc(&scratch, QtDocument::Drawing::kNone);
  {
    QtDocument::BuildScope scope(doc);
    AppendDocumentContent(content, doc);
  }
  struct Found {
    int position;
    QTextImageFormat image;
  };
  std::vector<Found> found;
  for (QTextBlock b = scratch.begin(); b.isValid(); b = b.next()) {
    for (QTextBlock::iterator it = b.begin(); !it.atEnd(); ++it) {
      const QTextFragment f = it.fragment();
      if (!f.isValid() || f.charFormat().objectType() != kEmbeddedObjectType) continue;
      for (int i = 0; i < f.length(); ++i) {
        const int pos = f.position() + i;
        auto object = doc.ObjectAt(pos);
        const auto extent = doc.ObjectExtentAt(pos);
        if (!object || !extent) continue;
        const QImage picture = ObjectPicture(*object, *extent);
        const QByteArray png = picture.isNull() ? QByteArray() : PngOf(picture);
        if (png.isEmpty()) continue;
        QTextImageFormat image;
        image.merge(f.charFormat());
        image.clearProperty(kPropObjectId);
        image.setObjectType(QTextFormat::ImageObject);
        image.setName(QStringLiteral("data:image/png;base64,") + QString::fromLatin1(png.toBase64()));
        const QSize shown = ExtentPixels(*extent, 96, 96);
        image.setWidth(shown.width());
        image.setHeight(shown.height());
        found.push_back(Found{pos, image});
      }
    }
  }
  QTextCursor cursor(&scratch);
  for (const Found& f : found) {
    cursor.setPosition(f.position);
    cursor.setPosition(f.position + 1, QTextCursor::KeepAnchor);
    cursor.setCharFormat(f.image);
  }
  return scratch.toHtml();
}

bool HasContent(const DocumentContent& content, bool withObjects) {
  for (int32_t pos = content.first; pos < content.limit; ++pos) {
    if (pos + 1 == content.storyLength) break;  // the final mark is no content
    const char16_t c = content.text[static_cast<size_t>(pos - content.first)];
    if (c != kObjectChar) return true;
    const bool object = std::any_of(content.objects.begin(), content.objects.end(),
                                    [pos](const DocumentContent::Object& o) { return o.cp == pos; });
    if (!object || withObjects) return true;
  }
  return false;
}

bool PasteRtf(QtDocument& doc, QTextCursor& cursor, const QMimeData& mime, bool withObjects, std::string* error) {
  for (const char* type : kRtfTypes) {
    if (!mime.hasFormat(type)) continue;
    const QByteArray bytes = mime.data(type);
    auto staging = RichDocument::Create();
    try {
      ReadRtf(std::string_view(bytes.constData(), static_cast<size_t>(bytes.size())), *staging);
    } catch (const ERtfReader& e) {
      *error = e.what();
      continue;
    }
    const DocumentContent content = ReadDocumentContent(*staging, *staging);
    if (!HasContent(content, withObjects)) continue;
    doc.InsertContent(cursor, content, withObjects);
    return true;
  }
  return false;
}

// A picture carried in HTML as data ("data:image/png;base64,..."), or null.
std::shared_ptr<IOleObject> PictureOfDataUrl(const QString& name, SIZEL* extent) {
  if (!name.startsWith(QLatin1String("data:image/"), Qt::CaseInsensitive)) return nullptr;
  const qsizetype comma = name.indexOf(QLatin1Char(','));
  if (comma < 0 || !name.left(comma).endsWith(QLatin1String(";base64"), Qt::CaseInsensitive)) return nullptr;
  const QByteArray data = QByteArray::fromBase64(name.mid(comma + 1).toLatin1());
  try {
    return PictureFromBytes(data.toStdString(), extent);
  } catch (const EDocumentIO&) {
    return nullptr;
  }
}

bool PasteHtml(QtDocument& doc, QTextCursor& cursor, const QMimeData& mime) {
  QTextDocument scratch;
  scratch.setHtml(mime.html());
  QtDocument reader(&scratch, QtDocument::Drawing::kNone);
  // Qt's pictures name their source; only those the HTML carries itself can
  // be had here, and they become picture objects. The others are left out.
  struct Picture {
    int position;
    QString name;
  };
  std::vector<Picture> pictures;
  for (QTextBlock b = scratch.begin(); b.isValid(); b = b.next())
    for (QTextBlock::iterator it = b.begin(); !it.atEnd(); ++it) {
      const QTextFragment f = it.fragment();
      if (!f.isValid() || !f.charFormat().isImageFormat()) continue;
      for (int i = 0; i < f.length(); ++i) pictures.push_back(Picture{f.position() + i, f.charFormat().toImageFormat().name()});
    }
  QTextCursor edit(&scratch);
  for (auto it = pictures.rbegin(); it != pictures.rend(); ++it) {
    edit.setPosition(it->position);
    edit.setPosition(it->position + 1, QTextCursor::KeepAnchor);
    SIZEL extent;
    if (auto object = PictureOfDataUrl(it->name, &extent)) reader.InsertObject(edit, std::move(object), extent);
    else edit.removeSelectedText();
  }
  const DocumentContent content = ReadDocumentContent(reader, reader);
  if (!HasContent(content, true)) return false;
  doc.InsertContent(cursor, content);
  return true;
}

bool IsReadableImageType(const QString& type) {
  static const QList<QByteArray> types = QImageReader::supportedMimeTypes();
  return types.contains(type.toLatin1());
}

// The picture data of the MIME data: the bytes of an image type as given
// (PNG, JPEG and GIF first, which are kept as they are), else Qt's image.
bool PastePicture(QtDocument& doc, QTextCursor& cursor, const QMimeData& mime, std::string* error) {
  QStringList types;
  for (const char* kept : {"image/png", "image/jpeg", "image/gif"})
    if (mime.hasFormat(kept)) types << kept;
  for (const QString& type : mime.formats())
    if (type.startsWith(QLatin1String("image/")) && !types.contains(type) && IsReadableImageType(type)) types << type;
  for (const QString& type : types) {
    const QByteArray bytes = mime.data(type);
    if (bytes.isEmpty()) continue;
    try {
      SIZEL extent;
      auto object = PictureFromBytes(bytes.toStdString(), &extent);
      doc.InsertObject(cursor, std::move(object), extent);
      return true;
    } catch (const EDocumentIO& e) {
      *error = e.what();
    }
  }
  if (mime.hasImage()) {
    const QImage image = qvariant_cast<QImage>(mime.imageData());
    const QByteArray png = image.isNull() ? QByteArray() : PngOf(image);
    if (!png.isEmpty()) {
      SIZEL extent;
      auto object = PictureFromBytes(png.toStdString(), &extent);
      doc.InsertObject(cursor, std::move(object), extent);
      return true;
    }
  }
  return false;
}

bool HasPicture(const QMimeData& mime) {
  if (mime.hasImage()) return true;
  for (const QString& type : mime.formats())
    if (type.startsWith(QLatin1String("image/")) && IsReadableImageType(type)) return true;
  return false;
}

}  // namespace

void LoadDocumentFile(QtDocument& doc, const std::string& path) {
  const std::string bytes = ReadWholeFile(path, SIZE_MAX, "Cannot open the file %s: %s");
  try {
    if (IsRtf(bytes)) {
      try {
        NullBuilder trial;
        ReadRtf(bytes, trial);
      } catch (const ERtfReader& e) {
        throw EDocumentIO(FormatString("Cannot read the RTF document %s: %s", path.c_str(), e.what()));
      }
      // The reader gives the same document from the same bytes: the real
      // read cannot fail where the trial did not.
      doc.Rebuild([&](IDocumentBuilder& builder) { ReadRtf(bytes, builder); });
      return;
    }
    if (bytes.size() > kMaxTextFile)
      throw EDocumentIO(FormatString("The file %s is too large to open", path.c_str()));
    const std::u16string text = QtDocument::CleanPlainText(DecodeText(bytes, path));
    const CharFormat format = doc.DefaultFormat();
    doc.Rebuild([&](IDocumentBuilder& builder) { builder.AppendText(text, format); });
  } catch (const std::bad_alloc&) {
    throw EDocumentIO(FormatString("Not enough memory to open the file %s", path.c_str()));
  }
}

void SaveDocumentFile(QtDocument& doc, const std::string& path) {
  std::string rtf;
  try {
    rtf = WriteRtf(doc, doc);
  } catch (const EOleError& e) {
    throw EDocumentIO(FormatString("Cannot save the document to %s: %s", path.c_str(), e.what()));
  }
  const auto fail = [&](int err) {
    return EDocumentIO(FormatString("Cannot save the document to %s: %s", path.c_str(), std::strerror(err)));
  };
  // Through a symbolic link to the file it names, so the link stays.
  std::error_code ec;
  std::filesystem::path target = path;
  if (std::filesystem::is_symlink(target, ec)) {
    const std::filesystem::path resolved = std::filesystem::weakly_canonical(target, ec);
    if (!ec) target = resolved;
  }
  const std::filesystem::path dir = target.has_parent_path() ? target.parent_path() : std::filesystem::path(".");
  struct stat old {};
  const bool existed = ::stat(target.c_str(), &old) == 0;
  if (existed && S_ISDIR(old.st_mode)) throw fail(EISDIR);

  std::string temp;
  int fd = -1;
  for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
    temp = (dir / FormatString(".%s.%d-%d.tmp", target.filename().c_str(), static_cast<int>(getpid()), attempt)).string();
    // 0666 less the umask, as any new file; an existing file's mode below.
    fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0 && errno != EEXIST) throw fail(errno);
  }
  if (fd < 0) throw fail(EEXIST);
  const auto abandon = [&](int err) {
    ::close(fd);
    ::unlink(temp.c_str());
    return fail(err);
  };
  for (size_t done = 0; done < rtf.size();) {
    const ssize_t n = ::write(fd, rtf.data() + done, rtf.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      throw abandon(errno);
    }
    done += static_cast<size_t>(n);
  }
  if (existed) (void)::fchmod(fd, old.st_mode & 07777);
  if (::fsync(fd) != 0) throw abandon(errno);
  if (::close(fd) != 0) {
    const int err = errno;
    ::unlink(temp.c_str());
    throw fail(err);
  }
  if (::rename(temp.c_str(), target.c_str()) != 0) {
    const int err = errno;
    ::unlink(temp.c_str());
    throw fail(err);
  }
  const int dirFd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dirFd >= 0) {
    (void)::fsync(dirFd);
    ::close(dirFd);
  }
  if (QTextDocument* d = doc.Document()) d->setModified(false);
}

std::unique_ptr<QMimeData> MimeFromRange(QtDocument& doc, int first, int limit) {
  const DocumentContent content = ReadDocumentContent(doc, doc, first, limit);
  if (!HasContent(content, true)) throw EDocumentIO("Nothing is selected");
  auto mime = std::make_unique<QMimeData>();

  auto scratch = RichDocument::Create();
  AppendDocumentContent(content, *scratch);
  const std::string rtf = WriteRtf(*scratch, *scratch);
  const QByteArray rtfBytes(rtf.data(), static_cast<qsizetype>(rtf.size()));
  for (const char* type : kRtfTypes) mime->setData(type, rtfBytes);

  mime->setHtml(HtmlOf(content));

  std::u16string plain;
  plain.reserve(content.text.size());
  size_t object = 0;
  for (int32_t pos = content.first; pos < content.limit; ++pos) {
    if (pos + 1 == content.storyLength) break;
    const char16_t c = content.text[static_cast<size_t>(pos - content.first)];
    while (object < content.objects.size() && content.objects[object].cp < pos) ++object;
    if (c == kObjectChar && object < content.objects.size() && content.objects[object].cp == pos) continue;
    plain.push_back(c == kParagraphMark ? u'\n' : c);
  }
  mime->setText(QString(reinterpret_cast<const QChar*>(plain.data()), static_cast<qsizetype>(plain.size())));

  if (content.limit - content.first == 1 && content.objects.size() == 1 && content.objects[0].object) {
    const QImage picture = ObjectPicture(*content.objects[0].object, content.objects[0].extent);
    if (!picture.isNull()) {
      mime->setImageData(picture);
      const QByteArray png = PngOf(picture);
      if (!png.isEmpty()) mime->setData("image/png", png);
    }
  }
  return mime;
}

std::vector<PasteFormat> AvailablePasteFormats(const QMimeData& mime) {
  std::vector<PasteFormat> formats;
  if (std::any_of(std::begin(kRtfTypes), std::end(kRtfTypes), [&](const char* t) { return mime.hasFormat(t); })) {
    formats.push_back(PasteFormat::RichText);
    formats.push_back(PasteFormat::RichTextWithoutObjects);
  }
  if (mime.hasHtml()) formats.push_back(PasteFormat::Html);
  if (HasPicture(mime)) formats.push_back(PasteFormat::Picture);
  if (mime.hasText()) formats.push_back(PasteFormat::UnformattedText);
  return formats;
}

std::string PasteFormatName(PasteFormat format) {
  switch (format) {
    case PasteFormat::RichText: return "Rich text";
    case PasteFormat::RichTextWithoutObjects: return "Rich text without objects";
    case PasteFormat::Html: return "HTML";
    case PasteFormat::UnformattedText: return "Unformatted text";
    case PasteFormat::Picture: return "Picture";
  }
  return std::string();
}

bool CanPaste(const QMimeData& mime) { return !AvailablePasteFormats(mime).empty(); }

void PasteMime(QtDocument& doc, QTextCursor& cursor, const QMimeData& mime, std::optional<PasteFormat> only) {
  const std::vector<PasteFormat> available = AvailablePasteFormats(mime);
  std::vector<PasteFormat> tries;
  if (only) {
    if (std::find(available.begin(), available.end(), *only) == available.end())
      throw EDocumentIO(FormatString("The data holds no %s", PasteFormatName(*only).c_str()));
    tries.push_back(*only);
  } else {
    for (PasteFormat f : available)
      if (f != PasteFormat::RichTextWithoutObjects) tries.push_back(f);
  }
  std::string error;
  for (PasteFormat format : tries) {
    try {
      bool done = false;
      switch (format) {
        case PasteFormat::RichText: done = PasteRtf(doc, cursor, mime, true, &error); break;
        case PasteFormat::RichTextWithoutObjects: done = PasteRtf(doc, cursor, mime, false, &error); break;
        case PasteFormat::Html: done = PasteHtml(doc, cursor, mime); break;
        case PasteFormat::Picture: done = PastePicture(doc, cursor, mime, &error); break;
        case PasteFormat::UnformattedText: {
          const std::u16string text = ToU16(mime.text());
          if (!QtDocument::CleanPlainText(text).empty()) {
            doc.InsertPlainText(cursor, text);
            done = true;
          }
          break;
        }
      }
      if (done) return;
    } catch (const std::bad_alloc&) {
      error = "not enough memory";
    } catch (const Exception& e) {
      error = e.what();
    }
  }
  if (error.empty()) throw EDocumentIO("There is nothing to paste");
  throw EDocumentIO("The data could not be pasted: " + error);
}

std::shared_ptr<IOleObject> PictureFromBytes(const std::string& bytes, SIZEL* extent) {
  PictureData picture;
  const std::optional<PictureFormat> sniffed = SniffPictureFormat(bytes);
  bool kept = false;
  if (sniffed == PictureFormat::kPng || sniffed == PictureFormat::kJpeg || sniffed == PictureFormat::kGif) {
    try {
      const DecodedPicture decoded = DecodePicture(*sniffed, bytes);
      picture.format = *sniffed;
      picture.bytes = bytes;
      picture.width = decoded.width;
      picture.height = decoded.height;
      kept = true;
    } catch (const EPictureError&) {
      // Qt may still read what this decoder does not; stored as PNG then.
    }
  }
  if (!kept) {
    QImage image;
    if (!image.loadFromData(QByteArrayView(bytes.data(), static_cast<qsizetype>(bytes.size()))) || image.isNull())
      throw EDocumentIO("The picture cannot be read");
    if (int64_t(image.width()) * image.height() > kPixelBudget) throw EDocumentIO("The picture is too large");
    const QByteArray png = PngOf(image);
    if (png.isEmpty()) throw EDocumentIO("The picture cannot be read");
    picture.format = PictureFormat::kPng;
    picture.bytes = png.toStdString();
    picture.width = image.width();
    picture.height = image.height();
  }
  // Shown at its pixel size at 96 dpi, which a twip count states to every reader.
  picture.goalWidth = picture.width * 15;
  picture.goalHeight = picture.height * 15;
  auto object = std::make_shared<PictureObject>(std::move(picture));
  if (extent) *extent = object->data().Extent();
  return object;
}

void InsertPictureFile(QtDocument& doc, QTextCursor& cursor, const std::string& path) {
  const std::string bytes = ReadWholeFile(path, kMaxPictureFile, "Cannot read the picture %s: %s");
  SIZEL extent;
  std::shared_ptr<IOleObject> object;
  try {
    object = PictureFromBytes(bytes, &extent);
  } catch (const EDocumentIO& e) {
    throw EDocumentIO(FormatString("Cannot insert the picture %s. %s", path.c_str(), e.what()));
  } catch (const std::bad_alloc&) {
    throw EDocumentIO(FormatString("Cannot insert the picture %s. Not enough memory", path.c_str()));
  }
  doc.InsertObject(cursor, std::move(object), extent);
}

}  // namespace tagsmith
