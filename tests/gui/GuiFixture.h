// Shared set-up of the window tests: a program folder with its stop sound, a library of
// folders and WAV files, and the window started on them with the sound service recorded.
#pragma once
#include <QAction>
#include <QApplication>
#include <QListView>
#include <QTest>
#include <memory>

#include "Recorder.h"
#include "TestSupport.h"
#include "mainwindow/PathListView.h"
#include "mainwindow/frmWAV.h"
#include "startup/AppModul.h"
#include "startup/Globals.h"

namespace gui {

struct Program {
    testsupport::TempDir root;
    std::string appDir;  // ends in "/"
    std::string exe;
    testsupport::Recorder recorder;

    Program() {
        appDir = root.mkdir("app") + "/";
        exe = appDir + "wavplayer";
        root.write("app/STOP.wav", "");
    }
    ~Program() { CloseMainForm(); ResetGlobals(); }

    static void ResetGlobals() {
        AppDir = ExeName = AppTitle = IniFile = CmdLinePath = StartDir = CurrentWave = "";
        LoopMode = OnTopMode = 0;
    }

    // Starts the program as the command line would, and waits until the window is shown.
    frmWAV& Start(const std::string& commandLine = "") {
        Main(commandLine, exe);
        frmWAV* f = MainForm();
        QTEST_ASSERT(f);
        (void)QTest::qWaitForWindowExposed(f);
        return *f;
    }

    std::string StopPath() const { return appDir + "STOP.wav"; }
};

inline std::vector<std::string> Texts(const frmWAV& f) {
    std::vector<std::string> out;
    for (const PathEntry& e : f.lstPathModel->Entries()) out.push_back(e.text);
    return out;
}

inline int RowOf(const frmWAV& f, const std::string& text) {
    const auto& e = f.lstPathModel->Entries();
    for (size_t i = 0; i < e.size(); ++i)
        if (e[i].text == text) return static_cast<int>(i);
    return -1;
}

inline QPoint RowCenter(const frmWAV& f, int row) {
    return f.lstPath->visualRect(f.lstPathModel->index(row)).center();
}

}  // namespace gui
