#include "app/ui/document_io.h"

#include <gtest/gtest.h>

#include <QBuffer>
#include <QClipboard>
#include <QGuiApplication>
#include <QImage>
#include <QMimeData>
#include <QTextDocument>

#include <sys/stat.h>

#include <filesystem>

#include "qt_test_support.h"
#include "support/fake_object.h"
#include "richtext/rtf_reader.h"
#include "support/picture_bytes.h"
#include "support/temp_dir.h"

namespace tagsmith::testing {
namespace {

const char kSampleRtf[] =
    "{\\rtf1\\ansi{\\fonttbl{\\f0 Arial;}}{\\colortbl;\\red255\\green0\\blue0;}"
    "\\pard\\qc\\f0\\fs24 Hello {\\b bold} {\\cf1 red}\\par"
    "\\pard Second\\line line\\par}";

std::string ExpectMessage(const std::function<void()>& f) {
  try {
    f();
  } catch (const EDocumentIO& e) {
    return e.what();
  }
  ADD_FAILURE() << "no EDocumentIO";
  return std::string();
}

std::string PngBytes(int width, int height) { return MakePng(Pattern(width, height)); }

std::string BmpBytes(int width, int height) {
  QImage image(width, height, QImage::Format_RGB32);
  image.fill(QColor(10, 200, 30));
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  image.save(&buffer, "BMP");
  return bytes.toStdString();
}

std::shared_ptr<const StoredObjectData> StoredAt(QtDocument& doc, int32_t pos) {
  auto object = doc.ObjectAt(pos);
  std::shared_ptr<const StoredObjectData> data;
  if (object) OleCheck(object->GetStoredData(&data));
  return data;
}

TEST(LoadDocumentFile, RtfReadsThroughTheProjectsReaderLikeRichDocument) {
  TempDir dir;
  WriteFile(dir / "a.rtf", kSampleRtf);
  Editor e;
  e.edit.document()->setModified(true);
  LoadDocumentFile(*e.doc, (dir / "a.rtf").string());
  EXPECT_EQ(e.Describe(), Describe(*ReadDocument(kSampleRtf)));
  EXPECT_FALSE(e.edit.document()->isModified());
  EXPECT_FALSE(e.edit.document()->isUndoAvailable());
}

TEST(LoadDocumentFile, TextFilesOpenAsTextInTheirEncoding) {
  struct Case {
    const char* name;
    std::string bytes;
    std::u16string text;
  };
  const Case cases[] = {
      {"utf8", "caf\xC3\xA9\r\nna\xC3\xAFve\nend", u"café\rnaïve\rend\r"},
      {"utf8 bom", "\xEF\xBB\xBFone\rtwo", u"one\rtwo\r"},
      {"utf16le", std::string("\xFF\xFE" "a\0\x16\x04", 6), u"a\u0416\r"},
      {"utf16be", std::string("\xFE\xFF\0a\x04\x16", 6), u"a\u0416\r"},
      {"cp1252", "caf\xE9 \x80", u"café €\r"},
      {"empty", "", u"\r"},
  };
  TempDir dir;
  for (const Case& c : cases) {
    WriteFile(dir / "t.txt", c.bytes);
    Editor e;
    LoadDocumentFile(*e.doc, (dir / "t.txt").string());
    EXPECT_EQ(e.Text(), c.text) << c.name;
  }
}

TEST(LoadDocumentFile, AFileThatCannotBeOpenedLeavesTheDocumentUnchanged) {
  TempDir dir;
  WriteFile(dir / "binary.dat", std::string("\x89PNG\0\0\0", 7));
  std::string deep = "{\\rtf1 ";
  for (int i = 0; i < 1100; ++i) deep += "{";
  WriteFile(dir / "deep.rtf", deep + "x");
  const std::string missing = (dir / "missing.rtf").string();
  Editor e;
  e.doc->AppendText(u"keep me", Formatted(true));
  const std::string before = e.Describe();
  EXPECT_EQ(ExpectMessage([&] { LoadDocumentFile(*e.doc, missing); }),
            "Cannot open the file " + missing + ": No such file or directory");
  EXPECT_EQ(ExpectMessage([&] { LoadDocumentFile(*e.doc, dir.str()); }),
            "Cannot open the file " + dir.str() + ": Is a directory");
  EXPECT_EQ(ExpectMessage([&] { LoadDocumentFile(*e.doc, (dir / "binary.dat").string()); }),
            "The file " + (dir / "binary.dat").string() + " is neither an RTF document nor a text file");
  EXPECT_EQ(ExpectMessage([&] { LoadDocumentFile(*e.doc, (dir / "deep.rtf").string()); }),
            "Cannot read the RTF document " + (dir / "deep.rtf").string() +
                ": RTF groups nested more than 1000 levels deep");
  EXPECT_EQ(e.Describe(), before);
  EXPECT_TRUE(e.edit.document()->isUndoAvailable());  // the history is the user's still
}

TEST(SaveDocumentFile, WritesRtfThatReadsBackTheSame) {
  TempDir dir;
  Editor e;
  auto picture = std::make_shared<PictureObject>(PictureData{PictureFormat::kPng, PngBytes(4, 3), 4, 3});
  e.doc->SetParaFormat({tomAlignRight, true});
  e.doc->AppendText(u"Title\r", Formatted(true, 0x0000FF));
  e.doc->SetParaFormat({tomAlignLeft, false});
  e.doc->AppendText(u"text ", Formatted(false));
  e.doc->AppendObject(picture, SIZEL{106, 79}, Formatted(false));
  e.doc->AppendLineBreak(Formatted(false));
  e.doc->AppendText(u"Ж", Formatted(false, tomAutoColor, u"Courier New"));
  e.edit.document()->setModified(true);
  const std::string path = (dir / "out.rtf").string();
  SaveDocumentFile(*e.doc, path);
  EXPECT_FALSE(e.edit.document()->isModified());
  Editor back;
  LoadDocumentFile(*back.doc, path);
  EXPECT_EQ(back.Describe(), e.Describe());
  // Nothing is left beside it.
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), std::filesystem::directory_iterator()), 1);
}

