// tagsmith-convert: an RTF document to forum BBCode or HTML from the shell,
// made as the editor's convert dialog makes it. Exit status 0 on success, 1
// when the document cannot be read or the code cannot be written, 2 for a
// command line that cannot be understood.

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "app/global_share.h"
#include "conversion/tag_sets.h"
#include "conversion/tags_array.h"
#include "platform/memory.h"
#include "platform/strings.h"
#include "richtext/rich_document.h"
#include "richtext/rtf_reader.h"

namespace tagsmith {
namespace {

constexpr const char* kUsage =
    "usage: tagsmith-convert [--to bbcode|html] [-o FILE] [--tags LIST] INPUT\n"
    "\n"
    "Converts the RTF document INPUT (a file, or - for standard input) into forum\n"
    "BBCode or HTML the way the editor's Convert dialog does, and writes the code\n"
    "as UTF-8, with CR LF line ends, to standard output or FILE.\n"
    "\n"
    "  --to KIND    bbcode (the default) or html\n"
    "  -o FILE      write the code to FILE instead of standard output\n"
    "  --tags LIST  for this run, the tag kinds the code may use instead of those\n"
    "               of the settings: a comma-separated list of image, fontname,\n"
    "               fontsize, fontcolor, fontbkcolor (HTML only), bold, italic,\n"
    "               underline, strikeout, align, bullets; an empty LIST allows none\n"
    "  -h, --help   this text\n"
    "\n"
    "The tag kinds of each output come from the settings of Tagsmith (the defaults\n"
    "when none are stored; tagsmith-config shows and changes them). Pictures and\n"
    "embedded objects are written as image tags without addresses.\n"
    "\n"
    "Errors are reported as \"tagsmith-convert: FILE: message\".\n";

struct UsageError {
  std::string message;
};

// A failure about one file: the input, the output or the settings.
struct FileError {
  std::string file;
  std::string message;
};

struct Options {
  uint8_t outputKind = 1;  // as TTagsArray::OutputKind: 0 HTML, 1 BBCode
  std::string input;
  std::optional<std::string> output;
  std::optional<std::string> tags;
};

Options ParseArguments(const std::vector<std::string>& args) {
  Options o;
  std::vector<std::string> inputs;
  bool options = true;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    auto value = [&](const char* what) -> const std::string& {
      if (i + 1 >= args.size()) throw UsageError{a + " needs " + what};
      return args[++i];
    };
    if (options && a == "--") {
      options = false;
    } else if (options && (a == "--to" || a.rfind("--to=", 0) == 0)) {
      const std::string kind = a == "--to" ? value("bbcode or html") : a.substr(5);
      if (EqualsIgnoreCase(kind, "bbcode")) o.outputKind = 1;
      else if (EqualsIgnoreCase(kind, "html")) o.outputKind = 0;
      else throw UsageError{"--to takes bbcode or html, not \"" + kind + "\""};
    } else if (options && a == "-o") {
      o.output = value("a file name");
    } else if (options && (a == "--tags" || a.rfind("--tags=", 0) == 0)) {
      o.tags = a == "--tags" ? value("a list of tag kinds") : a.substr(7);
    } else if (options && a.size() > 1 && a[0] == '-') {
      throw UsageError{"unknown option " + a};
    } else {
      inputs.push_back(a);
    }
  }
  if (inputs.empty()) throw UsageError{"no INPUT given"};
  if (inputs.size() > 1) throw UsageError{"one INPUT only, not " + std::to_string(inputs.size())};
  o.input = inputs.front();
  return o;
}

// The tag kinds of --tags as the bits of the chosen output's set.
uint16_t ParseTagList(const std::string& list, uint8_t outputKind) {
  struct Kind {
    const char* name;
    int html;
    int bbcode;  // -1: not a kind of that output
  };
  static const Kind kinds[] = {
      {"image", httImage, bttImage},           {"fontname", httFontName, bttFontName},
      {"fontsize", httFontSize, bttFontSize},  {"fontcolor", httFontColor, bttFontColor},
      {"fontbkcolor", httFontBkColor, -1},     {"bold", httBold, bttBold},
      {"italic", httItalic, bttItalic},        {"underline", httUnderline, bttUnderline},
      {"strikeout", httStrikeout, bttStrikeout}, {"align", httAlign, bttAlign},
      {"bullets", httBullets, bttBullets},
  };
  uint16_t bits = 0;
  std::stringstream items(list);
  std::string item;
  while (std::getline(items, item, ',')) {
    const size_t a = item.find_first_not_of(" \t"), b = item.find_last_not_of(" \t");
    item = a == std::string::npos ? std::string() : item.substr(a, b - a + 1);
    if (item.empty()) continue;
    const Kind* found = nullptr;
    for (const Kind& k : kinds)
      if (EqualsIgnoreCase(item, k.name)) found = &k;
    if (!found) throw UsageError{"unknown tag kind \"" + item + "\""};
    const int bit = outputKind == 0 ? found->html : found->bbcode;
    if (bit < 0) throw UsageError{std::string(found->name) + " is not a tag kind of BBCode"};
    bits = static_cast<uint16_t>(bits | (1u << bit));
  }
  return bits;
}

std::string ReadInput(const std::string& name) {
  if (name == "-") {
    std::string bytes;
    char buffer[65536];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, stdin)) > 0) bytes.append(buffer, n);
    if (std::ferror(stdin)) throw FileError{name, std::string("cannot be read: ") + std::strerror(errno)};
    return bytes;
  }
  std::FILE* file = std::fopen(name.c_str(), "rb");
  if (!file) throw FileError{name, std::string("cannot be read: ") + std::strerror(errno)};
  // Read in one piece where the size is known (a plain file), else in blocks.
  std::string bytes;
  if (std::fseek(file, 0, SEEK_END) == 0) {
    const long size = std::ftell(file);
    if (size > 0) bytes.reserve(static_cast<size_t>(size));
    std::rewind(file);
  }
  char buffer[65536];
  size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, file)) > 0) bytes.append(buffer, n);
  const bool failed = std::ferror(file) != 0;
  const int error = errno;
  std::fclose(file);
  if (failed) throw FileError{name, std::string("cannot be read: ") + std::strerror(error)};
  return bytes;
}

