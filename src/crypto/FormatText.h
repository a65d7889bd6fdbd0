#pragma once
// printf-style filling of the program's message templates ("%d", "%s"), which
// are kept word for word in the texts table.
#include <cstdio>
#include <string>

template <typename... Args>
std::string FormatText(const char* format, Args... args)
{
    const int length = std::snprintf(nullptr, 0, format, args...);
    if (length <= 0)
        return std::string();
    std::string result(static_cast<std::size_t>(length) + 1, '\0');
    std::snprintf(result.data(), result.size(), format, args...);
    result.resize(static_cast<std::size_t>(length));
    return result;
}
