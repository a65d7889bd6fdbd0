// What the request form's filtered fields take from typed text, what their
// note tells, and when a responsible person may join the list.
#include "store/RequestFieldRules.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::string Utf8(const std::u16string& Text)
{
    std::string out;
    for (char16_t c : Text) {
        if (c < 0x80) {
            out += char(c);
        } else if (c < 0x800) {
            out += char(0xC0 | (c >> 6));
            out += char(0x80 | (c & 0x3F));
        } else {
            out += char(0xE0 | (c >> 12));
            out += char(0x80 | ((c >> 6) & 0x3F));
            out += char(0x80 | (c & 0x3F));
        }
    }
    return out;
}

// Types Text one key at a time at the end of the field, as the form does,
// recording each key in the note; returns the field's text.
std::u16string TypeKeys(TFieldFilter Filter, const std::u16string& Text, std::size_t MaxLength, TFieldNote& Note)
{
    std::u16string field;
    for (char16_t c : Text) {
        const TFieldInput input = FilterFieldInput(Filter, field, std::u16string(1, c), {}, MaxLength);
        Note.Record(input);
        field += input.Inserted;
    }
    return field;
}

} // namespace

TEST(RequestFieldRules, TypedKeyByKeyEachFieldKeepsWhatItMayAndSaysWhatItChanged)
{
    const struct {
        TFieldFilter filter;
        std::size_t max;
        std::u16string typed;
        std::u16string kept;
        const char* note;
    } table[] = {
        // A dropped "&" leaves no doubled space; accents fold and are named.
        {TFieldFilter::Letters, 31, u"Padaria Conceição & Filhos", u"PADARIA CONCEICAO FILHOS",
         "trocado: ç→C ã→A · removido: “&” · 24 de máx. 31"},
        // Leading spaces and runs of spaces are not taken; a trailing one is
        // (the next word may follow).
        {TFieldFilter::Letters, 31, u"  joão   da silva ", u"JOAO DA SILVA ", "trocado: ã→A · 14 de máx. 31"},
        {TFieldFilter::Letters, 0, u"josé ação ñ€", u"JOSE ACAO ", "trocado: é→E ç→C ã→A · removido: “ñ” “€”"},
        // The limit: what does not fit is said, and the note shows the count.
        {TFieldFilter::Letters, 5, u"abcdefg", u"ABCDE", "5 de máx. 5, limite atingido"},
        {TFieldFilter::Numeric, 12, u"(61) 3333-4444", u"6133334444", "removido: “(” “)” espaço “-” · 10 de máx. 12"},
        {TFieldFilter::Numeric, 8, u"70040010", u"70040010", "8 de máx. 8"},
        {TFieldFilter::CnpjId, 14, u"12abc345/01de-35", u"12ABC34501DE35", "removido: “/” “-” · 14 de máx. 14"},
        // The address keeps punctuation from space to "@", not "_".
        {TFieldFilter::Address, 50, u"Rua São José, nº 12 & apto_3", u"RUA SAO JOSE, NO 12 & APTO3",
         "trocado: ã→A é→E º→O · removido: “_” · 27 de máx. 50"},
        {TFieldFilter::Address, 20, u" Av.  Asa Sul", u"AV. ASA SUL", "11 de máx. 20"},
        // A long list ends in an ellipsis.
        {TFieldFilter::Numeric, 0, u"abcdefgh", u"", "removido: “a” “b” “c” “d” “e” “f” …"},
    };
    for (const auto& row : table) {
        TFieldNote note(row.max);
        const std::u16string kept = TypeKeys(row.filter, row.typed, row.max, note);
        EXPECT_EQ(Utf8(kept), Utf8(row.kept)) << Utf8(row.typed);
        EXPECT_EQ(note.Text(kept.size()), row.note) << Utf8(row.typed);
    }
}

