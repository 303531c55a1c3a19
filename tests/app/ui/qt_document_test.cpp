#include "app/ui/qt_document.h"

#include <gtest/gtest.h>

#include <QTextDocument>

#include "richtext/document_conformance.h"

namespace tagsmith::testing {
namespace {

class QtDocumentFactory : public DocumentFactory {
 public:
  TestDocument Build(const std::function<void(IDocumentBuilder&)>& build) override {
    struct Holder {
      std::unique_ptr<QTextDocument> text = std::make_unique<QTextDocument>();
      std::shared_ptr<QtDocument> doc = std::make_shared<QtDocument>(text.get());
    };
    auto holder = std::make_shared<Holder>();
    build(*holder->doc);
    return TestDocument{holder->doc, holder->doc, holder};
  }
};

QtDocumentFactory factory;
INSTANTIATE_TEST_SUITE_P(QtDocument, DocumentConformance, ::testing::Values(&factory));

}  // namespace
}  // namespace tagsmith::testing
