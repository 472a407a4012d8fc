// A stand-in for the recorder towards the settings window: the two top-level windows
// "ZorvideoService" and "TempForm", and an end on the quit message to "TempForm".
//
//   zv_recorder_standin [--mapped] [--extra N] [TITLE...]
//
// TITLEs replace the two windows (the program then ends on the quit message to a window titled
// "TempForm", if any); --extra adds N more windows titled "Window <n>"; --mapped maps them all.
// With $ZV_STANDIN_PIDFILE set it writes "<pid> <session id>" there once its windows exist.
#include <unistd.h>

#include <QString>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "support/TestWindows.h"

int main(int argc, char **argv) {
    bool mapped = false;
    int extra = 0;
    std::vector<std::string> titles;
    for (int i = 1; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--mapped"))
            mapped = true;
        else if (!std::strcmp(argv[i], "--extra") && i + 1 < argc)
            extra = std::atoi(argv[++i]);
        else
            titles.emplace_back(argv[i]);
    }
    if (titles.empty())
        titles = {"ZorvideoService", "TempForm"};
    for (int n = 1; n <= extra; ++n)
        titles.push_back("Window " + std::to_string(n));

    zvtest::TestWindows windows;
    std::vector<uint32_t> quitWindows;
    for (const std::string &title : titles) {
        const uint32_t id = windows.create(title, mapped);
        if (QString::fromStdString(title).toUpper() == QStringLiteral("TEMPFORM"))
            quitWindows.push_back(id);
    }
    if (const char *pidFile = std::getenv("ZV_STANDIN_PIDFILE")) {
        if (FILE *f = std::fopen(pidFile, "w")) {
            std::fprintf(f, "%d %d\n", static_cast<int>(::getpid()), static_cast<int>(::getsid(0)));
            std::fclose(f);
        }
    }
    for (;;) {
        const std::optional<uint32_t> window = windows.waitDeleteWindow(-1);
        if (!window)
            return 1;  // the display went away
        for (uint32_t id : quitWindows) {
            if (id == *window)
                return 0;
        }
    }
}
