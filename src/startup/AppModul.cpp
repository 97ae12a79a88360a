#include "startup/AppModul.h"

#include <sys/stat.h>
#include <unistd.h>

#include <QApplication>
#include <QEvent>
#include <QPointer>
#include <QTimer>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>

#include "mainwindow/PathListView.h"
#include "mainwindow/frmWAV.h"
#include "platform/libindex.h"
#include "startup/Globals.h"
#include "startup/SessionEnd.h"
#include "util/Commands.h"

namespace {

QPointer<frmWAV> g_form;

// The user's config folder, where the settings go when the program's folder is read-only.
std::string ConfigDir() {
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    if (xdg && *xdg == '/') return std::string(xdg) + "/";
    const char* home = std::getenv("HOME");
    return std::string(home && *home ? home : "") + "/.config/";
}

// A relative argument that names something below the working folder is made absolute, as a
// user typing "wavplayer kick.wav" in a terminal means; anything else stays as it was given.
std::string Absolute(const std::string& text) {
    struct stat st;
    if (text.empty() || text[0] == '/' || ::stat(text.c_str(), &st) != 0) return text;
    std::string cwd;
    for (size_t size = 256;; size *= 2) {
        cwd.resize(size);
        if (getcwd(cwd.data(), size)) break;
        if (errno != ERANGE) return text;
    }
    cwd.resize(std::char_traits<char>::length(cwd.c_str()));
    return AddBackslash(cwd) + text;
}

// Runs a function once, after the first paint of the widget it watches.
class FirstPaint : public QObject {
  public:
    FirstPaint(QObject* parent, std::function<void()> then)
        : QObject(parent), then_(std::move(then)) {}
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint && then_) {
            auto then = std::move(then_);
            then_ = nullptr;
            QTimer::singleShot(0, this, then);
        }
        return false;
    }

  private:
    std::function<void()> then_;
};

// Hooks for tests that drive the installed program from a script: WAVPLAYER_SELFTEST=1 prints
// the window's size and the listed entries after start-up, WAVPLAYER_QUIT_AFTER_MS=n closes the
// window after n ms through the normal close path.
void TestHooks() {
    frmWAV* form = g_form;
    if (!form) return;
    const char* selftest = std::getenv("WAVPLAYER_SELFTEST");
    if (selftest && std::string(selftest) == "1") {
        std::printf("size: %dx%d\n", form->width(), form->height());
        // The outer frame in device pixels: what the settings file's twips describe.
        double dpr = form->devicePixelRatioF();
        QSize frame = form->frameGeometry().size();
        std::printf("frame: %ldx%ld\n", std::lround(frame.width() * dpr),
                    std::lround(frame.height() * dpr));
        for (const PathEntry& e : form->logic.Entries()) std::printf("entry: %s\n", e.text.c_str());
        std::fflush(stdout);
    }
    if (const char* quit = std::getenv("WAVPLAYER_QUIT_AFTER_MS")) {
        // Counted from the first time the list is painted, so a run always shows a frame.
        int ms = std::atoi(quit);
        if (ms >= 0) {
            auto* filter = new FirstPaint(form->lstPath->viewport(), [form, ms] {
                QTimer::singleShot(ms, form, [form] { form->close(); });
            });
            form->lstPath->viewport()->installEventFilter(filter);
        }
    }
}

}  // namespace

void InitSettingsFile() {
    AppTitle = "Brimvale WAV-Player/Looper";
    std::string name = ExeName + ".ini";
    if (access(AppDir.c_str(), W_OK) == 0) {
        IniFile = AppDir + name;  // AppDir is already the real folder of the executable
    } else {
        // Like a protected program folder: settings live in the user's config folder instead.
        std::string dir = ConfigDir();
        ::mkdir(dir.c_str(), 0700);
        IniFile = dir + name;
    }
}

void Main(const std::string& commandLine, const std::string& exePath) {
    if (exePath.empty())
        InitGlobals();
    else
        InitGlobalsFrom(exePath);
    InitSettingsFile();
    libindex::UseDefault();  // opened by the first worker that needs it
    StartDir = FormLogic::StartFolder(Absolute(commandLine));
    if (!g_form) g_form = new frmWAV();
    frmWAV& form = *g_form;
    form.setAttribute(Qt::WA_DeleteOnClose);
    form.OpenAndRebuild(StartDir);
    form.SetLabelText(StartDir);
    RestoreSavedState(form);
    form.setWindowTitle(QString::fromStdString(AppTitle));
    form.show();
}

frmWAV* MainForm() { return g_form; }

void CloseMainForm() { delete g_form.data(); }

int RunProgram(int argc, char** argv) {
    QApplication app(argc, argv);
    std::string commandLine;
    for (int i = 1; i < argc; ++i) {
        if (i > 1) commandLine += ' ';
        commandLine += argv[i];
    }
    auto sessionEnd = WatchSessionEnd();
    Main(commandLine);
    TestHooks();
    return app.exec();
}
