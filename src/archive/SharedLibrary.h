#pragma once

#include <memory>
#include <string>

namespace zv {

// A library opened with dlopen (RTLD_NOW | RTLD_LOCAL, so that its many generic C names never
// take over ours or another library's). Move-only; closed when the object goes.
class SharedLibrary {
public:
    SharedLibrary() = default;

    // Opens fileName as dlopen does (a bare name is searched the usual way). An empty object
    // when the library cannot be loaded; the reason is then in error().
    static SharedLibrary open(const std::string &fileName);

    explicit operator bool() const { return handle_ != nullptr; }
    const std::string &error() const { return error_; }

    // The exported function name of type F, or null when the library has none.
    template <class F>
    F *symbol(const char *name) const {
        return reinterpret_cast<F *>(rawSymbol(name));
    }

private:
    struct Closer {
        void operator()(void *handle) const noexcept;
    };
    void *rawSymbol(const char *name) const;

    std::unique_ptr<void, Closer> handle_;
    std::string error_;
};

}  // namespace zv
