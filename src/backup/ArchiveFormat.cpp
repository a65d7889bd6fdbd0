#include "backup/ArchiveFormat.h"

#include <zlib.h>

#include <cstdio>

namespace ArchiveFormat {

std::string ContinuationName(int Volume)
{
    char text[24];
    std::snprintf(text, sizeof text, "%s%03d", ContinuationPrefix, Volume);
    return text;
}

bool IsContinuation(const std::string& Name)
{
    return Name.compare(0, 9, ContinuationPrefix) == 0;
}

int ContinuationVolume(const std::string& Name)
{
    if (Name.size() != 12 || !IsContinuation(Name))
        return 0;
    int volume = 0;
    for (std::size_t i = 9; i < 12; ++i) {
        if (Name[i] < '0' || Name[i] > '9')
            return 0;
        volume = volume * 10 + (Name[i] - '0');
    }
    return volume >= 2 ? volume : 0;
}

int ZlibLevel(int Ordinal)
{
    static constexpr int levels[] = {1, 0, Z_DEFAULT_COMPRESSION, 9};
    return Ordinal >= 0 && Ordinal <= 3 ? levels[Ordinal] : -2;
}

std::string LowerAscii(std::string Text)
{
    for (char& c : Text)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return Text;
}

std::string UpperAscii(std::string Text)
{
    for (char& c : Text)
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    return Text;
}

bool HasControlCharacter(const std::string& Name)
{
    for (const char c : Name) {
        const auto b = static_cast<unsigned char>(c);
        if (b < 0x20 || b == 0x7F)
            return true;
    }
    return false;
}

namespace {

// Length of the valid UTF-8 sequence at Text[At], or 0. Overlong forms,
// surrogates and code points above U+10FFFF are not valid.
std::size_t Utf8Length(const std::string& Text, std::size_t At, std::uint32_t& CodePoint)
{
    const auto b0 = static_cast<unsigned char>(Text[At]);
    std::size_t n;
    std::uint32_t cp, min;
    if (b0 >= 0xC2 && b0 <= 0xDF) {
        n = 2, cp = b0 & 0x1Fu, min = 0x80;
    } else if (b0 >= 0xE0 && b0 <= 0xEF) {
        n = 3, cp = b0 & 0x0Fu, min = 0x800;
    } else if (b0 >= 0xF0 && b0 <= 0xF4) {
        n = 4, cp = b0 & 0x07u, min = 0x10000;
    } else {
        return 0;
    }
    if (Text.size() - At < n)
        return 0;
    for (std::size_t i = 1; i < n; ++i) {
        const auto b = static_cast<unsigned char>(Text[At + i]);
        if ((b & 0xC0) != 0x80)
            return 0;
        cp = (cp << 6) | (b & 0x3Fu);
    }
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
        return 0;
    CodePoint = cp;
    return n;
}

void Escape(std::string& Out, unsigned char Byte)
{
    static const char digits[] = "0123456789abcdef";
    Out += "\\x";
    Out += digits[Byte >> 4];
    Out += digits[Byte & 15];
}

} // namespace

std::string PrintableName(const std::string& Name)
{
    std::string out;
    out.reserve(Name.size());
    for (std::size_t i = 0; i < Name.size();) {
        const auto b = static_cast<unsigned char>(Name[i]);
        if (b < 0x20 || b == 0x7F) {
            Escape(out, b);
            ++i;
        } else if (b < 0x80) {
            out += static_cast<char>(b);
            ++i;
        } else {
            std::uint32_t cp = 0;
            const std::size_t n = Utf8Length(Name, i, cp);
            if (n == 0 || (cp >= 0x80 && cp <= 0x9F)) {
                // A lone byte (a name in the single-byte set, or damage) or a
                // C1 control: shown by its value, never sent raw.
                const std::size_t take = n == 0 ? 1 : n;
                for (std::size_t k = 0; k < take; ++k)
                    Escape(out, static_cast<unsigned char>(Name[i + k]));
                i += take;
            } else {
                out.append(Name, i, n);
                i += n;
            }
        }
    }
    return out;
}

} // namespace ArchiveFormat
