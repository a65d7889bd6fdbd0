#pragma once
// The crypto kit's two libraries, opened with dlopen from one folder (the
// program's folder in production, any folder in tests) and never linked.
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
    const std::string& Folder() const { return folder_; }

    // The program's kit: loaded once, from the given folder at start-up or,
    // when nobody did that first, from the executable's folder at first use.
    static KitLibraries& Program();
    static void LoadProgramKit(const std::string& AppDir);
    // Closes the program's kit (at exit).
    static void UnloadProgramKit();

private:
    std::string folder_;
    void* keyLibrary_ = nullptr;
    void* seedLibrary_ = nullptr;
};

// The kit that this program's format came from kept settings of its own that
// had to be removed before loading it and after unloading it. Ours keeps
// none, so there is nothing to clean; the step stays here, in one place.
void CleanKitSettings();
