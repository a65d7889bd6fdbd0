#include "ui/NameFilter.h"

#include "base/Texts.h"

#include <gtest/gtest.h>

// Every file dialog takes its filters from here: a pair lost, a letter case
// missing or "*.*" left as it is would hide files the user means to pick.
TEST(NameFilters, EachPairBecomesOneQtFilterInBothLetterCases)
{
    struct Row {
        std::string filter;
        QStringList expected;
    };
    const Row rows[] = {
        {Texts::BkFilter, {QStringLiteral("BKP files (*.bkp *.BKP)")}},
        {Texts::AgrRtfFilter, {QStringLiteral("RTF files (*.rtf *.RTF)")}},
        {Texts::DiskFilter,
         {QStringLiteral("Arquivos de certificado (*.PRI *.pri)"), QStringLiteral("Todos os arquivos (*)")}},
        {Texts::ReceiveFilter,
         {QString::fromUtf8("Arquivos de requisição (*.CNS *.cns)"), QStringLiteral("Todos os arquivos (*)")}},
        // Several patterns in one mask; a pattern without letters stays single.
        {"Kit (*.a;*.b)|*.a;*.B;*.1", {QStringLiteral("Kit (*.a *.A *.b *.B *.1)")}},
        // A description without parentheses is kept whole; a lone trailing
        // description has no mask and gives no filter.
        {"Plain|*.X|Dangling", {QStringLiteral("Plain (*.X *.x)")}},
        {"", {}},
    };
    for (const Row& row : rows)
        EXPECT_EQ(NameFilters(row.filter), row.expected) << row.filter;
}
