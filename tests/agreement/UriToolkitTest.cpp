// URI analysis, resolution and the file URI conversions.
#include "agreement/TUriStrAnalyzer.h"
#include "agreement/UriToolkit.h"

#include <gtest/gtest.h>

using namespace UriToolkit;

namespace {

struct ParseCase {
    const char* Text;
    bool Ok;
    const char* Scheme;
    const char* Authority;
    const char* Path;
    const char* Query;
    const char* Fragment;
    const char* Flags; // S A Q F present, '-' absent
};

TEST(TUriStrAnalyzer, ParsesAndRefusesByTheGenericSyntax)
{
    const ParseCase cases[] = {
        {"", true, "", "", "", "", "", "----"},
        {"http://a/b/c/d;p?q#f", true, "http", "a", "/b/c/d;p", "q", "f", "SAQF"},
        {"file:///C:/My%20Docs/f.xml", true, "file", "", "/C:/My%20Docs/f.xml", "", "", "SA--"},
        {"file://host/a/x.xsl", true, "file", "host", "/a/x.xsl", "", "", "SA--"},
        {"b/c.xml", true, "", "", "b/c.xml", "", "", "----"},
        {"../../y", true, "", "", "../../y", "", "", "----"},
        {"?y", true, "", "", "", "y", "", "--Q-"},
        {"#s", true, "", "", "", "", "s", "---F"},
        {"mailto:joe@x.org", true, "mailto", "", "joe@x.org", "", "", "S---"},
        {"http://user:pw@host.example.com:8080/p", true, "http", "user:pw@host.example.com:8080", "/p", "", "", "SA--"},
        {"http://10.0.0.1/", true, "http", "10.0.0.1", "/", "", "", "SA--"},
        {"http://a.b./x", true, "http", "a.b.", "/x", "", "", "SA--"},
        // Registry names: no host, but characters a registry name allows.
        {"http://host:80x/", true, "http", "host:80x", "/", "", "", "SA--"},
        {"x://reg$name;1/p", true, "x", "reg$name;1", "/p", "", "", "SA--"},
        // A Windows path: "\" is no path character.
        {"C:\\dir\\f.xml", false, "", "", "", "", "", "----"},
        {"1abc:x", false, "", "", "", "", "", "----"},
        {"http://a/b c", false, "", "", "", "", "", "----"},
        {"http://a/%zz", false, "", "", "", "", "", "----"},
        {"http://a/%4", false, "", "", "", "", "", "----"},
        {"http://a/x#f#g", false, "", "", "", "", "", "----"},
        {"http://a/x?q^", false, "", "", "", "", "", "----"},
        {"http://ho^st/", false, "", "", "", "", "", "----"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Text);
        TUriStrAnalyzer uri;
        EXPECT_EQ(uri.Parse(c.Text), c.Ok);
        EXPECT_EQ(uri.Scheme(), c.Scheme);
        EXPECT_EQ(uri.Authority(), c.Authority);
        EXPECT_EQ(uri.Path(), c.Path);
        EXPECT_EQ(uri.Query(), c.Query);
        EXPECT_EQ(uri.Fragment(), c.Fragment);
        const std::string flags = std::string(uri.HasScheme() ? "S" : "-") + (uri.HasAuthority() ? "A" : "-")
                                  + (uri.HasQuery() ? "Q" : "-") + (uri.HasFragment() ? "F" : "-");
        EXPECT_EQ(flags, c.Flags);
        if (c.Ok) {
            EXPECT_EQ(uri.Compose(), c.Text);
        }
    }
}

TEST(TUriStrAnalyzer, SettersValidateAndClear)
{
    TUriStrAnalyzer uri;
    EXPECT_TRUE(uri.SetScheme("http", true));
    EXPECT_TRUE(uri.SetAuthority("h", true));
    EXPECT_TRUE(uri.SetPath("/p"));
    EXPECT_FALSE(uri.SetQuery("a b", true));
    EXPECT_FALSE(uri.HasQuery());
    EXPECT_TRUE(uri.SetFragment("ignored", false));
    EXPECT_FALSE(uri.HasFragment());
    EXPECT_EQ(uri.Compose(), "http://h/p");
    EXPECT_FALSE(uri.SetScheme("", true));
    EXPECT_EQ(uri.Compose(), "//h/p");
}

TEST(UriToolkit, ResolvesLikeRfc2396)
{
    // RFC 2396 Appendix C, base http://a/b/c/d;p?q, then the abnormal and
    // our own cases.
    const char* base = "http://a/b/c/d;p?q";
    const struct {
        const char* Base;
        const char* Reference;
        const char* Result; // null: fails
    } cases[] = {
        {base, "g:h", "g:h"},
        {base, "g", "http://a/b/c/g"},
        {base, "./g", "http://a/b/c/g"},
        {base, "g/", "http://a/b/c/g/"},
        {base, "/g", "http://a/g"},
        {base, "//g", "http://g"},
        {base, "?y", "http://a/b/c/?y"},
        {base, "g?y", "http://a/b/c/g?y"},
        {base, "#s", "http://a/b/c/d;p?q#s"},
        {base, "g#s", "http://a/b/c/g#s"},
        {base, "g?y#s", "http://a/b/c/g?y#s"},
        {base, ";x", "http://a/b/c/;x"},
        {base, "g;x", "http://a/b/c/g;x"},
        {base, "g;x?y#s", "http://a/b/c/g;x?y#s"},
        {base, ".", "http://a/b/c/"},
        {base, "./", "http://a/b/c/"},
        {base, "..", "http://a/b/"},
        {base, "../", "http://a/b/"},
        {base, "../g", "http://a/b/g"},
        {base, "../..", "http://a/"},
        {base, "../../", "http://a/"},
        {base, "../../g", "http://a/g"},
        {base, "", "http://a/b/c/d;p?q"},
        {base, "../../../g", nullptr},
        {base, "../../../../g", nullptr},
        {base, "/./g", "http://a/./g"},
        {base, "/../g", "http://a/../g"},
        {base, "g.", "http://a/b/c/g."},
        {base, ".g", "http://a/b/c/.g"},
        {base, "g..", "http://a/b/c/g.."},
        {base, "..g", "http://a/b/c/..g"},
        {base, "./../g", "http://a/b/g"},
        {base, "./g/.", "http://a/b/c/g/"},
        {base, "g/./h", "http://a/b/c/g/h"},
        {base, "g/../h", "http://a/b/c/h"},
        {base, "g;x=1/./y", "http://a/b/c/g;x=1/y"},
        {base, "g;x=1/../y", "http://a/b/c/y"},
        {base, "g?y/./x", "http://a/b/c/g?y/./x"},
        {base, "g#s/../x", "http://a/b/c/g#s/../x"},
        {base, "http:g", "http:g"},
        {"file://host/a/x.xsl", "b/c.xml", "file://host/a/b/c.xml"},
        {"file://h/a/x", "../../y", nullptr},
        // ".." never cancels "..": a reference that starts above the root fails.
        {"http://a/b", "../../g", nullptr},
        {"file:///tmp/My%20Docs/x.xsl", "y.xml", "file:///tmp/My%20Docs/y.xml"},
        // Neither has a scheme; a side that does not parse.
        {"/a/b", "c", nullptr},
        {"C:\\x", "c", nullptr},
        {base, "a b", nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.Base) + " + " + c.Reference);
        std::string result = "unchanged";
        EXPECT_EQ(ResolveUri(c.Base, c.Reference, result), c.Result != nullptr);
        EXPECT_EQ(result, c.Result ? c.Result : "");
    }
}

