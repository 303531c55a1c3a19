// Runs the worked cases of data/writers.txt (the Classic writers) and of
// data/dialect-NAME.txt (one file per dialect, over the same documents and
// some of its own): each builds a document, runs the whole conversion and
// compares the code with the expected text exactly.
//
// TAGSMITH_UPDATE_EXPECTED=1 rewrites the expected blocks of the dialect
// files with the code produced, for reviewing a deliberate change as a diff.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>

#include "conversion/tags_array.h"
#include "platform/strings.h"
#include "richtext/rich_document.h"
#include "support/fake_object.h"

namespace tagsmith {
namespace {

struct ObjectFields {
  uint8_t kind = 0;
  int64_t bytes = 0;
  std::string url, preview, page, pngFile, jpegFile;
};

struct Expectation {
  std::string header;  // the "--- ..." line
  TDialectId dialect = mdClassic;
  uint8_t outputKind = 0;
  size_t firstLine = 0, endLine = 0;  // the block's lines in the file, 0-based
  bool local = false;
  bool antiHotlinking = false;
  std::optional<uint16_t> tags;
  std::string code;
};

struct Case {
  std::string name;
  int line = 0;
  std::vector<std::string> document;
  std::vector<Expectation> expectations;
};

// Splits a command line into words; "..." is one word with \r, \" and \\.
std::vector<std::string> Words(const std::string& line) {
  std::vector<std::string> out;
  size_t i = 0;
  while (i < line.size()) {
    while (i < line.size() && line[i] == ' ') ++i;
    if (i >= line.size()) break;
    std::string word;
    bool quoted = false;
    while (i < line.size() && (quoted || line[i] != ' ')) {
      char c = line[i++];
      if (c == '"') {
        quoted = !quoted;
      } else if (c == '\\' && quoted && i < line.size()) {
        char e = line[i++];
        word.push_back(e == 'r' ? '\r' : e == 't' ? '\t' : e);
      } else {
        word.push_back(c);
      }
    }
    out.push_back(word);
  }
  return out;
}

std::pair<std::string, std::string> KeyValue(const std::string& word) {
  const size_t eq = word.find('=');
  if (eq == std::string::npos) return {word, ""};
  return {word.substr(0, eq), word.substr(eq + 1)};
}

uint16_t ParseTags(const std::string& list, bool html) {
  static const std::map<std::string, int> htmlKinds = {
      {"image", httImage}, {"fontname", httFontName}, {"fontsize", httFontSize},
      {"fontcolor", httFontColor}, {"fontbkcolor", httFontBkColor}, {"bold", httBold},
      {"italic", httItalic}, {"underline", httUnderline}, {"strikeout", httStrikeout},
      {"align", httAlign}, {"bullets", httBullets}};
  static const std::map<std::string, int> bbKinds = {
      {"image", bttImage}, {"fontname", bttFontName}, {"fontsize", bttFontSize},
      {"fontcolor", bttFontColor}, {"bold", bttBold}, {"italic", bttItalic},
      {"underline", bttUnderline}, {"strikeout", bttStrikeout}, {"align", bttAlign},
      {"bullets", bttBullets}};
  if (list == "none") return 0;
  if (list == "all") return html ? THTMLTagSet::kAll : TBBCODETagSet::kAll;
  uint16_t bits = 0;
  std::stringstream in(list);
  std::string kind;
  while (std::getline(in, kind, ',')) {
    const auto& kinds = html ? htmlKinds : bbKinds;
    auto it = kinds.find(kind);
    if (it == kinds.end()) throw std::runtime_error("unknown tag kind " + kind);
    bits |= static_cast<uint16_t>(1u << it->second);
  }
  return bits;
}

std::string DataFile(const std::string& name) {
  return std::string(TAGSMITH_SOURCE_DIR) + "/tests/conversion/data/" + name;
}

std::vector<std::string> ReadLines(const std::string& file) {
  std::ifstream in(file);
  if (!in) throw std::runtime_error("cannot read " + file);
  std::vector<std::string> lines;
  std::string line;
  while (std::getline(in, line)) lines.push_back(line);
  return lines;
}

std::vector<Case> LoadCases(const std::vector<std::string>& lines) {
  std::vector<Case> cases;
  int lineNo = 0;
  Expectation* open = nullptr;
  std::vector<std::string> codeLines;
  auto closeBlock = [&] {
    if (!open) return;
    std::string code;
    for (size_t i = 0; i < codeLines.size(); ++i) code += (i ? "\n" : "") + codeLines[i];
    open->code = code;
    open->endLine = open->firstLine + codeLines.size();
    codeLines.clear();
    open = nullptr;
  };
  for (const std::string& line : lines) {
    ++lineNo;
    if (line.rfind("### ", 0) == 0) {
      closeBlock();
      cases.push_back(Case{line.substr(4), lineNo, {}, {}});
    } else if (line.rfind("--- ", 0) == 0 && !cases.empty()) {
      closeBlock();
      Expectation e;
      e.header = line;
      e.firstLine = size_t(lineNo);
      auto words = Words(line.substr(4));
      if (words.at(0) == "bbcode" || words.at(0) == "html") {
        e.outputKind = words[0] == "bbcode" ? 1 : 0;
      } else {
        const TDialect* d = FindDialect(words[0]);
        if (!d || d->Id == mdClassic) throw std::runtime_error("unknown output " + words[0]);
        e.dialect = d->Id;
        e.outputKind = d->OutputKind;
      }
      for (size_t i = 1; i < words.size(); ++i) {
        auto [k, v] = KeyValue(words[i]);
        if (k == "local") e.local = true;
        else if (k == "antihotlinking") e.antiHotlinking = true;
        else if (k == "tags") e.tags = ParseTags(v, e.outputKind == 0);
        else throw std::runtime_error("unknown option " + k);
      }
      cases.back().expectations.push_back(e);
      open = &cases.back().expectations.back();
    } else if (open) {
      codeLines.push_back(line);
    } else if (!cases.empty() && !line.empty() && line[0] != '#') {
      cases.back().document.push_back(line);
    }
  }
  closeBlock();
  return cases;
}

CharFormat ParseFormat(const std::vector<std::string>& words, size_t from) {
  CharFormat f;
  for (size_t i = from; i < words.size(); ++i) {
    auto [k, v] = KeyValue(words[i]);
    if (k == "bold") f.bold = true;
    else if (k == "italic") f.italic = true;
    else if (k == "strike") f.strikeout = true;
    else if (k == "sup") f.superscript = true;
    else if (k == "sub") f.subscript = true;
    else if (k == "underline") f.underline = std::stoi(v);
    else if (k == "font") f.fontName = Utf8ToUtf16(v);
    else if (k == "size") f.size = std::stof(v);
    else if (k == "color") f.foreColor = static_cast<int32_t>(std::stoul(v, nullptr, 16));
    else if (k == "bg") f.backColor = static_cast<int32_t>(std::stoul(v, nullptr, 16));
  }
  return f;
}

std::shared_ptr<RichDocument> Build(const Case& c, std::vector<ObjectFields>* objects) {
  auto doc = RichDocument::Create();
  for (const std::string& line : c.document) {
    auto words = Words(line);
    const std::string& cmd = words.at(0);
    if (cmd == "para") {
      static const std::map<std::string, int32_t> align = {
          {"left", tomAlignLeft}, {"right", tomAlignRight}, {"center", tomAlignCenter}, {"justify", tomAlignJustify}};
      ParaFormat p;
      p.alignment = align.at(words.at(1));
      p.bullets = words.size() > 2 && words[2] == "bullets";
      doc->SetParaFormat(p);
    } else if (cmd == "text") {
      doc->AppendText(Utf8ToUtf16(words.at(1)), ParseFormat(words, 2));
    } else if (cmd == "break") {
      doc->AppendLineBreak(ParseFormat(words, 1));
    } else if (cmd == "object") {
      ObjectFields o;
      for (size_t i = 1; i < words.size(); ++i) {
        auto [k, v] = KeyValue(words[i]);
        if (k == "file") o.kind = v == "png" ? 1 : 0;
        else if (k == "bytes") o.bytes = std::stoll(v);
        else if (k == "url") o.url = v;
        else if (k == "preview") o.preview = v;
        else if (k == "page") o.page = v;
        else if (k == "pngfile") o.pngFile = v;
        else if (k == "jpegfile") o.jpegFile = v;
      }
      objects->push_back(o);
      doc->AppendObject(std::make_shared<testing::FakeObject>(), SIZEL{2540, 2540}, ParseFormat(words, 1));
    } else {
      throw std::runtime_error("unknown command " + cmd);
    }
  }
  return doc;
}

std::string Visible(std::u16string code) {
  // The code's CR LF pairs become the fixture's line breaks; a lone CR or LF
  // would be a fault, so it shows up as an escape.
  std::string out;
  const std::string utf8 = Utf16ToUtf8(code);
  for (size_t i = 0; i < utf8.size(); ++i) {
    if (utf8[i] == '\r' && i + 1 < utf8.size() && utf8[i + 1] == '\n') {
      out += '\n';
      ++i;
    } else if (utf8[i] == '\r') {
      out += "\\r";
    } else if (utf8[i] == '\n') {
      out += "\\n";
    } else {
      out += utf8[i];
    }
  }
  return out;
}

// Runs every case of `file`; returns the file's lines with each expected
// block replaced by the code produced.
std::vector<std::string> RunCases(const std::string& file) {
  const std::vector<std::string> lines = ReadLines(DataFile(file));
  const std::vector<Case> cases = LoadCases(lines);
  EXPECT_FALSE(cases.empty()) << file;
  std::vector<std::string> updated;
  size_t copied = 0;
  for (const Case& c : cases) {
    std::vector<ObjectFields> objects;
    auto doc = Build(c, &objects);
    THTMLTagSetHolder html;
    TBBCODETagSetHolder bbcode;
    TDialectChoice dialects;
    TTagsArray tags;
    tags.Document = doc;
    tags.RichEditOle = doc;
    tags.DataModule = {&html, &bbcode, &dialects};
    tags.Analyze();
    EXPECT_EQ(tags.EmbObjFormats.size(), objects.size()) << file << ": " << c.name;
    if (tags.EmbObjFormats.size() != objects.size()) continue;
    for (size_t i = 0; i < objects.size(); ++i) {
      TEmbObjRec& rec = tags.EmbObjFormats[i].Obj;
      rec.ImageKind = objects[i].kind;
      rec.FileSize = objects[i].bytes;
      rec.ImageURL = Utf8ToUtf16(objects[i].url);
      rec.ImagePreviewURL = Utf8ToUtf16(objects[i].preview);
      rec.LinkToPage = Utf8ToUtf16(objects[i].page);
      rec.PngFile = Utf8ToUtf16(objects[i].pngFile);
      rec.JpegFile = Utf8ToUtf16(objects[i].jpegFile);
    }
    for (const Expectation& e : c.expectations) {
      html = THTMLTagSetHolder();
      bbcode = TBBCODETagSetHolder();
      if (e.tags) {
        if (e.outputKind == 0) html.Data = THTMLTagSet(*e.tags);
        else bbcode.Data = TBBCODETagSet(*e.tags);
      }
      dialects = TDialectChoice();
      (e.outputKind == 0 ? dialects.Html : dialects.BBCode) = e.dialect;
      tags.OutputKind = e.outputKind;
      tags.AntiHotlinking = e.antiHotlinking;
      const std::string code = Visible(tags.GetCode(e.local));
      EXPECT_EQ(code, e.code) << "case \"" << c.name << "\" (" << file << " line " << c.line << "), " << e.header;
      updated.insert(updated.end(), lines.begin() + long(copied), lines.begin() + long(e.firstLine));
      std::stringstream produced(code);
      for (std::string line; std::getline(produced, line);) updated.push_back(line);
      if (!code.empty() && code.back() == '\n') updated.push_back("");
      copied = e.endLine;
    }
  }
  updated.insert(updated.end(), lines.begin() + long(copied), lines.end());
  return updated;
}

TEST(WriterCases, EveryWorkedCaseProducesExactlyItsCode) { RunCases("writers.txt"); }

std::string DialectFile(const TDialect* d) { return std::string("dialect-") + d->Name + ".txt"; }

std::vector<const TDialect*> DialectsButClassic() {
  std::vector<const TDialect*> out;
  for (uint8_t kind : {0, 1})
    for (const TDialect* d : DialectsOf(kind))
      if (d->Id != mdClassic) out.push_back(d);
  return out;
}

TEST(WriterCases, EveryDialectProducesExactlyItsCode) {
  const bool update = std::getenv("TAGSMITH_UPDATE_EXPECTED") != nullptr;
  for (const TDialect* d : DialectsButClassic()) {
    const std::vector<std::string> updated = RunCases(DialectFile(d));
    if (update) {
      std::ofstream out(DataFile(DialectFile(d)), std::ios::trunc);
      for (const std::string& line : updated) out << line << "\n";
    }
  }
}

// Each dialect's file holds every Classic case with the same document, so
// every dialect is tried on every input the Classic writers are.
TEST(WriterCases, EveryDialectFileCoversTheClassicDocuments) {
  const std::vector<Case> classic = LoadCases(ReadLines(DataFile("writers.txt")));
  for (const TDialect* d : DialectsButClassic()) {
    const std::vector<Case> cases = LoadCases(ReadLines(DataFile(DialectFile(d))));
    for (const Case& c : classic) {
      auto it = std::find_if(cases.begin(), cases.end(), [&](const Case& x) { return x.name == c.name; });
      ASSERT_NE(it, cases.end()) << DialectFile(d) << " lacks the case \"" << c.name << "\"";
      EXPECT_EQ(it->document, c.document) << DialectFile(d) << ": " << c.name;
      for (const Expectation& e : it->expectations)
        EXPECT_EQ(e.dialect, d->Id) << DialectFile(d) << ": " << c.name << ", " << e.header;
    }
  }
}

}  // namespace
}  // namespace tagsmith
