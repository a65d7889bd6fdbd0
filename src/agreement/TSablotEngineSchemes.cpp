// The scheme handler of the XSLT engine: which scheme a run claims, how a
// scheme base rewrites a URI, and the processor's buffer and stream requests,
// each handed to the proxy that serves the scheme.
#include "agreement/TSablotEngine.h"

#include "agreement/TFileProxy.h"
#include "agreement/UriToolkit.h"

#include <strings.h>

namespace {

bool EqualNoCase(const std::string& a, const char* b)
{
    return ::strcasecmp(a.c_str(), b) == 0;
}

} // namespace

bool TSablotEngine::Claims(const std::string& Scheme) const
{
    if (EqualNoCase(Scheme, "file"))
        return true;
    for (const auto& [scheme, base] : activeBases_)
        if (scheme == Scheme)
            return true;
    for (TCustomSchemeProxy* proxy : proxies_)
        if (proxy != fileProxy_.get() && proxy->ServesScheme(Scheme))
            return true;
    return false;
}

void TSablotEngine::MapSchemeBase(std::string& Scheme, std::string& Rest) const
{
    std::string baseText;
    bool found = false;
    for (const auto& line : SchemeBases) {
        auto [scheme, value] = UriToolkit::splitKeyvalue(line);
        if (scheme == Scheme) {
            baseText = value;
            found = true;
            break;
        }
    }
    if (!found)
        return;
    const std::string* base = &baseText;
    const std::size_t sep = base->find("://");
    const std::string baseScheme = sep == std::string::npos ? std::string() : base->substr(0, sep);
    std::string path, host;
    if (baseScheme == "file") {
        std::string query, fragment;
        UriToolkit::FileUriToPath("file:" + Rest, path, host, query, fragment);
    } else if (const std::size_t slashes = Rest.find("//"); slashes != std::string::npos) {
        path = Rest.substr(slashes + 2);
    }
    path = UriToolkit::ToSlashes(path);
    // A path of this system keeps its root in the escaped form below.
    if (!path.empty() && path.front() == '/')
        path.erase(0, 1);
    std::string resolved;
    if (!UriToolkit::ResolveUri(*base, host + "/" + UriToolkit::EscapePath(path), resolved))
        return;
    if (!resolved.empty() && resolved.back() == '/')
        resolved.pop_back();
    const std::size_t at = resolved.find("://");
    if (at == std::string::npos)
        return;
    Rest = resolved.substr(at);
    Scheme = baseScheme;
}

TCustomSchemeProxy* TSablotEngine::OwnerOf(TCustomSchemeProxy::Handle H)
{
    if (fileProxy_->HasHandle(H))
        return fileProxy_.get();
    for (TCustomSchemeProxy* proxy : proxies_)
        if (proxy->HasHandle(H))
            return proxy;
    return nullptr;
}

int TSablotEngine::SchemeGetAll(std::string Scheme, std::string Rest, const char*& Buffer, int& ByteCount)
{
    int result = 1;
    try {
        MapSchemeBase(Scheme, Rest);
        LogMessage(0, EngineModule, "Get All Call back : " + Scheme + ":" + Rest);
        if (EqualNoCase(Scheme, "file"))
            return fileProxy_->GetAll(Scheme, Rest, Buffer, ByteCount);
        for (TCustomSchemeProxy* proxy : proxies_) {
            if (proxy != fileProxy_.get() && proxy->ServesScheme(Scheme)) {
                result = proxy->GetAll(Scheme, Rest, Buffer, ByteCount);
                if (result == 0)
                    buffers_[Buffer] = proxy;
                break;
            }
        }
    } catch (...) {
        result = 1;
    }
    return result;
}

int TSablotEngine::SchemeFreeMemory(const char* Buffer)
{
    int result = 1;
    try {
        LogMessage(0, EngineModule, "Free Memory Call Back");
        auto it = buffers_.find(Buffer);
        if (it != buffers_.end()) {
            TCustomSchemeProxy* proxy = it->second;
            buffers_.erase(it);
            result = proxy->FreeMemory(Buffer);
        } else {
            result = fileProxy_->FreeMemory(Buffer);
        }
    } catch (const std::exception& e) {
        LogMessage(3, EngineModule, e.what());
        result = 1;
    }
    return result;
}

int TSablotEngine::SchemeOpen(std::string Scheme, std::string Rest, TCustomSchemeProxy::Handle& H)
{
    int result = 1;
    H = 0;
    try {
        const std::string received = Scheme + ":" + Rest;
        MapSchemeBase(Scheme, Rest);
        LogMessage(0, EngineModule, "Open Call Back : " + received);
        if (EqualNoCase(Scheme, "file"))
            return fileProxy_->Open(Scheme, Rest, H);
        for (TCustomSchemeProxy* proxy : proxies_) {
            if (proxy != fileProxy_.get() && proxy->ServesScheme(Scheme)) {
                result = proxy->Open(Scheme, Rest, H);
                if (result == 0)
                    break;
            }
        }
    } catch (const std::exception& e) {
        try {
            LogMessage(3, EngineModule, e.what());
        } catch (...) {
        }
        result = 1;
    }
    return result;
}

int TSablotEngine::SchemeGet(TCustomSchemeProxy::Handle H, char* Buffer, int& ByteCount)
{
    int result = 1;
    try {
        if (TCustomSchemeProxy* owner = OwnerOf(H)) {
            LogMessage(0, EngineModule, "Get Call Back : handle=" + std::to_string(H));
            result = owner->Get(H, Buffer, ByteCount);
        }
    } catch (const std::exception& e) {
        try {
            LogMessage(3, EngineModule, e.what());
        } catch (...) {
        }
        result = 1;
    }
    return result;
}

int TSablotEngine::SchemePut(TCustomSchemeProxy::Handle H, const char* Buffer, int& ByteCount)
{
    int result = 1;
    try {
        LogMessage(0, EngineModule, "Put Call back : handle=" + std::to_string(H));
        if (TCustomSchemeProxy* owner = OwnerOf(H))
            result = owner->Put(H, Buffer, ByteCount);
    } catch (const std::exception& e) {
        try {
            LogMessage(3, EngineModule, e.what());
        } catch (...) {
        }
        result = 1;
    }
    return result;
}

int TSablotEngine::SchemeClose(TCustomSchemeProxy::Handle H)
{
    int result = 1;
    try {
        LogMessage(0, EngineModule, "Close Call Back : handle=" + std::to_string(H));
        if (TCustomSchemeProxy* owner = OwnerOf(H))
            result = owner->Close(H);
    } catch (const std::exception& e) {
        try {
            LogMessage(3, EngineModule, e.what());
        } catch (...) {
        }
        result = 1;
    }
    return result;
}
