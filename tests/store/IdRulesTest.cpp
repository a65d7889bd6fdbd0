// Identifier check digits, checked against digits this test computes by its
// own formulation (weights counted from the left, remainder via 10*sum mod 11)
// and against the worked examples of the rules.
#include "store/IdRules.h"
#include "store/StoreErrors.h"

#include "AlphanumericCnpjTable.h"

#include <gtest/gtest.h>

#include <random>

namespace {

// 10*sum mod 11, with 10 meaning 0: the same digit as "0 for remainders 0 and
// 1, else 11 - remainder", reached another way.
int Mod11Digit(int sum)
{
    const int d = sum * 10 % 11;
    return d == 10 ? 0 : d;
}

int WeightedFromLeft(const std::string& digits, const std::vector<int>& weights)
{
    int sum = 0;
    for (std::size_t i = 0; i < digits.size(); ++i)
        sum += (digits[i] - '0') * weights[i];
    return sum;
}

std::string MakeCNPJ(const std::string& base12)
{
    const std::vector<int> w1{5, 4, 3, 2, 9, 8, 7, 6, 5, 4, 3, 2};
    const std::vector<int> w2{6, 5, 4, 3, 2, 9, 8, 7, 6, 5, 4, 3, 2};
    std::string s = base12;
    s += static_cast<char>('0' + Mod11Digit(WeightedFromLeft(s, w1)));
    s += static_cast<char>('0' + Mod11Digit(WeightedFromLeft(s, w2)));
    return s;
}

std::string MakeCPF(const std::string& base9)
{
    const std::vector<int> w1{10, 9, 8, 7, 6, 5, 4, 3, 2};
    const std::vector<int> w2{11, 10, 9, 8, 7, 6, 5, 4, 3, 2};
    std::string s = base9;
    s += static_cast<char>('0' + Mod11Digit(WeightedFromLeft(s, w1)));
    s += static_cast<char>('0' + Mod11Digit(WeightedFromLeft(s, w2)));
    return s;
}

int CEISum(const std::string& base11)
{
    return WeightedFromLeft(base11, {7, 4, 1, 8, 5, 2, 1, 6, 3, 7, 4});
}

int CEIDigit(int sum)
{
    const int lastTwo = sum % 100;
    const int d = (lastTwo / 10 + lastTwo % 10) % 10;
    return d == 0 ? 1 : 10 - d;
}

std::string RandomDigits(std::mt19937& rng, int n)
{
    std::uniform_int_distribution<int> digit(0, 9);
    std::string s;
    for (int i = 0; i < n; ++i)
        s += static_cast<char>('0' + digit(rng));
    return s;
}

bool Repeated(const std::string& s)
{
    return s.find_first_not_of(s[0]) == std::string::npos;
}

// Every other value of the character at pos.
std::vector<std::string> Variants(const std::string& s, std::size_t pos)
{
    std::vector<std::string> out;
    for (char c = '0'; c <= '9'; ++c)
        if (c != s[pos]) {
            std::string v = s;
            v[pos] = c;
            out.push_back(v);
        }
    return out;
}

} // namespace

TEST(IdRulesCNPJ, GeneratedNumbersAndAlteredCheckDigits)
{
    std::mt19937 rng(20240611);
    int checked = 0;
    for (int i = 0; i < 400; ++i) {
        const std::string cnpj = MakeCNPJ(RandomDigits(rng, 12));
        if (Repeated(cnpj))
            continue;
        ASSERT_TRUE(IsValidCNPJ(cnpj)) << cnpj;
        for (std::size_t pos : {std::size_t(12), std::size_t(13)})
            for (const auto& v : Variants(cnpj, pos))
                ASSERT_FALSE(IsValidCNPJ(v)) << v;
        ++checked;
    }
    EXPECT_GT(checked, 390);
    EXPECT_TRUE(IsValidCNPJ("11222333000181"));
    EXPECT_EQ(MakeCNPJ("112223330001"), "11222333000181");
}

// Letters in the body: each row's check digits come from another
// implementation of the rule; every other pair must be refused.
TEST(IdRulesCNPJ, AlphanumericAgreesWithAnIndependentImplementation)
{
    for (const std::string row : AlphanumericCnpjTable) {
        ASSERT_TRUE(IsValidCNPJ(row)) << row;
        for (int d = 0; d < 100; ++d) {
            std::string other = row.substr(0, 12) + static_cast<char>('0' + d / 10) + static_cast<char>('0' + d % 10);
            if (other != row) {
                ASSERT_FALSE(IsValidCNPJ(other)) << other;
            }
        }
    }
    EXPECT_TRUE(IsValidCNPJ("12ABC34501DE35"));
    // The form turns letters into capitals; the rule knows only those.
    EXPECT_FALSE(IsValidCNPJ("12abc34501de35"));
    // The check digits stay digits, and no other character may stand in the body.
    EXPECT_FALSE(IsValidCNPJ("12ABC34501DE3F"));
    EXPECT_FALSE(IsValidCNPJ("12ABC-4501DE35"));
    EXPECT_FALSE(IsValidCNPJ("12ABC"
                             "\xC7"
                             "4501DE35"));
    EXPECT_TRUE(IsCNPJForm("AAAAAAAAAAAA45"));
    EXPECT_FALSE(IsCNPJForm("AAAAAAAAAAAAA5"));
}

