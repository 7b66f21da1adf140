#include "SharedLibrary.h"

#include <dlfcn.h>

SharedLibrary::SharedLibrary(const std::string& fileName)
    : fileName_(fileName) {
    handle_ = ::dlopen(fileName.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle_)
        failure_ = fileName + " cannot be loaded: " + ::dlerror();
}

void* SharedLibrary::symbol(const char* name) {
    if (!handle_)
        return nullptr;
    void* found = ::dlsym(handle_, name);
    if (!found && failure_.empty())
        failure_ = fileName_ + " has no " + name;
    return found;
}