TEST(RequestFieldRules, TextTypedIntoTheMiddleOrAllAtOnceLeavesNoDoubledSpace)
{
    const struct {
        std::u16string before, typed, after, inserted;
        std::size_t max, cut;
    } table[] = {
        {u"PADARIA", u" & ", u" FILHOS", u"", 0, 0}, // between words that keep their space
        {u"PADARIA", u" & ", u"FILHOS", u" ", 0, 0}, // one space is kept
        {u"", u" & A", u"", u"A", 0, 0},             // nothing leads
        {u"A ", u" B", u"", u"B", 0, 0},             // no second space
        {u"AB", u"cde", u"F", u"CD", 5, 1},          // the room left is the limit less both sides
        {u"ABCDE", u"X", u"", u"", 5, 1},            // a full field takes nothing
        {u"A", u"ÇÃO", u"", u"CAO", 0, 0},           // several keys at once
    };
    for (const auto& row : table) {
        const TFieldInput input = FilterFieldInput(TFieldFilter::Letters, row.before, row.typed, row.after, row.max);
        EXPECT_EQ(Utf8(input.Inserted), Utf8(row.inserted)) << Utf8(row.before + u"|" + row.typed + u"|" + row.after);
        EXPECT_EQ(input.Cut, row.cut) << Utf8(row.typed);
    }
    EXPECT_EQ(Utf8(TidySpaces(u"  A  B C  ")), "A B C");
    EXPECT_EQ(Utf8(TidySpaces(u"   ")), "");

    // The editing keys pass every filter; the note forgets on Clear.
    for (TFieldFilter filter :
         {TFieldFilter::Numeric, TFieldFilter::CnpjId, TFieldFilter::Letters, TFieldFilter::Address}) {
        EXPECT_EQ(FilterFieldKey(filter, 8), 8);
        EXPECT_EQ(FilterFieldKey(filter, 127), 127);
        EXPECT_EQ(FilterFieldKey(filter, 0x00F1), 0); // ñ
    }
    TFieldNote note(31);
    TypeKeys(TFieldFilter::Letters, u"&ç", 31, note);
    EXPECT_FALSE(note.Empty());
    note.Clear();
    EXPECT_TRUE(note.Empty());
    EXPECT_EQ(note.Text(0), "0 de máx. 31");
}

TEST(RequestFieldRules, OnlyANamedPersonWithAValidCpfJoinsTheList)
{
    const std::vector<std::string> listed{"12345678909"};
    const struct {
        const char* name;
        const char* cpf;
        TRespProblem problem;
        const char* text;
    } table[] = {
        {"JOSE ACAO DA SILVA", "11144477735", TRespProblem::None, ""},
        {"ANA", "52998224725", TRespProblem::None, ""},
        {"ANA", "1144477735", TRespProblem::BadCpf, "O CPF 01144477735 não é válido. Confira os dígitos."},
        {"ANA", "00000000000", TRespProblem::BadCpf, "O CPF 00000000000 não é válido. Confira os dígitos."},
        {"ANA", "11111111111", TRespProblem::BadCpf, "O CPF 11111111111 não é válido. Confira os dígitos."},
        {"ANA", "11144477736", TRespProblem::BadCpf, "O CPF 11144477736 não é válido. Confira os dígitos."},
        {"ANA", "", TRespProblem::NoCpf, "Informe o CPF do responsável."},
        {"", "11144477735", TRespProblem::NoName, "Informe o nome do responsável."},
        {"   ", "11144477735", TRespProblem::NoName, "Informe o nome do responsável."},
        {"BIA", "12345678909", TRespProblem::Listed, "Responsável já cadastrado."},
    };
    for (const auto& row : table) {
        const TRespProblem problem = CheckResponsible(row.name, row.cpf, listed);
        EXPECT_EQ(problem, row.problem) << row.name << " " << row.cpf;
        const std::string cpf = std::string(11 - std::min<std::size_t>(11, std::string(row.cpf).size()), '0') + row.cpf;
        EXPECT_EQ(RespProblemText(problem, cpf), row.text) << row.name << " " << row.cpf;
    }
}
