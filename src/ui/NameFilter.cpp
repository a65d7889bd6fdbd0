#include "ui/NameFilter.h"

#include "ui/Text1252.h"

#include <QLatin1Char>

namespace {

// Pattern in both letter cases, the spelling the description shows first.
QStringList BothCases(const QString& Pattern, const QString& Description)
{
    if (Pattern == QLatin1String("*.*"))
        return {QStringLiteral("*")};
    const QString lower = Pattern.toLower();
    const QString upper = Pattern.toUpper();
    if (lower == upper)
        return {Pattern};
    if (Description.contains(lower))
        return {lower, upper};
    return {upper, lower};
}

} // namespace

QStringList NameFilters(const std::string& Filter)
{
    const QStringList parts = Tr(Filter.c_str()).split(QLatin1Char('|'));
    QStringList filters;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        const QString& description = parts[i];
        const qsizetype open = description.lastIndexOf(QLatin1Char('('));
        const QString name = open > 0 ? description.left(open).trimmed() : description;
        QStringList patterns;
        for (const QString& pattern : parts[i + 1].split(QLatin1Char(';')))
            patterns << BothCases(pattern, description);
        filters << name + QStringLiteral(" (") + patterns.join(QLatin1Char(' ')) + QLatin1Char(')');
    }
    return filters;
}
