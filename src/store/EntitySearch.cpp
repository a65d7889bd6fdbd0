#include "store/EntitySearch.h"

#include "store/LetterFolding.h"
#include "store/TUserData.h"

namespace {

// Capitals without accents, byte for byte (the data files' single-byte
// characters are Latin-1 where the Portuguese letters are).
std::string Folded(const std::string& Text)
{
    std::string out;
    out.reserve(Text.size());
    for (const char c : Text) {
        const auto byte = static_cast<unsigned char>(c);
        if (const char16_t plain = FoldPortugueseLetter(byte))
            out += static_cast<char>(plain);
        else if (c >= 'a' && c <= 'z')
            out += static_cast<char>(c - 'a' + 'A');
        else
            out += c;
    }
    return out;
}

// Only the letters and digits, in capitals: what an inscription is made of.
std::string InscriptionCharacters(const std::string& Text)
{
    std::string out;
    for (const char c : Folded(Text))
        if ((c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z'))
            out += c;
    return out;
}

} // namespace

bool MatchesEntitySearch(const TUserData& Entity, const std::string& Query)
{
    if (Query.find_first_not_of(' ') == std::string::npos)
        return true;
    if (Folded(Entity.Razao).find(Folded(Query)) != std::string::npos)
        return true;
    const std::string wanted = InscriptionCharacters(Query);
    return !wanted.empty() && InscriptionCharacters(Entity.Inscricao()).find(wanted) != std::string::npos;
}
