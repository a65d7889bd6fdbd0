// The key library's exported functions. Each one runs under the kit's lock,
// turns every failure (KitError, allocation failure, anything unexpected)
// into a result code, and does nothing at all when the self-test failed.
#include "kit/HlKit.h"

#include "kit/HandleTable.h"
#include "kit/KitCrypto.h"
#include "kit/KitError.h"
#include "kit/SelfTest.h"

#include <atomic>
#include <cstring>
#include <mutex>
#include <new>

namespace {

using kit::HandleTable;

std::atomic<bool> g_selfTestPassed{false};

// Runs the known-answer test once, when the library is loaded.
struct SelfTestOnLoad {
    SelfTestOnLoad() noexcept
    {
        // Private keys are only ever decrypted into locked memory.
        kit::UseLockedMemory();
#ifdef QUORVEX_KIT_BREAK_SELF_TEST
        // A build for the tests only: the expected hash is altered, so the
        // self-test must fail and the library must refuse all work.
        kit::KnownAnswers answers = kit::StandardKnownAnswers();
        answers.HashExpected[0] ^= 0x01;
        g_selfTestPassed = kit::RunSelfTest(answers);
#else
        g_selfTestPassed = kit::RunSelfTest(kit::StandardKnownAnswers());
#endif
    }
};
const SelfTestOnLoad g_selfTestOnLoad;

template <typename Body>
std::int32_t Guarded(Body&& body) noexcept
{
    if (!g_selfTestPassed.load())
        return HL_E_SELF_TEST;
    try {
        std::lock_guard<std::mutex> lock(HandleTable::Instance().Mutex());
        body(HandleTable::Instance());
        return HL_OK;
    } catch (const kit::KitError& e) {
        return e.Code;
    } catch (const std::bad_alloc&) {
        return HL_E_NO_MEMORY;
    } catch (...) {
        return HL_E_INTERNAL;
    }
}

} // namespace

extern "C" {

HL_KIT_API int32_t hl_on(int32_t* handle, int32_t mode, const char* path)
{
    if (handle == nullptr)
        return g_selfTestPassed ? HL_E_BAD_ARGUMENT : HL_E_SELF_TEST;
    const std::int32_t result = Guarded([&](HandleTable& t) { *handle = t.Open(mode, path); });
    if (result != HL_OK)
        *handle = -1;
    return result;
}

HL_KIT_API int32_t hl_off(int32_t handle)
{
    return Guarded([&](HandleTable& t) { t.Close(handle); });
}

HL_KIT_API int32_t hl_format(int32_t handle)
{
    return Guarded([&](HandleTable& t) { t.Get(handle).Format(); });
}

HL_KIT_API int32_t hl_generate(int32_t handle, const void* info, const char* notice, int32_t noticeLength,
                               const char* password, const char* passwordAgain, const void* seed, void* outArea)
{
    return Guarded([&](HandleTable& t) {
        t.Get(handle).Generate(info, notice, noticeLength, password, passwordAgain, seed, outArea);
    });
}

HL_KIT_API int32_t hl_get_public_key(int32_t handle, void* publicKey)
{
    return Guarded([&](HandleTable& t) { t.Get(handle).GetPublicKey(publicKey); });
}

HL_KIT_API int32_t hl_get_user_data(int32_t handle, void* info)
{
    return Guarded([&](HandleTable& t) { t.Get(handle).GetUserData(info); });
}

HL_KIT_API int32_t hl_update_user_data(int32_t handle, const void* info, const char* password)
{
    return Guarded([&](HandleTable& t) { t.Get(handle).UpdateUserData(info, password); });
}

HL_KIT_API int32_t hl_put_certificate(int32_t handle, const void* certificate)
{
    return Guarded([&](HandleTable& t) { t.Get(handle).PutCertificate(certificate); });
}

HL_KIT_API int32_t hl_change_password(int32_t handle, const char* oldPassword, const char* newPassword)
{
    return Guarded([&](HandleTable& t) { t.Get(handle).ChangePassword(oldPassword, newPassword); });
}

HL_KIT_API int32_t hl_get_hash_alg_details(int32_t handle, int32_t algorithm, void* details)
{
    return Guarded([&](HandleTable& t) {
        if (details == nullptr || algorithm != HL_HASH_ALG_SHA256_16)
            kit::Fail(HL_E_BAD_ARGUMENT);
        std::int32_t size = 0;
        std::memcpy(&size, details, sizeof size);
        if (size != HL_DETAILS_SIZE)
            kit::Fail(HL_E_BAD_ARGUMENT);
        // Filled even for an unknown handle: a caller that ignores the results
        // then still allocates a context of the right size, and the hashing
        // calls that follow fail cleanly instead of touching too little memory.
        HlHashAlgDetails filled{};
        filled.size = HL_DETAILS_SIZE;
        filled.algorithm = HL_HASH_ALG_SHA256_16;
        filled.contextSize = kit::kHashContextSize;
        filled.digestSize = HL_DIGEST_SIZE;
        filled.blockSize = 64;
        std::memcpy(details, &filled, sizeof filled);
        t.Get(handle);
    });
}

HL_KIT_API int32_t hl_init_hash(int32_t handle, int32_t algorithm, void* context)
{
    return Guarded([&](HandleTable& t) {
        if (algorithm != HL_HASH_ALG_SHA256_16)
            kit::Fail(HL_E_BAD_ARGUMENT);
        t.InitHash(handle, context);
    });
}

HL_KIT_API int32_t hl_cont_hash(void* context, const void* data, int32_t length)
{
    return Guarded([&](HandleTable& t) {
        if (length < 0 || (data == nullptr && length > 0))
            kit::Fail(HL_E_BAD_ARGUMENT);
        t.UpdateHash(context, data, static_cast<std::size_t>(length));
    });
}

HL_KIT_API int32_t hl_end_hash(void* context, void* digest)
{
    return Guarded([&](HandleTable& t) { t.EndHash(context, digest); });
}

HL_KIT_API int32_t hl_change_def_int_param(int32_t handle, int32_t parameter, int32_t value)
{
    return Guarded([&](HandleTable& t) { t.Get(handle).ChangeDefIntParam(parameter, value); });
}

HL_KIT_API int32_t hl_sign(int32_t handle, const void* digest, int32_t digestLength, void* signature,
                           const char* password, int32_t hashAlgorithm)
{
    return Guarded(
        [&](HandleTable& t) { t.Get(handle).Sign(digest, digestLength, signature, password, hashAlgorithm); });
}

} // extern "C"
