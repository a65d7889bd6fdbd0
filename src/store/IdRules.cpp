#include "store/IdRules.h"

#include "store/StoreErrors.h"

namespace {

bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

bool AllDigits(const std::string& Text)
{
    for (char c : Text)
        if (!IsDigit(c))
            return false;
    return true;
}

bool HasLetter(const std::string& Text)
{
    for (char c : Text)
        if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'))
            return true;
    return false;
}

bool OneCharacterRepeated(const std::string& Text)
{
    return Text.find_first_not_of(Text.empty() ? '0' : Text[0]) == std::string::npos;
}

int DigitFromRemainder(int Sum)
{
    const int r = Sum % 11;
    return r < 2 ? 0 : 11 - r;
}

bool DigitMatches(char c, int Digit)
{
    return c - '0' == Digit;
}

} // namespace

bool IsCandidateNumber(const std::string& Text, std::size_t Length)
{
    if (Text.size() != Length || !AllDigits(Text))
        return false;
    // One digit repeated passes every modulus-11 check but is never issued.
    return !OneCharacterRepeated(Text);
}

std::string PadLeftZeros(const std::string& Text, std::size_t Width)
{
    if (Text.size() >= Width || HasLetter(Text))
        return Text;
    return std::string(Width - Text.size(), '0') + Text;
}

int CheckDigitMod11Cyclic(const std::string& Digits)
{
    int sum = 0;
    int weight = 2;
    for (auto it = Digits.rbegin(); it != Digits.rend(); ++it) {
        sum += (*it - '0') * weight;
        weight = weight == 9 ? 2 : weight + 1;
    }
    return DigitFromRemainder(sum);
}

int CheckDigitMod11(const std::string& Digits)
{
    int sum = 0;
    int weight = 2;
    for (auto it = Digits.rbegin(); it != Digits.rend(); ++it)
        sum += (*it - '0') * weight++;
    return DigitFromRemainder(sum);
}

bool IsCNPJForm(const std::string& Text)
{
    if (Text.size() != 14 || !IsDigit(Text[12]) || !IsDigit(Text[13]))
        return false;
    for (std::size_t i = 0; i < 12; ++i)
        if (!IsDigit(Text[i]) && (Text[i] < 'A' || Text[i] > 'Z'))
            return false;
    return true;
}

bool IsValidCNPJ(const std::string& Text)
{
    if (!IsCNPJForm(Text) || OneCharacterRepeated(Text))
        return false;
    return DigitMatches(Text[12], CheckDigitMod11Cyclic(Text.substr(0, 12)))
           && DigitMatches(Text[13], CheckDigitMod11Cyclic(Text.substr(0, 13)));
}

bool IsValidCPF(const std::string& Text)
{
    if (!IsCandidateNumber(Text, 11))
        return false;
    return DigitMatches(Text[9], CheckDigitMod11(Text.substr(0, 9)))
           && DigitMatches(Text[10], CheckDigitMod11(Text.substr(0, 10)));
}

bool IsValidCEI(const std::string& Text)
{
    // Anything but digits would feed nonsense into the weighted sum.
    if (Text.size() != 12 || !AllDigits(Text))
        return false;
    static const char Weights[] = "74185216374";
    int sum = 0;
    for (std::size_t i = 0; i < 11; ++i)
        sum += (Text[i] - '0') * (Weights[i] - '0');
    const int tens = (sum / 10) % 10;
    const int units = sum % 10;
    const int d = (tens + units) % 10;
    const int check = d == 0 ? 1 : 10 - d;
    return DigitMatches(Text[11], check);
}

TIdRules::TValidator TIdRules::Rules(int Index) const
{
    if (Index < 0 || Index >= Count())
        throw EListError(StoreErrors::ListIndexOutOfBounds(Index));
    return Rules_[static_cast<std::size_t>(Index)];
}

TIdRules TIdRules::Standard()
{
    TIdRules rules;
    rules.Add(IsValidCNPJ);
    rules.Add(IsValidCEI);
    rules.Add(IsValidCPF);
    return rules;
}
