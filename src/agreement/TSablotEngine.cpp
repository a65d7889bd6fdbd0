#include "agreement/TSablotEngine.h"

#include "agreement/TFileProxy.h"
#include "agreement/TUriStrAnalyzer.h"
#include "agreement/UriToolkit.h"

#include <libxml/globals.h>
#include <libxml/parser.h>
#include <libxml/tree.h>
#include <libxml/xmlIO.h>
#include <libxml/xmlerror.h>
#include <libxslt/security.h>
#include <libxslt/transform.h>
#include <libxslt/variables.h>
#include <libxslt/xslt.h>
#include <libxslt/xsltInternals.h>
#include <libxslt/xsltutils.h>

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>

namespace {

// Results are handed to the output proxy in pieces of this size.
constexpr int PutChunk = 65536;

// The engine whose run is under way on this thread: the libraries' input
// hooks carry no context of their own. Set and reset by RunScope.
thread_local TSablotEngine* runningEngine = nullptr;

// "scheme" and "rest" of a URI as the processor asks for it; false when the
// text starts with no scheme (a plain path, or a drive letter).
bool SplitScheme(const char* Uri, std::string& Scheme, std::string& Rest)
{
    if (!Uri)
        return false;
    const char* colon = std::strchr(Uri, ':');
    if (!colon || colon - Uri < 2)
        return false;
    Scheme.assign(Uri, colon);
    if (!TUriStrAnalyzer::IsValidScheme(Scheme))
        return false;
    Rest = colon + 1;
    return true;
}

// An open document for libxml2's reader: the buffer a proxy handed out.
struct InputDocument {
    TSablotEngine* Engine = nullptr;
    const char* Data = nullptr;
    int Size = 0;
    int Position = 0;
    bool Failed = false;
};

std::string Formatted(const char* Format, va_list Args)
{
    va_list copy;
    va_copy(copy, Args);
    char small[512];
    const int n = std::vsnprintf(small, sizeof small, Format, copy);
    va_end(copy);
    if (n < 0)
        return std::string();
    if (static_cast<std::size_t>(n) < sizeof small)
        return std::string(small, static_cast<std::size_t>(n));
    std::string text(static_cast<std::size_t>(n) + 1, '\0');
    std::vsnprintf(text.data(), text.size(), Format, Args);
    text.resize(static_cast<std::size_t>(n));
    return text;
}

} // namespace

// ---- the C hooks ------------------------------------------------------------
// Nothing is thrown across the libraries: each hook records what went wrong
// and answers with the failure the library expects.
struct TSablotEngine::Callbacks {
    static int Match(const char* Uri)
    {
        try {
            std::string scheme, rest;
            return runningEngine && SplitScheme(Uri, scheme, rest) && runningEngine->Claims(scheme) ? 1 : 0;
        } catch (...) {
            return 0;
        }
    }

    static void* Open(const char* Uri)
    {
        auto* doc = new (std::nothrow) InputDocument;
        if (!doc)
            return nullptr;
        doc->Engine = runningEngine;
        try {
            std::string scheme, rest;
            SplitScheme(Uri, scheme, rest);
            if (doc->Engine->SchemeGetAll(scheme, rest, doc->Data, doc->Size) != 0)
                doc->Failed = true;
        } catch (...) {
            doc->Failed = true;
        }
        // A refused document is still "opened", as a read failure: the
        // library would otherwise hand the name to its own file reader.
        return doc;
    }

    static int Read(void* Context, char* Buffer, int Length)
    {
        auto* doc = static_cast<InputDocument*>(Context);
        if (doc->Failed || Length < 0)
            return -1;
        const int n = std::min(Length, doc->Size - doc->Position);
        if (n > 0)
            std::memcpy(Buffer, doc->Data + doc->Position, static_cast<std::size_t>(n));
        doc->Position += n;
        return n;
    }

    static int Close(void* Context)
    {
        auto* doc = static_cast<InputDocument*>(Context);
        int result = 0;
        if (!doc->Failed) {
            try {
                result = doc->Engine->SchemeFreeMemory(doc->Data) == 0 ? 0 : -1;
            } catch (...) {
                result = -1;
            }
        }
        delete doc;
        return result;
    }

