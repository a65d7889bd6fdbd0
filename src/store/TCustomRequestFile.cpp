#include "store/TCustomRequestFile.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <limits>

namespace {

// Days since 1970-01-01 of a proleptic Gregorian date (H. Hinnant's method).
long long DaysFromCivil(long long y, unsigned m, unsigned d)
{
    y -= m <= 2;
    const long long era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<long long>(doe) - 719468;
}

void CivilFromDays(long long z, long long& y, unsigned& m, unsigned& d)
{
    z += 719468;
    const long long era = (z >= 0 ? z : z - 146096) / 146097;
    const unsigned doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    y = static_cast<long long>(yoe) + era * 400;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    d = doy - (153 * mp + 2) / 5 + 1;
    m = mp < 10 ? mp + 3 : mp - 9;
    y += m <= 2;
}

// The serial day of 1970-01-01 counted from the program's epoch 1899-12-30.
constexpr long long UnixEpochSerial = 25569;

bool IsLeap(long long y)
{
    return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
}

unsigned DaysInMonth(long long y, unsigned m)
{
    static const unsigned days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return m == 2 && IsLeap(y) ? 29 : days[m - 1];
}

// Reads an unsigned decimal number of 1 to MaxDigits digits at Pos.
bool ReadNumber(const std::string& Text, std::size_t& Pos, std::size_t MaxDigits, long long& Value)
{
    const std::size_t start = Pos;
    Value = 0;
    while (Pos < Text.size() && Text[Pos] >= '0' && Text[Pos] <= '9' && Pos - start < MaxDigits)
        Value = Value * 10 + (Text[Pos++] - '0');
    return Pos > start;
}

bool Expect(const std::string& Text, std::size_t& Pos, char c)
{
    if (Pos < Text.size() && Text[Pos] == c) {
        ++Pos;
        return true;
    }
    return false;
}

bool ParseDatePart(const std::string& Text, std::size_t& Pos, double& Serial)
{
    long long d, m, y;
    if (!ReadNumber(Text, Pos, 2, d) || !Expect(Text, Pos, '/') || !ReadNumber(Text, Pos, 2, m)
        || !Expect(Text, Pos, '/') || !ReadNumber(Text, Pos, 4, y))
        return false;
    if (y < 1 || m < 1 || m > 12 || d < 1 || d > DaysInMonth(y, static_cast<unsigned>(m)))
        return false;
    Serial =
        static_cast<double>(DaysFromCivil(y, static_cast<unsigned>(m), static_cast<unsigned>(d)) + UnixEpochSerial);
    return true;
}

bool ParseTimePart(const std::string& Text, std::size_t& Pos, double& Fraction)
{
    long long h, n, s = 0;
    if (!ReadNumber(Text, Pos, 2, h) || !Expect(Text, Pos, ':') || !ReadNumber(Text, Pos, 2, n))
        return false;
    if (Expect(Text, Pos, ':') && !ReadNumber(Text, Pos, 2, s))
        return false;
    if (h > 23 || n > 59 || s > 59)
        return false;
    Fraction = static_cast<double>(h * 3600 + n * 60 + s) / 86400.0;
    return true;
}

bool Representable(double Value)
{
    return std::isfinite(Value) && std::fabs(Value) <= 1e9;
}

// The whole day a date-time falls on; 0 for a value no date can show.
long long DayOf(double Value)
{
    return Representable(Value) ? static_cast<long long>(std::floor(Value)) : 0;
}

// Splits a date-time into whole days and seconds of the day, rounding to the
// second and carrying into the next day.
void Split(double Value, long long& Day, long long& Seconds)
{
    if (!Representable(Value)) {
        Day = 0;
        Seconds = 0;
        return;
    }
    Day = DayOf(Value);
    Seconds = std::llround((Value - static_cast<double>(Day)) * 86400.0);
    if (Seconds >= 86400) {
        ++Day;
        Seconds -= 86400;
    }
}

std::string TwoDigits(long long v)
{
    char buf[24];
    std::snprintf(buf, sizeof buf, "%02lld", v);
    return buf;
}

std::string DatePart(long long Day)
{
    long long y;
    unsigned m, d;
    CivilFromDays(Day - UnixEpochSerial, y, m, d);
    char buf[32];
    std::snprintf(buf, sizeof buf, "%02u/%02u/%04lld", d, m, y);
    return buf;
}

std::string TimePart(long long Seconds)
{
    return TwoDigits(Seconds / 3600) + ":" + TwoDigits(Seconds / 60 % 60) + ":" + TwoDigits(Seconds % 60);
}

} // namespace

TCustomRequestFile::TCustomRequestFile(std::string FileName) : FileName_(std::move(FileName)) {}

TCustomRequestFile::~TCustomRequestFile() = default;