TEST(IdRulesCNPJ, ShapeRules)
{
    for (char c = '0'; c <= '9'; ++c) {
        const std::string same(14, c);
        EXPECT_FALSE(IsValidCNPJ(same)) << same;
    }
    // Fourteen zeros would pass the check digits alone.
    EXPECT_EQ(MakeCNPJ(std::string(12, '0')), std::string(14, '0'));
    EXPECT_FALSE(IsValidCNPJ("1122233300018"));
    EXPECT_FALSE(IsValidCNPJ("112223330001810"));
    EXPECT_FALSE(IsValidCNPJ("11.222.333/0001-81"));
    EXPECT_FALSE(IsValidCNPJ("1122233300018a"));
    EXPECT_FALSE(IsValidCNPJ(" 1222333000181"));
    EXPECT_FALSE(IsValidCNPJ(""));
}

TEST(IdRulesCPF, GeneratedNumbersAndAlteredCheckDigits)
{
    std::mt19937 rng(77);
    int checked = 0;
    for (int i = 0; i < 400; ++i) {
        const std::string cpf = MakeCPF(RandomDigits(rng, 9));
        if (Repeated(cpf))
            continue;
        ASSERT_TRUE(IsValidCPF(cpf)) << cpf;
        for (std::size_t pos : {std::size_t(9), std::size_t(10)})
            for (const auto& v : Variants(cpf, pos))
                ASSERT_FALSE(IsValidCPF(v)) << v;
        ++checked;
    }
    EXPECT_GT(checked, 390);
    EXPECT_TRUE(IsValidCPF("52998224725"));
    EXPECT_FALSE(IsValidCPF("5299822472"));
    EXPECT_FALSE(IsValidCPF("529982247250"));
    EXPECT_FALSE(IsValidCPF("529.982.247-25"));
    for (char c = '0'; c <= '9'; ++c)
        EXPECT_FALSE(IsValidCPF(std::string(11, c)));
}

TEST(IdRulesCEI, GeneratedNumbersAndWorkedExamples)
{
    std::mt19937 rng(4242);
    for (int i = 0; i < 400; ++i) {
        const std::string base = RandomDigits(rng, 11);
        const std::string cei = base + static_cast<char>('0' + CEIDigit(CEISum(base)) % 10);
        ASSERT_TRUE(IsValidCEI(cei)) << cei;
        for (const auto& v : Variants(cei, 11))
            ASSERT_FALSE(IsValidCEI(v)) << v;
    }

    // Bodies whose weighted sums are 123 and 155: check digits 5 and 1.
    bool found123 = false, found155 = false;
    for (int i = 0; i < 200000 && !(found123 && found155); ++i) {
        const std::string base = RandomDigits(rng, 11);
        const int sum = CEISum(base);
        if (sum == 123 && !found123) {
            found123 = true;
            EXPECT_TRUE(IsValidCEI(base + "5")) << base;
            EXPECT_FALSE(IsValidCEI(base + "1")) << base;
        } else if (sum == 155 && !found155) {
            found155 = true;
            EXPECT_TRUE(IsValidCEI(base + "1")) << base;
            EXPECT_FALSE(IsValidCEI(base + "0")) << base;
        }
    }
    EXPECT_TRUE(found123 && found155);

    EXPECT_FALSE(IsValidCEI("000000000000"));
    EXPECT_TRUE(IsValidCEI("000000000001"));
}

TEST(IdRulesCEI, LengthAndCharacters)
{
    std::mt19937 rng(9);
    const std::string base = RandomDigits(rng, 11);
    const std::string cei = base + static_cast<char>('0' + CEIDigit(CEISum(base)) % 10);
    ASSERT_TRUE(IsValidCEI(cei));
    EXPECT_FALSE(IsValidCEI("00" + cei));
    EXPECT_FALSE(IsValidCEI(PadLeftZeros(cei, 14)));
    EXPECT_FALSE(IsValidCEI(cei.substr(1)));
    EXPECT_FALSE(IsValidCEI(cei + "0"));
    EXPECT_FALSE(IsValidCEI(""));
    // A non-digit never passes, even where its code would fit the sum.
    std::string letter = cei;
    letter[0] = static_cast<char>(letter[0] + ('a' - '0'));
    EXPECT_FALSE(IsValidCEI(letter));
}

TEST(IdRulesHelpers, CandidatePaddingAndTheRuleList)
{
    EXPECT_TRUE(IsCandidateNumber("12", 2));
    EXPECT_FALSE(IsCandidateNumber("11", 2));
    EXPECT_FALSE(IsCandidateNumber("11111111111", 11));
    EXPECT_FALSE(IsCandidateNumber("123", 2));
    EXPECT_FALSE(IsCandidateNumber("1-3", 3));
    EXPECT_FALSE(IsCandidateNumber("", 0));

    EXPECT_EQ(PadLeftZeros("123", 6), "000123");
    EXPECT_EQ(PadLeftZeros("", 3), "000");
    EXPECT_EQ(PadLeftZeros("123456", 3), "123456");
    EXPECT_EQ(PadLeftZeros("123", 3), "123");
    // A short alphanumeric CNPJ is not a number whose zeros were left out.
    EXPECT_EQ(PadLeftZeros("2ABC34501DE35", 14), "2ABC34501DE35");
    EXPECT_EQ(PadLeftZeros("2abc", 14), "2abc");

    const TIdRules rules = TIdRules::Standard();
    ASSERT_EQ(rules.Count(), 3);
    EXPECT_EQ(rules.Rules(0), &IsValidCNPJ);
    EXPECT_EQ(rules.Rules(1), &IsValidCEI);
    EXPECT_EQ(rules[2], &IsValidCPF);
    EXPECT_TRUE(rules[0]("11222333000181"));
    EXPECT_TRUE(rules[2]("52998224725"));
    try {
        rules.Rules(3);
        FAIL();
    } catch (const EListError& e) {
        EXPECT_STREQ(e.what(), "List index out of bounds (3)");
    }
    EXPECT_THROW(rules.Rules(-1), EListError);
}
