#include "crypto/FormatHex.h"

#include "base/Texts.h"

#include <array>
#include <new>

namespace {

constexpr char HexDigits[] = "0123456789ABCDEF";

constexpr std::array<unsigned char, 256> MakeDigitValues()
{
    std::array<unsigned char, 256> values{};
    for (std::size_t c = '0'; c <= '9'; ++c)
        values[c] = static_cast<unsigned char>(c - '0');
    for (std::size_t c = 'A'; c <= 'F'; ++c)
        values[c] = static_cast<unsigned char>(c - 'A' + 10);
    for (std::size_t c = 'a'; c <= 'f'; ++c)
        values[c] = static_cast<unsigned char>(c - 'a' + 10);
    return values;
}

constexpr std::array<unsigned char, 256> DigitValues = MakeDigitValues();

std::string ConversionFailure(const std::exception& e)
{
    return std::string(Texts::HexConversionError) + ClassAndMessage(e);
}

void AppendHex(std::string& Hex, const char* data, std::size_t count)
{
    const std::size_t start = Hex.size();
    Hex.resize(start + 2 * count);
    char* out = Hex.data() + start;
    for (std::size_t i = 0; i < count; ++i) {
        const auto b = static_cast<unsigned char>(data[i]);
        *out++ = HexDigits[b >> 4];
        *out++ = HexDigits[b & 0x0F];
    }
}

void DecodeInto(const std::string& Hex, std::string& Text)
{
    const std::size_t pairs = Hex.size() / 2;
    Text.resize(pairs);
    for (std::size_t i = 0; i < pairs; ++i)
        Text[i] = static_cast<char>(HexPairToByte(Hex[2 * i], Hex[2 * i + 1]));
}

} // namespace

unsigned char HexPairToByte(char High, char Low)
{
    return static_cast<unsigned char>(DigitValues[static_cast<unsigned char>(High)] * 16
                                      + DigitValues[static_cast<unsigned char>(Low)]);
}

void StreamToHex(std::istream& Stream, std::string& Hex)
{
    try {
        std::string result;
        Stream.clear();
        Stream.seekg(0);
        if (!Stream)
            throw std::ios_base::failure("Stream read error");
        char block[4096];
        while (Stream) {
            Stream.read(block, sizeof block);
            AppendHex(result, block, static_cast<std::size_t>(Stream.gcount()));
        }
        if (Stream.bad())
            throw std::ios_base::failure("Stream read error");
        Stream.clear();
        Stream.seekg(0);
        Hex = std::move(result);
    } catch (const EFormatHexException&) {
        throw;
    } catch (const std::exception& e) {
        throw EConvertToHexException(ConversionFailure(e));
    }
}

void StringToHex(const std::string& Text, std::string& Hex)
{
    try {
        std::string result;
        AppendHex(result, Text.data(), Text.size());
        Hex = std::move(result);
    } catch (const std::exception& e) {
        throw EConvertToHexException(ConversionFailure(e));
    }
}

std::string StringToHex(const std::string& Text)
{
    std::string hex;
    StringToHex(Text, hex);
    return hex;
}

std::unique_ptr<std::stringstream> HexToStream(const std::string& Hex)
{
    try {
        std::string bytes;
        DecodeInto(Hex, bytes);
        auto stream =
            std::make_unique<std::stringstream>(std::move(bytes), std::ios::in | std::ios::out | std::ios::binary);
        stream->seekg(0);
        stream->seekp(0);
        return stream;
    } catch (const std::exception& e) {
        throw EConvertToIntException(ConversionFailure(e));
    }
}

void HexToString(const std::string& Hex, std::string& Text)
{
    try {
        std::string bytes;
        DecodeInto(Hex, bytes);
        Text = std::move(bytes);
    } catch (const std::exception& e) {
        throw EConvertToIntException(ConversionFailure(e));
    }
}

std::string HexToString(const std::string& Hex)
{
    std::string text;
    HexToString(Hex, text);
    return text;
}
