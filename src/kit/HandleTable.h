#pragma once
// The kit's open handles and live hash contexts. The caller owns the memory of
// a hash context (it allocates the size hl_get_hash_alg_details reports); the
// kit writes into it only a reference to a digest state that it keeps here,
// tied to the handle. Closing a handle ends its unfinished contexts, so a
// caller that gives up halfway through a hash leaks nothing.
#include "kit/Medium.h"
#include "kit/OpenSslHandles.h"

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>

namespace kit {

inline constexpr std::int32_t kHashContextSize = 32;
inline constexpr std::size_t kMaxHandles = 64;
inline constexpr std::size_t kMaxHashContexts = 256;

class HandleTable {
public:
    // One table per loaded copy of the library. It stays a static of the
    // library: the exported functions are C entry points that take a handle
    // number and no context, so there is nothing through which a table could
    // be handed in. Each copy loaded from another folder has its own.
    static HandleTable& Instance();

    // Every exported function holds this for its whole call.
    std::mutex& Mutex() { return mutex_; }

    std::int32_t Open(std::int32_t mode, const char* path);
    void Close(std::int32_t handle);
    Medium& Get(std::int32_t handle);

    void InitHash(std::int32_t handle, void* context);
    void UpdateHash(void* context, const void* data, std::size_t size);
    void EndHash(void* context, void* digest);

private:
    struct HashState {
        std::int32_t Handle;
        EvpMdCtxPtr Ctx;
    };
    HashState& Lookup(const void* context);

    std::mutex mutex_;
    std::map<std::int32_t, std::unique_ptr<Medium>> media_;
    std::int32_t nextHandle_ = 1;
    std::map<std::uint64_t, HashState> hashes_;
    std::uint64_t nextHashId_ = 1;
};

} // namespace kit