TEST(UriToolkit, FileUriToPath)
{
    const struct {
        const char* Uri;
        bool Ok;
        const char* Path;
        const char* Host;
        const char* Query;
        const char* Fragment;
    } cases[] = {
        {"file:///C:/My%20Docs/f.xml", true, "C:\\My Docs\\f.xml", "", "", ""},
        {"FILE://srv/C:/a/b.xsl?x=1#top", true, "C:\\a\\b.xsl", "srv", "?x=1", "#top"},
        {"file:///tmp/a%20b/%23%3F%25/x.xml", true, "/tmp/a b/#?%/x.xml", "", "", ""},
        {"file:///tmp/S%C3%A3o", true, "/tmp/S\xC3\xA3o", "", "", ""},
        {"file:///tmp/a%00b", false, "", "", "", ""},
        {"http://a/b", false, "", "", "", ""},
        {"file:///C:\\x", false, "", "", "", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Uri);
        std::string path = "?", host = "?", query = "?", fragment = "?";
        EXPECT_EQ(FileUriToPath(c.Uri, path, host, query, fragment), c.Ok);
        EXPECT_EQ(path, c.Path);
        EXPECT_EQ(host, c.Host);
        EXPECT_EQ(query, c.Query);
        EXPECT_EQ(fragment, c.Fragment);
    }
}

TEST(UriToolkit, PathToFileUriComesBackUnchanged)
{
    for (const std::string path : {"/tmp/plain/x.xml", "/tmp/with space/x.xml", "/tmp/S\xC3\xA3o Jos\xE9/x",
                                   "/tmp/a#b/c?d/e%20f/x.xsl", "/tmp/colon:semi;/x", "/"}) {
        SCOPED_TRACE(path);
        const std::string uri = PathToFileUri(path);
        TUriStrAnalyzer parsed;
        ASSERT_TRUE(parsed.Parse(uri)) << uri;
        EXPECT_FALSE(parsed.HasQuery());
        EXPECT_FALSE(parsed.HasFragment());
        std::string back, host, query, fragment;
        ASSERT_TRUE(FileUriToPath(uri, back, host, query, fragment));
        EXPECT_EQ(back, path);
    }
}

TEST(UriToolkit, SplitKeyvalueAndToSlashes)
{
    EXPECT_EQ(splitKeyvalue("a=b=c"), std::make_pair(std::string("a"), std::string("b=c")));
    EXPECT_EQ(splitKeyvalue("=x"), std::make_pair(std::string(), std::string("x")));
    EXPECT_EQ(splitKeyvalue("novalue"), std::make_pair(std::string(), std::string("novalue")));
    EXPECT_EQ(splitKeyvalue("k="), std::make_pair(std::string("k"), std::string()));
    EXPECT_EQ(ToSlashes("C:\\a\\b/c"), "C:/a/b/c");
}

} // namespace
