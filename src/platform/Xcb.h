#pragma once

// Handles and steps shared by the X11 services of this folder (window list, screen capture, the
// recorder's windows). Internal: included only from their .cpp files, so that xcb's headers stay
// out of every interface.
#include <xcb/xcb.h>

#include <cstdlib>
#include <memory>
#include <string>

namespace zv::xcb {

struct FreeDeleter {
    void operator()(void *p) const noexcept { std::free(p); }
};
// A reply or error of xcb, which the caller frees with free().
template <class T>
using Reply = std::unique_ptr<T, FreeDeleter>;

struct ConnectionCloser {
    void operator()(xcb_connection_t *c) const noexcept { xcb_disconnect(c); }
};
using Connection = std::unique_ptr<xcb_connection_t, ConnectionCloser>;

// A connection with the screen it was opened for.
struct Display {
    Connection connection;
    xcb_screen_t *screen = nullptr;  // owned by the connection's setup
};

// Connects to displayName, or to $DISPLAY when it is empty. A display without a connection
// (none there, refused, no such screen) gives an empty Display.
Display connect(const std::string &displayName);

// Interns count atom names into atoms in one round trip; false when the server does not answer.
bool internAtoms(xcb_connection_t *c, const char *const *names, xcb_atom_t *atoms, size_t count);

}  // namespace zv::xcb
