#pragma once
// Answers the XSLT engine's requests for the documents of some URI schemes:
// GetAll hands over a whole document to read, Open/Put/Close write one.
// Every operation returns 0 for success and 1 for failure. A proxy serves
// the engine it is attached to (SetEngine); it detaches itself when either
// side goes away.
#include "base/Exception.h"

#include <cstdint>
#include <string>
#include <vector>

class TSablotEngine;

// The string list of schemes refuses a second entry of the same name.
QUORVEX_EXCEPTION(EStringListError, Exception);

class TCustomSchemeProxy {
public:
    using Handle = std::intptr_t;

    TCustomSchemeProxy() = default;
    TCustomSchemeProxy(const TCustomSchemeProxy&) = delete;
    TCustomSchemeProxy& operator=(const TCustomSchemeProxy&) = delete;
    virtual ~TCustomSchemeProxy();

    TSablotEngine* Engine() const { return engine_; }
    // Leaves the previous engine (if any) and joins the end of the new
    // one's list; null detaches.
    void SetEngine(TSablotEngine* Engine);

    // The schemes served, compared without regard to case.
    const std::vector<std::string>& Schemes() const { return schemes_; }
    // Raises EStringListError for a name already there.
    void AddScheme(const std::string& Scheme);
    bool ServesScheme(const std::string& Scheme) const;

    virtual int Close(Handle H) = 0;
    // Releases a buffer that GetAll handed out.
    virtual int FreeMemory(const char* Buffer) = 0;
    // Reads at most ByteCount bytes into Buffer; ByteCount becomes the
    // number read. Never writes past ByteCount bytes.
    virtual int Get(Handle H, char* Buffer, int& ByteCount) = 0;
    virtual int GetAll(const std::string& Scheme, const std::string& Rest, const char*& Buffer, int& ByteCount) = 0;
    virtual bool HasHandle(Handle H) = 0;
    virtual int Open(const std::string& Scheme, const std::string& Rest, Handle& H) = 0;
    // Writes ByteCount bytes; ByteCount becomes the number written.
    virtual int Put(Handle H, const char* Buffer, int& ByteCount) = 0;

private:
    friend class TSablotEngine;
    TSablotEngine* engine_ = nullptr;
    std::vector<std::string> schemes_;
};
