#include "base/EntityNaming.h"

namespace EntityNaming {

namespace {

char Upper(char c)
{
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

bool StartsWithNoCase(const std::string& Text, const std::string& UpperPrefix)
{
    if (Text.size() < UpperPrefix.size())
        return false;
    for (std::size_t i = 0; i < UpperPrefix.size(); ++i)
        if (Upper(Text[i]) != UpperPrefix[i])
            return false;
    return true;
}

bool EndsWithNoCase(const std::string& Text, const std::string& UpperSuffix)
{
    if (Text.size() < UpperSuffix.size())
        return false;
    const std::size_t from = Text.size() - UpperSuffix.size();
    for (std::size_t i = 0; i < UpperSuffix.size(); ++i)
        if (Upper(Text[from + i]) != UpperSuffix[i])
            return false;
    return true;
}

// A positive decimal without leading zeros that fits in 31 bits, or 0.
int32_t PositiveNumber(const std::string& Digits)
{
    if (Digits.empty() || Digits.size() > 10 || Digits[0] == '0')
        return 0;
    long long n = 0;
    for (const char c : Digits) {
        if (c < '0' || c > '9')
            return 0;
        n = n * 10 + (c - '0');
    }
    return n > 2147483647LL ? 0 : static_cast<int32_t>(n);
}

} // namespace

std::string SectionName(int32_t Number)
{
    return "Entity" + std::to_string(Number);
}

int32_t SectionNumber(const std::string& Name)
{
    static const std::string Prefix = "ENTITY";
    if (!StartsWithNoCase(Name, Prefix))
        return 0;
    return PositiveNumber(Name.substr(Prefix.size()));
}

std::string StorageFileName(int32_t Number)
{
    return "STORAGE." + std::to_string(Number) + ".DAT";
}

int32_t StorageFileNumber(const std::string& Part)
{
    static const std::string Prefix = "STORAGE.", Suffix = ".DAT";
    if (Part.size() <= Prefix.size() + Suffix.size() || !StartsWithNoCase(Part, Prefix)
        || !EndsWithNoCase(Part, Suffix))
        return 0;
    return PositiveNumber(Part.substr(Prefix.size(), Part.size() - Prefix.size() - Suffix.size()));
}

bool IsDataFileName(const std::string& Part)
{
    return StorageFileNumber(Part) > 0 || (Part.size() == 10 && StartsWithNoCase(Part, RegistryFileName));
}

std::string FilePart(const std::string& Path)
{
    const auto cut = Path.find_last_of("\\/:");
    return cut == std::string::npos ? Path : Path.substr(cut + 1);
}

} // namespace EntityNaming
