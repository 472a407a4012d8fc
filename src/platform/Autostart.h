#pragma once

#include <map>
#include <string>
#include <string_view>

namespace zv {

// Programs started with the desktop session, in place of values under the machine's Run key.
// Every operation throws zv::Error when it cannot be done; callers that want silence catch.
class AutostartStore {
public:
    virtual ~AutostartStore() = default;
    // Registers nativeProgram (a file-system path) under name, replacing an earlier entry.
    virtual void add(const std::string &name, const std::string &nativeProgram) = 0;
    // Removes the entry of that name; a missing entry is an error.
    virtual void remove(const std::string &name) = 0;
    // Whether an entry of that name exists.
    virtual bool contains(const std::string &name) = 0;
};

// XDG autostart entries "<name>.desktop" in autostartFolder(). The folder is never created, and
// an entry is written to a temporary file first and renamed into place, so that a session
// never reads half an entry.
class XdgAutostart : public AutostartStore {
public:
    void add(const std::string &name, const std::string &nativeProgram) override;
    void remove(const std::string &name) override;
    bool contains(const std::string &name) override;
};

// $ZORVIDEO_AUTOSTART_DIR, else the system-wide /etc/xdg/autostart; read on every call.
std::string autostartFolder();

// The desktop entry that starts nativeProgram: Type, Name and an Exec line with the path
// quoted and escaped as desktop entries require.
std::string desktopEntryText(std::string_view name, std::string_view nativeProgram);

// The process-wide store over autostartFolder(). Never null; lives for the whole process.
AutostartStore &systemAutostart();

}  // namespace zv
