#include "ui/NameFilter.h"

#include "ui/Text1252.h"

#include <QLatin1Char>

QString NameFilter(const char* Filter)
{
    const QString text = Tr(Filter);
    const QString description = text.section(QLatin1Char('|'), 0, 0);
    const QString mask = text.section(QLatin1Char('|'), 1, 1);
    return description.left(description.indexOf(QLatin1Char('('))).trimmed() + QStringLiteral(" (") + mask.toLower()
           + QLatin1Char(' ') + mask + QLatin1Char(')');
}
