// The scheme handler of the XSLT engine: which scheme a run claims, how a
// scheme base rewrites a URI, and the processor's buffer and stream requests,
// each handed to the proxy that serves the scheme.
#include "agreement/TSablotEngine.h"

#include "agreement/TFileProxy.h"
#include "agreement/UriToolkit.h"

#include "base/LetterCase.h"

namespace {

bool EqualNoCase(const std::string& a, const char* b)
{
    return LetterCase::SameText(a, b);
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

// Every request of the processor answers 0 or 1 and throws nothing back into
// the library: a failure, and a failing log of it, give 1.
template <typename Request>
int TSablotEngine::Guarded(Request&& R)
{
    try {
        return R();
    } catch (const std::exception& e) {
        try {
            LogMessage(3, EngineModule, e.what());
        } catch (...) {
        }
    } catch (...) {
    }
    return 1;
}

int TSablotEngine::SchemeGetAll(std::string Scheme, std::string Rest, const char*& Buffer, int& ByteCount)
{
    return Guarded([&] {
        MapSchemeBase(Scheme, Rest);
        LogMessage(0, EngineModule, "Get All Call back : " + Scheme + ":" + Rest);
        if (EqualNoCase(Scheme, "file"))
            return fileProxy_->GetAll(Scheme, Rest, Buffer, ByteCount);
        for (TCustomSchemeProxy* proxy : proxies_) {
            if (proxy != fileProxy_.get() && proxy->ServesScheme(Scheme)) {
                const int result = proxy->GetAll(Scheme, Rest, Buffer, ByteCount);
                if (result == 0)
                    buffers_[Buffer] = proxy;
                return result;
            }
        }
        return 1;
    });
}

int TSablotEngine::SchemeFreeMemory(const char* Buffer)
{
    return Guarded([&] {
        LogMessage(0, EngineModule, "Free Memory Call Back");
        auto it = buffers_.find(Buffer);
        if (it == buffers_.end())
            return fileProxy_->FreeMemory(Buffer);
        TCustomSchemeProxy* proxy = it->second;
        buffers_.erase(it);
        return proxy->FreeMemory(Buffer);
    });
}

int TSablotEngine::SchemeOpen(std::string Scheme, std::string Rest, TCustomSchemeProxy::Handle& H)
{
    H = 0;
    return Guarded([&] {
        const std::string received = Scheme + ":" + Rest;
        MapSchemeBase(Scheme, Rest);
        LogMessage(0, EngineModule, "Open Call Back : " + received);
        if (EqualNoCase(Scheme, "file"))
            return fileProxy_->Open(Scheme, Rest, H);
        int result = 1;
        for (TCustomSchemeProxy* proxy : proxies_) {
            if (proxy != fileProxy_.get() && proxy->ServesScheme(Scheme)) {
                result = proxy->Open(Scheme, Rest, H);
                if (result == 0)
                    break;
            }
        }
        return result;
    });
}

int TSablotEngine::SchemeGet(TCustomSchemeProxy::Handle H, char* Buffer, int& ByteCount)
{
    return Guarded([&] {
        TCustomSchemeProxy* owner = OwnerOf(H);
        if (!owner)
            return 1;
        LogMessage(0, EngineModule, "Get Call Back : handle=" + std::to_string(H));
        return owner->Get(H, Buffer, ByteCount);
    });
}

int TSablotEngine::SchemePut(TCustomSchemeProxy::Handle H, const char* Buffer, int& ByteCount)
{
    return Guarded([&] {
        LogMessage(0, EngineModule, "Put Call back : handle=" + std::to_string(H));
        TCustomSchemeProxy* owner = OwnerOf(H);
        return owner ? owner->Put(H, Buffer, ByteCount) : 1;
    });
}

int TSablotEngine::SchemeClose(TCustomSchemeProxy::Handle H)
{
    return Guarded([&] {
        LogMessage(0, EngineModule, "Close Call Back : handle=" + std::to_string(H));
        TCustomSchemeProxy* owner = OwnerOf(H);
        return owner ? owner->Close(H) : 1;
    });
}
