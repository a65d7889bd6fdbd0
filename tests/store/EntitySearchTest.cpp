// What the entity selector's search field finds: part of a name, or part of
// an inscription typed with or without its punctuation.
#include "store/EntitySearch.h"
#include "store/TUserData.h"

#include <gtest/gtest.h>

TEST(EntitySearch, NamesAndInscriptionsWithOrWithoutPunctuation)
{
    TUserData bakery;
    bakery.Razao = "PADARIA CONCEICAO";
    bakery.SetInscricao("11222333000181");
    TUserData lettered;
    lettered.Razao = "A\xC7O S\xC3O JOS\xC9"; // "AÇO SÃO JOSÉ", as a former version may have stored it
    lettered.SetInscricao("12ABC34501DE35");
    TUserData cei;
    cei.Razao = "OBRA 7";
    cei.SetInscricao("109876543219");

    const struct {
        const char* query;
        bool bakery, lettered, cei;
    } table[] = {
        {"", true, true, true},
        {"   ", true, true, true},
        {"padaria", true, false, false},
        {"CONCEI\xC7\xC3O", true, false, false},
        {"s\xE3o jos", false, true, false},
        {"aco", false, true, false},
        {"11.222.333", true, false, false},
        {"11222333", true, false, false},
        {"333/0001-81", true, false, false},
        {"12.abc.345/01de", false, true, false},
        {"12ABC", false, true, false},
        {"98765", false, false, true},
        {"0010987", false, false, true}, // the CEI as stored, with its two zeros
        {"7", false, false, true},       // the name "OBRA 7"; no inscription of the others holds a 7
        {"./-", false, false, false},
        {"xyz", false, false, false},
    };
    for (const auto& row : table) {
        SCOPED_TRACE(row.query);
        EXPECT_EQ(MatchesEntitySearch(bakery, row.query), row.bakery);
        EXPECT_EQ(MatchesEntitySearch(lettered, row.query), row.lettered);
        EXPECT_EQ(MatchesEntitySearch(cei, row.query), row.cei);
    }
}
