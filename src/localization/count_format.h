#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace tagsmith {

// The number of integer conversions a translated format text takes ("%d",
// "%i", with flags "-+ 0", a width and a precision of at most two digits
// each), or nothing when it holds any other conversion (a string, a float, a
// "*" width, a length modifier, a positional argument) or ends inside one.
// "%%" is a literal percent sign and takes nothing.
std::optional<int> IntegerConversionCount(std::string_view format);

// Formats a translated count text ("ImagesProgressMsg", "ImagesUploadMsg")
// with the count done and the total. A language file is data from outside the
// program, so a text that takes anything but up to two integers never reaches
// printf: it throws ESimpleTranslator
// "Format '<text>' invalid or incompatible with argument".
std::string FormatCountText(const std::string& format, int done, int total);

}  // namespace tagsmith
