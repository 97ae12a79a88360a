// Shared set-up of the window tests: a program folder with its stop sound, a library of
// folders and WAV files, and the window started on them with the sound service recorded.
#pragma once
#include <QAction>
#include <QApplication>
#include <QTest>

#include "TestSupport.h"
#include "mainwindow/PathListModel.h"
#include "mainwindow/PathListView.h"
#include "mainwindow/frmWAV.h"
#include "sound/Sound.h"
#include "startup/AppModul.h"
#include "startup/Globals.h"

namespace gui {

// Stands in for the sound service: what was started, as "name", "loop:name" or "STOP", with
// names relative to the library folder.
struct Program : Sound::Player {
    testsupport::TempDir root;
    std::string appDir = root.mkdir("app") + "/", lib = root.mkdir("lib");
    QStringList heard;

    Program() {
        Sound::SetPlayer(this);
        root.write("app/STOP.wav", "");
        for (const char* d : {"lib/Drums/Deep", "other"}) root.mkdir(d);
        for (const char* f : {"lib/a.wav", "lib/b.wav", "lib/[intro].wav", "lib/Drums/kick.wav",
                              "lib/Drums/snare.WAV"})
            root.write(f, "");
    }
    ~Program() override {
        CloseMainForm();
        Sound::SetPlayer(nullptr);
        AppDir = ExeName = AppTitle = IniFile = CmdLinePath = StartDir = CurrentWave = "";
        LoopMode = OnTopMode = 0;
    }
    void Start(const std::string& path, bool loop) override {
        QString name = path == appDir + "STOP.wav"
                           ? "STOP"
                           : QString::fromStdString(path.substr(lib.size() + 1));
        heard << (loop ? "loop:" + name : name);
    }
    // Starts the program as the command line would, and waits until the window is shown.
    frmWAV& Run(const std::string& commandLine) {
        Main(commandLine, appDir + "wavplayer");
        QTEST_ASSERT(MainForm() && QTest::qWaitForWindowExposed(MainForm()));
        return *MainForm();
    }
};

inline int RowOf(const frmWAV& f, const std::string& text) {
    for (size_t i = 0; i < f.logic.Entries().size(); ++i)
        if (f.logic.Entries()[i].text == text) return static_cast<int>(i);
    return -1;
}

inline QPoint At(const frmWAV& f, const std::string& text) {
    return f.lstPath->visualRect(f.lstPathModel->index(RowOf(f, text))).center();
}

}  // namespace gui
