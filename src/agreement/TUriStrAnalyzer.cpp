#include "agreement/TUriStrAnalyzer.h"

#include <cstring>

namespace {

bool IsAlpha(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}
bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}
bool IsAlphanum(char c)
{
    return IsAlpha(c) || IsDigit(c);
}
bool IsHex(char c)
{
    return IsDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}
bool IsMark(char c)
{
    return c != '\0' && std::strchr("-_.!~*'()", c) != nullptr;
}
bool IsUnreserved(char c)
{
    return IsAlphanum(c) || IsMark(c);
}
bool IsReserved(char c)
{
    return c != '\0' && std::strchr(";/?:@&=+$,", c) != nullptr;
}

// Every character of Text is either an escape ("%" and two hexadecimal
// digits) or satisfies Allowed.
template <typename Pred>
bool AllOf(const std::string& Text, Pred Allowed)
{
    for (std::size_t i = 0; i < Text.size(); ++i) {
        if (Text[i] == '%') {
            if (i + 2 >= Text.size() || !IsHex(Text[i + 1]) || !IsHex(Text[i + 2]))
                return false;
            i += 2;
            continue;
        }
        if (!Allowed(Text[i]))
            return false;
    }
    return true;
}

bool IsUric(char c)
{
    return IsReserved(c) || IsUnreserved(c);
}

bool IsIPv4(const std::string& Host)
{
    int groups = 0;
    std::size_t start = 0;
    while (true) {
        const std::size_t dot = Host.find('.', start);
        const std::string group = Host.substr(start, dot == std::string::npos ? std::string::npos : dot - start);
        if (group.empty())
            return false;
        for (char c : group)
            if (!IsDigit(c))
                return false;
        ++groups;
        if (dot == std::string::npos)
            break;
        start = dot + 1;
    }
    return groups == 4;
}

bool IsHostName(std::string Host)
{
    if (!Host.empty() && Host.back() == '.')
        Host.pop_back();
    if (Host.empty())
        return false;
    std::size_t start = 0;
    while (true) {
        const std::size_t dot = Host.find('.', start);
        const bool last = dot == std::string::npos;
        const std::string label = Host.substr(start, last ? std::string::npos : dot - start);
        if (label.empty())
            return false;
        if (last ? !IsAlpha(label.front()) : !IsAlphanum(label.front()))
            return false;
        if (!IsAlphanum(label.back()))
            return false;
        for (char c : label)
            if (!IsAlphanum(c) && c != '-')
                return false;
        if (last)
            return true;
        start = dot + 1;
    }
}

bool IsHostPort(const std::string& Text)
{
    const std::size_t colon = Text.find(':');
    const std::string host = Text.substr(0, colon);
    if (!IsHostName(host) && !IsIPv4(host))
        return false;
    if (colon == std::string::npos)
        return true;
    for (char c : Text.substr(colon + 1))
        if (!IsDigit(c))
            return false;
    return true;
}

bool IsServer(const std::string& Text)
{
    if (Text.empty())
        return true;
    const std::size_t at = Text.find('@');
    if (at == std::string::npos)
        return IsHostPort(Text);
    const bool userinfo = AllOf(Text.substr(0, at), [](char c) {
        return IsUnreserved(c) || (c != '\0' && std::strchr(";:&=+$,", c) != nullptr);
    });
    return userinfo && IsHostPort(Text.substr(at + 1));
}

bool IsRegistryName(const std::string& Text)
{
    return !Text.empty() && AllOf(Text, [](char c) {
        return IsUnreserved(c) || (c != '\0' && std::strchr("$,;:@&=+", c) != nullptr);
    });
}

} // namespace

TUriStrAnalyzer::TUriStrAnalyzer()
{
    Parse(std::string());
}

bool TUriStrAnalyzer::IsValidScheme(const std::string& Value)
{
    if (Value.empty() || !IsAlpha(Value.front()))
        return false;
    for (char c : Value)
        if (!IsAlphanum(c) && c != '+' && c != '-' && c != '.')
            return false;
    return true;
}