    // A document of a scheme other than "file" may be read only through a
    // proxy: never by the library's own network readers.
    static int ReadOtherScheme(xsltSecurityPrefsPtr, xsltTransformContextPtr, const char* Uri)
    {
        try {
            std::string scheme, rest;
            return runningEngine && SplitScheme(Uri, scheme, rest) && runningEngine->Claims(scheme) ? 1 : 0;
        } catch (...) {
            return 0;
        }
    }

    static void Structured(void* User, xmlErrorPtr Error)
    {
        if (!User || !Error)
            return;
        try {
            auto* engine = static_cast<TSablotEngine*>(User);
            const int level = Error->level == XML_ERR_WARNING ? 2 : Error->level == XML_ERR_ERROR ? 3 : 4;
            std::string node;
            if (Error->node) {
                auto* n = static_cast<xmlNodePtr>(Error->node);
                if (n->name)
                    node = reinterpret_cast<const char*>(n->name);
            }
            engine->LibraryMessage(level, Error->code, "libxml2",
                                   TSablotEngine::Trimmed(Error->message ? Error->message : ""),
                                   Error->file ? Error->file : "", Error->line, node);
        } catch (...) {
        }
    }

    // The two libraries' free-text reports differ only in who speaks.
    static void GenericText(void* User, const char* Module, const char* Format, va_list Args)
    {
        if (!User || !Format)
            return;
        try {
            const std::string text = Formatted(Format, Args);
            static_cast<TSablotEngine*>(User)->LibraryText(Module, text.c_str());
        } catch (...) {
        }
    }

    static void XmlGeneric(void* User, const char* Format, ...)
    {
        va_list args;
        va_start(args, Format);
        GenericText(User, "libxml2", Format, args);
        va_end(args);
    }

    static void XsltGeneric(void* User, const char* Format, ...)
    {
        va_list args;
        va_start(args, Format);
        GenericText(User, "libxslt", Format, args);
        va_end(args);
    }
};

// Installs the hooks for one run and puts the previous ones back after it.
class TSablotEngine::RunScope {
public:
    explicit RunScope(TSablotEngine& Engine) : engine_(Engine)
    {
        savedStructured_ = xmlStructuredError;
        savedStructuredContext_ = xmlStructuredErrorContext;
        savedGeneric_ = xmlGenericError;
        savedGenericContext_ = xmlGenericErrorContext;
        savedXslt_ = xsltGenericError;
        savedXsltContext_ = xsltGenericErrorContext;
        savedEngine_ = runningEngine;

        xmlSetStructuredErrorFunc(&engine_, &Callbacks::Structured);
        xmlSetGenericErrorFunc(&engine_, &Callbacks::XmlGeneric);
        xsltSetGenericErrorFunc(&engine_, &Callbacks::XsltGeneric);
        registered_ =
            xmlRegisterInputCallbacks(&Callbacks::Match, &Callbacks::Open, &Callbacks::Read, &Callbacks::Close) >= 0;
        runningEngine = &engine_;
    }

    ~RunScope()
    {
        try {
            engine_.FlushLibraryText();
        } catch (...) {
        }
        if (registered_)
            xmlPopInputCallbacks();
        runningEngine = savedEngine_;
        xsltSetGenericErrorFunc(savedXsltContext_, savedXslt_);
        xmlSetGenericErrorFunc(savedGenericContext_, savedGeneric_);
        xmlSetStructuredErrorFunc(savedStructuredContext_, savedStructured_);
    }

    bool Registered() const { return registered_; }

private:
    TSablotEngine& engine_;
    xmlStructuredErrorFunc savedStructured_;
    void* savedStructuredContext_;
    xmlGenericErrorFunc savedGeneric_;
    void* savedGenericContext_;
    xmlGenericErrorFunc savedXslt_;
    void* savedXsltContext_;
    TSablotEngine* savedEngine_;
    bool registered_ = false;
};

// ---- life -------------------------------------------------------------------

TSablotEngine::TSablotEngine()
{
    // The library's own readers are registered when it starts; ours must come
    // after them to be asked first.
    xmlInitParser();
    fileProxy_ = std::make_unique<TFileProxy>();
    fileProxy_->SetEngine(this);
    security_ = xsltNewSecurityPrefs();
    if (!security_)
        throw Exception("TSablotEngine.InitSchemeHandler");
    // A stylesheet reads what it likes through the proxies, but writes
    // nothing beside its one result and reaches no network.
    xsltSetSecurityPrefs(security_, XSLT_SECPREF_WRITE_FILE, xsltSecurityForbid);
    xsltSetSecurityPrefs(security_, XSLT_SECPREF_CREATE_DIRECTORY, xsltSecurityForbid);
    xsltSetSecurityPrefs(security_, XSLT_SECPREF_READ_NETWORK, &Callbacks::ReadOtherScheme);
    xsltSetSecurityPrefs(security_, XSLT_SECPREF_WRITE_NETWORK, xsltSecurityForbid);
}