TEST(SaveDocumentFile, ReplacesAFileKeepingItsModeAndFollowsLinks) {
  TempDir dir;
  Editor e;
  e.doc->AppendText(u"new", CharFormat());
  WriteFile(dir / "real.rtf", "old");
  ::chmod((dir / "real.rtf").c_str(), 0640);
  std::filesystem::create_symlink("real.rtf", dir / "link.rtf");
  SaveDocumentFile(*e.doc, (dir / "link.rtf").string());
  EXPECT_TRUE(std::filesystem::is_symlink(dir / "link.rtf"));
  const std::string saved = ReadFile(dir / "real.rtf");
  EXPECT_EQ(saved.rfind("{\\rtf1", 0), 0u);
  EXPECT_NE(saved.find("new"), std::string::npos);
  struct stat st {};
  ASSERT_EQ(::stat((dir / "real.rtf").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0640u);
}

TEST(SaveDocumentFile, AnUnwritableTargetFailsAndLosesNothing) {
  TempDir dir;
  Editor e;
  e.doc->AppendText(u"precious", CharFormat());
  const std::string before = e.Describe();
  e.edit.document()->setModified(true);
  const std::string inMissing = (dir / "no" / "such" / "x.rtf").string();
  EXPECT_EQ(ExpectMessage([&] { SaveDocumentFile(*e.doc, inMissing); }),
            "Cannot save the document to " + inMissing + ": No such file or directory");
  std::filesystem::create_directory(dir / "folder.rtf");
  EXPECT_EQ(ExpectMessage([&] { SaveDocumentFile(*e.doc, (dir / "folder.rtf").string()); }),
            "Cannot save the document to " + (dir / "folder.rtf").string() + ": Is a directory");
  EXPECT_EQ(e.Describe(), before);
  EXPECT_TRUE(e.edit.document()->isModified());
  EXPECT_TRUE(std::filesystem::is_directory(dir / "folder.rtf"));
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), std::filesystem::directory_iterator()), 1);
}

TEST(MimeFromRange, OffersRtfHtmlAndTextAndThePictureOfALoneObject) {
  Editor e;
  auto red = std::make_shared<FakeObject>("Paint.Picture", SIZEL{254, 254}, 0xFFFF0000u);
  e.doc->AppendText(u"ab", Formatted(true));
  e.doc->AppendText(u"\rc", Formatted(false));
  e.doc->AppendObject(red, SIZEL{254, 254}, Formatted(false));
  e.doc->AppendText(u"d", Formatted(false));
  auto mime = MimeFromRange(*e.doc, 1, 6);
  ASSERT_TRUE(mime->hasFormat("text/rtf"));
  EXPECT_EQ(mime->data("text/rtf"), mime->data("application/rtf"));
  EXPECT_EQ(mime->text(), "b\ncd");
  EXPECT_TRUE(mime->html().contains("data:image/png;base64,"));
  EXPECT_FALSE(mime->hasImage());
  // The RTF holds the range with its formats and the object.
  const QByteArray rtf = mime->data("text/rtf");
  auto back = ReadDocument(std::string_view(rtf.constData(), size_t(rtf.size())));
  std::u16string text;
  std::shared_ptr<ITextRange> all;
  OleCheck(back->Range(0, 100, &all));
  OleCheck(all->GetText(&text));
  EXPECT_EQ(text, u"b\rc\uFFFCd\r");
  EXPECT_EQ(ObjectCount(*back), 1);

  auto lone = MimeFromRange(*e.doc, 4, 5);
  ASSERT_TRUE(lone->hasFormat("image/png"));
  QImage png;
  ASSERT_TRUE(png.loadFromData(lone->data("image/png"), "PNG"));
  EXPECT_EQ(png.size(), QSize(10, 10));  // 2.54 mm at 96 dpi
  EXPECT_EQ(png.pixel(5, 5), 0xFFFF0000u);
  EXPECT_TRUE(lone->hasImage());

  EXPECT_EQ(ExpectMessage([&] { MimeFromRange(*e.doc, 3, 3); }), "Nothing is selected");
}

