// The folding table: every Portuguese accented letter, in both cases, gives
// its plain capital; nothing else above code 127 is folded.
#include "store/LetterFolding.h"

#include <gtest/gtest.h>

#include <string>

TEST(LetterFolding, PortugueseLettersBecomePlainCapitals)
{
    const struct {
        std::u16string letters;
        char16_t plain;
    } table[] = {
        {u"ÁÀÂÃÄáàâãä", u'A'}, {u"Çç", u'C'},   {u"ÉÊÈéêè", u'E'}, {u"Íí", u'I'},
        {u"ÓÔÕÖóôõö", u'O'},   {u"ÚÜúü", u'U'}, {u"º", u'O'},      {u"ª", u'A'},
    };
    int folded = 0;
    for (const auto& row : table)
        for (char16_t c : row.letters) {
            EXPECT_EQ(FoldPortugueseLetter(c), row.plain) << int(c);
            ++folded;
        }
    EXPECT_EQ(folded, 34);

    // Plain ASCII is left to the key filters; other letters stay refused.
    for (char16_t c : std::u16string(u"aAzZ09 ÑñßÌÎÏìîïÙÛùûŒ€¿\u00a0")) {
        EXPECT_EQ(FoldPortugueseLetter(c), 0) << int(c);
    }
    int others = 0;
    for (char16_t c = 0x80; c < 0x2000; ++c)
        if (FoldPortugueseLetter(c) != 0)
            ++others;
    EXPECT_EQ(others, 34);
}
