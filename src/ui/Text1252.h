#pragma once
// Data files hold Windows-1252 bytes; widgets hold QString. Convert only here,
// at the widget boundary.
#include <QString>
#include <string>

QString FromAnsi(const std::string& bytes);
std::string ToAnsi(const QString& text);
// The program's texts table is UTF-8.
inline QString Tr(const char* utf8)
{
    return QString::fromUtf8(utf8);
}
