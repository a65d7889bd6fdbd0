#include "store/LetterFolding.h"

namespace {

struct Folding {
    char16_t from;
    char16_t to;
};

// Capitals and their lower-case forms side by side.
constexpr Folding Foldings[] = {
    {u'Á', u'A'}, {u'á', u'A'}, {u'À', u'A'}, {u'à', u'A'}, {u'Â', u'A'}, {u'â', u'A'}, {u'Ã', u'A'},
    {u'ã', u'A'}, {u'Ä', u'A'}, {u'ä', u'A'}, {u'Ç', u'C'}, {u'ç', u'C'}, {u'É', u'E'}, {u'é', u'E'},
    {u'Ê', u'E'}, {u'ê', u'E'}, {u'È', u'E'}, {u'è', u'E'}, {u'Í', u'I'}, {u'í', u'I'}, {u'Ó', u'O'},
    {u'ó', u'O'}, {u'Ô', u'O'}, {u'ô', u'O'}, {u'Õ', u'O'}, {u'õ', u'O'}, {u'Ö', u'O'}, {u'ö', u'O'},
    {u'Ú', u'U'}, {u'ú', u'U'}, {u'Ü', u'U'}, {u'ü', u'U'}, {u'º', u'O'}, {u'ª', u'A'},
};

} // namespace

char16_t FoldPortugueseLetter(char16_t Character)
{
    for (const Folding& f : Foldings)
        if (f.from == Character)
            return f.to;
    return 0;
}
