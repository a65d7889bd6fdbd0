#pragma once
// Runs XSLT 1.0 transformations (libxslt on libxml2) between URIs.
//
// Every document the processor reads or writes passes through the scheme
// proxies: "file" URIs through the engine's own TFileProxy, other schemes
// through the proxies attached to the engine. The processor's messages, and
// the engine's own, arrive as a field array ("module:...", "msgtype:...",
// "code:...", "msg:...", "URI:...", "line:...", "node:...") that is turned
// into one line of text (LastError, LastMessage) and dispatched by level to
// the OnMsg events. Levels: 0 debug, 1 info, 2 warning, 3 error, 4 critical.
//
// The libraries' process-wide hooks (error handlers, input callbacks) are
// installed only while a run lasts and put back when it ends.
#include "agreement/TCustomSchemeProxy.h"

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

class TFileProxy;
struct _xsltSecurityPrefs;

class TSablotEngine;
// Sender, the code given with the message, the field array (ended by null).
using TSErrorEvent = std::function<void(TSablotEngine& Sender, int32_t ErrorCode, const char** Fields)>;

class TSablotEngine {
public:
    TSablotEngine();
    TSablotEngine(const TSablotEngine&) = delete;
    TSablotEngine& operator=(const TSablotEngine&) = delete;
    virtual ~TSablotEngine();

    // ---- properties ---------------------------------------------------------
    // Base URI against which relative style, input and output URIs resolve.
    const std::string& DefaultBase() const { return defaultBase_; }
    void SetDefaultBase(const std::string& Base);
    std::string InputUri;
    TSErrorEvent OnMsgCritical, OnMsgDebug, OnMsgError, OnMsgInfo, OnMsgWarning;
    std::string OutputUri;
    // Also dispatch debug-level messages to OnMsgDebug.
    bool ShowDebug = false;
    std::string StyleURI;

    // Stylesheet parameters (name=value; values are passed as strings) and
    // scheme bases (scheme=base URI), applied before each run.
    std::vector<std::string> Params;
    std::vector<std::string> SchemeBases;

    // Text of the last debug-level message, and of the last of any higher
    // level. A run does not clear them.
    const std::string& LastMessage() const { return lastMessage_; }
    const std::string& LastError() const { return lastError_; }

    // ---- operations ---------------------------------------------------------
    virtual void DoMessage(int32_t Code, int Level, const char** Fields);
    // A message of the engine itself (code 100).
    virtual void LogMessage(int Level, const std::string& Module, const std::string& Text);
    // Deletes the first SchemeBases line of Scheme.
    virtual void RemoveBase(const std::string& Scheme);
    // Deletes the first Params line named Name.
    virtual void RemoveParam(const std::string& Name);
    virtual bool Run();
    // True when the result was written to OutputUri; false with the reason
    // in LastError.
    bool RunProcessorGen(const std::string& Style, const std::string& Input, const std::string& Output);

    // One line from a field array (at most 256 fields): the module, " : ",
    // the message, then " - " node, " in " the whole URI field, " at line "
    // line.
    static std::string MessageText(const char** Fields);
    // The message handler: composes the text, stores it (LastMessage for
    // level 0, LastError otherwise), dispatches it; returns 0.
    int MessageHandlerError(int32_t Code, int Level, const char** Fields);

    // ---- scheme handler (the processor's requests; each returns 0 or 1) ----
    int SchemeGetAll(std::string Scheme, std::string Rest, const char*& Buffer, int& ByteCount);
    int SchemeFreeMemory(const char* Buffer);
    int SchemeOpen(std::string Scheme, std::string Rest, TCustomSchemeProxy::Handle& H);
    int SchemeGet(TCustomSchemeProxy::Handle H, char* Buffer, int& ByteCount);
    int SchemePut(TCustomSchemeProxy::Handle H, const char* Buffer, int& ByteCount);
    int SchemeClose(TCustomSchemeProxy::Handle H);
    // Rewrites Scheme and Rest by the first SchemeBases line of Scheme.
    void MapSchemeBase(std::string& Scheme, std::string& Rest) const;

    TFileProxy& DefaultFileProxy() { return *fileProxy_; }
    const std::vector<TCustomSchemeProxy*>& Proxies() const { return proxies_; }

private:
    friend class TCustomSchemeProxy;
    class RunScope;
    friend class RunScope;
    struct Callbacks;
    friend struct Callbacks;

    // The module named in the engine's own messages.
    static constexpr const char* EngineModule = "XsltEngine";
    // Runs one of the processor's requests: its answer, or 1 when it raises.
    template <typename Request>
    int Guarded(Request&& R);

    void RegisterProxy(TCustomSchemeProxy* Proxy);
    void UnregisterProxy(TCustomSchemeProxy* Proxy);
    TCustomSchemeProxy* OwnerOf(TCustomSchemeProxy::Handle H);
    bool Claims(const std::string& Scheme) const;

    void PrepareBases();
    void PrepareParams();
    void ClearBases();
    void ClearError();
    // The transformation itself; 0 for success.
    int ProcessorRun(const std::string& Style, const std::string& Input, const std::string& Output);
    std::string Absolute(const std::string& Uri) const;
    // A message of the XML libraries, turned into fields.
    void LibraryMessage(int Level, int Code, const std::string& Module, const std::string& Text, const std::string& Uri,
                        int Line, const std::string& Node);
    void LibraryText(const std::string& Module, const char* Text);
    void FlushLibraryText();
    // A library text without its closing line breaks and spaces.
    static std::string Trimmed(std::string Text);

    std::string defaultBase_;
    std::string lastMessage_;
    std::string lastError_;
    std::unique_ptr<TFileProxy> fileProxy_;
    std::vector<TCustomSchemeProxy*> proxies_;
    // Which proxy handed out each buffer still held by the processor.
    std::map<const char*, TCustomSchemeProxy*> buffers_;
    // The scheme bases applied to the current run.
    std::vector<std::pair<std::string, std::string>> activeBases_;
    // The parameters of the current run: name, value, ..., null.
    std::vector<std::string> paramTexts_;
    _xsltSecurityPrefs* security_ = nullptr;
    bool destroying_ = false;
    int messagesThisRun_ = 0;
    // Unstructured library messages come in pieces; a line is complete at
    // its "\n". A context line ("... error: file F line N element E") is
    // held for the message that follows it.
    std::string pendingText_;
    std::string pendingModule_;
    std::string contextUri_;
    std::string contextNode_;
    int contextLine_ = 0;
};
