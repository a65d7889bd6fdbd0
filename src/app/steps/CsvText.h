#pragma once
// A table as text that the spreadsheet programs of Brazil open as they are
// set up by default: UTF-8 with a byte-order mark (without it they read the
// bytes as their own code page), ";" between cells (the "," is the decimal
// separator there) and CR LF after each line.
//
// A cell that a spreadsheet would read as a formula (one starting with "=",
// "+", "-", "@", a tab or a carriage return) is written with an apostrophe
// in front, so that it stays text: a name in a data file, which a restored
// or shared folder brings from anywhere, must not become a formula that
// runs when the list is opened.
#include <string>
#include <string_view>
#include <vector>

namespace Csv {

inline constexpr std::string_view ByteOrderMark = "\xEF\xBB\xBF";

// One cell (UTF-8), guarded and quoted as needed: in double quotes, with
// inner quotes doubled, when it holds ";", a quote, a line break or a blank
// at either end.
std::string Cell(std::string_view Utf8);
// The cells joined by ";", ending in CR LF.
std::string Line(const std::vector<std::string>& Cells);

// The data files' single-byte text (Windows-1252) as UTF-8. A byte that
// the code page leaves undefined keeps its own code point.
std::string FromWindows1252(std::string_view Text);

} // namespace Csv
