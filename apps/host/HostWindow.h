#pragma once

#include <QMainWindow>

class PluginLibrary;
class QAction;
class QMenu;

// The host's main window: a menu "Сервис" that it hands to the plug-in, with its own commands to
// open a recording (through ShowFile) and to quit. The plug-in library must outlive the window.
class HostWindow : public QMainWindow {
    Q_OBJECT
public:
    HostWindow(PluginLibrary &plugin, const QString &description);

    // The menu the plug-in receives.
    QMenu *pluginMenu() const { return menu_; }
    // The first action of that menu that the host did not put there: the plug-in's entry, or
    // null when it made none.
    QAction *pluginEntry() const;

    // Asks for a recording and shows it through the plug-in.
    void openRecording();

private:
    PluginLibrary &plugin_;
    QMenu *menu_;
    QAction *open_;
    QAction *quit_;
};