TSablotEngine::~TSablotEngine()
{
    destroying_ = true;
    for (TCustomSchemeProxy* proxy : proxies_)
        proxy->engine_ = nullptr;
    proxies_.clear();
    fileProxy_.reset();
    if (security_)
        xsltFreeSecurityPrefs(security_);
}

void TSablotEngine::RegisterProxy(TCustomSchemeProxy* Proxy)
{
    if (std::find(proxies_.begin(), proxies_.end(), Proxy) == proxies_.end())
        proxies_.push_back(Proxy);
}

void TSablotEngine::UnregisterProxy(TCustomSchemeProxy* Proxy)
{
    proxies_.erase(std::remove(proxies_.begin(), proxies_.end(), Proxy), proxies_.end());
    for (auto it = buffers_.begin(); it != buffers_.end();)
        it = it->second == Proxy ? buffers_.erase(it) : std::next(it);
}

void TSablotEngine::SetDefaultBase(const std::string& Base)
{
    defaultBase_ = Base;
}

// ---- bases and parameters ---------------------------------------------------

void TSablotEngine::PrepareBases()
{
    try {
        activeBases_.clear();
        for (const auto& line : SchemeBases) {
            auto [scheme, base] = UriToolkit::splitKeyvalue(line);
            TUriStrAnalyzer parsed;
            if (!TUriStrAnalyzer::IsValidScheme(scheme) || !parsed.Parse(base) || !parsed.HasScheme()) {
                LogMessage(3, EngineModule, "Cannot set scheme base for " + scheme + " : " + base);
                continue;
            }
            activeBases_.emplace_back(scheme, base);
        }
    } catch (const std::exception&) {
        throw Exception("TSablotEngine.PrepareBases error");
    }
}

void TSablotEngine::PrepareParams()
{
    std::string name, value;
    try {
        paramTexts_.clear();
        for (const auto& line : Params) {
            std::tie(name, value) = UriToolkit::splitKeyvalue(line);
            if (xmlValidateQName(reinterpret_cast<const xmlChar*>(name.c_str()), 0) != 0) {
                LogMessage(3, EngineModule, "Cannot add param " + name);
                continue;
            }
            paramTexts_.push_back(name);
            paramTexts_.push_back(value);
        }
    } catch (const std::exception&) {
        throw Exception("TSablotEngine.PrepareParams with " + name + "=" + value);
    }
}

void TSablotEngine::ClearBases()
{
    try {
        activeBases_.clear();
    } catch (const std::exception&) {
        throw Exception("TSablotEngine.SetBaseForScheme error");
    }
}

void TSablotEngine::ClearError()
{
    try {
        xmlResetLastError();
        pendingText_.clear();
    } catch (const std::exception&) {
        throw Exception("TSablotEngine.Clear Error");
    }
}

void TSablotEngine::RemoveBase(const std::string& Scheme)
{
    for (auto it = SchemeBases.begin(); it != SchemeBases.end(); ++it) {
        if (UriToolkit::splitKeyvalue(*it).first == Scheme) {
            SchemeBases.erase(it);
            break;
        }
    }
    for (auto it = activeBases_.begin(); it != activeBases_.end(); ++it) {
        if (it->first == Scheme) {
            activeBases_.erase(it);
            break;
        }
    }
}

void TSablotEngine::RemoveParam(const std::string& Name)
{
    for (auto it = Params.begin(); it != Params.end(); ++it) {
        if (UriToolkit::splitKeyvalue(*it).first == Name) {
            Params.erase(it);
            return;
        }
    }
}

// ---- runs -------------------------------------------------------------------

bool TSablotEngine::Run()
{
    return RunProcessorGen(StyleURI, InputUri, OutputUri);
}

