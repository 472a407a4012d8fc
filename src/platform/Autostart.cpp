#include "platform/Autostart.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include "platform/Error.h"
#include "platform/File.h"
#include "platform/PartFile.h"

namespace zv {

namespace {

// One entry per value name; a name that would leave the folder is refused.
std::string entryFile(const std::string &name) {
    if (name.empty() || name.find('/') != std::string::npos || name == "." || name == "..")
        throw Error("Недопустимое имя записи автозагрузки: " + name);
    return autostartFolder() + "/" + name + ".desktop";
}

// A desktop entry's string value: backslash, newline, tab and carriage return escaped.
std::string escapeValue(std::string_view text) {
    std::string out;
    for (char c : text) {
        switch (c) {
            case '\\':
                out += "\\\\";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\t':
                out += "\\t";
                break;
            case '\r':
                out += "\\r";
                break;
            default:
                out += c;
        }
    }
    return out;
}

// An Exec argument in double quotes: inside them ", `, $ and \ take a backslash; % is doubled
// everywhere, as it starts a field code.
std::string quoteExecArgument(std::string_view argument) {
    std::string out = "\"";
    for (char c : argument) {
        if (c == '"' || c == '`' || c == '$' || c == '\\')
            out += '\\';
        out += c;
        if (c == '%')
            out += '%';
    }
    return out + "\"";
}

}  // namespace

std::string autostartFolder() {
    const char *folder = std::getenv("ZORVIDEO_AUTOSTART_DIR");
    return folder && *folder ? folder : "/etc/xdg/autostart";
}

std::string desktopEntryText(std::string_view name, std::string_view nativeProgram) {
    return "[Desktop Entry]\n"
           "Type=Application\n"
           "Name=" +
           escapeValue(name) +
           "\n"
           "Exec=" +
           escapeValue(quoteExecArgument(nativeProgram)) + "\n";
}

void XdgAutostart::add(const std::string &name, const std::string &nativeProgram) {
    const std::string file = entryFile(name);
    const std::string text = desktopEntryText(name, nativeProgram);
    // Written whole under a part of its own (unnamed where the file system allows) and renamed
    // into place: a link another user planted under the entry's name is replaced, never followed,
    // and nothing half written is ever seen under the name.
    PartFile part(file, 0644);
    try {
        part.append(text.data(), text.size());
        // Readable by every session that starts, whatever the umask: set on the open file, so
        // that no name can redirect it.
        if (::fchmod(part.descriptor(), 0644) != 0)
            throw Error(systemErrorText("Не удалось записать " + file, errno));
        part.commit();
    } catch (const Error &e) {
        throw Error("Не удалось записать " + file + ": " +
                    (part.lastError() ? systemErrorReason(part.lastError()) : e.what()));
    }
}

void XdgAutostart::remove(const std::string &name) {
    const std::string file = entryFile(name);
    if (::unlink(file.c_str()) != 0)
        throw Error(systemErrorText("Не удалось удалить " + file, errno));
}

bool XdgAutostart::contains(const std::string &name) {
    struct stat st {};
    return ::stat(entryFile(name).c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

AutostartStore &systemAutostart() {
    static XdgAutostart store;
    return store;
}

}  // namespace zv
