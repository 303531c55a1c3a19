// tagsmith-convert: an RTF document to forum BBCode or HTML from the shell,
// made as the editor's convert dialog makes it, with its pictures rendered
// into a folder and a browser preview page on request. Exit status 0 on
// success, 1 when the document cannot be read, an image cannot be made or the
// code cannot be written, 2 for a command line that cannot be understood,
// 128 + N when stopped by signal N while images are made.

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <optional>
#include <sstream>
#include <string>
#include <system_error>
#include <vector>

#include "app/convert_workflow.h"
#include "app/global_share.h"
#include "cli/cli_errors.h"
#include "cli/image_steps.h"
#include "cli/interrupt_watch.h"
#include "conversion/dialects.h"
#include "conversion/tag_sets.h"
#include "conversion/tags_array.h"
#include "images/temp_files.h"
#include "platform/memory.h"
#include "platform/strings.h"
#include "richtext/rich_document.h"
#include "richtext/rtf_reader.h"
#include "richtext/tom.h"
#include "upload/host_protocols.h"

namespace tagsmith {
namespace {

constexpr const char* kUsage =
    "usage: tagsmith-convert [--to bbcode|html] [-o FILE] [--tags LIST] INPUT\n"
    "       tagsmith-convert [--to bbcode|html] --dialect NAME [OPTIONS] INPUT\n"
    "       tagsmith-convert --images DIR [--preview FILE] [--upload HOST] [OPTIONS] INPUT\n"
    "\n"
    "Converts the RTF document INPUT (a file, or - for standard input) into forum\n"
    "BBCode or HTML the way the editor's Convert dialog does, and writes the code\n"
    "as UTF-8, with CR LF line ends, to standard output or FILE.\n"
    "\n"
    "  --to KIND       bbcode (the default) or html\n"
    "  --dialect NAME  for this run, the dialect of the code instead of the settings'\n"
    "                  BBCodeDialect or HTMLDialect: classic (both outputs), html5\n"
    "                  (HTML for browsers, with --to html), or phpbb, mybb, smf,\n"
    "                  xenforo, vbulletin (BBCode each of these forums reads right,\n"
    "                  with --to bbcode); the preview page follows the HTML dialect\n"
    "  -o FILE         write the code to FILE instead of standard output\n"
    "  --tags LIST     for this run, the tag kinds the code may use instead of those\n"
    "                  of the settings: a comma-separated list of image, fontname,\n"
    "                  fontsize, fontcolor, fontbkcolor (HTML only), bold, italic,\n"
    "                  underline, strikeout, align, bullets; an empty LIST allows none\n"
    "  --images DIR    render every picture and embedded object as the Convert dialog\n"
    "                  does (with the settings ImageFormat and UpscaleImages) and copy\n"
    "                  the file chosen for each into DIR, made when missing, as\n"
    "                  image-001.png or image-001.jpg and so on, in document order;\n"
    "                  files of those names are replaced\n"
    "  --preview FILE  with --images: also write the dialog's browser preview page to\n"
    "                  FILE (HTML, UTF-8), its images linked to the copies in DIR\n"
    "  --upload HOST   with --images: upload the images to HOST, imageshack or\n"
    "                  fastpic, as the dialog's Upload button does (the settings\n"
    "                  ImageShackHost, FastPicHost and EnableAntiHotlinking), and\n"
    "                  write the code with their addresses\n"
    "  --connect-to HOST:PORT\n"
    "                  with --upload, for trying the upload against a server of your\n"
    "                  own: every upload connects to HOST:PORT, while the requests\n"
    "                  still name the host of the settings\n"
    "  -h, --help      this text\n"
    "\n"
    "The tag kinds of each output come from the settings of Tagsmith (the defaults\n"
    "when none are stored; tagsmith-config shows and changes them). Pictures and\n"
    "embedded objects are written as image tags, without addresses unless\n"
    "uploaded.\n"
    "\n"
    "While images are rendered or uploaded, a progress line is shown on standard\n"
    "error when it is a terminal. A picture whose data cannot be drawn (damaged, or\n"
    "of a kind that cannot be shown here) is reported on standard error and written\n"
    "as a white picture, and the run still succeeds. An image that cannot be made\n"
    "or copied at all ends the run with status 1, and then no preview and no code\n"
    "are written. The images and the preview are written before the upload starts;\n"
    "a failed upload reports why on standard error and ends the run with status 1\n"
    "without code. Ctrl-C while images are made or uploaded stops the run cleanly\n"
    "(an upload is aborted) with status 130 and writes no code; the temporary files\n"
    "are removed in every case but a second Ctrl-C, which stops at once.\n"
    "\n"
    "Errors are reported as \"tagsmith-convert: FILE: message\". Exit status: 0 on\n"
    "success, 1 on failure, 2 for a command line it cannot understand, 128 + N when\n"
    "stopped by signal N.\n";

struct Options {
  uint8_t outputKind = 1;  // as TTagsArray::OutputKind: 0 HTML, 1 BBCode
  std::string input;
  std::optional<std::string> output;
  std::optional<std::string> tags;
  std::optional<TDialectId> dialect;
  std::optional<std::string> images;   // the folder for the copies
  std::optional<std::string> preview;  // the preview page's file
  std::optional<TUploadServer> upload;
  std::string connectTo;               // "HOST:PORT" for every upload connection
};

// "HOST:PORT" with a port from 1 to 65535.
bool IsHostAndPort(const std::string& text) {
  const size_t colon = text.rfind(':');
  if (colon == std::string::npos || colon == 0 || colon + 1 == text.size() || colon + 6 < text.size()) return false;
  for (size_t i = 0; i < colon; ++i)
    if (static_cast<unsigned char>(text[i]) <= ' ' || text[i] == '/') return false;
  long port = 0;
  for (size_t i = colon + 1; i < text.size(); ++i) {
    if (text[i] < '0' || text[i] > '9') return false;
    port = port * 10 + (text[i] - '0');
  }
  return port >= 1 && port <= 65535;
}

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
    } else if (options && (a == "--dialect" || a.rfind("--dialect=", 0) == 0)) {
      const std::string name = a == "--dialect" ? value("a dialect name") : a.substr(10);
      const TDialect* d = FindDialect(name);
      if (!d)
        throw UsageError{"--dialect takes classic, html5, phpbb, mybb, smf, xenforo or vbulletin, not \"" + name + "\""};
      o.dialect = d->Id;
    } else if (options && a == "-o") {
      o.output = value("a file name");
    } else if (options && (a == "--tags" || a.rfind("--tags=", 0) == 0)) {
      o.tags = a == "--tags" ? value("a list of tag kinds") : a.substr(7);
    } else if (options && (a == "--images" || a.rfind("--images=", 0) == 0)) {
      o.images = a == "--images" ? value("a folder") : a.substr(9);
      if (o.images->empty()) throw UsageError{"--images needs a folder"};
    } else if (options && (a == "--preview" || a.rfind("--preview=", 0) == 0)) {
      o.preview = a == "--preview" ? value("a file name") : a.substr(10);
      if (o.preview->empty()) throw UsageError{"--preview needs a file name"};
    } else if (options && (a == "--upload" || a.rfind("--upload=", 0) == 0)) {
      const std::string host = a == "--upload" ? value("imageshack or fastpic") : a.substr(9);
      if (EqualsIgnoreCase(host, "imageshack")) o.upload = TUploadServer::ImageShack;
      else if (EqualsIgnoreCase(host, "fastpic")) o.upload = TUploadServer::FastPic;
      else throw UsageError{"--upload takes imageshack or fastpic, not \"" + host + "\""};
    } else if (options && (a == "--connect-to" || a.rfind("--connect-to=", 0) == 0)) {
      o.connectTo = a == "--connect-to" ? value("HOST:PORT") : a.substr(13);
      if (!IsHostAndPort(o.connectTo)) throw UsageError{"--connect-to takes HOST:PORT, not \"" + o.connectTo + "\""};
    } else if (options && a.size() > 1 && a[0] == '-') {
      throw UsageError{"unknown option " + a};
    } else {
      inputs.push_back(a);
    }
  }
  if (o.preview && !o.images)
    throw UsageError{"--preview needs --images DIR: the page links the copies of the images there"};
  if (o.upload && !o.images) throw UsageError{"--upload needs --images DIR: the images are rendered there first"};
  if (!o.connectTo.empty() && !o.upload) throw UsageError{"--connect-to needs --upload"};
  if (o.dialect && *o.dialect != mdClassic && DialectProfile(*o.dialect).OutputKind != o.outputKind) {
    const TDialect& d = DialectProfile(*o.dialect);
    throw UsageError{std::string("--dialect ") + d.Name + " is a dialect of " + (d.OutputKind == 0 ? "HTML" : "BBCode") +
                     ": use it with --to " + (d.OutputKind == 0 ? "html" : "bbcode")};
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

// Makes the folder for the images, with its parents.
void MakeFolder(const std::string& dir) {
  std::error_code ec;
  std::filesystem::create_directories(dir, ec);
  if (!ec && !std::filesystem::is_directory(dir, ec)) ec = std::make_error_code(std::errc::not_a_directory);
  if (ec) throw FileError{dir, "cannot be made: " + ec.message()};
}

// Renders the objects, reports those that failed, and copies the chosen
// files into the folder; an object left without any file ends the run.
void MakeImages(TConvertWorkflow& workflow, ConsoleConvertView& view, const std::string& dir,
                const InterruptWatch& watch) {
  ProgressLine progress(isatty(STDERR_FILENO) == 1);
  TTagsArray& tags = workflow.TagsArray();
  const std::vector<TImageFailure> failures = RenderImages(workflow, view, watch, progress);
  int lost = 0;
  for (const TImageFailure& f : failures) {
    const TEmbObjRec& rec = tags.EmbObjFormats[size_t(f.Index)].Obj;
    if (f.FilesWritten) {
      std::cerr << "tagsmith-convert: " << (std::filesystem::path(dir) / ImageCopyName(f.Index, rec.ImageKind)).string()
                << ": " << f.Message << " (written as a white picture)\n";
    } else {
      std::cerr << "tagsmith-convert: object " << f.Index + 1 << ": " << f.Message << " (no image was made)\n";
      ++lost;
    }
  }
  if (lost) throw RunError{FormatString("%d of %d images could not be made; no code written", lost,
                                        int(tags.EmbObjFormats.size()))};
  CopyChosenImages(tags, dir);
}

// Uploads the images; a run that did not upload every image ends the run.
void Upload(TConvertWorkflow& workflow, ConsoleConvertView& view, const std::string& dir,
            const InterruptWatch& watch) {
  ProgressLine progress(isatty(STDERR_FILENO) == 1);
  if (UploadImages(workflow, view, watch, progress)) return;
  const TTagsArray& tags = workflow.TagsArray();
  for (const TUploadFailure& f : workflow.UploadFailures()) {
    const TEmbObjRec& rec = tags.EmbObjFormats[size_t(f.ImageId)].Obj;
    std::cerr << "tagsmith-convert: " << (std::filesystem::path(dir) / ImageCopyName(f.ImageId, rec.ImageKind)).string()
              << " could not be uploaded: " << f.Message << "\n";
  }
  throw RunError{FormatString("the upload to %s failed (%d of %d images uploaded); no code written",
                              workflow.ImageUploaderMain().UploadServer == TUploadServer::FastPic ? "FastPic"
                                                                                                 : "ImageShack",
                              workflow.UploadedCount(), int(tags.EmbObjFormats.size()))};
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

  // The tag sets as the editor's data module reads them; the convert dialog's
  // workflow reads its own settings. A registry failure names its file in its
  // message.
  InitGlobalShare();
  struct CloseSettings {
    ~CloseSettings() { DoneGlobalShare(); }
  } closeSettings;
  SettingsStore& store = GetSettingsStore();
  THTMLTagSetHolder html;
  TBBCODETagSetHolder bbcode;
  store.ReadPersistent(settings::kHTMLTagSet, html);
  store.ReadPersistent(settings::kBBCodeTagSet, bbcode);
  // The host, read before the work starts so that a setting it cannot use
  // stops the run at once.
  if (o.upload) ReadUploadHosts(*o.upload);
  if (tagBits) {
    if (o.outputKind == 0) html.Data = THTMLTagSet(*tagBits);
    else bbcode.Data = TBBCODETagSet(*tagBits);
  }
  TDialectChoice dialects = ReadDialects(store);
  if (o.dialect) (o.outputKind == 0 ? dialects.Html : dialects.BBCode) = *o.dialect;

  // The data module's temporary files: removed when the run ends, however it ends.
  TTempFiles tempFiles;
  if (IsLocalInstall()) tempFiles.SetTempDir(TempFilesDir());
  // Declared before the workflow, so that it outlives the workflow's threads.
  std::optional<InterruptWatch> watch;

  ConsoleConvertView view(o.outputKind);
  TConvertEnvironment environment;
  environment.TempFiles = &tempFiles;
  environment.TagSets = {&html, &bbcode, &dialects};
  std::optional<TConvertWorkflow> workflow;
  try {
    workflow.emplace(view, environment, doc, doc);
  } catch (const EOleError& e) {
    throw FileError{o.input, e.what()};
  } catch (const EConversionError& e) {
    throw FileError{o.input, e.what()};
  }
  if (o.upload) {
    workflow->ImageUploaderMain().UploadServer = *o.upload;
    workflow->UploadConnectTo = o.connectTo;
  }
  if (o.images) {
    MakeFolder(*o.images);
    // Made before the renderer starts the first thread, so that every thread
    // leaves the signals to it.
    watch.emplace();
    MakeImages(*workflow, view, *o.images, *watch);
    if (o.preview) WriteOutput(o.preview, workflow->PreviewPage());
    if (o.upload) Upload(*workflow, view, *o.images, *watch);
  }
  std::u16string code;
  try {
    code = workflow->GetOutputCode();
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
  } catch (const tagsmith::RunError& e) {
    std::cerr << "tagsmith-convert: " << e.message << "\n";
    return 1;
  } catch (const tagsmith::Interrupted& e) {
    std::cerr << "tagsmith-convert: interrupted; " << e.what << "\n";
    return 128 + e.signal;
  } catch (const std::exception& e) {
    std::cerr << "tagsmith-convert: " << e.what() << "\n";
    return 1;
  }
}
