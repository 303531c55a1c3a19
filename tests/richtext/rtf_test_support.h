#pragma once

// Helpers for the RTF tests: reading into a RichDocument, and a line-by-line
// description of a document as the text-object operations report it, so that
// two documents compare with a readable difference.

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/strings.h"
#include "richtext/embedded_object.h"
#include "richtext/rich_document.h"
#include "richtext/rtf_reader.h"
#include "richtext/tom.h"

namespace tagsmith::testing {

inline std::shared_ptr<RichDocument> ReadDocument(std::string_view rtf) {
  auto doc = RichDocument::Create();
  ReadRtf(rtf, *doc);
  return doc;
}

// The character format the document holds for the character at `pos`.
inline CharFormat FormatAt(const RichDocument& doc, int32_t pos) {
  std::vector<uint32_t> formats;
  doc.FormatsIn(pos, pos + 1, &formats);
  return doc.Format(formats.front());
}

inline ParaFormat ParaAt(const RichDocument& doc, int32_t pos) {
  size_t first = 0, last = 0;
  doc.ParagraphsIn(pos, pos + 1, &first, &last);
  return doc.Paragraph(first);
}

// Object i of the document and its stored data.
struct ObjectAt {
  int32_t cp = -1;
  SIZEL extent;
  std::shared_ptr<IOleObject> object;
  std::shared_ptr<const StoredObjectData> data;
};

inline ObjectAt Object(IRichEditOle& list, int32_t index) {
  REOBJECT reo;
  reo.cbStruct = sizeof(REOBJECT);
  OleCheck(list.GetObject(index, &reo, REO_GETOBJ_POLEOBJ));
  ObjectAt o{reo.cp, reo.sizel, reo.poleobj, nullptr};
  if (o.object) (void)o.object->GetStoredData(&o.data);
  return o;
}

inline int32_t ObjectCount(IRichEditOle& list) {
  int32_t n = 0;
  OleCheck(list.GetObjectCount(&n));
  return n;
}

inline std::string Hash(const std::string& bytes) {
  uint64_t h = 1469598103934665603ull;
  for (char c : bytes) h = (h ^ static_cast<uint8_t>(c)) * 1099511628211ull;
  return FormatString("%zu:%016llx", bytes.size(), static_cast<unsigned long long>(h));
}

inline std::string Quoted(const std::u16string& s) {
  std::string out = "\"";
  for (char16_t c : s) {
    if (c == u'\r') out += "\\r";
    else if (c == u'\t') out += "\\t";
    else if (c == u'"' || c == u'\\') out += std::string("\\") + static_cast<char>(c);
    else if (c < 0x20 || (c >= 0xD800 && c <= 0xDFFF) || c == 0xFFFC) out += FormatString("\\u%04X", c);
    else out += Utf16ToUtf8(std::u16string(1, c));
  }
  return out + "\"";
}

inline std::string DescribePicture(const PictureData& p) {
  return FormatString("picture format=%d bytes=%s picw=%d pich=%d goal=%dx%d scale=%dx%d map=%d bitmap=%d/%d/%d",
                      static_cast<int>(p.format), Hash(p.bytes).c_str(), p.width, p.height, p.goalWidth,
                      p.goalHeight, p.scaleX, p.scaleY, p.mappingMode, p.bitsPerPixel, p.planes, p.widthBytes);
}

// Every run, paragraph and object of the document, one per line, read
// through the text-object operations only.
inline std::string Describe(ITextDocument& doc, IRichEditOle& objects) {
  std::string out;
  std::shared_ptr<ITextRange> r;
  OleCheck(doc.Range(0, 0, &r));
  int32_t length = 0;
  OleCheck(r->GetStoryLength(&length));
  std::shared_ptr<ITextRange> all;
  OleCheck(doc.Range(0, length, &all));
  std::u16string text;
  OleCheck(all->GetText(&text));
  out += "text " + Quoted(text) + "\n";
  for (int32_t unit : {tomCharFormat, tomParagraph}) {
    OleCheck(doc.Range(0, 0, &r));
    for (int guard = 0; guard < 10000000; ++guard) {
      int32_t delta = 0, s = 0, e = 0;
      OleCheck(r->MoveEnd(unit, 1, &delta));
      if (delta == 0 || delta == -1) break;
      OleCheck(r->GetStart(&s));
      OleCheck(r->GetEnd(&e));
      if (unit == tomCharFormat) {
        std::shared_ptr<ITextFont> f;
        OleCheck(r->GetFont(&f));
        int32_t b, i, u, st, sup, sub, fore, back;
        float size;
        std::u16string name, url;
        OleCheck(f->GetBold(&b));
        OleCheck(f->GetItalic(&i));
        OleCheck(f->GetUnderline(&u));
        OleCheck(f->GetStrikeThrough(&st));
        OleCheck(f->GetSuperscript(&sup));
        OleCheck(f->GetSubscript(&sub));
        OleCheck(f->GetForeColor(&fore));
        OleCheck(f->GetBackColor(&back));
        OleCheck(f->GetSize(&size));
        OleCheck(f->GetName(&name));
        OleCheck(r->GetURL(&url));
        out += FormatString("run %d-%d font=%s size=%g fore=%d back=%d b=%d i=%d u=%d s=%d sup=%d sub=%d link=%s\n",
                            s, e, Quoted(name).c_str(), size, fore, back, b, i, u, st, sup, sub, Quoted(url).c_str());
      } else {
        std::shared_ptr<ITextPara> p;
        OleCheck(r->GetPara(&p));
        int32_t align, list;
        OleCheck(p->GetAlignment(&align));
        OleCheck(p->GetListType(&list));
        out += FormatString("para %d-%d align=%d list=%d\n", s, e, align, list);
      }
      OleCheck(r->Move(unit, 1, &delta));
      if (delta == 0 || delta == -1) break;
    }
  }
  const int32_t n = ObjectCount(objects);
  for (int32_t k = 0; k < n; ++k) {
    ObjectAt o = Object(objects, k);
    out += FormatString("object %d at %d extent=%dx%d", k, o.cp, o.extent.cx, o.extent.cy);
    CLSID clsid;
    if (o.object && o.object->GetUserClassID(&clsid).ok()) out += " class=" + clsid.progId;
    if (o.data && o.data->ole) {
      const OleData& ole = *o.data->ole;
      out += FormatString(" ole kind=%d class=%s data=%s objw=%d objh=%d scale=%dx%d", static_cast<int>(ole.kind),
                          ole.className.c_str(), Hash(ole.data).c_str(), ole.width, ole.height, ole.scaleX,
                          ole.scaleY);
    }
    if (o.data && o.data->picture) out += " " + DescribePicture(*o.data->picture);
    out += "\n";
  }
  return out;
}

inline std::string Describe(RichDocument& doc) { return Describe(doc, doc); }

}  // namespace tagsmith::testing
