// zorvideo-host: a stand-in for the operator's workstation application. It loads the plug-in
// libZORVideo.so with dlopen, hands it the menu "Сервис", answers its query, and offers a command
// to open a recording through ShowFile. See parseOptions() (or --help) for the options.
//
// --export is the one option that does not go through the plug-in, whose four entry points offer
// no way to the export window: the host opens that window itself with the module's code, as the
// settings window's "Экспорт" button does after its file dialog, so that it can be tried and
// pictured directly.
#include <QAction>
#include <QApplication>
#include <QCommandLineParser>
#include <QTimer>
#include <cstdio>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <variant>

#include "HostWindow.h"
#include "PluginLibrary.h"
#include "ScreenshotTaker.h"
#include "export/VideoExportUnit.h"
#include "platform/CommandLine.h"
#include "platform/FileNameText.h"
#include "platform/Messages.h"
#include "widgets/MessageBoxes.h"
#include "widgets/WindowResources.h"

namespace {

// The query code whose answer decides whether the settings window offers the service buttons.
constexpr int32_t kServiceButtonsCode = 56;

struct Options {
    QString plugin;
    std::optional<int32_t> answer;  // none: load instead of loadEx
    std::string show;               // the bytes as given
    std::string exportFile;
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

// Parses the options before any GUI exists, so that --help, --version and wrong options need no
// display. Returns the options, or the exit status when the host must not start.
std::variant<Options, int> parseOptions(int argc, char **argv) {
    auto option = [](const char *name, const char *description, const char *value = "") {
        return QCommandLineOption(QString::fromLatin1(name), QString::fromUtf8(description),
                                  QString::fromLatin1(value));
    };
    const QCommandLineOption library = option(
        "library", "модуль (по умолчанию libZORVideo.so рядом с программой, иначе установленный)",
        "PATH");
    const QCommandLineOption query =
        option("query",
               "вызвать loadEx с запросом, отвечающим N на код 56 (0 показывает кнопки службы, "
               "1 прячет их); без него - load",
               "N");
    const QCommandLineOption show =
        option("show", "показать запись FILE через ShowFile при запуске", "FILE");
    const QCommandLineOption exportFile =
        option("export", "открыть окно экспорта над записью FILE при запуске", "FILE");
    const QCommandLineOption settings = option("settings", "выбрать пункт меню модуля при запуске");
    const QCommandLineOption screenshot =
        option("screenshot",
               "сохранить каждое открытое при запуске окно в PNG, закрыть его и выйти", "PATH");
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QString::fromUtf8("Загружает libZORVideo.so, как это делает программа рабочего места "
                          "оператора, и передаёт ему меню \"Сервис\"."));
    parser.addOptions({library, query, show, exportFile, settings, screenshot});
    if (const std::optional<int> answered = zv::answerCommandLine(
            parser, zv::commandLineArguments(argc, argv), "zorvideo-host", {}, true))
        return *answered;

    Options o;
    bool ok = true;
    if (parser.isSet(query))
        o.answer = parser.value(query).toInt(&ok);
    if (!ok || !parser.positionalArguments().isEmpty()) {
        std::fprintf(stderr, "zorvideo-host: %s\n%s\n",
                     ok ? "лишний аргумент" : "--query: ожидается целое число",
                     zv::commandLineHelp(parser, "zorvideo-host").c_str());
        return 2;
    }
    o.plugin = parser.value(library);
    o.show = zv::qStringToFileName(parser.value(show));
    o.exportFile = zv::qStringToFileName(parser.value(exportFile));
    o.settings = parser.isSet(settings);
    o.screenshot = parser.value(screenshot);
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
    QCoreApplication::setApplicationName(QStringLiteral("zorvideo-host"));
    QCoreApplication::setApplicationVersion(QStringLiteral(ZORVIDEO_VERSION));
    const std::variant<Options, int> parsed = parseOptions(argc, argv);
    if (const int *status = std::get_if<int>(&parsed))
        return *status;
    const Options *options = &std::get<Options>(parsed);
    QApplication app(argc, argv);
    zv::installQtTranslation();
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
        if (!options->show.empty())
            plugin->showFile(options->show.c_str());
        if (!options->exportFile.empty())
            showExportWindow(options->exportFile);
        if (options->settings) {
            if (QAction *entry = window->pluginEntry())
                entry->trigger();
            else
                std::fprintf(stderr, "zorvideo-host: модуль не создал пункт меню\n");
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
