#pragma once

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

namespace zvtest {

// Links another user plants in a folder every user may write, as an attacker on a shared machine
// would. The tests run as root; nobody (65534) plants the link through setpriv, so that the link
// belongs to someone else, as it would in real life. Nothing here relies on the kernel's
// fs.protected_symlinks: the 0777 folder is not sticky, where that protection never applies.
struct SharedFolders {
    std::string open;    // mode 0777
    std::string sticky;  // mode 1777, as /tmp
};

// Makes both folders in root, a test's own temporary folder, which every user must be able to pass
// through: it is made 0755 here. Empty strings when that fails.
inline SharedFolders makeSharedFolders(const std::string &root) {
    SharedFolders f{root + "/open", root + "/sticky"};
    if (::chmod(root.c_str(), 0755) != 0 || ::mkdir(f.open.c_str(), 0777) != 0 ||
        ::mkdir(f.sticky.c_str(), 0777) != 0 || ::chmod(f.open.c_str(), 0777) != 0 ||
        ::chmod(f.sticky.c_str(), 01777) != 0)
        return {};
    return f;
}

// True when nobody could plant link -> target (a dangling target is fine). Needs root and setpriv.
inline bool plantLinkAsNobody(const std::string &target, const std::string &link) {
    if (::geteuid() != 0)
        return false;
    const std::string command = "setpriv --reuid=65534 --regid=65534 --clear-groups ln -s '" +
                                target + "' '" + link + "' 2>/dev/null";
    struct stat st {};
    return std::system(command.c_str()) == 0 && ::lstat(link.c_str(), &st) == 0 &&
           S_ISLNK(st.st_mode) && st.st_uid == 65534;
}

}  // namespace zvtest
