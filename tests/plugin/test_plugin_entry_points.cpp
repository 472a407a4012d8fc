// The four entry points, called through dlopen as a host calls them. Modal windows the module
// opens are watched, inspected and closed by a timer, so no test waits on an operator.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <QAction>
#include <QApplication>
#include <QFont>
#include <QFontMetrics>
#include <QGroupBox>
#include <QMenu>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QTimer>
#include <cstring>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "platform/Paths.h"
#include "platform/Variant.h"
#include "recorder/SampleRecording.h"
#include "support/TempRoot.h"

namespace {

using QueryFn = void (*)(zv::Variant *answer, int32_t code, int32_t zero);

const QString kEntry = QString::fromUtf8("Видео запись");

struct DlClose {
    void operator()(void *handle) const noexcept { ::dlclose(handle); }
};

// Watches the windows the module opens while a call runs: message boxes are recorded and
// answered; any other modal window is handed to inspect and then closed.
class ModalDriver {
public:
    explicit ModalDriver(std::function<void(QWidget &)> inspect = {})
        : inspect_(std::move(inspect)) {
        timer_.setInterval(10);
        QObject::connect(&timer_, &QTimer::timeout, [this] { poll(); });
        timer_.start();
    }

    std::vector<QString> messages;
    std::vector<QString> windows;  // object names of the modal windows, in order

private:
    void poll() {
        for (QWidget *w : QApplication::topLevelWidgets()) {
            auto *box = qobject_cast<QMessageBox *>(w);
            if (box && box->isVisible()) {
                messages.push_back(box->text());
                box->button(QMessageBox::Ok)->click();
                return;
            }
        }
        QWidget *modal = QApplication::activeModalWidget();
        if (!modal || !modal->isVisible())
            return;
        windows.push_back(modal->objectName());
        if (inspect_)
            inspect_(*modal);
        modal->close();
    }

