#include "PluginLibrary.h"

#include <dlfcn.h>
#include <unistd.h>

#include <stdexcept>

std::string defaultPluginPath(const std::string &programDir) {
    const std::string name = "/libZORVideo.so";
    const std::string beside = programDir + name;
    if (::access(beside.c_str(), F_OK) == 0)
        return beside;
    return programDir + "/" ZORVIDEO_PLUGIN_FROM_BINDIR + name;
}

void PluginLibrary::Closer::operator()(void *handle) const noexcept {
    ::dlclose(handle);
}

PluginLibrary::PluginLibrary(const std::string &path) : path_(path) {
    // RTLD_LOCAL: the plug-in's names stay out of the host's namespace, as with any plug-in.
    handle_.reset(::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL));
    if (!handle_) {
        const char *reason = ::dlerror();
        throw std::runtime_error(reason ? reason : "не удается загрузить " + path);
    }
    load = resolve<LoadFn>("load");
    loadEx = resolve<LoadExFn>("loadEx");
    showFile = resolve<ShowFileFn>("ShowFile");
    unload = resolve<UnloadFn>("unload");
}

PluginLibrary::~PluginLibrary() = default;

template <class Fn>
Fn PluginLibrary::resolve(const char *name) {
    ::dlerror();
    void *symbol = ::dlsym(handle_.get(), name);
    if (!symbol)
        throw std::runtime_error(path_ + ": нет точки входа " + name);
    return reinterpret_cast<Fn>(symbol);
}
