#include "plugin/ExportUnit.h"

#include <dlfcn.h>
#include <sys/stat.h>

#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QString>
#include <QThread>
#include <cstdio>
#include <exception>
#include <memory>
#include <string>

#include "export/VideoExportUnit.h"
#include "platform/Error.h"
#include "platform/Messages.h"
#include "platform/Paths.h"
#include "recorder/RecordingWriter.h"
#include "recording/RecorderControl.h"
#include "recording/RecordingSettings.h"
#include "recording/VideoUnit.h"
#include "viewer/ShowVideoUnit.h"
#include "widgets/MessageBoxes.h"
#include "widgets/WindowResources.h"

namespace zv::plugin {

namespace {

// Module-wide state, created and destroyed only by the entry points.
struct ModuleState {
    // First, so that it outlives the window that holds a reference to it.
    TRecordingSettings RecordingSettings;
    std::unique_ptr<TVideoForm> SettingsWindow;
    std::unique_ptr<QAction> MenuItem;
    HostQueryFn HostQuery = nullptr;

    // The library stays mapped after dlclose (see CMakeLists.txt), so this runs at process exit.
    // A host that never called unload may have destroyed its application by then, and widgets
    // cannot be destroyed without one: they are let go instead.
    ~ModuleState() {
        if (!QCoreApplication::instance()) {
            (void)SettingsWindow.release();
            (void)MenuItem.release();
        }
    }
};

ModuleState &module() {
    static ModuleState state;
    return state;
}

// The recorder of the install this library belongs to: found from the library's own file, so
// that an installed tree works wherever it lies. In a build tree nothing is there.
std::string installedRecorder() {
    Dl_info info{};
    if (::dladdr(reinterpret_cast<void *>(&installedRecorder), &info) == 0 || !info.dli_fname)
        return {};
    std::string library = info.dli_fname;
    const std::string folder = library.substr(0, library.rfind('/') + 1);
    return folder + ZORVIDEO_RECORDER_FROM_PLUGIN;
}

// The one place the viewer is opened: the host's ShowFile and the settings window's button.
// One viewer per showing, destroyed also when the showing ends in an error.
void openViewer(const std::string &fileName) {
    const auto viewer = std::make_unique<TShowVideoForm>();
    viewer->ShowVideoFile(fileName);
}

void showSettingsWindow() {
    // The close result means nothing here.
    if (TVideoForm *window = module().SettingsWindow.get())
        window->exec();
}

}  // namespace

void load(QMenu *menu) {
    ModuleState &m = module();
    // The host loads once; should it load again, the old window and entry give way instead of
    // leaving a second entry in its menu.
    unload();

    m.SettingsWindow = std::make_unique<TVideoForm>(m.RecordingSettings);
    m.SettingsWindow->setShowFile(openViewer);
    m.SettingsWindow->setExportFile(zv::showExportWindow);
    m.SettingsWindow->LoadSettings();
    // Before the recording folder: a first start on a fresh root gets C:\VELD from the recorder's
    // link, and the folder of the recording inside it.
    zv::linkInstalledRecorder(installedRecorder());
    // Only the last level, and a folder that cannot be made is passed over: the recorder makes
    // the rest and says why when it cannot.
    try {
        zv::makeRecordingFolder(m.RecordingSettings.OutFile, zv::FolderLevels::LastOnly);
    } catch (const zv::Error &) {
    }

    if (menu) {
        auto item = std::make_unique<QAction>(QString::fromUtf8("Видео запись"));
        QObject::connect(item.get(), &QAction::triggered,
                         [] { atBoundary("Видео запись", showSettingsWindow); });
        // Before the first action; into an empty menu, as its only one.
        menu->insertAction(menu->actions().value(0, nullptr), item.get());
        m.MenuItem = std::move(item);
    }
}

void loadEx(QMenu *menu, HostQueryFn query) {
    load(menu);
    ModuleState &m = module();
    m.HostQuery = query;
    if (m.SettingsWindow)
        m.SettingsWindow->setHostQuery(query);
}

void showFile(const char *fileName) {
    // The module's own copy, for the whole call: the host's string may go while the viewer runs.
    const std::string name = fileName ? fileName : "";
    if (name.empty() || !zv::fileExists(name))
        return;
    openViewer(name);
}

void unload() {
    ModuleState &m = module();
    m.SettingsWindow.reset();
    // Destroying the action takes it out of the host's menu.
    m.MenuItem.reset();
    // Back to the state of a freshly loaded library: the library is never unmapped, so a host
    // that frees and loads it again meets this same state.
    m.HostQuery = nullptr;
    m.RecordingSettings = TRecordingSettings{};
}

void atBoundary(const char *what, const std::function<void()> &body) noexcept {
    auto *app = qobject_cast<QApplication *>(QCoreApplication::instance());
    if (!app || QThread::currentThread() != app->thread()) {
        std::fprintf(stderr, "ZORVideo: %s: needs the host's QApplication and its thread\n", what);
        return;
    }
    static const bool prepared = (zv::installMessageBoxes(), zv::prepareWindows(), true);
    (void)prepared;
    try {
        zv::showFailureOf(body);
    } catch (...) {
        // Showing the message failed too; nothing may cross into the host.
        std::fprintf(stderr, "ZORVideo: %s: an error could not be shown\n", what);
    }
}

}  // namespace zv::plugin
