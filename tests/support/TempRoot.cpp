#include "support/TempRoot.h"

#include <gtest/gtest.h>
#include <linux/capability.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace zvtest {

namespace fs = std::filesystem;

namespace {

void remember(const char *name, std::string &value, bool &had) {
    const char *v = std::getenv(name);
    had = v != nullptr;
    if (had)
        value = v;
}

void restore(const char *name, const std::string &value, bool had) {
    if (had)
        ::setenv(name, value.c_str(), 1);
    else
        ::unsetenv(name);
}

}  // namespace

TempRoot::TempRoot() {
    std::string pattern = (fs::temp_directory_path() / "zorvideo-test-XXXXXX").string();
    char *made = ::mkdtemp(pattern.data());
    if (!made)
        throw std::runtime_error("mkdtemp failed");
    path_ = made;
    remember("ZORVIDEO_ROOT", previousRoot_, hadRoot_);
    remember("XDG_CONFIG_HOME", previousConfig_, hadConfig_);
    ::setenv("ZORVIDEO_ROOT", path_.c_str(), 1);
    fs::create_directories(path_ + "/config");
    ::setenv("XDG_CONFIG_HOME", (path_ + "/config").c_str(), 1);
}

TempRoot::~TempRoot() {
    restore("ZORVIDEO_ROOT", previousRoot_, hadRoot_);
    restore("XDG_CONFIG_HOME", previousConfig_, hadConfig_);
    std::error_code ec;
    fs::permissions(path_, fs::perms::owner_all, fs::perm_options::add, ec);
    fs::remove_all(path_, ec);
}

std::string TempRoot::file(const std::string &relative) const {
    return path_ + "/" + relative;
}

void writeFile(const std::string &nativeFile, const std::string &bytes) {
    fs::path p(nativeFile);
    if (p.has_parent_path())
        fs::create_directories(p.parent_path());
    std::ofstream out(nativeFile, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out)
        ADD_FAILURE() << "cannot write " << nativeFile;
}

std::string readFile(const std::string &nativeFile) {
    std::ifstream in(nativeFile, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

std::vector<std::string> namesIn(const std::string &nativeFolder) {
    std::vector<std::string> names;
    for (const auto &e : std::filesystem::directory_iterator(nativeFolder))
        names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

bool nearColour(uint32_t pixel, uint32_t colour, int tolerance) {
    for (int shift : {0, 8, 16}) {
        const int a = static_cast<int>((pixel >> shift) & 0xFF);
        const int b = static_cast<int>((colour >> shift) & 0xFF);
        if (std::abs(a - b) > tolerance)
            return false;
    }
    return true;
}

}  // namespace zvtest

namespace zvtest {

namespace {

bool setEffectiveFileRights(bool overriding) {
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct data[2]{};
    if (::syscall(SYS_capget, &header, data) != 0)
        return false;
    for (int cap : {CAP_DAC_OVERRIDE, CAP_DAC_READ_SEARCH, CAP_FOWNER}) {
        if (overriding)
            data[cap / 32].effective |= data[cap / 32].permitted & (1u << (cap % 32));
        else
            data[cap / 32].effective &= ~(1u << (cap % 32));
    }
    return ::syscall(SYS_capset, &header, data) == 0;
}

}  // namespace

ScopedFileRights::ScopedFileRights() {
    dropped_ = ::geteuid() == 0 && setEffectiveFileRights(false);
}

ScopedFileRights::~ScopedFileRights() {
    if (dropped_)
        setEffectiveFileRights(true);
}

}  // namespace zvtest
