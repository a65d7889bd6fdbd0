#include "base/FormatText.h"

std::string FormatText(std::string_view Format, const std::vector<std::string>& Arguments)
{
    std::string out;
    out.reserve(Format.size());
    std::size_t next = 0;
    for (std::size_t i = 0; i < Format.size(); ++i) {
        if (Format[i] == '%' && i + 1 < Format.size() && (Format[i + 1] == 's' || Format[i + 1] == 'd')
            && next < Arguments.size()) {
            out += Arguments[next++];
            ++i;
        } else {
            out += Format[i];
        }
    }
    return out;
}
