#pragma once

// A document that fails on demand: it wraps a real document and makes call
// number N (counted over every text-object and object-list call, 1-based)
// fail with a message. Tests sweep N to prove every call site reports the
// failure cleanly. It can also override what a font or paragraph answers.

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "platform/strings.h"
#include "richtext/rich_edit_ole.h"
#include "richtext/tom.h"

namespace tagsmith::testing {

class FailingDocument : public ITextDocument, public IRichEditOle {
 public:
  FailingDocument(std::shared_ptr<ITextDocument> doc, std::shared_ptr<IRichEditOle> objects)
      : doc_(std::move(doc)), objects_(std::move(objects)) {}

  int failAt = 0;  // 0: never fail
  int calls = 0;
  std::optional<int32_t> underline;  // overrides GetUnderline
  std::optional<int32_t> alignment;  // overrides GetAlignment

  // Counts one call; true when this one must fail.
  bool Fails() { return ++calls == failAt; }
  TomStatus Failure() { return TomStatus::Fail(FormatString("Simulated failure of call %d", calls)); }

  TomStatus Range(int32_t first, int32_t limit, std::shared_ptr<ITextRange>* range) override;
  TomStatus GetSelection(std::shared_ptr<ITextRange>* selection) override;
  TomStatus GetObjectCount(int32_t* count) override {
    if (Fails()) return Failure();
    return objects_->GetObjectCount(count);
  }
  TomStatus GetObject(int32_t index, REOBJECT* object, uint32_t flags) override {
    if (Fails()) return Failure();
    return objects_->GetObject(index, object, flags);
  }

 private:
  std::shared_ptr<ITextDocument> doc_;
  std::shared_ptr<IRichEditOle> objects_;
};

#define TAGSMITH_FORWARD(call) \
  if (owner_->Fails()) return owner_->Failure(); \
  return inner_->call

class FailingFont : public ITextFont {
 public:
  FailingFont(FailingDocument* owner, std::shared_ptr<ITextFont> inner) : owner_(owner), inner_(std::move(inner)) {}
  TomStatus GetBold(int32_t* v) override { TAGSMITH_FORWARD(GetBold(v)); }
  TomStatus GetItalic(int32_t* v) override { TAGSMITH_FORWARD(GetItalic(v)); }
  TomStatus GetStrikeThrough(int32_t* v) override { TAGSMITH_FORWARD(GetStrikeThrough(v)); }
  TomStatus GetUnderline(int32_t* v) override {
    if (owner_->Fails()) return owner_->Failure();
    if (owner_->underline) {
      *v = *owner_->underline;
      return TomStatus::Ok();
    }
    return inner_->GetUnderline(v);
  }
  TomStatus GetSuperscript(int32_t* v) override { TAGSMITH_FORWARD(GetSuperscript(v)); }
  TomStatus GetSubscript(int32_t* v) override { TAGSMITH_FORWARD(GetSubscript(v)); }
  TomStatus GetForeColor(int32_t* v) override { TAGSMITH_FORWARD(GetForeColor(v)); }
  TomStatus GetBackColor(int32_t* v) override { TAGSMITH_FORWARD(GetBackColor(v)); }
  TomStatus GetName(std::u16string* v) override { TAGSMITH_FORWARD(GetName(v)); }
  TomStatus GetSize(float* v) override { TAGSMITH_FORWARD(GetSize(v)); }
  TomStatus SetForeColor(int32_t v) override { TAGSMITH_FORWARD(SetForeColor(v)); }
  TomStatus SetSize(float v) override { TAGSMITH_FORWARD(SetSize(v)); }

 private:
  FailingDocument* owner_;
  std::shared_ptr<ITextFont> inner_;
};

class FailingPara : public ITextPara {
 public:
  FailingPara(FailingDocument* owner, std::shared_ptr<ITextPara> inner) : owner_(owner), inner_(std::move(inner)) {}
  TomStatus GetAlignment(int32_t* v) override {
    if (owner_->Fails()) return owner_->Failure();
    if (owner_->alignment) {
      *v = *owner_->alignment;
      return TomStatus::Ok();
    }
    return inner_->GetAlignment(v);
  }
  TomStatus GetListType(int32_t* v) override { TAGSMITH_FORWARD(GetListType(v)); }

 private:
  FailingDocument* owner_;
  std::shared_ptr<ITextPara> inner_;
};

class FailingRange : public ITextRange {
 public:
  FailingRange(FailingDocument* owner, std::shared_ptr<ITextRange> inner) : owner_(owner), inner_(std::move(inner)) {}
  TomStatus GetStart(int32_t* v) override { TAGSMITH_FORWARD(GetStart(v)); }
  TomStatus GetEnd(int32_t* v) override { TAGSMITH_FORWARD(GetEnd(v)); }
  TomStatus SetStart(int32_t v) override { TAGSMITH_FORWARD(SetStart(v)); }
  TomStatus SetEnd(int32_t v) override { TAGSMITH_FORWARD(SetEnd(v)); }
  TomStatus GetStoryLength(int32_t* v) override { TAGSMITH_FORWARD(GetStoryLength(v)); }
  TomStatus MoveEnd(int32_t unit, int32_t count, int32_t* delta) override {
    TAGSMITH_FORWARD(MoveEnd(unit, count, delta));
  }
  TomStatus Move(int32_t unit, int32_t count, int32_t* delta) override { TAGSMITH_FORWARD(Move(unit, count, delta)); }
  TomStatus GetText(std::u16string* v) override { TAGSMITH_FORWARD(GetText(v)); }
  TomStatus GetURL(std::u16string* v) override { TAGSMITH_FORWARD(GetURL(v)); }
  TomStatus GetFont(std::shared_ptr<ITextFont>* font) override {
    if (owner_->Fails()) return owner_->Failure();
    std::shared_ptr<ITextFont> inner;
    TomStatus st = inner_->GetFont(&inner);
    if (st.ok()) *font = std::make_shared<FailingFont>(owner_, inner);
    return st;
  }
  TomStatus GetPara(std::shared_ptr<ITextPara>* para) override {
    if (owner_->Fails()) return owner_->Failure();
    std::shared_ptr<ITextPara> inner;
    TomStatus st = inner_->GetPara(&inner);
    if (st.ok()) *para = std::make_shared<FailingPara>(owner_, inner);
    return st;
  }

 private:
  FailingDocument* owner_;
  std::shared_ptr<ITextRange> inner_;
};

#undef TAGSMITH_FORWARD

inline TomStatus FailingDocument::Range(int32_t first, int32_t limit, std::shared_ptr<ITextRange>* range) {
  if (Fails()) return Failure();
  std::shared_ptr<ITextRange> inner;
  TomStatus st = doc_->Range(first, limit, &inner);
  if (st.ok()) *range = std::make_shared<FailingRange>(this, inner);
  return st;
}

inline TomStatus FailingDocument::GetSelection(std::shared_ptr<ITextRange>* selection) {
  if (Fails()) return Failure();
  std::shared_ptr<ITextRange> inner;
  TomStatus st = doc_->GetSelection(&inner);
  if (st.ok()) *selection = std::make_shared<FailingRange>(this, inner);
  return st;
}

}  // namespace tagsmith::testing
