#pragma once
// Letter case folding of the program's single-byte character set
// (Windows-1252): ASCII letters, the accented capitals 0xC0-0xDE except the
// multiplication sign, and the four capitals that live in 0x80-0x9F. Section
// and key names of the data files and certificate names compare this way.
#include <array>
#include <cstddef>
#include <string_view>

namespace LetterCase {

constexpr std::array<unsigned char, 256> MakeFoldTable()
{
    std::array<unsigned char, 256> t{};
    for (std::size_t i = 0; i < 256; ++i)
        t[i] = static_cast<unsigned char>(i);
    for (std::size_t c = 'A'; c <= 'Z'; ++c)
        t[c] = static_cast<unsigned char>(c + 32);
    for (std::size_t c = 0xC0; c <= 0xDE; ++c)
        if (c != 0xD7)
            t[c] = static_cast<unsigned char>(c + 32);
    t[0x8A] = 0x9A; // S caron
    t[0x8C] = 0x9C; // OE
    t[0x8E] = 0x9E; // Z caron
    t[0x9F] = 0xFF; // Y diaeresis
    return t;
}

inline constexpr auto Fold = MakeFoldTable();

inline bool SameText(std::string_view A, std::string_view B)
{
    if (A.size() != B.size())
        return false;
    for (std::size_t i = 0; i < A.size(); ++i)
        if (Fold[static_cast<unsigned char>(A[i])] != Fold[static_cast<unsigned char>(B[i])])
            return false;
    return true;
}

} // namespace LetterCase
