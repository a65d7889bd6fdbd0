#include "agreement/UriToolkit.h"

#include "agreement/TUriStrAnalyzer.h"

#include <vector>

namespace UriToolkit {

namespace {

std::vector<std::string> Split(const std::string& Text, char Separator)
{
    std::vector<std::string> parts;
    std::size_t start = 0;
    while (true) {
        const std::size_t at = Text.find(Separator, start);
        parts.push_back(Text.substr(start, at == std::string::npos ? std::string::npos : at - start));
        if (at == std::string::npos)
            return parts;
        start = at + 1;
    }
}

// The merged path of a relative reference: the base's folder, the
// reference's path, then "." and ".." segments taken out.
bool MergePaths(const std::string& BasePath, const std::string& ReferencePath, std::string& Merged)
{
    std::string buffer;
    const std::size_t lastSlash = BasePath.rfind('/');
    if (lastSlash != std::string::npos && lastSlash >= 1)
        buffer = BasePath.substr(1, lastSlash);
    buffer += ReferencePath;

    std::vector<std::string> segments = Split(buffer, '/');
    if (segments.back() == "." || segments.back() == "..")
        segments.emplace_back();
    std::vector<std::string> kept;
    for (auto& segment : segments)
        if (segment != ".")
            kept.push_back(std::move(segment));
    // "segment/.." goes, leftmost first, for any segment other than ".."
    // itself: "../.." never cancels out (RFC 2396, 5.2 step 6e).
    for (bool removed = true; removed;) {
        removed = false;
        for (std::size_t i = 1; i < kept.size(); ++i) {
            if (kept[i] == ".." && kept[i - 1] != "..") {
                kept.erase(kept.begin() + static_cast<std::ptrdiff_t>(i) - 1,
                           kept.begin() + static_cast<std::ptrdiff_t>(i) + 1);
                removed = true;
                break;
            }
        }
    }
    if (!kept.empty() && kept.front() == "..")
        return false;
    Merged = "/";
    for (std::size_t i = 0; i < kept.size(); ++i) {
        if (i)
            Merged += '/';
        Merged += kept[i];
    }
    return true;
}

int HexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

bool IsPathByte(unsigned char c, bool KeepPathPunctuation)
{
    if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'))
        return true;
    for (char m : std::string("-_.!~*'()/"))
        if (c == static_cast<unsigned char>(m))
            return true;
    if (KeepPathPunctuation)
        for (char m : std::string(":@&=+$,;"))
            if (c == static_cast<unsigned char>(m))
                return true;
    return false;
}

std::string Escape(const std::string& Path, bool KeepPathPunctuation)
{
    static const char* digits = "0123456789ABCDEF";
    std::string out;
    out.reserve(Path.size());
    for (const char byte : Path) {
        const auto c = static_cast<unsigned char>(byte);
        if (IsPathByte(c, KeepPathPunctuation)) {
            out += byte;
        } else {
            out += '%';
            out += digits[c >> 4];
            out += digits[c & 15];
        }
    }
    return out;
}

} // namespace

bool ResolveUri(const std::string& Base, const std::string& Reference, std::string& Result)
{
    Result.clear();
    TUriStrAnalyzer base, ref;
    if (!base.Parse(Base) || !ref.Parse(Reference))
        return false;
    if (!base.HasScheme() && !ref.HasScheme())
        return false;

    if (ref.Path().empty() && !ref.HasScheme() && !ref.HasAuthority() && !ref.HasQuery()) {
        base.SetFragment(ref.Fragment(), ref.HasFragment());
        Result = base.Compose();
        return true;
    }
    if (ref.HasScheme()) {
        Result = Reference;
        return true;
    }
    ref.SetScheme(base.Scheme(), base.HasScheme());
    if (!ref.HasAuthority()) {
        ref.SetAuthority(base.Authority(), base.HasAuthority());
        if (ref.Path().empty() || ref.Path().front() != '/') {
            std::string merged;
            if (!MergePaths(base.Path(), ref.Path(), merged))
                return false;
            if (!ref.SetPath(merged))
                return false;
        }
    }
    Result = ref.Compose();
    return true;
}

bool FileUriToPath(const std::string& Uri, std::string& Path, std::string& Host, std::string& Query,
                   std::string& Fragment)
{
    Path.clear();
    Host.clear();
    Query.clear();
    Fragment.clear();
    TUriStrAnalyzer uri;
    if (!uri.Parse(Uri) || !uri.HasScheme())
        return false;
    std::string scheme = uri.Scheme();
    for (char& c : scheme)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    if (scheme != "file")
        return false;

    const std::string decoded = PercentDecode(uri.Path());
    if (decoded.find('\0') != std::string::npos)
        return false;

    const bool drive = decoded.size() >= 3 && decoded[0] == '/' && decoded[2] == ':'
                       && ((decoded[1] >= 'A' && decoded[1] <= 'Z') || (decoded[1] >= 'a' && decoded[1] <= 'z'));
    if (drive) {
        Path = decoded.substr(1);
        for (char& c : Path)
            if (c == '/')
                c = '\\';
    } else {
        Path = decoded;
    }
    Host = uri.Authority();
    if (uri.HasQuery())
        Query = "?" + uri.Query();
    if (uri.HasFragment())
        Fragment = "#" + uri.Fragment();
    return true;
}

std::string PathToFileUri(const std::string& Path)
{
    return "file://" + Escape(Path, false);
}

std::string EscapePath(const std::string& Path)
{
    return Escape(Path, true);
}

std::string ToSlashes(std::string Text)
{
    for (char& c : Text)
        if (c == '\\')
            c = '/';
    return Text;
}

std::string PercentDecode(const std::string& Text)
{
    std::string decoded;
    decoded.reserve(Text.size());
    for (std::size_t i = 0; i < Text.size(); ++i) {
        if (Text[i] == '%' && i + 2 < Text.size() && HexValue(Text[i + 1]) >= 0 && HexValue(Text[i + 2]) >= 0) {
            decoded += static_cast<char>(HexValue(Text[i + 1]) * 16 + HexValue(Text[i + 2]));
            i += 2;
        } else {
            decoded += Text[i];
        }
    }
    return decoded;
}

std::pair<std::string, std::string> splitKeyvalue(const std::string& Line)
{
    const std::size_t eq = Line.find('=');
    if (eq == std::string::npos)
        return {std::string(), Line};
    return {Line.substr(0, eq), Line.substr(eq + 1)};
}

} // namespace UriToolkit
