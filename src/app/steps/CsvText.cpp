#include "app/steps/CsvText.h"

#include <cstdint>

namespace Csv {

namespace {

// Windows-1252 0x80..0x9F; 0 where the code page defines no character.
constexpr char16_t kHigh[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178,
};

void AppendUtf8(std::string& Out, std::uint32_t CodePoint)
{
    if (CodePoint < 0x80) {
        Out += static_cast<char>(CodePoint);
    } else if (CodePoint < 0x800) {
        Out += static_cast<char>(0xC0 | (CodePoint >> 6));
        Out += static_cast<char>(0x80 | (CodePoint & 0x3F));
    } else {
        Out += static_cast<char>(0xE0 | (CodePoint >> 12));
        Out += static_cast<char>(0x80 | ((CodePoint >> 6) & 0x3F));
        Out += static_cast<char>(0x80 | (CodePoint & 0x3F));
    }
}

bool LooksLikeFormula(std::string_view Text)
{
    if (Text.empty())
        return false;
    switch (Text.front()) {
    case '=':
    case '+':
    case '-':
    case '@':
    case '\t':
    case '\r': return true;
    default: return false;
    }
}

} // namespace

std::string FromWindows1252(std::string_view Text)
{
    std::string out;
    out.reserve(Text.size() + Text.size() / 4);
    for (const char c : Text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte >= 0x80 && byte < 0xA0 && kHigh[byte - 0x80] != 0)
            AppendUtf8(out, kHigh[byte - 0x80]);
        else
            AppendUtf8(out, byte);
    }
    return out;
}

std::string Cell(std::string_view Utf8)
{
    std::string text;
    if (LooksLikeFormula(Utf8))
        text += '\'';
    text += Utf8;
    const bool quoted = text.find_first_of(";\"\r\n") != std::string::npos
                        || (!text.empty() && (text.front() == ' ' || text.back() == ' '));
    if (!quoted)
        return text;
    std::string out = "\"";
    for (const char c : text) {
        if (c == '"')
            out += '"';
        out += c;
    }
    out += '"';
    return out;
}

std::string Line(const std::vector<std::string>& Cells)
{
    std::string out;
    for (std::size_t i = 0; i < Cells.size(); ++i) {
        if (i > 0)
            out += ';';
        out += Cell(Cells[i]);
    }
    out += "\r\n";
    return out;
}

} // namespace Csv
