#include "agreement/TermXml.h"

#include "store/TUserData.h"

#include <ctime>

namespace TermXml {

namespace {

// Windows-1252 0x80..0x9F; the five unassigned positions keep their code.
constexpr unsigned short High1252[32] = {0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                         0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
                                         0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                         0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

void AppendUtf8(std::string& Out, unsigned Code)
{
    if (Code < 0x80) {
        Out += static_cast<char>(Code);
    } else if (Code < 0x800) {
        Out += static_cast<char>(0xC0 | (Code >> 6));
        Out += static_cast<char>(0x80 | (Code & 0x3F));
    } else {
        Out += static_cast<char>(0xE0 | (Code >> 12));
        Out += static_cast<char>(0x80 | ((Code >> 6) & 0x3F));
        Out += static_cast<char>(0x80 | (Code & 0x3F));
    }
}

} // namespace

std::string Escape(const std::string& Value, bool Attribute)
{
    std::string out;
    out.reserve(Value.size());
    for (std::size_t i = 0; i < Value.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(Value[i]);
        if (c == '&')
            out += "&amp;";
        else if (c == '<')
            out += "&lt;";
        else if (c == '"' && Attribute)
            out += "&quot;";
        else if (c == '>' && i >= 2 && Value[i - 1] == ']' && Value[i - 2] == ']')
            out += "&gt;";
        else if (c < 0x20 && c != '\t')
            out += ' ';
        else if (c < 0x80)
            out += static_cast<char>(c);
        else
            AppendUtf8(out, c < 0xA0 ? High1252[c - 0x80] : c);
    }
    return out;
}

std::string Build(const TUserData& Entity, const std::string& Date)
{
    std::string xml = "<?xml version = \"1.0\"?>";
    xml += "<termo>";
    xml += "<profile>" + Escape(Entity.Profile(), false) + "</profile>";
    xml += "<juridica>" + Escape(Entity.Razao, false) + "</juridica>";
    xml += "<inscricao tipo=\"" + Escape(Entity.Tipo_Inscricao(), true) + "\">" + Escape(Entity.Inscricao(), false)
           + "</inscricao>";
    xml += "<data>" + Escape(Date, false) + "</data>";
    xml += "<cidade>" + Escape(Entity.Cidade, false) + "</cidade>";
    xml += "<responsaveis>";
    if (Entity.Resp) {
        const auto& list = *Entity.Resp;
        // Taken in pairs from the first item; an odd last name has no CPF.
        for (std::size_t i = 0; i < list.size(); i += 2) {
            const std::string cpf = i + 1 < list.size() ? list[i + 1] : std::string();
            xml += "<responsavel nome=\"" + Escape(list[i], true) + "\" cpf=\"" + Escape(cpf, true) + "\"/>";
        }
    }
    xml += "</responsaveis>";
    xml += "</termo>\r\n";
    return xml;
}

std::string Today()
{
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char text[16];
    std::strftime(text, sizeof text, "%d/%m/%Y", &local);
    return text;
}

} // namespace TermXml
