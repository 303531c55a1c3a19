#pragma once

// Helpers of the Qt tests: a QTextEdit with the Qt document over its
// document, as the editor window holds them.

#include <QTextEdit>

#include <memory>
#include <string>

#include "app/ui/qt_document.h"
#include "richtext/rtf_test_support.h"
#include "support/fake_object.h"

namespace tagsmith::testing {

struct Editor {
  Editor() : doc(std::make_shared<QtDocument>(edit.document())) {
    edit.resize(585, 626);
    doc->AttachEditor(&edit);
  }
  QTextEdit edit;
  std::shared_ptr<QtDocument> doc;

  std::u16string Text() {
    std::shared_ptr<ITextRange> r;
    OleCheck(doc->Range(0, INT32_MAX, &r));
    std::u16string t;
    OleCheck(r->GetText(&t));
    return t;
  }
  std::string Describe() { return testing::Describe(*doc, *doc); }
  QTextCursor At(int position) {
    QTextCursor c(edit.document());
    c.setPosition(position);
    return c;
  }
};

inline int32_t Bold(QtDocument& doc, int32_t first, int32_t limit) {
  std::shared_ptr<ITextRange> r;
  OleCheck(doc.Range(first, limit, &r));
  std::shared_ptr<ITextFont> f;
  OleCheck(r->GetFont(&f));
  int32_t v = 0;
  OleCheck(f->GetBold(&v));
  return v;
}

inline int32_t Alignment(QtDocument& doc, int32_t pos) {
  std::shared_ptr<ITextRange> r;
  OleCheck(doc.Range(pos, pos, &r));
  std::shared_ptr<ITextPara> p;
  OleCheck(r->GetPara(&p));
  int32_t a = 0;
  OleCheck(p->GetAlignment(&a));
  return a;
}

inline CharFormat Formatted(bool bold, int32_t colour = tomAutoColor, std::u16string font = u"Arial") {
  CharFormat f;
  f.fontName = std::move(font);
  f.bold = bold;
  f.foreColor = colour;
  return f;
}

}  // namespace tagsmith::testing
