#pragma once
// Splits a URI reference into its five components and puts it together
// again, accepting only what the generic URI syntax allows (RFC 2396): a
// Windows path such as C:\dir\f.xml is refused, since "\" is no URI
// character. A refused text leaves every component empty.
#include <string>

class TUriStrAnalyzer {
public:
    TUriStrAnalyzer();
    virtual ~TUriStrAnalyzer() = default;

    const std::string& Scheme() const { return Scheme_; }
    const std::string& Authority() const { return Authority_; }
    const std::string& Path() const { return Path_; }
    const std::string& Query() const { return Query_; }
    const std::string& Fragment() const { return Fragment_; }
    bool HasScheme() const { return HasScheme_; }
    bool HasAuthority() const { return HasAuthority_; }
    bool HasQuery() const { return HasQuery_; }
    bool HasFragment() const { return HasFragment_; }

    // scheme ":" , "//" authority, path, "?" query, "#" fragment: each part
    // only when present.
    virtual std::string Compose() const;
    // With Has false the component is cleared and true returned; with Has
    // true a valid value is stored (true), an invalid one cleared (false).
    virtual bool SetAuthority(const std::string& Value, bool Has);
    virtual bool SetFragment(const std::string& Value, bool Has);
    virtual bool SetPath(const std::string& Value);
    virtual bool SetQuery(const std::string& Value, bool Has);
    // True when every component of Text is valid; otherwise the analyzer is
    // left as for the empty text.
    virtual bool Parse(const std::string& Text);
    virtual bool SetScheme(const std::string& Value, bool Has);

    // The character rules, for the URI helpers and the tests.
    static bool IsValidScheme(const std::string& Value);
    static bool IsValidAuthority(const std::string& Value);
    static bool IsValidPath(const std::string& Value);
    static bool IsValidQueryOrFragment(const std::string& Value);

private:
    void Reset();

    std::string Scheme_, Authority_, Path_, Query_, Fragment_;
    bool HasScheme_ = false, HasAuthority_ = false, HasQuery_ = false, HasFragment_ = false;
};
