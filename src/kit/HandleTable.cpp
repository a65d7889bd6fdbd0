#include "kit/HandleTable.h"

#include "kit/KitCrypto.h"
#include "kit/KitError.h"

#include <cstring>

namespace kit {

namespace {

constexpr std::uint32_t kContextMagic = 0x48585651; // "QVXH"

// What the caller's context memory holds.
struct ContextRecord {
    std::uint32_t Magic;
    std::int32_t Handle;
    std::uint64_t Id;
    std::uint8_t Reserved[16];
};
static_assert(sizeof(ContextRecord) == kHashContextSize);

ContextRecord ReadRecord(const void* context)
{
    ContextRecord record;
    std::memcpy(&record, context, sizeof record);
    return record;
}

} // namespace

HandleTable& HandleTable::Instance()
{
    static HandleTable table;
    return table;
}

std::int32_t HandleTable::Open(std::int32_t mode, const char* path)
{
    if (media_.size() >= kMaxHandles)
        Fail(HL_E_TOO_MANY_HANDLES);
    auto medium = std::make_unique<Medium>(mode, path);
    // Handles are never reused within a run, so a stale handle cannot reach a
    // medium opened later; -1 (the caller's "closed") is never handed out.
    if (nextHandle_ == INT32_MAX)
        Fail(HL_E_TOO_MANY_HANDLES);
    const std::int32_t handle = nextHandle_++;
    media_.emplace(handle, std::move(medium));
    return handle;
}

void HandleTable::Close(std::int32_t handle)
{
    auto it = media_.find(handle);
    if (it == media_.end())
        Fail(HL_E_BAD_HANDLE);
    for (auto h = hashes_.begin(); h != hashes_.end();) {
        if (h->second.Handle == handle)
            h = hashes_.erase(h);
        else
            ++h;
    }
    media_.erase(it);
}

Medium& HandleTable::Get(std::int32_t handle)
{
    auto it = media_.find(handle);
    if (it == media_.end())
        Fail(HL_E_BAD_HANDLE);
    return *it->second;
}

void HandleTable::InitHash(std::int32_t handle, void* context)
{
    if (context == nullptr)
        Fail(HL_E_BAD_ARGUMENT);
    Get(handle);
    if (hashes_.size() >= kMaxHashContexts)
        Fail(HL_E_NO_MEMORY);
    EvpMdCtxPtr ctx(EVP_MD_CTX_new());
    if (!ctx)
        Fail(HL_E_NO_MEMORY);
    if (EVP_DigestInit_ex2(ctx.get(), EVP_sha256(), nullptr) != 1)
        Fail(HL_E_CRYPTO);
    const std::uint64_t id = nextHashId_++;
    hashes_.emplace(id, HashState{handle, std::move(ctx)});
    ContextRecord record{};
    record.Magic = kContextMagic;
    record.Handle = handle;
    record.Id = id;
    std::memcpy(context, &record, sizeof record);
}

HandleTable::HashState& HandleTable::Lookup(const void* context)
{
    if (context == nullptr)
        Fail(HL_E_BAD_ARGUMENT);
    const ContextRecord record = ReadRecord(context);
    if (record.Magic != kContextMagic)
        Fail(HL_E_BAD_CONTEXT);
    auto it = hashes_.find(record.Id);
    if (it == hashes_.end() || it->second.Handle != record.Handle)
        Fail(HL_E_BAD_CONTEXT);
    return it->second;
}

void HandleTable::UpdateHash(void* context, const void* data, std::size_t size)
{
    HashState& state = Lookup(context);
    if (size > 0 && EVP_DigestUpdate(state.Ctx.get(), data, size) != 1)
        Fail(HL_E_CRYPTO);
}

void HandleTable::EndHash(void* context, void* digest)
{
    if (digest == nullptr)
        Fail(HL_E_BAD_ARGUMENT);
    HashState& state = Lookup(context);
    const std::uint64_t id = ReadRecord(context).Id;
    Sha256Digest full{};
    unsigned int length = 0;
    const int ok = EVP_DigestFinal_ex(state.Ctx.get(), full.data(), &length);
    hashes_.erase(id);
    std::memset(context, 0, sizeof(ContextRecord));
    if (ok != 1 || length != full.size())
        Fail(HL_E_CRYPTO);
    std::memcpy(digest, full.data(), HL_DIGEST_SIZE);
}

} // namespace kit
