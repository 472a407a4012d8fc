// zorvideo-host: a stand-in for the operator's workstation application. It loads the plug-in
// libZORVideo.so with dlopen, hands it the menu "Сервис", answers its query, and offers a command
// to open a recording through ShowFile. See usage() for the options.
//
// --export is the one option that does not go through the plug-in, whose four entry points offer
// no way to the export window: the host opens that window itself with the module's code, as the
// settings window's "Экспорт" button does after its file dialog, so that it can be tried and
// pictured directly.
#include <QAction>
#include <QApplication>
#include <QTimer>
#include <cstdio>
#include <cstring>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>

#include "HostWindow.h"
#include "PluginLibrary.h"
#include "ScreenshotTaker.h"
#include "export/VideoExportUnit.h"
#include "platform/Messages.h"
#include "widgets/MessageBoxes.h"
#include "widgets/WindowResources.h"

namespace {

// The query code whose answer decides whether the settings window offers the service buttons.
constexpr int32_t kServiceButtonsCode = 56;

struct Options {
    QString plugin;
    std::optional<int32_t> answer;  // none: load instead of loadEx
    QString show;
    QString exportFile;
    bool settings = false;
    QString screenshot;
};

// The query has no room for a context, so the answer lives here.
int32_t g_serviceButtonsAnswer = 0;

void hostQuery(HostVariant *answer, int32_t code, int32_t /*zero*/) {
    // Other codes are left empty, as the module handed them over.
    if (code != kServiceButtonsCode)
        return;
    answer->vt = kVtI4;
    answer->lVal = g_serviceButtonsAnswer;
}

void usage(std::FILE *out) {
    std::fprintf(
        out,
        "usage: zorvideo-host [--library PATH] [--query 0|1] [--show FILE] [--export FILE]\n"
        "                     [--settings] [--screenshot PATH]\n"
        "  --library PATH     the plug-in (default: libZORVideo.so beside this program,\n"
        "                     else the installed one)\n"
        "  --query N          call loadEx with a query answering N to code 56 (0 shows\n"
        "                     the service buttons, 1 hides them); without it, load\n"
        "  --show FILE        show the recording FILE through ShowFile at start\n"
        "  --export FILE      open the export window over the recording FILE at start\n"
        "  --settings         choose the plug-in's menu entry at start\n"
        "  --screenshot PATH  save each window opened at start as PNG once painted,\n"
        "                     close it, then quit\n"
        "  --help             show this text\n");
}

std::optional<Options> parse(const QStringList &args) {
    Options o;
    for (int i = 1; i < args.size(); ++i) {
        const QString &a = args[i];
        const bool hasValue = i + 1 < args.size();
        if (a == QLatin1String("--library") && hasValue) {
            o.plugin = args[++i];
        } else if (a == QLatin1String("--query") && hasValue) {
            bool ok = false;
            const int value = args[++i].toInt(&ok);
            if (!ok)
                return std::nullopt;
            o.answer = value;
        } else if (a == QLatin1String("--show") && hasValue) {
            o.show = args[++i];
        } else if (a == QLatin1String("--export") && hasValue) {
            o.exportFile = args[++i];
        } else if (a == QLatin1String("--settings")) {
            o.settings = true;
        } else if (a == QLatin1String("--screenshot") && hasValue) {
            o.screenshot = args[++i];
        } else {
            return std::nullopt;
        }
    }
    return o;
}

// The export window as the settings window opens it, with its failures in a message box.
void showExportWindow(const std::string &fileName) {
    zv::installMessageBoxes();
    zv::prepareWindows();
    try {
        zv::showExportWindow(fileName);
    } catch (const std::exception &e) {
        zv::showMessage(e.what(), zv::MessageKind::TopMost);
    }
}

}  // namespace

int main(int argc, char **argv) {
    // Before the application, which needs a display.
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            usage(stdout);
            return 0;
        }
    }
    QApplication app(argc, argv);
    const std::optional<Options> options = parse(app.arguments());
    if (!options) {
        usage(stderr);
        return 2;
    }
    const QString pluginPath = options->plugin.isEmpty()
                                   ? QString::fromStdString(defaultPluginPath(
                                         QCoreApplication::applicationDirPath().toStdString()))
                                   : options->plugin;

    std::unique_ptr<PluginLibrary> plugin;
    try {
        plugin = std::make_unique<PluginLibrary>(pluginPath.toStdString());
    } catch (const std::exception &e) {
        std::fprintf(stderr, "zorvideo-host: %s\n", e.what());
        return 1;
    }

    QString mode = QString::fromUtf8("Модуль подключён через load, без запроса к хосту.");
    if (options->answer) {
        g_serviceButtonsAnswer = *options->answer;
        mode = QString::fromUtf8("Модуль подключён через loadEx; на запрос %1 хост отвечает %2.")
                   .arg(kServiceButtonsCode)
                   .arg(g_serviceButtonsAnswer);
    }
    auto window = std::make_unique<HostWindow>(
        *plugin, mode + QString::fromUtf8("\n\nМеню «Сервис»: «Видео запись» — настройки записи,"
                                          " «Открыть запись…» — просмотр видеофайла."));
    window->show();
    // Watching before load: a message box the module might show there is pictured and closed too.
    std::unique_ptr<ScreenshotTaker> shots;
    if (!options->screenshot.isEmpty())
        shots = std::make_unique<ScreenshotTaker>(options->screenshot);
    if (options->answer)
        plugin->loadEx(window->pluginMenu(), &hostQuery);
    else
        plugin->load(window->pluginMenu());
    int status = 0;
    QTimer::singleShot(0, window.get(), [&] {
        if (!options->show.isEmpty())
            plugin->showFile(options->show.toUtf8().constData());
        if (!options->exportFile.isEmpty())
            showExportWindow(options->exportFile.toStdString());
        if (options->settings) {
            if (QAction *entry = window->pluginEntry())
                entry->trigger();
            else
                std::fprintf(stderr, "zorvideo-host: the plug-in made no menu entry\n");
        }
        if (shots) {
            shots->finish(*window);
            status = shots->succeeded() ? 0 : 1;
            QCoreApplication::quit();
        }
    });
    app.exec();

    // The module's entry leaves the menu while the menu exists; the library goes after every
    // object it made.
    plugin->unload();
    shots.reset();
    window.reset();
    plugin.reset();
    return status;
}
