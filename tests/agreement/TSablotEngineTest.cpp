// The XSLT engine: its messages, its runs through the scheme proxies, and
// that it leaves the libraries' hooks as it found them.
#include "agreement/TFileProxy.h"
#include "agreement/TSablotEngine.h"
#include "agreement/UriToolkit.h"
#include "support/TempFolder.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <libxml/globals.h>
#include <libxml/xmlerror.h>
#include <libxslt/xsltutils.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <sys/stat.h>

namespace fs = std::filesystem;
using UriToolkit::PathToFileUri;

namespace {

// A folder whose name needs escaping in a URI, inside a temporary one.
class TempFolder {
public:
    TempFolder() { fs::create_directories(path_); }
    std::string File(const std::string& Name) const { return path_ + Name; }
    std::string Write(const std::string& Name, const std::string& Text) const
    {
        std::ofstream(File(Name), std::ios::binary) << Text;
        return File(Name);
    }

private:
    testsupport::TempFolder base_{"qv-xslt"};
    std::string path_ = base_.Path() + "S\xC3\xA3o Jos\xC3\xA9 #1 ?a 100%/";
};

std::string ReadAll(const std::string& Path)
{
    std::ifstream in(Path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

const char* CopyStyle = R"(<?xml version="1.0"?>
<xsl:stylesheet version="1.0" xmlns:xsl="http://www.w3.org/1999/XSL/Transform">
<xsl:output method="text" encoding="UTF-8"/>
<xsl:param name="who" select="'nobody'"/>
<xsl:template match="/">[<xsl:value-of select="/termo/juridica"/>|<xsl:value-of select="$who"/>]</xsl:template>
</xsl:stylesheet>
)";

const char* Input = "<?xml version = \"1.0\"?><termo><juridica>Orvanta &amp; Filhos</juridica></termo>\r\n";

TEST(TSablotEngine, MissingFileArgumentFailsWithTheEnginesMessage)
{
    TSablotEngine engine;
    int errors = 0;
    engine.OnMsgError = [&](TSablotEngine&, int32_t code, const char**) {
        ++errors;
        EXPECT_EQ(code, 100);
    };
    for (int missing = 0; missing < 3; ++missing) {
        std::string uris[3] = {"file:///a.xsl", "file:///a.xml", "file:///a.html"};
        uris[missing].clear();
        EXPECT_FALSE(engine.RunProcessorGen(uris[0], uris[1], uris[2]));
        EXPECT_EQ(engine.LastError(), "XsltEngine :  RunProcessorGen : Missing file argument");
    }
    EXPECT_EQ(errors, 3);
}

TEST(TSablotEngine, LogMessageStoresAndDispatchesByLevel)
{
    const struct {
        int Level;
        bool ShowDebug;
        const char* Event; // which event fires, "" none
        bool IsError;      // stored as LastError (else LastMessage)
    } cases[] = {
        {0, false, "", false},       {0, true, "debug", false}, {1, false, "info", true},
        {2, false, "warning", true}, {3, false, "error", true}, {4, false, "critical", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Level);
        TSablotEngine engine;
        engine.ShowDebug = c.ShowDebug;
        std::string fired;
        auto record = [&fired](const char* name) {
            return [&fired, name](TSablotEngine&, int32_t, const char** fields) {
                fired += name;
                EXPECT_STREQ(fields[2], "code: 100");
            };
        };
        engine.OnMsgDebug = record("debug");
        engine.OnMsgInfo = record("info");
        engine.OnMsgWarning = record("warning");
        engine.OnMsgError = record("error");
        engine.OnMsgCritical = record("critical");
        engine.LogMessage(c.Level, "XsltEngine", "T");
        EXPECT_EQ(fired, c.Event);
        EXPECT_EQ(c.IsError ? engine.LastError() : engine.LastMessage(), "XsltEngine :  T");
        EXPECT_EQ(c.IsError ? engine.LastMessage() : engine.LastError(), "");
    }
}

TEST(TSablotEngine, MessageTextFromFields)
{
    const char* withUri[] = {"module:M", "URI:U", "line:3", "msg:T", nullptr};
    EXPECT_EQ(TSablotEngine::MessageText(withUri), "M : T in URI:U at line 3");
    const char* all[] = {"msgtype:error",     "code:7", "msg: x",           "module:Mod",
                         "URI:file:///s.xsl", "line:9", "node:element 'a'", nullptr};
    EXPECT_EQ(TSablotEngine::MessageText(all), "Mod :  x - element 'a' in URI:file:///s.xsl at line 9");
    const char* noColon[] = {"bare", "msg:only", nullptr};
    EXPECT_EQ(TSablotEngine::MessageText(noColon), "only");
}

TEST(TSablotEngine, TransformsThroughTheFileProxyInAnEscapedFolder)
{
    TempFolder dir;
    const std::string style = dir.Write("s.xsl", CopyStyle);
    const std::string input = dir.Write("in.xml", Input);
    const std::string output = dir.File("out.html");
    dir.Write("out.html", "an older result");

    TSablotEngine engine;
    engine.Params = {"who=Jo\xC3\xA3o & 'x'"};
    engine.StyleURI = PathToFileUri(style);
    engine.InputUri = PathToFileUri(input);
    engine.OutputUri = PathToFileUri(output);
    ASSERT_TRUE(engine.Run()) << engine.LastError();
    EXPECT_EQ(ReadAll(output), "[Orvanta & Filhos|Jo\xC3\xA3o & 'x']");
    EXPECT_EQ(engine.DefaultFileProxy().HeldBuffers(), 0u);
    // Nothing beside the result: no temporary left in the folder.
    int files = 0;
    for (auto& entry : fs::directory_iterator(fs::path(output).parent_path())) {
        (void)entry;
        ++files;
    }
    EXPECT_EQ(files, 3);

    // A relative stylesheet URI resolves against DefaultBase.
    engine.SetDefaultBase(PathToFileUri(dir.File("")));
    engine.Params.clear();
    ASSERT_TRUE(engine.RunProcessorGen("s.xsl", "in.xml", "out2.html")) << engine.LastError();
    EXPECT_EQ(ReadAll(dir.File("out2.html")), "[Orvanta & Filhos|nobody]");
}

TEST(TSablotEngine, AStylesheetErrorNamesItsLineAndWritesNothing)
{
    TempFolder dir;
    const std::string style = dir.Write("bad.xsl", R"(<?xml version="1.0"?>
<xsl:stylesheet version="1.0" xmlns:xsl="http://www.w3.org/1999/XSL/Transform">
<xsl:template match="/">
<xsl:value-of select="((("/>
</xsl:template>
</xsl:stylesheet>
)");
    const std::string input = dir.Write("in.xml", Input);
    TSablotEngine engine;
    int errors = 0;
    engine.OnMsgError = [&](TSablotEngine&, int32_t, const char**) { ++errors; };
    EXPECT_FALSE(engine.RunProcessorGen(PathToFileUri(style), PathToFileUri(input), PathToFileUri(dir.File("o.html"))));
    EXPECT_NE(engine.LastError().find("libxslt : "), std::string::npos) << engine.LastError();
    EXPECT_NE(engine.LastError().find(" at line 4"), std::string::npos) << engine.LastError();
    EXPECT_NE(engine.LastError().find("bad.xsl"), std::string::npos) << engine.LastError();
    EXPECT_GE(errors, 1);
    EXPECT_FALSE(fs::exists(dir.File("o.html")));

    // An instruction the processor does not know fails the run as well.
    dir.Write("unknown.xsl", R"(<?xml version="1.0"?>
<xsl:stylesheet version="1.0" xmlns:xsl="http://www.w3.org/1999/XSL/Transform">
<xsl:template match="/"><xsl:frobnicate/></xsl:template>
</xsl:stylesheet>
)");
    EXPECT_FALSE(engine.RunProcessorGen(PathToFileUri(dir.File("unknown.xsl")), PathToFileUri(input),
                                        PathToFileUri(dir.File("o.html"))));
    EXPECT_NE(engine.LastError().find("frobnicate"), std::string::npos) << engine.LastError();
    EXPECT_FALSE(fs::exists(dir.File("o.html")));
}

TEST(TSablotEngine, BrokenInputAndMissingFilesFail)
{
    TempFolder dir;
    const std::string style = dir.Write("s.xsl", CopyStyle);
    const std::string broken = dir.Write("broken.xml", "<termo><juridica>x</termo>\n");
    TSablotEngine engine;
    EXPECT_FALSE(engine.RunProcessorGen(PathToFileUri(style), PathToFileUri(broken), PathToFileUri(dir.File("o"))));
    EXPECT_NE(engine.LastError().find("libxml2 : "), std::string::npos) << engine.LastError();
    EXPECT_NE(engine.LastError().find("broken.xml at line 2"), std::string::npos) << engine.LastError();

    EXPECT_FALSE(engine.RunProcessorGen(PathToFileUri(dir.File("none.xsl")), PathToFileUri(broken),
                                        PathToFileUri(dir.File("o"))));
    EXPECT_FALSE(engine.LastError().empty());
    // An output folder that does not exist.
    const std::string input = dir.Write("in.xml", Input);
    EXPECT_FALSE(
        engine.RunProcessorGen(PathToFileUri(style), PathToFileUri(input), PathToFileUri(dir.File("no/such/o.html"))));
    EXPECT_NE(engine.LastError().find("Cannot write the result"), std::string::npos) << engine.LastError();
}

TEST(TSablotEngine, SpecialFilesAreRefusedNotRead)
{
    TempFolder dir;
    const std::string fifo = dir.File("pipe");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    // Reading a pipe nobody writes would block the run forever; a device
    // would never end.
    const std::string style =
        dir.Write("s.xsl", "<?xml version=\"1.0\"?>"
                           "<xsl:stylesheet version=\"1.0\" xmlns:xsl=\"http://www.w3.org/1999/XSL/Transform\">"
                           "<xsl:output method=\"text\"/><xsl:template match=\"/\">"
                           "[<xsl:value-of select=\"count(document('"
                               + PathToFileUri(fifo)
                               + "'))\"/>"
                                 "<xsl:value-of select=\"count(document('file:///dev/zero'))\"/>]"
                                 "</xsl:template></xsl:stylesheet>");
    const std::string input = dir.Write("in.xml", Input);
    TSablotEngine engine;
    // The run ends, failed: a document that cannot be read is an error.
    EXPECT_FALSE(engine.RunProcessorGen(PathToFileUri(style), PathToFileUri(input), PathToFileUri(dir.File("o"))));
    EXPECT_NE(engine.LastError().find("file:///dev/zero"), std::string::npos) << engine.LastError();
    EXPECT_FALSE(fs::exists(dir.File("o")));
    EXPECT_FALSE(engine.RunProcessorGen(PathToFileUri(style), PathToFileUri(fifo), PathToFileUri(dir.File("o"))));
}

// Serves documents of the scheme "mem" from a table and collects written
// ones; records the buffers it hands out and gets back.
class MemoryProxy : public TCustomSchemeProxy {
public:
    std::map<std::string, std::string> Documents;
    std::map<Handle, std::string> Written;
    std::vector<std::string> Log;
    int Outstanding = 0;
    int MaxOutstanding = 0;
    // The request ("get", "free", "open", "put", "close") that raises.
    std::string RaiseIn;

    // Buffers whose release raised are still the proxy's own.
    ~MemoryProxy() override
    {
        for (auto& [buffer, copy] : held_)
            delete copy;
    }

    void MayRaise(const char* Request) const
    {
        if (RaiseIn == Request)
            throw std::runtime_error(std::string("proxy failed in ") + Request);
    }

    int GetAll(const std::string& Scheme, const std::string& Rest, const char*& Buffer, int& Count) override
    {
        MayRaise("get");
        Log.push_back("get " + Scheme + ":" + Rest);
        auto it = Documents.find(Rest);
        if (it == Documents.end())
            return 1;
        auto* copy = new std::string(it->second);
        Buffer = copy->c_str();
        Count = static_cast<int>(copy->size());
        held_[Buffer] = copy;
        MaxOutstanding = std::max(MaxOutstanding, ++Outstanding);
        return 0;
    }
    int FreeMemory(const char* Buffer) override
    {
        MayRaise("free");
        auto it = held_.find(Buffer);
        if (it == held_.end())
            return 1;
        delete it->second;
        held_.erase(it);
        --Outstanding;
        return 0;
    }
    int Open(const std::string&, const std::string& Rest, Handle& H) override
    {
        MayRaise("open");
        Log.push_back("open " + Rest);
        H = 1000 + static_cast<Handle>(Written.size());
        Written[H];
        return 0;
    }
    int Put(Handle H, const char* Buffer, int& Count) override
    {
        MayRaise("put");
        Written[H].append(Buffer, static_cast<std::size_t>(Count));
        return 0;
    }
    int Close(Handle H) override
    {
        MayRaise("close");
        Log.push_back("close " + std::to_string(H));
        return 0;
    }
    bool HasHandle(Handle H) override { return Written.count(H) != 0; }
    int Get(Handle, char*, int& Count) override
    {
        Count = 0;
        return 1;
    }

private:
    std::map<const char*, std::string*> held_;
};

TEST(TSablotEngine, OtherSchemesGoToTheirProxyOneBufferPerDocument)
{
    TSablotEngine engine;
    MemoryProxy proxy;
    proxy.AddScheme("mem");
    proxy.SetEngine(&engine);
    proxy.Documents["//style.xsl"] = R"X(<?xml version="1.0"?>
<xsl:stylesheet version="1.0" xmlns:xsl="http://www.w3.org/1999/XSL/Transform">
<xsl:output method="text"/>
<xsl:variable name="a" select="document('mem://a.xml')"/>
<xsl:variable name="b" select="document('mem://b.xml')"/>
<xsl:template match="/"><xsl:value-of select="concat(/r, $a/r, $b/r)"/></xsl:template>
</xsl:stylesheet>)X";
    proxy.Documents["//in.xml"] = "<r>1</r>";
    proxy.Documents["//a.xml"] = "<r>2</r>";
    proxy.Documents["//b.xml"] = "<r>3</r>";
    ASSERT_TRUE(engine.RunProcessorGen("mem://style.xsl", "mem://in.xml", "mem://out.txt")) << engine.LastError();
    ASSERT_EQ(proxy.Written.size(), 1u);
    EXPECT_EQ(proxy.Written.begin()->second, "123");
    EXPECT_EQ(proxy.Outstanding, 0);
    EXPECT_EQ(proxy.Log.back(), "close 1000");

    // Debug messages name each request when asked for.
    engine.ShowDebug = true;
    std::vector<std::string> debug;
    engine.OnMsgDebug = [&](TSablotEngine& e, int32_t, const char**) { debug.push_back(e.LastMessage()); };
    ASSERT_TRUE(engine.RunProcessorGen("mem://style.xsl", "mem://in.xml", "mem://out.txt"));
    ASSERT_FALSE(debug.empty());
    EXPECT_EQ(debug.front(), "XsltEngine :  Get All Call back : mem://style.xsl");
    EXPECT_NE(std::find(debug.begin(), debug.end(), "XsltEngine :  Put Call back : handle=1001"), debug.end());
}

// A proxy that raises, with an error handler that raises too: nothing may
// unwind through the XML libraries, the proxy's reason is reported, and a
// run whose document could not be read or written is a failure.
TEST(TSablotEngine, ARaisingProxyFailsTheRequestNotTheProgram)
{
    for (const char* request : {"get", "free", "open", "put", "close"}) {
        SCOPED_TRACE(request);
        TSablotEngine engine;
        std::vector<std::string> errors;
        engine.OnMsgError = [&](TSablotEngine& e, int32_t, const char**) {
            errors.push_back(e.LastError());
            throw std::runtime_error("handler failed");
        };
        MemoryProxy proxy;
        proxy.AddScheme("mem");
        proxy.SetEngine(&engine);
        proxy.Documents["//style.xsl"] = CopyStyle;
        proxy.Documents["//in.xml"] = Input;
        proxy.RaiseIn = request;
        bool ok = true;
        EXPECT_NO_THROW(ok = engine.RunProcessorGen("mem://style.xsl", "mem://in.xml", "mem://out.txt"));
        if (std::string(request) != "free" && std::string(request) != "close") {
            EXPECT_FALSE(ok);
        }
        // The proxy's own reason is reported, not lost behind the library's.
        EXPECT_TRUE(std::any_of(errors.begin(), errors.end(), [&](const std::string& text) {
            return text.find(std::string("proxy failed in ") + request) != std::string::npos;
        }));
    }
}

TEST(TSablotEngine, SchemeBasesMapOntoFiles)
{
    TempFolder dir;
    dir.Write("s.xsl", CopyStyle);
    dir.Write("in.xml", Input);
    TSablotEngine engine;
    engine.SchemeBases = {"bad scheme=file:///x/", "data=" + PathToFileUri(dir.File(""))};
    std::string scheme = "data", rest = "//s.xsl";
    engine.MapSchemeBase(scheme, rest);
    EXPECT_EQ(scheme, "file");
    EXPECT_EQ(TFileProxy::PathOfRest(rest), dir.File("s.xsl"));
    ASSERT_TRUE(engine.RunProcessorGen("data://s.xsl", "data://in.xml", "data://out.txt")) << engine.LastError();
    EXPECT_EQ(ReadAll(dir.File("out.txt")), "[Orvanta & Filhos|nobody]");
    // The malformed line was reported, the good one used.
    EXPECT_EQ(engine.LastError(), "XsltEngine :  Cannot set scheme base for bad scheme : file:///x/");

    engine.RemoveBase("data");
    engine.Params = {"a=1", "b=2", "a=3"};
    engine.RemoveParam("a");
    EXPECT_EQ(engine.SchemeBases, std::vector<std::string>{"bad scheme=file:///x/"});
    EXPECT_EQ(engine.Params, (std::vector<std::string>{"b=2", "a=3"}));
}

TEST(TSablotEngine, LeavesTheLibraryHooksAsItFoundThem)
{
    TempFolder dir;
    const std::string style = dir.Write("s.xsl", CopyStyle);
    const std::string input = dir.Write("in.xml", Input);
    const auto structured = xmlStructuredError;
    const auto generic = xmlGenericError;
    const auto xslt = xsltGenericError;
    {
        TSablotEngine engine;
        ASSERT_TRUE(engine.RunProcessorGen(PathToFileUri(style), PathToFileUri(input), PathToFileUri(dir.File("o"))));
        EXPECT_FALSE(engine.RunProcessorGen(PathToFileUri(dir.File("none")), PathToFileUri(input),
                                            PathToFileUri(dir.File("o"))));
    }
    EXPECT_EQ(xmlStructuredError, structured);
    EXPECT_EQ(xmlGenericError, generic);
    EXPECT_EQ(xsltGenericError, xslt);
    // With no engine alive, a plain read goes to the library's own reader.
    xmlDocPtr doc = xmlReadFile(PathToFileUri(input).c_str(), nullptr, 0);
    EXPECT_NE(doc, nullptr);
    xmlFreeDoc(doc);
}

TEST(TCustomSchemeProxy, FollowsItsEngineAndRefusesDuplicateSchemes)
{
    MemoryProxy proxy;
    proxy.AddScheme("mem");
    EXPECT_THROW(proxy.AddScheme("MEM"), EStringListError);
    {
        TSablotEngine first, second;
        proxy.SetEngine(&first);
        proxy.SetEngine(&second);
        EXPECT_EQ(first.Proxies().size(), 1u); // its own file proxy only
        EXPECT_EQ(second.Proxies().back(), &proxy);
        {
            MemoryProxy shortLived;
            shortLived.SetEngine(&second);
            EXPECT_EQ(second.Proxies().size(), 3u);
        }
        EXPECT_EQ(second.Proxies().size(), 2u);
    }
    EXPECT_EQ(proxy.Engine(), nullptr);
}

TEST(TFileProxy, ReadsAndWritesWithinItsContract)
{
    TempFolder dir;
    dir.Write("a", std::string("abc\0def", 7));
    dir.Write("b", "second");
    TFileProxy proxy;
    const char* a = nullptr;
    const char* b = nullptr;
    int na = 0, nb = 0;
    ASSERT_EQ(proxy.GetAll("file", "//" + UriToolkit::PathToFileUri(dir.File("a")).substr(7), a, na), 0);
    ASSERT_EQ(proxy.GetAll("file", "//" + UriToolkit::PathToFileUri(dir.File("b")).substr(7), b, nb), 0);
    EXPECT_EQ(std::string(a, static_cast<std::size_t>(na)), "abc"); // up to the first NUL
    EXPECT_EQ(std::string(b, static_cast<std::size_t>(nb)), "second");
    EXPECT_EQ(proxy.FreeMemory(a), 0);
    EXPECT_EQ(std::string(b, static_cast<std::size_t>(nb)), "second"); // the other request's buffer lives on
    EXPECT_EQ(proxy.FreeMemory(b), 0);
    EXPECT_EQ(proxy.FreeMemory(b), 1);
    EXPECT_EQ(proxy.GetAll("file", "//relative/x", a, na), 1);

    TCustomSchemeProxy::Handle h = 0;
    const std::string rest = UriToolkit::PathToFileUri(dir.File("w")).substr(5);
    ASSERT_EQ(proxy.Open("file", rest, h), 0);
    EXPECT_TRUE(proxy.HasHandle(h));
    int count = 5;
    EXPECT_EQ(proxy.Put(h, "hello", count), 0);
    EXPECT_EQ(count, 5);
    char buffer[4] = {'x', 'x', 'x', 'x'};
    int size = 2;
    EXPECT_EQ(proxy.Get(h, buffer, size), 1);
    EXPECT_EQ(size, 0);
    EXPECT_EQ(buffer[0], 'x');
    EXPECT_FALSE(fs::exists(dir.File("w"))); // not before Close
    EXPECT_EQ(proxy.Close(h), 0);
    EXPECT_FALSE(proxy.HasHandle(h));
    EXPECT_EQ(ReadAll(dir.File("w")), "hello");
    EXPECT_EQ(proxy.Close(h), 1);
}

} // namespace