    std::function<void(QWidget &)> inspect_;
    QTimer timer_;
};

QWidget *topLevel(const QString &name) {
    for (QWidget *w : QApplication::topLevelWidgets()) {
        if (w->objectName() == name)
            return w;
    }
    return nullptr;
}

bool isDirectory(const std::string &nativePath) {
    struct stat st {};
    return ::stat(nativePath.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// Answers code 56 with g_answer and records every question.
int32_t g_answer = 0;
std::vector<std::pair<int32_t, int32_t>> g_questions;

void recordingQuery(zv::Variant *answer, int32_t code, int32_t zero) {
    g_questions.emplace_back(code, zero);
    if (code == 56) {
        answer->vt = zv::VT_I4;
        answer->lVal = g_answer;
    }
}

class PluginTest : public ::testing::Test {
protected:
    void SetUp() override {
        handle_.reset(::dlopen(ZORVIDEO_PLUGIN_PATH, RTLD_NOW | RTLD_LOCAL));
        ASSERT_TRUE(handle_) << ::dlerror();
        load = resolve<void (*)(QMenu *)>("load");
        loadEx = resolve<void (*)(QMenu *, QueryFn)>("loadEx");
        showFile = resolve<void (*)(const char *)>("ShowFile");
        unload = resolve<void (*)()>("unload");
        g_questions.clear();
    }
    void TearDown() override {
        if (unload)
            unload();
    }

    template <class Fn>
    Fn resolve(const char *name) {
        void *symbol = ::dlsym(handle_.get(), name);
        EXPECT_TRUE(symbol) << name;
        return reinterpret_cast<Fn>(symbol);
    }

    std::string mapped(const std::string &path) const { return zv::nativePath(path); }

    // A small recording at the default recording path.
    std::string writeSample() {
        ::mkdir(root_.file("drive_c").c_str(), 0755);
        ::mkdir(root_.file("drive_c/VELD").c_str(), 0755);
        ::mkdir(root_.file("drive_c/VELD/ZORVIDEO").c_str(), 0755);
        SampleOptions options;
        options.frames = 3;
        options.width = 160;
        options.height = 120;
        options.start = 45000.5;
        writeSampleRecording(mapped("C:\\VELD\\ZORVIDEO\\BigFile.zvf"), options);
        return "C:\\VELD\\ZORVIDEO\\BigFile.zvf";
    }

    // Chooses the plug-in's entry and returns the names of the windows that opened meanwhile.
    std::vector<QString> chooseEntry(QMenu &menu, std::function<void(QWidget &)> inspect) {
        ModalDriver driver(std::move(inspect));
        QAction *entry = menu.actions().value(0);
        if (!entry || entry->text() != kEntry)
            return {};
        entry->trigger();
        EXPECT_TRUE(driver.messages.empty());
        return driver.windows;
    }

    zvtest::TempRoot root_;
    std::unique_ptr<void, DlClose> handle_;
    void (*load)(QMenu *) = nullptr;
    void (*loadEx)(QMenu *, QueryFn) = nullptr;
    void (*showFile)(const char *) = nullptr;
    void (*unload)() = nullptr;
};

TEST_F(PluginTest, EntryGoesFirstIntoTheMenuAndLeavesWithUnload) {
    QMenu menu;
    QAction *own = menu.addAction(QStringLiteral("Host"));
    load(&menu);
    ASSERT_EQ(menu.actions().size(), 2);
    EXPECT_EQ(menu.actions()[0]->text(), kEntry);
    EXPECT_EQ(menu.actions()[1], own);

    unload();
    EXPECT_EQ(menu.actions(), QList<QAction *>{own});
    unload();  // a second unload is harmless
    EXPECT_EQ(menu.actions(), QList<QAction *>{own});
}

TEST_F(PluginTest, EntryIntoAnEmptyMenuAndASecondLoadLeavesOneEntry) {
    QMenu menu;
    load(&menu);
    load(&menu);
    ASSERT_EQ(menu.actions().size(), 1);
    EXPECT_EQ(menu.actions()[0]->text(), kEntry);
}

TEST_F(PluginTest, LoadWithoutMenuMakesOnlyTheHiddenSettingsWindow) {
    ModalDriver driver;
    ::mkdir(root_.file("drive_c").c_str(), 0755);
    ::mkdir(root_.file("drive_c/VELD").c_str(), 0755);
    loadEx(nullptr, nullptr);
    QPointer<QWidget> window = topLevel(QStringLiteral("VideoForm"));
    ASSERT_TRUE(window);
    EXPECT_FALSE(window->isVisible());
    EXPECT_TRUE(isDirectory(mapped("C:\\VELD\\ZORVIDEO")));

    unload();
    EXPECT_TRUE(window.isNull());
    EXPECT_TRUE(driver.messages.empty());
}

TEST_F(PluginTest, UnloadWithoutLoadIsHarmless) {
    unload();
    unload();
    EXPECT_EQ(topLevel(QStringLiteral("VideoForm")), nullptr);
}

TEST_F(PluginTest, TheHostMayDestroyItsMenuBeforeUnload) {
    auto menu = std::make_unique<QMenu>();
    load(menu.get());
    menu.reset();
    unload();
    EXPECT_EQ(topLevel(QStringLiteral("VideoForm")), nullptr);
}

TEST_F(PluginTest, OnlyTheLastLevelOfTheRecordingFolderIsCreatedAndNothingIsReported) {
    ModalDriver driver;
    QMenu menu;
    // No C:\VELD: nothing is created, nothing said.
    ::mkdir(root_.file("drive_c").c_str(), 0755);
    load(&menu);
    EXPECT_FALSE(isDirectory(mapped("C:\\VELD")));
    unload();

    // A file where the folder should be: passed over, the file kept.
    zvtest::writeFile(mapped("C:\\VELD\\ZORVIDEO"), "not a folder");
    load(&menu);
    EXPECT_EQ(zvtest::readFile(mapped("C:\\VELD\\ZORVIDEO")), "not a folder");
    unload();
    EXPECT_TRUE(driver.messages.empty());
}

TEST_F(PluginTest, TheFolderComesFromTheConfiguredRecordingFile) {
    zvtest::writeFile(mapped("C:\\WINDOWS\\cnf.INI"),
                      "[ZORVideo]\r\nzvOutFile=C:\\DATA\\REC\\day.zvf\r\n");
    ::mkdir(root_.file("drive_c/VELD").c_str(), 0755);
    ::mkdir(root_.file("drive_c/DATA").c_str(), 0755);
    load(nullptr);
    EXPECT_TRUE(isDirectory(mapped("C:\\DATA\\REC")));
    EXPECT_FALSE(isDirectory(mapped("C:\\VELD\\ZORVIDEO")));
}

TEST_F(PluginTest, ANetworkOrRelativeRecordingFileMakesNoFolderInTheWorkingDirectory) {
    // Such paths cannot be mapped: nothing is created for them, wherever the host runs.
    const std::string work = root_.file("work");
    ::mkdir(work.c_str(), 0755);
    char previous[4096];
    ASSERT_TRUE(::getcwd(previous, sizeof previous));
    ASSERT_EQ(::chdir(work.c_str()), 0);
    for (const char *outFile : {"\\\\server\\share\\BigFile.zvf", "rec\\x.zvf"}) {
        zvtest::writeFile(mapped("C:\\WINDOWS\\cnf.INI"),
                          std::string("[ZORVideo]\r\nzvOutFile=") + outFile + "\r\n");
        load(nullptr);
        unload();
    }
    EXPECT_TRUE(std::filesystem::is_empty(work));
    ASSERT_EQ(::chdir(previous), 0);
}

TEST_F(PluginTest, TheEntryShowsTheSettingsWindowModallyAskingTheHostEachTime) {
    QMenu menu;
    loadEx(&menu, &recordingQuery);
    auto buttonsVisible = [](QWidget &window, bool *visible) {
        const auto *go = window.findChild<QPushButton *>(QStringLiteral("bGo"));
        const auto *add = window.findChild<QPushButton *>(QStringLiteral("bAddAuto"));
        *visible = go && add && go->isVisible() && add->isVisible();
    };

    bool visible = false;
    g_answer = 1;
    EXPECT_EQ(chooseEntry(menu, [&](QWidget &w) { buttonsVisible(w, &visible); }),
              std::vector<QString>{QStringLiteral("VideoForm")});
    EXPECT_FALSE(visible);

    g_answer = 0;
    EXPECT_EQ(chooseEntry(menu, [&](QWidget &w) { buttonsVisible(w, &visible); }),
              std::vector<QString>{QStringLiteral("VideoForm")});
    EXPECT_TRUE(visible);

    EXPECT_EQ(g_questions, (std::vector<std::pair<int32_t, int32_t>>{{56, 0}, {56, 0}}));
    // The window outlives its showings; it is hidden again, not destroyed.
    ASSERT_TRUE(topLevel(QStringLiteral("VideoForm")));
    EXPECT_FALSE(topLevel(QStringLiteral("VideoForm"))->isVisible());
}

TEST_F(PluginTest, WithoutAQueryTheServiceButtonsStayAsTheyAre) {
    QMenu menu;
    load(&menu);
    bool visible = false;
    chooseEntry(menu, [&](QWidget &w) {
        visible = w.findChild<QPushButton *>(QStringLiteral("bStop"))->isVisible();
    });
    EXPECT_TRUE(visible);
    EXPECT_TRUE(g_questions.empty());
}

TEST_F(PluginTest, ShowFileWithoutAFileReturnsAtOnceShowingNothing) {
    ::mkdir(root_.file("drive_c").c_str(), 0755);
    ModalDriver driver;
    showFile(nullptr);
    showFile("");
    showFile("C:\\VELD\\ZORVIDEO\\missing.zvf");
    showFile("C:\\");  // a folder is no file
    EXPECT_TRUE(driver.windows.empty());
    EXPECT_TRUE(driver.messages.empty());
}

TEST_F(PluginTest, ShowFileShowsTheViewerUntilClosedBeforeLoadAndAfterUnload) {
    const std::string file = writeSample();
    auto showOnce = [&] {
        QString title;
        ModalDriver driver([&](QWidget &w) { title = w.windowTitle(); });
        showFile(file.c_str());
        EXPECT_EQ(driver.windows, std::vector<QString>{QStringLiteral("ShowVideoForm")});
        EXPECT_TRUE(title.endsWith(QString::fromStdString(file))) << title.toStdString();
        EXPECT_TRUE(driver.messages.empty());
        // The viewer lives only during the call.
        EXPECT_EQ(topLevel(QStringLiteral("ShowVideoForm")), nullptr);
    };
    showOnce();
    QMenu menu;
    load(&menu);
    showOnce();
    unload();
    showOnce();
}

TEST_F(PluginTest, AnErrorOfTheViewerIsShownAndDoesNotReachTheHost) {
    // A socket exists as a file but cannot be opened for reading: the viewer throws.
    ::mkdir(root_.file("drive_c").c_str(), 0755);
    const std::string socketPath = mapped("C:\\socket.zvf");
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_GE(fd, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    ASSERT_LT(socketPath.size(), sizeof address.sun_path);
    std::memcpy(address.sun_path, socketPath.c_str(), socketPath.size() + 1);
    ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr *>(&address), sizeof address), 0);

    ModalDriver driver;
    showFile("C:\\socket.zvf");
    ::close(fd);
    ASSERT_EQ(driver.messages.size(), 1u);
    EXPECT_TRUE(driver.messages[0].contains(QStringLiteral("socket.zvf")))
        << driver.messages[0].toStdString();
    EXPECT_TRUE(driver.windows.empty());
    EXPECT_EQ(topLevel(QStringLiteral("ShowVideoForm")), nullptr);
}

TEST_F(PluginTest, AFreedLibraryLeavesNothingDanglingInQt) {
    // The settings window's fonts reach Qt's font cache with names the module owns.
    QMenu menu;
    load(&menu);
    unload();
    unload = nullptr;
    handle_.reset();

    QFont tahoma(QStringLiteral("Tahoma"), 8);
    tahoma.setFamilies({QStringLiteral("Tahoma"), QStringLiteral("Liberation Sans")});
    EXPECT_GT(QFontMetrics(tahoma).height(), 0);
    QGroupBox box;
    box.setFont(tahoma);
    box.setTitle(QStringLiteral("Title"));
    EXPECT_GT(QFontMetrics(box.font()).horizontalAdvance(box.title()), 0);
}

}  // namespace
