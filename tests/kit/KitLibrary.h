#pragma once
// Loads a build of the key library with dlopen, as the client does, and
// resolves every hl_ function. Shared by the kit's tests.
#include "kit/HlKit.h"

#include <dlfcn.h>

#include <string>

namespace kittest {

struct KitLibrary {
    void* module = nullptr;
    std::string error;
    hl_on_t on = nullptr;
    hl_off_t off = nullptr;
    hl_format_t format = nullptr;
    hl_generate_t generate = nullptr;
    hl_get_public_key_t getPublicKey = nullptr;
    hl_get_user_data_t getUserData = nullptr;
    hl_update_user_data_t updateUserData = nullptr;
    hl_put_certificate_t putCertificate = nullptr;
    hl_change_password_t changePassword = nullptr;
    hl_get_hash_alg_details_t getHashAlgDetails = nullptr;
    hl_init_hash_t initHash = nullptr;
    hl_cont_hash_t contHash = nullptr;
    hl_end_hash_t endHash = nullptr;
    hl_change_def_int_param_t changeDefIntParam = nullptr;
    hl_sign_t sign = nullptr;

    explicit KitLibrary(const std::string& path)
    {
        module = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (module == nullptr) {
            error = dlerror();
            return;
        }
        Resolve(on, "hl_on");
        Resolve(off, "hl_off");
        Resolve(format, "hl_format");
        Resolve(generate, "hl_generate");
        Resolve(getPublicKey, "hl_get_public_key");
        Resolve(getUserData, "hl_get_user_data");
        Resolve(updateUserData, "hl_update_user_data");
        Resolve(putCertificate, "hl_put_certificate");
        Resolve(changePassword, "hl_change_password");
        Resolve(getHashAlgDetails, "hl_get_hash_alg_details");
        Resolve(initHash, "hl_init_hash");
        Resolve(contHash, "hl_cont_hash");
        Resolve(endHash, "hl_end_hash");
        Resolve(changeDefIntParam, "hl_change_def_int_param");
        Resolve(sign, "hl_sign");
    }
    ~KitLibrary()
    {
        if (module != nullptr)
            dlclose(module);
    }
    KitLibrary(const KitLibrary&) = delete;
    KitLibrary& operator=(const KitLibrary&) = delete;

    bool ok() const { return module != nullptr && error.empty(); }

private:
    template <typename F>
    void Resolve(F& f, const char* name)
    {
        f = reinterpret_cast<F>(dlsym(module, name));
        if (f == nullptr)
            error += std::string("missing ") + name + "; ";
    }
};

} // namespace kittest
