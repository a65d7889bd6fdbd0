#pragma once
// A file-type filter of the texts table, "RTF files (*.rtf)|*.RTF", as one
// Qt name filter that takes both letter cases: "RTF files (*.rtf *.RTF)".
#include <QString>

QString NameFilter(const char* Filter);
