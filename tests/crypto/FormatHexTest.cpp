#include "crypto/FormatHex.h"

#include <gtest/gtest.h>

#include <sstream>

namespace {

std::string Bytes(std::initializer_list<int> values)
{
    std::string s;
    for (int v : values)
        s += static_cast<char>(v);
    return s;
}

// A stream whose reads fail part-way, to reach the conversion failure.
class FailingBuf : public std::streambuf {
protected:
    int_type underflow() override { throw std::runtime_error("disk gone"); }
};

TEST(FormatHex, EncodesEveryByteAsTwoUpperCaseDigits)
{
    EXPECT_EQ(StringToHex(std::string()), "");
    EXPECT_EQ(StringToHex(Bytes({0, 10, 255})), "000AFF");
    std::string all;
    for (int i = 0; i < 256; ++i)
        all += static_cast<char>(i);
    const std::string hex = StringToHex(all);
    ASSERT_EQ(hex.size(), 512u);
    for (int i = 0; i < 256; ++i) {
        char expected[3];
        std::snprintf(expected, sizeof expected, "%02X", i);
        EXPECT_EQ(hex.substr(static_cast<std::size_t>(2 * i), 2), expected) << i;
    }
}

TEST(FormatHex, DecodesPairsAndIgnoresTrailingDigit)
{
    EXPECT_EQ(HexToString("000AFF"), Bytes({0, 10, 255}));
    EXPECT_EQ(HexToString("0A1"), Bytes({10}));
    EXPECT_EQ(HexToString(""), "");
    EXPECT_EQ(HexToString("F"), "");
    // The out parameter form replaces what was there.
    std::string text = "old";
    HexToString("4142", text);
    EXPECT_EQ(text, "AB");
}

TEST(FormatHex, PairTableIncludingCharactersBetweenNineAndA)
{
    EXPECT_EQ(HexPairToByte('0', '0'), 0);
    EXPECT_EQ(HexPairToByte('9', '9'), 0x99);
    EXPECT_EQ(HexPairToByte('F', 'F'), 0xFF);
    EXPECT_EQ(HexPairToByte('A', '5'), 0xA5);
    for (char c = ':'; c <= '@'; ++c) {
        EXPECT_EQ(HexPairToByte(c, '1'), 1) << c;
        EXPECT_EQ(HexPairToByte('1', c), 0x10) << c;
    }
    // Our reading of text outside the table: lower case like upper case,
    // everything else as 0.
    EXPECT_EQ(HexPairToByte('a', 'f'), 0xAF);
    EXPECT_EQ(HexPairToByte('G', 'z'), 0);
    EXPECT_EQ(HexPairToByte('\xFF', '\0'), 0);
}

TEST(FormatHex, StreamsAreReadFromTheStartAndRewound)
{
    std::stringstream stream(Bytes({1, 2, 254}), std::ios::in | std::ios::out | std::ios::binary);
    stream.seekg(2);
    std::string hex;
    StreamToHex(stream, hex);
    EXPECT_EQ(hex, "0102FE");
    EXPECT_EQ(stream.tellg(), 0);

    std::stringstream empty;
    StreamToHex(empty, hex);
    EXPECT_EQ(hex, "");

    auto decoded = HexToStream("0001FF7");
    ASSERT_TRUE(decoded);
    EXPECT_EQ(decoded->tellg(), 0);
    EXPECT_EQ(decoded->str(), Bytes({0, 1, 255}));
}

TEST(FormatHex, ReadFailureBecomesConvertToHexWithCause)
{
    FailingBuf buf;
    std::istream broken(&buf);
    broken.exceptions(std::ios::badbit);
    std::string hex = "kept";
    try {
        StreamToHex(broken, hex);
        FAIL() << "no exception";
    } catch (const EConvertToHexException& e) {
        EXPECT_STREQ(e.ClassName(), "EConvertToHexException");
        EXPECT_EQ(std::string(e.what()).rfind("Ocorreu um erro durante a conversão para hexadecimal, a saber: ", 0), 0u)
            << e.what();
    }
    EXPECT_EQ(hex, "kept");
    // Both conversion failures belong to one family.
    EXPECT_TRUE((std::is_base_of_v<EFormatHexException, EConvertToIntException>));
    EXPECT_TRUE((std::is_base_of_v<EFormatHexException, EConvertToHexException>));
}

} // namespace
