// The help archive as built: the topics the windows open are there, every
// link and picture of every page names an entry of the archive (and a place
// that exists in it), every page is reachable from the contents, and the
// pages are single-byte text as they declare.
#include "zip/ZipReader.h"

#include <gtest/gtest.h>

#include <map>
#include <regex>
#include <set>
#include <string>
#include <vector>

namespace {

struct Reference {
    std::string page;  // the entry, empty for a place in the same page
    std::string place; // after '#', may be empty
};

Reference Split(const std::string& target)
{
    const std::size_t hash = target.find('#');
    if (hash == std::string::npos)
        return {target, {}};
    return {target.substr(0, hash), target.substr(hash + 1)};
}

std::vector<std::string> Attributes(const std::string& html, const char* attribute)
{
    const std::regex pattern(std::string("<[a-zA-Z]+[^>]*\\s") + attribute + "\\s*=\\s*\"([^\"]*)\"",
                             std::regex::icase);
    std::vector<std::string> values;
    for (auto it = std::sregex_iterator(html.begin(), html.end(), pattern); it != std::sregex_iterator(); ++it)
        values.push_back((*it)[1].str());
    return values;
}

bool IsPage(const std::string& name)
{
    return name.size() > 4 && name.compare(name.size() - 4, 4, ".htm") == 0;
}

class BuiltHelp : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(zip.Open(QUORVEX_APP_DIR "HELP.DAT")) << "HELP.DAT is built beside the program";
        for (const std::string& name : zip.Names()) {
            entries.insert(name);
            if (IsPage(name))
                pages[name] = zip.ExtractToString(name);
        }
    }
    ZipReader zip;
    std::set<std::string> entries;
    std::map<std::string, std::string> pages;
};

} // namespace

TEST_F(BuiltHelp, EveryTopicThatAWindowOpensIsThere)
{
    for (const char* topic :
         {"index.htm", "how.htm", "newentity.htm", "request.htm", "pwd.htm", "backup.htm", "messages.htm", "media.htm",
          "agreement.htm", "export.htm", "disk.htm", "certificate.htm", "overview.htm"}) {
        ASSERT_TRUE(pages.count(topic)) << topic;
        EXPECT_GT(pages[topic].size(), 500u) << topic;
    }
    // Entry names are bare: the pages link to them so.
    for (const std::string& name : entries)
        EXPECT_EQ(name.find('/'), std::string::npos) << name;
}

TEST_F(BuiltHelp, EveryLinkAndPictureResolvesToAnEntryAndEveryPageIsReachable)
{
    std::map<std::string, std::set<std::string>> places; // page -> names and ids
    for (const auto& [name, html] : pages) {
        for (const char* attribute : {"name", "id"})
            for (const std::string& value : Attributes(html, attribute))
                places[name].insert(value);
    }
    std::map<std::string, std::set<std::string>> linksFrom;
    int checked = 0;
    for (const auto& [name, html] : pages) {
        for (const std::string& target : Attributes(html, "href")) {
            const Reference ref = Split(target);
            const std::string page = ref.page.empty() ? name : ref.page;
            ++checked;
            ASSERT_TRUE(entries.count(page)) << name << " links to " << target;
            EXPECT_TRUE(IsPage(page)) << name << " links to " << target;
            if (!ref.place.empty()) {
                EXPECT_TRUE(places[page].count(ref.place)) << name << " links to a missing place " << target;
            }
            linksFrom[name].insert(page);
        }
        for (const std::string& picture : Attributes(html, "src")) {
            ++checked;
            std::string bytes;
            EXPECT_EQ(zip.Extract(picture, bytes), ZipReader::TExtract::Ok) << name << " shows " << picture;
            EXPECT_EQ(bytes.compare(0, 8, "\x89PNG\r\n\x1a\n"), 0) << picture;
        }
    }
    EXPECT_GT(checked, 50);

    std::set<std::string> reached{"index.htm"};
    std::vector<std::string> todo{"index.htm"};
    while (!todo.empty()) {
        const std::string page = todo.back();
        todo.pop_back();
        for (const std::string& next : linksFrom[page])
            if (reached.insert(next).second)
                todo.push_back(next);
    }
    for (const auto& [name, html] : pages) {
        EXPECT_TRUE(reached.count(name)) << name << " is not reachable from the contents";
        EXPECT_TRUE(linksFrom[name].count("index.htm")) << name << " has no way back to the contents";
    }
}

TEST_F(BuiltHelp, PagesAreSingleByteTextAsTheyDeclare)
{
    const std::regex utf8("[\xC2-\xF4][\x80-\xBF]");
    for (const auto& [name, html] : pages) {
        EXPECT_NE(html.find("charset=ISO-8859-1"), std::string::npos) << name;
        EXPECT_FALSE(std::regex_search(html, utf8)) << name << " holds UTF-8 sequences";
        EXPECT_EQ(html.find('\0'), std::string::npos) << name;
    }
}
