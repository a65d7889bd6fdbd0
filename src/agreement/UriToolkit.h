#pragma once
// Helpers around TUriStrAnalyzer: resolving a reference against a base,
// turning a file URI into a local path and back, and the small text
// splitters the XSLT engine uses for its "name=value" lists.
#include <string>
#include <utility>

namespace UriToolkit {

// Resolves Reference against Base (the section 5.2 algorithm of RFC 2396).
// False, with Result empty, when either does not parse, neither has a
// scheme, or the reference climbs above the root with "..".
bool ResolveUri(const std::string& Base, const std::string& Reference, std::string& Result);

// The local path that a "file" URI names. Escapes ("%" and two hexadecimal
// digits) are decoded. A path that starts with a drive letter
// (file:///C:/My%20Docs/f.xml) gives the Windows form C:\My Docs\f.xml;
// any other path is a path of this system and keeps its leading "/"
// (file:///tmp/a%20b gives /tmp/a b). Host is the authority; Query and
// Fragment keep their "?" and "#" (empty when absent). False when the text
// does not parse, is not a "file" URI, or decodes to a NUL character.
bool FileUriToPath(const std::string& Uri, std::string& Path, std::string& Host, std::string& Query,
                   std::string& Fragment);

// "file://" followed by the absolute Path with every byte other than the
// unreserved characters and "/" written as an escape, so that spaces,
// accents, "#", "?" and "%" come back unchanged through FileUriToPath.
std::string PathToFileUri(const std::string& Path);

// Escapes every byte that may not stand in a URI path ("/" and the path's
// own characters stay).
std::string EscapePath(const std::string& Path);

// Every "%XX" escape replaced by its byte; a "%" not followed by two hex
// digits stays as it is.
std::string PercentDecode(const std::string& Text);

// Every "\" replaced by "/".
std::string ToSlashes(std::string Text);

// "key=value": the text before the first "=" and the text after it. A line
// without "=" gives an empty key and the whole line as the value.
std::pair<std::string, std::string> splitKeyvalue(const std::string& Line);

} // namespace UriToolkit
