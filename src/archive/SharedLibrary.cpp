#include "archive/SharedLibrary.h"

#include <dlfcn.h>

namespace zv {

void SharedLibrary::Closer::operator()(void *handle) const noexcept {
    ::dlclose(handle);
}

SharedLibrary SharedLibrary::open(const std::string &fileName) {
    SharedLibrary library;
    ::dlerror();
    library.handle_.reset(::dlopen(fileName.c_str(), RTLD_NOW | RTLD_LOCAL));
    if (!library.handle_) {
        const char *reason = ::dlerror();
        library.error_ = reason ? reason : fileName;
    }
    return library;
}

void *SharedLibrary::rawSymbol(const char *name) const {
    if (!handle_)
        return nullptr;
    return ::dlsym(handle_.get(), name);
}

}  // namespace zv