TEST(PasteFormats, AreOfferedInPasteOrderWithTheirNames) {
  QMimeData mime;
  EXPECT_TRUE(AvailablePasteFormats(mime).empty());
  EXPECT_FALSE(CanPaste(mime));
  mime.setText("t");
  mime.setData("image/png", QByteArray::fromStdString(PngBytes(2, 2)));
  mime.setHtml("<b>h</b>");
  mime.setData("application/rtf", kSampleRtf);
  const std::vector<PasteFormat> expected = {PasteFormat::RichText, PasteFormat::RichTextWithoutObjects,
                                             PasteFormat::Html, PasteFormat::Picture, PasteFormat::UnformattedText};
  EXPECT_EQ(AvailablePasteFormats(mime), expected);
  EXPECT_TRUE(CanPaste(mime));
  std::vector<std::string> names;
  for (PasteFormat f : expected) names.push_back(PasteFormatName(f));
  EXPECT_EQ(names, (std::vector<std::string>{"Rich text", "Rich text without objects", "HTML", "Picture",
                                             "Unformatted text"}));
}

TEST(PasteMime, RtfGoesInAtTheCursorAsOneUndoStep) {
  Editor e;
  e.doc->AppendText(u"[]", Formatted(false));
  const std::string before = e.Describe();
  QMimeData mime;
  mime.setData("text/rtf", "{\\rtf1 {\\b in}side}");
  mime.setText("plain");
  QTextCursor c = e.At(1);
  PasteMime(*e.doc, c, mime);
  EXPECT_EQ(e.Text(), u"[inside]\r");
  EXPECT_EQ(Bold(*e.doc, 1, 3), tomTrue);
  EXPECT_EQ(c.position(), 7);
  e.edit.undo();
  EXPECT_EQ(e.Describe(), before);
}

TEST(PasteMime, FallsBackWhenAFormatCannotBeReadOrReadsAsNothing) {
  struct Case {
    const char* name;
    std::function<void(QMimeData&)> fill;
    std::u16string text;
    int objects;
  };
  const Case cases[] = {
      {"rtf that is no rtf, then html",
       [](QMimeData& m) {
         m.setData("text/rtf", "not rtf at all");
         m.setHtml("<p>from <b>html</b></p>");
         m.setText("from text");
       },
       u"from html\r", 0},
      {"rtf of nothing, then text",
       [](QMimeData& m) {
         m.setData("application/rtf", "{\\rtf1 }");
         m.setText("from text");
       },
       u"from text\r", 0},
      {"html of a picture elsewhere, then the picture",
       [](QMimeData& m) {
         m.setHtml("<img src=\"http://example.com/a.png\">");
         m.setData("image/png", QByteArray::fromStdString(PngBytes(3, 2)));
       },
       u"\uFFFC\r", 1},
      {"html carrying its picture",
       [](QMimeData& m) {
         m.setHtml(QString("<p>x<img src=\"data:image/png;base64,%1\"></p>")
                       .arg(QString::fromLatin1(QByteArray::fromStdString(PngBytes(3, 2)).toBase64())));
       },
       u"x\uFFFC\r", 1},
      {"damaged picture, then text",
       [](QMimeData& m) {
         m.setData("image/png", "\x89PNG\r\n\x1a\n broken");
         m.setText("from text");
       },
       u"from text\r", 0},
  };
  for (const Case& c : cases) {
    Editor e;
    QMimeData mime;
    c.fill(mime);
    QTextCursor at = e.At(0);
    PasteMime(*e.doc, at, mime);
    EXPECT_EQ(e.Text(), c.text) << c.name;
    EXPECT_EQ(ObjectCount(*e.doc), c.objects) << c.name;
  }
}

