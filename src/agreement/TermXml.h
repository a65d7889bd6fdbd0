#pragma once
// The term's data as the stylesheet reads it: one line, the declaration
// with a blank on each side of "=", no indentation, CR LF at the end.
//
//   <?xml version = "1.0"?><termo><profile>..</profile><juridica>..</juridica>
//   <inscricao tipo="..">..</inscricao><data>dd/mm/yyyy</data><cidade>..</cidade>
//   <responsaveis><responsavel nome=".." cpf=".."/>...</responsaveis></termo>
//
// Values are the record's bytes with "&" and "<" (and '"' inside
// attributes) written as entity references. So that any record gives a
// well-formed document: letters beyond ASCII (Windows-1252 in the data
// files) are written in UTF-8, the XML default; control characters, which
// XML 1.0 forbids, become blanks; and the ">" of a "]]>" is escaped.
#include <string>

class TUserData;

namespace TermXml {

inline constexpr const char* XmlFileName = "TermoAdesao.xml";
inline constexpr const char* StyleFileName = "TermoAdesaoStyle.xsl";
inline constexpr const char* HtmlFileName = "VerTermo.html";

// Date is the text of the <data> element ("dd/mm/yyyy").
std::string Build(const TUserData& Entity, const std::string& Date);

// One value escaped for the document; Attribute also escapes '"'.
std::string Escape(const std::string& Value, bool Attribute);

// Today's local date as "dd/mm/yyyy".
std::string Today();

} // namespace TermXml