int32_t TCustomRequestFile::StrToIntDef(const std::string& Text, int32_t Default)
{
    std::size_t pos = 0;
    std::string text = Text;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X'))
        text.replace(0, 2, "$");
    if (text.empty())
        return Default;
    bool negative = false;
    if (text[pos] == '+' || text[pos] == '-') {
        negative = text[pos] == '-';
        ++pos;
    }
    if (pos < text.size() && text[pos] == '$') {
        ++pos;
        if (pos == text.size())
            return Default;
        uint64_t value = 0;
        for (; pos < text.size(); ++pos) {
            const char c = text[pos];
            int digit;
            if (c >= '0' && c <= '9')
                digit = c - '0';
            else if (c >= 'a' && c <= 'f')
                digit = c - 'a' + 10;
            else if (c >= 'A' && c <= 'F')
                digit = c - 'A' + 10;
            else
                return Default;
            value = value * 16 + static_cast<uint64_t>(digit);
            if (value > 0xFFFFFFFFull)
                return Default;
        }
        // Hexadecimal covers the full 32 bits: "$FFFFFFFF" is -1.
        uint32_t bits = static_cast<uint32_t>(value);
        if (negative)
            bits = 0u - bits;
        return static_cast<int32_t>(bits);
    }
    if (pos == text.size())
        return Default;
    int64_t value = 0;
    const int64_t limit = negative ? 2147483648LL : 2147483647LL;
    for (; pos < text.size(); ++pos) {
        const char c = text[pos];
        if (c < '0' || c > '9')
            return Default;
        value = value * 10 + (c - '0');
        if (value > limit)
            return Default;
    }
    return static_cast<int32_t>(negative ? -value : value);
}

int32_t TCustomRequestFile::ReadInteger(const std::string& Section, const std::string& Ident, int32_t Default) const
{
    return StrToIntDef(ReadString(Section, Ident, ""), Default);
}

void TCustomRequestFile::WriteInteger(const std::string& Section, const std::string& Ident, int32_t Value)
{
    WriteString(Section, Ident, std::to_string(Value));
}

bool TCustomRequestFile::ReadBool(const std::string& Section, const std::string& Ident, bool Default) const
{
    return ReadInteger(Section, Ident, Default ? 1 : 0) != 0;
}

void TCustomRequestFile::WriteBool(const std::string& Section, const std::string& Ident, bool Value)
{
    WriteString(Section, Ident, Value ? "1" : "0");
}

std::string TCustomRequestFile::FormatDate(TDateTime Value)
{
    // The day the value falls on: its time is dropped, never rounded into
    // the next day (half a second before midnight is still that date).
    return DatePart(DayOf(Value));
}

std::string TCustomRequestFile::FormatDateTime(TDateTime Value)
{
    long long day, seconds;
    Split(Value, day, seconds);
    return DatePart(day) + " " + TimePart(seconds);
}

std::string TCustomRequestFile::FormatTime(TDateTime Value)
{
    long long day, seconds;
    Split(Value, day, seconds);
    return TimePart(seconds);
}

std::string TCustomRequestFile::FormatFloat(double Value)
{
    char buf[64];
    const auto result = std::to_chars(buf, buf + sizeof buf, Value);
    return std::string(buf, result.ptr);
}

bool TCustomRequestFile::TryParseDate(const std::string& Text, TDateTime& Value)
{
    std::size_t pos = 0;
    double serial;
    if (!ParseDatePart(Text, pos, serial) || pos != Text.size())
        return false;
    Value = serial;
    return true;
}

bool TCustomRequestFile::TryParseDateTime(const std::string& Text, TDateTime& Value)
{
    std::size_t pos = 0;
    double serial, fraction = 0;
    if (!ParseDatePart(Text, pos, serial))
        return false;
    if (pos < Text.size() && (!Expect(Text, pos, ' ') || !ParseTimePart(Text, pos, fraction)))
        return false;
    if (pos != Text.size())
        return false;
    Value = serial + fraction;
    return true;
}

bool TCustomRequestFile::TryParseTime(const std::string& Text, TDateTime& Value)
{
    std::size_t pos = 0;
    double fraction;
    if (!ParseTimePart(Text, pos, fraction) || pos != Text.size())
        return false;
    Value = fraction;
    return true;
}

bool TCustomRequestFile::TryParseFloat(const std::string& Text, double& Value)
{
    if (Text.empty())
        return false;
    const char* first = Text.data();
    if (*first == '+')
        ++first;
    double v;
    const auto result = std::from_chars(first, Text.data() + Text.size(), v);
    if (result.ec != std::errc() || result.ptr != Text.data() + Text.size())
        return false;
    Value = v;
    return true;
}

TDateTime TCustomRequestFile::ReadDate(const std::string& Section, const std::string& Ident, TDateTime Default) const
{
    TDateTime v;
    return TryParseDate(ReadString(Section, Ident, ""), v) ? v : Default;
}

TDateTime TCustomRequestFile::ReadDateTime(const std::string& Section, const std::string& Ident,
                                           TDateTime Default) const
{
    TDateTime v;
    return TryParseDateTime(ReadString(Section, Ident, ""), v) ? v : Default;
}

double TCustomRequestFile::ReadFloat(const std::string& Section, const std::string& Ident, double Default) const
{
    double v;
    return TryParseFloat(ReadString(Section, Ident, ""), v) ? v : Default;
}

TDateTime TCustomRequestFile::ReadTime(const std::string& Section, const std::string& Ident, TDateTime Default) const
{
    TDateTime v;
    return TryParseTime(ReadString(Section, Ident, ""), v) ? v : Default;
}

void TCustomRequestFile::WriteDate(const std::string& Section, const std::string& Ident, TDateTime Value)
{
    WriteString(Section, Ident, FormatDate(Value));
}

void TCustomRequestFile::WriteDateTime(const std::string& Section, const std::string& Ident, TDateTime Value)
{
    WriteString(Section, Ident, FormatDateTime(Value));
}

void TCustomRequestFile::WriteFloat(const std::string& Section, const std::string& Ident, double Value)
{
    WriteString(Section, Ident, FormatFloat(Value));
}

void TCustomRequestFile::WriteTime(const std::string& Section, const std::string& Ident, TDateTime Value)
{
    WriteString(Section, Ident, FormatTime(Value));
}
