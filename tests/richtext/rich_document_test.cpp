#include "richtext/rich_document.h"

#include <gtest/gtest.h>

#include "richtext/document_conformance.h"

namespace tagsmith::testing {
namespace {

class RichDocumentFactory : public DocumentFactory {
 public:
  TestDocument Build(const std::function<void(IDocumentBuilder&)>& build) override {
    auto doc = RichDocument::Create();
    build(*doc);
    return TestDocument{doc, doc, doc};
  }
};

RichDocumentFactory factory;
INSTANTIATE_TEST_SUITE_P(RichDocument, DocumentConformance, ::testing::Values(&factory));

TEST(RichDocument, SelectionIsSharedByEverySelectionRange) {
  auto doc = RichDocument::Create();
  doc->AppendText(u"hello world", CharFormat());
  doc->SetSelection(6, 11);
  std::shared_ptr<ITextRange> sel;
  OleCheck(doc->GetSelection(&sel));
  std::u16string text;
  OleCheck(sel->GetText(&text));
  EXPECT_EQ(text, u"world");
  OleCheck(sel->SetStart(0));
  std::shared_ptr<ITextRange> again;
  OleCheck(doc->GetSelection(&again));
  int32_t start = -1;
  OleCheck(again->GetStart(&start));
  EXPECT_EQ(start, 0);
}

TEST(RichDocument, UnitStepsStayFastOnLargeDocuments) {
  // 200,000 runs: walking them must be linear overall, not quadratic.
  auto doc = RichDocument::Create();
  CharFormat a, b;
  b.bold = true;
  for (int i = 0; i < 100000; ++i) {
    doc->AppendText(u"ab", a);
    doc->AppendText(u"cd", b);
  }
  std::shared_ptr<ITextRange> r;
  OleCheck(doc->Range(0, 0, &r));
  int runs = 0;
  for (int32_t delta = 1; delta == 1;) {
    OleCheck(r->MoveEnd(tomCharFormat, 1, &delta));
    if (delta != 1) break;
    ++runs;
    OleCheck(r->Move(tomCharFormat, 1, &delta));
  }
  EXPECT_EQ(runs, 200000);
}

}  // namespace
}  // namespace tagsmith::testing
