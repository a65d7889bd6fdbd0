#pragma once
// Reaches the control functions of the fault-injecting kit that a
// KitLibraries object has loaded.
#include "crypto/KitLibraries.h"
#include "kit/HlKit.h"

#include <cstdint>
#include <dlfcn.h>
#include <stdexcept>
#include <string>

class FaultKitControl {
public:
    explicit FaultKitControl(KitLibraries& kit) : Kit(kit)
    {
        SeedLibrary = dlopen((kit.Folder() + HL_SEED_LIBRARY_NAME).c_str(), RTLD_NOW | RTLD_NOLOAD);
        Reset();
    }
    ~FaultKitControl()
    {
        if (SeedLibrary)
            dlclose(SeedLibrary);
    }

    void Reset()
    {
        Call<void (*)()>("fault_reset")();
        SeedCall<void (*)(int32_t)>("fault_seed_set")(HL_SEED_FILLED);
    }
    void Fail(const char* function, int32_t code) { Call<void (*)(const char*, int32_t)>("fault_set")(function, code); }
    void ContextSize(int32_t size) { Call<void (*)(int32_t)>("fault_set_context_size")(size); }
    std::string Log() { return Call<const char* (*)()>("fault_log")(); }
    void ClearLog() { Call<void (*)()>("fault_reset")(); }
    std::string Info()
    {
        return std::string(reinterpret_cast<const char*>(Call<const uint8_t* (*)()>("fault_info")()), HL_INFO_SIZE);
    }
    std::string Seed()
    {
        return std::string(reinterpret_cast<const char*>(Call<const uint8_t* (*)()>("fault_seed")()), HL_SEED_SIZE);
    }
    std::string Certificate()
    {
        return std::string(reinterpret_cast<const char*>(Call<const uint8_t* (*)()>("fault_certificate")()),
                           HL_CERTIFICATE_SIZE);
    }
    std::string Text(const char* which) { return Call<const char* (*)(const char*)>("fault_text")(which); }
    void SeedResult(int32_t result) { SeedCall<void (*)(int32_t)>("fault_seed_set")(result); }
    void* SeedOwner() { return SeedCall<void* (*)()>("fault_seed_owner")(); }
    int SeedCalls() { return SeedCall<int (*)()>("fault_seed_calls")(); }

private:
    template <typename F>
    F Call(const char* name)
    {
        void* f = Kit.Function(name);
        if (!f)
            throw std::runtime_error(std::string("fault kit lacks ") + name);
        return reinterpret_cast<F>(f);
    }
    template <typename F>
    F SeedCall(const char* name)
    {
        void* f = SeedLibrary ? dlsym(SeedLibrary, name) : nullptr;
        if (!f)
            throw std::runtime_error(std::string("fault seed library lacks ") + name);
        return reinterpret_cast<F>(f);
    }

    KitLibraries& Kit;
    void* SeedLibrary = nullptr;
};
