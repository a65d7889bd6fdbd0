#include "ui/Text1252.h"

#include <gtest/gtest.h>

// Windows-1252 differs from Latin-1 in 0x80..0x9F: the euro sign and the
// curly quotes must survive a round trip through the widgets.
TEST(Text1252, RoundTripsPortugueseAndWindowsOnlyLetters)
{
    const std::string bytes = "Concei\xE7\xE3o \x80 \x93x\x94";
    const QString text = FromAnsi(bytes);
    EXPECT_EQ(text, QString::fromUtf8("Conceição € “x”"));
    EXPECT_EQ(ToAnsi(text), bytes);
}