bool TSablotEngine::RunProcessorGen(const std::string& Style, const std::string& Input, const std::string& Output)
{
    messagesThisRun_ = 0;
    try {
        PrepareBases();
        PrepareParams();
        if (Style.empty() || Input.empty() || Output.empty())
            throw Exception("RunProcessorGen : Missing file argument");
        int result;
        {
            RunScope scope(*this);
            if (!scope.Registered())
                throw Exception("TSablotEngine.InitSchemeHandler");
            // Only the processor's own errors decide the run.
            messagesThisRun_ = 0;
            result = ProcessorRun(Style, Input, Output);
        }
        if (result != 0)
            ClearError();
        ClearBases();
        return result == 0;
    } catch (const std::exception& e) {
        try {
            LogMessage(3, EngineModule, e.what());
        } catch (...) {
        }
        try {
            ClearBases();
        } catch (...) {
        }
        return false;
    }
}

std::string TSablotEngine::Absolute(const std::string& Uri) const
{
    std::string resolved;
    if (!defaultBase_.empty() && UriToolkit::ResolveUri(defaultBase_, Uri, resolved))
        return resolved;
    return Uri;
}

namespace {

struct StylesheetFree {
    void operator()(xsltStylesheetPtr p) const { xsltFreeStylesheet(p); }
};
struct DocFree {
    void operator()(xmlDocPtr p) const { xmlFreeDoc(p); }
};
struct ContextFree {
    void operator()(xsltTransformContextPtr p) const { xsltFreeTransformContext(p); }
};
struct XmlFree {
    void operator()(xmlChar* p) const { xmlFree(p); }
};

} // namespace

int TSablotEngine::ProcessorRun(const std::string& Style, const std::string& Input, const std::string& Output)
{
    const std::string styleUri = Absolute(Style);
    const std::string inputUri = Absolute(Input);
    const std::string outputUri = Absolute(Output);
    // When the libraries said nothing themselves, the engine says why.
    auto fail = [this](const std::string& why) {
        FlushLibraryText();
        if (messagesThisRun_ == 0)
            LogMessage(3, EngineModule, why);
        return 1;
    };

    std::unique_ptr<xsltStylesheet, StylesheetFree> sheet(
        xsltParseStylesheetFile(reinterpret_cast<const xmlChar*>(styleUri.c_str())));
    if (!sheet)
        return fail("Cannot load the stylesheet " + styleUri);
    std::unique_ptr<xmlDoc, DocFree> input(xmlReadFile(inputUri.c_str(), nullptr, XML_PARSE_NONET));
    if (!input)
        return fail("Cannot load the input document " + inputUri);

    std::unique_ptr<xsltTransformContext, ContextFree> context(xsltNewTransformContext(sheet.get(), input.get()));
    if (!context)
        return fail("Cannot transform " + inputUri);
    xsltSetCtxtSecurityPrefs(security_, context.get());
    std::vector<const char*> params;
    for (const auto& text : paramTexts_)
        params.push_back(text.c_str());
    params.push_back(nullptr);
    if (xsltQuoteUserParams(context.get(), params.data()) != 0)
        return fail("Cannot add the parameters");
    std::unique_ptr<xmlDoc, DocFree> result(
        xsltApplyStylesheetUser(sheet.get(), input.get(), nullptr, nullptr, nullptr, context.get()));
    // An error reported while applying the stylesheet (an instruction that
    // could not be compiled, say) fails the run even when the library
    // carried on.
    FlushLibraryText();
    if (!result || context->state != XSLT_STATE_OK || messagesThisRun_ > 0)
        return fail("Cannot transform " + inputUri);
    context.reset();

    xmlChar* raw = nullptr;
    int length = 0;
    if (xsltSaveResultToString(&raw, &length, result.get(), sheet.get()) != 0)
        return fail("Cannot serialise the result for " + outputUri);
    std::unique_ptr<xmlChar, XmlFree> bytes(raw);

    std::string scheme, rest;
    if (!SplitScheme(outputUri.c_str(), scheme, rest))
        return fail("Cannot write the result to " + outputUri);
    TCustomSchemeProxy::Handle handle = 0;
    if (SchemeOpen(scheme, rest, handle) != 0)
        return fail("Cannot write the result to " + outputUri);
    const char* data = reinterpret_cast<const char*>(bytes.get());
    bool written = true;
    for (int done = 0; done < length && written;) {
        int count = std::min(PutChunk, length - done);
        const int asked = count;
        written = SchemePut(handle, data + done, count) == 0 && count == asked;
        done += asked;
    }
    // Close also after a failed put: the proxy drops what it began.
    const bool closed = SchemeClose(handle) == 0;
    if (!written || !closed)
        return fail("Cannot write the result to " + outputUri);
    return 0;
}
