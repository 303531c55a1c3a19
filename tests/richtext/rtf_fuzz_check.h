#pragma once

// The properties the RTF fuzzer checks on every input, shared with the test
// that replays the inputs it once found failing.

#include <string>
#include <string_view>

#include "richtext/rich_document.h"
#include "richtext/rtf_reader.h"
#include "richtext/rtf_writer.h"

namespace tagsmith::testing {

// Reads `input` as RTF; what was read, written and read again is the same
// text, and writing it again gives the same RTF. Returns what went wrong, or
// an empty string. Crashes, leaks, hangs and runaway memory are the
// sanitizers' and the fuzzer's to catch.
inline std::string CheckRtfInput(std::string_view input) {
  auto doc = RichDocument::Create();
  try {
    ReadRtf(input, *doc);
  } catch (const ERtfReader&) {
    return std::string();  // a clear error is a fine answer to bad input
  }
  if (static_cast<size_t>(doc->StoryLength()) > input.size() + 1) return "the text outgrew the input";
  const std::string once = WriteRtf(*doc, *doc);
  auto again = RichDocument::Create();
  try {
    ReadRtf(once, *again);
  } catch (const ERtfReader& e) {
    return std::string("the written RTF does not read: ") + e.what();
  }
  if (again->Text() != doc->Text()) return "the written RTF reads as another text";
  if (WriteRtf(*again, *again) != once) return "writing what was written gives other RTF";
  return std::string();
}

}  // namespace tagsmith::testing
