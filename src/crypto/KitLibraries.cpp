#include "crypto/KitLibraries.h"

#include "kit/HlKit.h"

#include <cstring>
#include <dlfcn.h>
#include <unistd.h>

namespace {

std::string WithSlash(const std::string& folder)
{
    if (folder.empty() || folder.back() == '/')
        return folder;
    return folder + '/';
}

void* OpenLibrary(const std::string& path, int extraFlags = 0)
{
    // RTLD_LOCAL: the kit's symbols stay out of the program's namespace, so a
    // second kit loaded from another folder (tests) never mixes with the first.
    return dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL | extraFlags);
}

} // namespace

KitLibraries::KitLibraries(const std::string& Folder) : folder_(WithSlash(Folder))
{
    keyLibrary_ = OpenLibrary(folder_ + HL_KIT_LIBRARY_NAME);
    // The seed library brings Qt's window libraries into a process that may
    // have none (the tools, the headless steps). Qt cannot be unloaded: what
    // it and its graphics libraries set up at load would dangle after
    // dlclose. So once loaded, it stays (dlclose then only drops our handle).
    seedLibrary_ = OpenLibrary(folder_ + HL_SEED_LIBRARY_NAME, RTLD_NODELETE);
}

KitLibraries::~KitLibraries()
{
    if (seedLibrary_)
        dlclose(seedLibrary_);
    if (keyLibrary_)
        dlclose(keyLibrary_);
}

void* KitLibraries::Function(const char* Name) const
{
    void* library = std::strcmp(Name, "GetMouseSeed") == 0 ? seedLibrary_ : keyLibrary_;
    if (!library)
        return nullptr;
    return dlsym(library, Name);
}
