// Shared set-up of the window tests: a program folder with its stop sound, a library of
// folders and WAV files, and the window started on them with the sound service recorded.
#pragma once
#include <QAction>
#include <QApplication>
#include <QListView>
#include <QMimeData>
#include <QPushButton>
#include <QTest>
#include <QUrl>
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
    // Creates empty files, and folders for names ending in "/", under the temporary folder.
    void Make(std::initializer_list<std::string> names) {
        for (const std::string& n : names) n.back() == '/' ? root.mkdir(n) : root.write(n, "");
    }
    ~Program() {
        CloseMainForm();
        ResetGlobals();
    }

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

// Selects the entry shown as text (-1 when there is none) and clicks or double-clicks it.
inline void Click(frmWAV& f, const std::string& text) {
    f.SetListIndex(RowOf(f, text));
    f.lstPath_MouseDown(1, 0, 0, 0);
}
inline void DoubleClick(frmWAV& f, const std::string& text) {
    f.SetListIndex(RowOf(f, text));
    f.lstPath_DblClick();
}

// Drops files as URLs in which every byte but "/" and the unreserved ones is escaped, so that
// they carry the exact bytes of the names.
inline void Drop(frmWAV& f, const std::vector<std::string>& paths) {
    QList<QUrl> urls;
    for (const std::string& p : paths)
        urls << QUrl::fromEncoded("file://" + QByteArray::fromStdString(p).toPercentEncoding("/"));
    QMimeData data;
    data.setUrls(urls);
    f.lstPath_OLEDragDrop(&data);
}

}  // namespace gui
