#include "platform/Xcb.h"

#include <cstring>
#include <vector>

namespace zv::xcb {

Display connect(const std::string &displayName) {
    int screenNumber = 0;
    Connection c(xcb_connect(displayName.empty() ? nullptr : displayName.c_str(), &screenNumber));
    if (xcb_connection_has_error(c.get()))
        return {};
    xcb_screen_iterator_t screens = xcb_setup_roots_iterator(xcb_get_setup(c.get()));
    for (int i = 0; i < screenNumber && screens.rem; ++i)
        xcb_screen_next(&screens);
    if (!screens.rem)
        return {};
    xcb_screen_t *screen = screens.data;
    return {std::move(c), screen};
}

bool internAtoms(xcb_connection_t *c, const char *const *names, xcb_atom_t *atoms, size_t count) {
    std::vector<xcb_intern_atom_cookie_t> cookies(count);
    for (size_t i = 0; i < count; ++i)
        cookies[i] = xcb_intern_atom(c, 0, static_cast<uint16_t>(std::strlen(names[i])), names[i]);
    bool ok = true;
    for (size_t i = 0; i < count; ++i) {
        Reply<xcb_intern_atom_reply_t> reply(xcb_intern_atom_reply(c, cookies[i], nullptr));
        if (!reply)
            ok = false;
        else
            atoms[i] = reply->atom;
    }
    return ok;
}

}  // namespace zv::xcb
