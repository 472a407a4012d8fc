#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

class QMenu;

// The host's own declaration of the answer slot of its query function: a 16-byte OLE VARIANT,
// the type in the first two bytes and the value at offset 8. The module sets it empty before the
// call and releases it afterwards, so the host stores only plain numbers in it.
struct HostVariant {
    uint16_t vt;
    uint16_t reserved1;
    uint16_t reserved2;
    uint16_t reserved3;
    union {
        int32_t lVal;
        int64_t llVal;
        double dblVal;
        void *pointer;
    };
};
static_assert(sizeof(HostVariant) == 16, "an OLE VARIANT is 16 bytes");
static_assert(offsetof(HostVariant, vt) == 0 && offsetof(HostVariant, lVal) == 8,
              "type first, value at offset 8");

inline constexpr uint16_t kVtI4 = 3;

using HostQueryFunction = void (*)(HostVariant *answer, int32_t code, int32_t zero);

// Where the host looks for the plug-in when no --library is given: beside the program (a build
// tree), then where an install puts it relative to the program (bin/ -> lib/<triplet>/zorvideo/).
// The first that exists; the installed place when neither does, so that the loader's error names
// it.
std::string defaultPluginPath(const std::string &programDir);

// libZORVideo.so opened with dlopen and its four entry points resolved. Closes the library
// (dlclose) when destroyed; the caller calls unload before that, while its menu still exists.
class PluginLibrary {
public:
    using LoadFn = void (*)(QMenu *menu);
    using LoadExFn = void (*)(QMenu *menu, HostQueryFunction query);
    using ShowFileFn = void (*)(const char *fileName);
    using UnloadFn = void (*)();

    // Throws std::runtime_error with the loader's reason when the file cannot be loaded or lacks
    // one of the four names.
    explicit PluginLibrary(const std::string &path);
    ~PluginLibrary();
    PluginLibrary(const PluginLibrary &) = delete;
    PluginLibrary &operator=(const PluginLibrary &) = delete;

    const std::string &path() const { return path_; }

    LoadFn load = nullptr;
    LoadExFn loadEx = nullptr;
    ShowFileFn showFile = nullptr;
    UnloadFn unload = nullptr;

private:
    struct Closer {
        void operator()(void *handle) const noexcept;
    };
    template <class Fn>
    Fn resolve(const char *name);

    std::string path_;
    std::unique_ptr<void, Closer> handle_;
};
