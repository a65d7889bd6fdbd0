#pragma once
// The crypto kit's two libraries, opened with dlopen from one folder (the
// program's folder in production, any folder in tests) and never linked.
// The program start loads the kit once and hands it to whatever uses it; no
// code finds a kit of its own.
// A library that fails to load is not reported here: every later kit
// operation fails with EDLLLoadFail. Functions are looked up by name at each
// use, so a missing one surfaces as EFunctionLoadFail in the operation that
// needs it.
#include <string>

class KitLibraries {
public:
    // Opens both libraries from Folder (with or without a trailing '/').
    explicit KitLibraries(const std::string& Folder);
    ~KitLibraries();
    KitLibraries(const KitLibraries&) = delete;
    KitLibraries& operator=(const KitLibraries&) = delete;

    // Both libraries are loaded.
    bool Loaded() const { return keyLibrary_ && seedLibrary_; }
    // The named function, from the seed library for GetMouseSeed and from the
    // key library otherwise; null when absent or not loaded.
    void* Function(const char* Name) const;
    // With a trailing '/'.
    const std::string& Folder() const { return folder_; }

private:
    std::string folder_;
    void* keyLibrary_ = nullptr;
    void* seedLibrary_ = nullptr;
};