TEST(PasteMime, NothingReadableThrowsAndChangesNothing) {
  Editor e;
  e.doc->AppendText(u"keep", CharFormat());
  const std::string before = e.Describe();
  QMimeData broken;
  broken.setData("text/rtf", "garbage");
  broken.setData("image/png", "\x89PNG garbage");
  QTextCursor c = e.At(2);
  EXPECT_EQ(ExpectMessage([&] { PasteMime(*e.doc, c, broken); }),
            "The data could not be pasted: The picture cannot be read");
  QMimeData empty;
  EXPECT_EQ(ExpectMessage([&] { PasteMime(*e.doc, c, empty); }), "There is nothing to paste");
  QMimeData text;
  text.setText("t");
  EXPECT_EQ(ExpectMessage([&] { PasteMime(*e.doc, c, text, PasteFormat::Picture); }), "The data holds no Picture");
  EXPECT_EQ(e.Describe(), before);
}

TEST(PasteMime, AChosenFormatIsPastedExactly) {
  QMimeData mime;
  mime.setData("text/rtf",
               QByteArray("{\\rtf1 {\\b A}{\\pict\\pngblip ") + QByteArray::fromStdString(HexOf(PngBytes(2, 2))) + "}B}");
  mime.setText("plain");
  {
    Editor e;
    QTextCursor c = e.At(0);
    PasteMime(*e.doc, c, mime, PasteFormat::RichTextWithoutObjects);
    EXPECT_EQ(e.Text(), u"AB\r");
    EXPECT_EQ(Bold(*e.doc, 0, 1), tomTrue);
  }
  {
    Editor e;
    QTextCursor c = e.At(0);
    PasteMime(*e.doc, c, mime, PasteFormat::RichText);
    EXPECT_EQ(e.Text(), u"A\uFFFCB\r");
    EXPECT_EQ(ObjectCount(*e.doc), 1);
  }
  {
    Editor e;
    e.doc->AppendText(u"x", Formatted(true));
    QTextCursor c = e.At(1);
    PasteMime(*e.doc, c, mime, PasteFormat::UnformattedText);
    EXPECT_EQ(e.Text(), u"xplain\r");
    EXPECT_EQ(Bold(*e.doc, 1, 6), tomTrue);  // in the format at the cursor
  }
}

TEST(InsertPictureFile, InsertsThePictureAndLeavesTheClipboardAlone) {
  TempDir dir;
  const std::string png = PngBytes(20, 10);
  WriteFile(dir / "a.png", png);
  WriteFile(dir / "b.bmp", BmpBytes(8, 4));
  QGuiApplication::clipboard()->setText("the user's");
  Editor e;
  e.doc->AppendText(u"ab", CharFormat());
  QTextCursor c = e.At(1);
  InsertPictureFile(*e.doc, c, (dir / "a.png").string());
  InsertPictureFile(*e.doc, c, (dir / "b.bmp").string());
  EXPECT_EQ(e.Text(), u"a\uFFFC\uFFFCb\r");
  auto first = StoredAt(*e.doc, 1), second = StoredAt(*e.doc, 2);
  ASSERT_TRUE(first && first->picture && second && second->picture);
  EXPECT_EQ(first->picture->format, PictureFormat::kPng);
  EXPECT_EQ(first->picture->bytes, png);  // kept as it was
  EXPECT_EQ(second->picture->format, PictureFormat::kPng);  // stored as PNG
  EXPECT_EQ(*e.doc->ObjectExtentAt(1), (SIZEL{529, 265}));  // 20 x 10 pixels at 96 dpi
  EXPECT_EQ(QGuiApplication::clipboard()->text(), "the user's");
  e.edit.undo();
  EXPECT_EQ(e.Text(), u"a\uFFFCb\r");
}

TEST(InsertPictureFile, AnUnreadablePictureInsertsNothing) {
  TempDir dir;
  WriteFile(dir / "bad.png", "\x89PNG\r\n\x1a\n not really");
  Editor e;
  e.doc->AppendText(u"ab", CharFormat());
  QTextCursor c = e.At(1);
  const std::string bad = (dir / "bad.png").string();
  EXPECT_EQ(ExpectMessage([&] { InsertPictureFile(*e.doc, c, bad); }),
            "Cannot insert the picture " + bad + ". The picture cannot be read");
  const std::string missing = (dir / "none.png").string();
  EXPECT_EQ(ExpectMessage([&] { InsertPictureFile(*e.doc, c, missing); }),
            "Cannot read the picture " + missing + ": No such file or directory");
  EXPECT_EQ(e.Text(), u"ab\r");
  EXPECT_EQ(ObjectCount(*e.doc), 0);
}

}  // namespace
}  // namespace tagsmith::testing