void WriteOutput(const std::optional<std::string>& name, const std::string& code) {
  if (!name) {
    if (std::fwrite(code.data(), 1, code.size(), stdout) != code.size() || std::fflush(stdout) != 0)
      throw FileError{"standard output", std::string("cannot be written: ") + std::strerror(errno)};
    return;
  }
  std::ofstream out(*name, std::ios::binary | std::ios::trunc);
  if (!out) throw FileError{*name, std::string("cannot be written: ") + std::strerror(errno)};
  out.write(code.data(), static_cast<std::streamsize>(code.size()));
  out.close();
  if (!out) throw FileError{*name, std::string("cannot be written: ") + std::strerror(errno)};
}

int Run(const std::vector<std::string>& args) {
  for (const std::string& a : args) {
    if (a == "--") break;
    if (a == "-h" || a == "--help") {
      std::cout << kUsage;
      return 0;
    }
  }
  const Options o = ParseArguments(args);
  std::optional<uint16_t> tagBits;
  if (o.tags) tagBits = ParseTagList(*o.tags, o.outputKind);

  auto doc = RichDocument::Create();
  try {
    ReadRtf(ReadInput(o.input), *doc);
  } catch (const ERtfReader& e) {
    throw FileError{o.input, e.what()};
  }

  // The settings as the editor's data module and convert dialog read them.
  THTMLTagSetHolder html;
  TBBCODETagSetHolder bbcode;
  bool antiHotlinking = false;
  {
    // A registry failure names its file in its message.
    Registry registry(Registry::DefaultFileName());
    SettingsStore store(registry);
    store.ReadPersistent(settings::kHTMLTagSet, html);
    store.ReadPersistent(settings::kBBCodeTagSet, bbcode);
    antiHotlinking = store.Read(settings::kEnableAntiHotlinking);
  }
  if (tagBits) {
    if (o.outputKind == 0) html.Data = THTMLTagSet(*tagBits);
    else bbcode.Data = TBBCODETagSet(*tagBits);
  }

  TTagsArray tags;
  tags.Document = doc;
  tags.RichEditOle = doc;
  tags.AntiHotlinking = antiHotlinking;
  tags.DataModule = {&html, &bbcode};
  std::u16string code;
  try {
    tags.Analyze();
    tags.OutputKind = o.outputKind;
    code = tags.GetCode(false);
  } catch (const Exception& e) {
    throw FileError{o.input, e.what()};
  }
  WriteOutput(o.output, Utf16ToUtf8(code));
  return 0;
}

}  // namespace
}  // namespace tagsmith

int main(int argc, char** argv) {
  tagsmith::TuneAllocator();
  const std::vector<std::string> args(argv + 1, argv + argc);
  try {
    return tagsmith::Run(args);
  } catch (const tagsmith::UsageError& e) {
    std::cerr << "tagsmith-convert: " << e.message << "\n\n" << tagsmith::kUsage;
    return 2;
  } catch (const tagsmith::FileError& e) {
    std::cerr << "tagsmith-convert: " << e.file << ": " << e.message << "\n";
    return 1;
  } catch (const std::exception& e) {
    std::cerr << "tagsmith-convert: " << e.what() << "\n";
    return 1;
  }
}