bool TUriStrAnalyzer::IsValidAuthority(const std::string& Value)
{
    return IsServer(Value) || IsRegistryName(Value);
}

bool TUriStrAnalyzer::IsValidPath(const std::string& Value)
{
    if (Value.empty())
        return true;
    if (Value.front() == '/')
        return AllOf(Value.substr(1),
                     [](char c) { return IsUnreserved(c) || (c != '\0' && std::strchr(":@&=+$,;/", c) != nullptr); });
    return AllOf(Value, IsUric);
}

bool TUriStrAnalyzer::IsValidQueryOrFragment(const std::string& Value)
{
    return AllOf(Value, IsUric);
}

void TUriStrAnalyzer::Reset()
{
    Scheme_.clear();
    Authority_.clear();
    Path_.clear();
    Query_.clear();
    Fragment_.clear();
    HasScheme_ = HasAuthority_ = HasQuery_ = HasFragment_ = false;
}

std::string TUriStrAnalyzer::Compose() const
{
    std::string text;
    if (HasScheme_)
        text += Scheme_ + ":";
    if (HasAuthority_)
        text += "//" + Authority_;
    text += Path_;
    if (HasQuery_)
        text += "?" + Query_;
    if (HasFragment_)
        text += "#" + Fragment_;
    return text;
}

namespace {

// The common setter rule.
bool Store(std::string& Field, bool& Flag, const std::string& Value, bool Has, bool Valid)
{
    if (!Has || !Valid) {
        Field.clear();
        Flag = false;
        return !Has;
    }
    Field = Value;
    Flag = true;
    return true;
}

} // namespace

bool TUriStrAnalyzer::SetScheme(const std::string& Value, bool Has)
{
    return Store(Scheme_, HasScheme_, Value, Has, Has && IsValidScheme(Value));
}

bool TUriStrAnalyzer::SetAuthority(const std::string& Value, bool Has)
{
    return Store(Authority_, HasAuthority_, Value, Has, Has && IsValidAuthority(Value));
}

bool TUriStrAnalyzer::SetQuery(const std::string& Value, bool Has)
{
    return Store(Query_, HasQuery_, Value, Has, Has && IsValidQueryOrFragment(Value));
}

bool TUriStrAnalyzer::SetFragment(const std::string& Value, bool Has)
{
    return Store(Fragment_, HasFragment_, Value, Has, Has && IsValidQueryOrFragment(Value));
}

bool TUriStrAnalyzer::SetPath(const std::string& Value)
{
    if (!IsValidPath(Value)) {
        Path_.clear();
        return false;
    }
    Path_ = Value;
    return true;
}

bool TUriStrAnalyzer::Parse(const std::string& Text)
{
    std::string rest = Text;
    std::string scheme, authority, query, fragment;
    bool hasScheme = false, hasAuthority = false, hasQuery = false, hasFragment = false;

    if (const std::size_t colon = rest.find(':'); colon != std::string::npos) {
        scheme = rest.substr(0, colon);
        rest.erase(0, colon + 1);
        hasScheme = true;
    }
    if (const std::size_t hash = rest.find('#'); hash != std::string::npos) {
        fragment = rest.substr(hash + 1);
        rest.erase(hash);
        hasFragment = true;
    }
    if (const std::size_t question = rest.find('?'); question != std::string::npos) {
        query = rest.substr(question + 1);
        rest.erase(question);
        hasQuery = true;
    }
    if (rest.compare(0, 2, "//") == 0) {
        const std::size_t slash = rest.find('/', 2);
        authority = rest.substr(2, slash == std::string::npos ? std::string::npos : slash - 2);
        rest = slash == std::string::npos ? std::string() : rest.substr(slash);
        hasAuthority = true;
    }

    // Every setter runs, so that each component is checked.
    bool ok = SetScheme(scheme, hasScheme);
    ok = SetAuthority(authority, hasAuthority) && ok;
    ok = SetPath(rest) && ok;
    ok = SetQuery(query, hasQuery) && ok;
    ok = SetFragment(fragment, hasFragment) && ok;
    if (!ok)
        Reset();
    return ok;
}
