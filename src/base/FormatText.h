#pragma once
// Fills the message templates of the texts table, kept word for word with
// their printf-style markers: each "%s" or "%d" takes the next argument, in
// order, as text (numbers are passed already written out). An argument is
// never read as a template, and a marker with no argument left stays as it is.
// Works on bytes: a template in Windows-1252 or in UTF-8 alike.
#include <string>
#include <string_view>
#include <vector>

std::string FormatText(std::string_view Format, const std::vector<std::string>& Arguments);
