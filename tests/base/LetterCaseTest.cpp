#include "base/LetterCase.h"

#include <gtest/gtest.h>

#include <string>

// Every case-blind comparison of the program's bytes (section and key names,
// certificate names, identifiers in lists, URI schemes, request headers)
// goes through this one rule.
TEST(LetterCase, SameTextFoldsTheLettersOfTheCharacterSetAndNothingElse)
{
    struct Case {
        std::string A;
        std::string B;
        bool Same;
    };
    const Case cases[] = {
        {"Signed", "SIGNED", true},
        {"{ab12-CD}", "{AB12-cd}", true},
        {"", "", true},
        {"abc", "abcd", false},                         // a prefix is not the same text
        {"CONCEI\xc7\xc3O", "concei\xe7\xe3o", true},   // accented capitals 0xC0-0xDE
        {"\xd7", "\xf7", false},                        // multiplication and division signs are no letters
        {"\x8a\x8c\x8e\x9f", "\x9a\x9c\x9e\xff", true}, // the capitals in 0x80-0x9F
        {"[", "{", false},                              // 0x5B and 0x7B differ by 32 but are no letters
        {"@", "`", false},
        {"a\0b", std::string("A\0B", 3), false}, // "a" alone against three bytes
        {std::string("a\0b", 3), std::string("A\0B", 3), true},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(LetterCase::SameText(c.A, c.B), c.Same) << c.A << " / " << c.B;
        EXPECT_EQ(LetterCase::SameText(c.B, c.A), c.Same) << c.B << " / " << c.A;
    }
}
