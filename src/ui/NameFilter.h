#pragma once
// The file-type filters of the texts table, "Description (*.PRI)|*.PRI|All
// (*.*)|*.*", as Qt name filters: one per description and mask pair, each
// pattern in both letter cases (the files come from systems that do not keep
// case), the description's own spelling first; "*.*" is every file, "*".
#include <QStringList>

#include <string>

QStringList NameFilters(const std::string& Filter);
