#pragma once
// The engine's proxy for "file" URIs. Documents are read whole, one buffer
// per request, each kept until its own FreeMemory (the processor may fetch a
// second document before it lets go of the first). Documents are written
// through the one safe-replace path: the new content takes the target's
// name only when Close finds every Put successful, so a failed run never
// leaves a half-written file behind, nor an older one dressed as new.
#include "agreement/TCustomSchemeProxy.h"

#include <map>
#include <memory>
#include <string>

namespace SafeReplace {
class Writer;
}

class TFileProxy : public TCustomSchemeProxy {
public:
    TFileProxy();
    ~TFileProxy() override; // open writes are dropped, buffers released

    // Larger files are refused by GetAll: the processor holds them whole.
    static constexpr long long MaxDocumentSize = 64ll * 1024 * 1024;

    // The local path of a request's rest ("//host/path" or "://..."),
    // escapes decoded; empty when it names nothing usable.
    static std::string PathOfRest(const std::string& Rest);

    int Close(Handle H) override;
    int FreeMemory(const char* Buffer) override;
    int Get(Handle H, char* Buffer, int& ByteCount) override;
    int GetAll(const std::string& Scheme, const std::string& Rest, const char*& Buffer, int& ByteCount) override;
    bool HasHandle(Handle H) override;
    int Open(const std::string& Scheme, const std::string& Rest, Handle& H) override;
    int Put(Handle H, const char* Buffer, int& ByteCount) override;

    std::size_t HeldBuffers() const { return buffers_.size(); }

private:
    struct Output;
    std::map<Handle, std::unique_ptr<Output>> outputs_;
    std::map<const char*, std::unique_ptr<std::string>> buffers_;
    Handle next_ = 1;
};
