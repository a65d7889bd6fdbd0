// A stand-in for the kit's key library that returns the codes a test asks
// for, so that every failure path of the medium can be reached. It keeps a log
// of the calls it received and the last info block, notice and passwords it
// was handed. Built twice: complete, and without hl_sign (a kit that lacks a
// function).
#include "kit/HlKit.h"

#include <cstdint>
#include <cstring>
#include <map>
#include <string>

namespace {

struct State {
    std::map<std::string, int32_t> codes;
    std::string log;
    int32_t contextSize = 64;
    bool handleOnFailure = true;
    uint8_t info[HL_INFO_SIZE] = {};
    std::string notice;
    std::string password;
    std::string passwordAgain;
    std::string newPassword;
    uint8_t seed[HL_SEED_SIZE] = {};
    uint8_t certificate[HL_CERTIFICATE_SIZE] = {};
    uint64_t hashed = 0;
};

State& S()
{
    static State state;
    return state;
}

int32_t Result(const char* function, const std::string& arguments = std::string())
{
    S().log += function;
    if (!arguments.empty())
        S().log += "(" + arguments + ")";
    S().log += ";";
    auto found = S().codes.find(function);
    return found == S().codes.end() ? 0 : found->second;
}

constexpr uint32_t ContextMark = 0x48415348; // "HASH"

} // namespace

extern "C" {

// ---- control, for the tests ----
__attribute__((visibility("default"))) void fault_reset()
{
    S() = State();
}
__attribute__((visibility("default"))) void fault_set(const char* function, int32_t code)
{
    S().codes[function] = code;
}
__attribute__((visibility("default"))) void fault_set_context_size(int32_t size)
{
    S().contextSize = size;
}
__attribute__((visibility("default"))) const char* fault_log()
{
    return S().log.c_str();
}
__attribute__((visibility("default"))) const uint8_t* fault_info()
{
    return S().info;
}
__attribute__((visibility("default"))) const uint8_t* fault_seed()
{
    return S().seed;
}
__attribute__((visibility("default"))) const uint8_t* fault_certificate()
{
    return S().certificate;
}
__attribute__((visibility("default"))) const char* fault_text(const char* which)
{
    const std::string w = which;
    if (w == "notice")
        return S().notice.c_str();
    if (w == "password")
        return S().password.c_str();
    if (w == "passwordAgain")
        return S().passwordAgain.c_str();
    if (w == "newPassword")
        return S().newPassword.c_str();
    return "";
}

// ---- the key library ----
int32_t hl_on(int32_t* handle, int32_t mode, const char* path)
{
    const int32_t r = Result("hl_on", std::to_string(mode) + (path ? "" : ",null"));
    // Like a careless kit, write a handle even when failing: the medium must
    // not take it.
    if (r == 0 || S().handleOnFailure)
        *handle = mode == HL_MODE_HASH_ONLY ? 9 : 5;
    return r;
}

int32_t hl_off(int32_t handle)
{
    return Result("hl_off", std::to_string(handle));
}

int32_t hl_format(int32_t handle)
{
    return Result("hl_format", std::to_string(handle));
}

int32_t hl_generate(int32_t handle, const void* info, const char* notice, int32_t noticeLength, const char* password,
                    const char* passwordAgain, const void* seed, void* outArea)
{
    std::memcpy(S().info, info, HL_INFO_SIZE);
    S().notice.assign(notice, static_cast<std::size_t>(noticeLength));
    S().password = password;
    S().passwordAgain = passwordAgain;
    std::memcpy(S().seed, seed, HL_SEED_SIZE);
    std::memset(outArea, 0, HL_GENERATE_OUT_SIZE);
    return Result("hl_generate", std::to_string(handle));
}

int32_t hl_get_public_key(int32_t handle, void* publicKey)
{
    auto* out = static_cast<uint8_t*>(publicKey);
    for (int i = 0; i < HL_PUBLIC_KEY_SIZE; ++i)
        out[i] = static_cast<uint8_t>(i % 7 == 0 ? 0 : i);
    return Result("hl_get_public_key", std::to_string(handle));
}

int32_t hl_get_user_data(int32_t handle, void* info)
{
    std::memcpy(info, S().info, HL_INFO_SIZE);
    return Result("hl_get_user_data", std::to_string(handle));
}

int32_t hl_update_user_data(int32_t handle, const void* info, const char* password)
{
    const int32_t r = Result("hl_update_user_data", std::to_string(handle));
    S().password = password;
    if (r == 0)
        std::memcpy(S().info, info, HL_INFO_SIZE);
    return r;
}

int32_t hl_put_certificate(int32_t handle, const void* certificate)
{
    std::memcpy(S().certificate, certificate, HL_CERTIFICATE_SIZE);
    return Result("hl_put_certificate", std::to_string(handle));
}

int32_t hl_change_password(int32_t handle, const char* oldPassword, const char* newPassword)
{
    S().password = oldPassword;
    S().newPassword = newPassword;
    return Result("hl_change_password", std::to_string(handle));
}

int32_t hl_get_hash_alg_details(int32_t handle, int32_t algorithm, void* details)
{
    auto* record = static_cast<HlHashAlgDetails*>(details);
    const int32_t r = Result("hl_get_hash_alg_details", std::to_string(handle) + "," + std::to_string(algorithm) + ","
                                                            + std::to_string(record->size));
    record->contextSize = S().contextSize;
    return r;
}

int32_t hl_init_hash(int32_t handle, int32_t algorithm, void* context)
{
    std::memcpy(context, &ContextMark, sizeof ContextMark);
    S().hashed = 0;
    return Result("hl_init_hash", std::to_string(handle) + "," + std::to_string(algorithm));
}

int32_t hl_cont_hash(void* context, const void* data, int32_t length)
{
    uint32_t mark = 0;
    std::memcpy(&mark, context, sizeof mark);
    const auto* bytes = static_cast<const uint8_t*>(data);
    for (int32_t i = 0; i < length; ++i)
        S().hashed = S().hashed * 31 + bytes[i];
    return Result("hl_cont_hash", std::to_string(length) + (mark == ContextMark ? "" : ",uninitialised"));
}

int32_t hl_end_hash(void* context, void* digest)
{
    (void)context;
    auto* out = static_cast<uint8_t*>(digest);
    uint64_t h = S().hashed;
    for (int i = 0; i < HL_DIGEST_SIZE; ++i) {
        out[i] = static_cast<uint8_t>(h);
        h = h * 6364136223846793005ULL + 1442695040888963407ULL;
    }
    return Result("hl_end_hash");
}

int32_t hl_change_def_int_param(int32_t handle, int32_t parameter, int32_t value)
{
    return Result("hl_change_def_int_param",
                  std::to_string(handle) + "," + std::to_string(parameter) + "," + std::to_string(value));
}

#ifndef FAULT_KIT_WITHOUT_SIGN
int32_t hl_sign(int32_t handle, const void* digest, int32_t digestLength, void* signature, const char* password,
                int32_t hashAlgorithm)
{
    S().password = password;
    auto* out = static_cast<uint8_t*>(signature);
    const auto* in = static_cast<const uint8_t*>(digest);
    for (int i = 0; i < HL_SIGNATURE_SIZE; ++i)
        out[i] = static_cast<uint8_t>(in[i % HL_DIGEST_SIZE] ^ i);
    return Result("hl_sign",
                  std::to_string(handle) + "," + std::to_string(digestLength) + "," + std::to_string(hashAlgorithm));
}
#endif

} // extern "C"
