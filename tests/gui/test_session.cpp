// A signal that ends the session closes the window as a close does, settings written with the
// folder shown; a signal ignored at start stays ignored.
#include <QPointer>
#include <QTest>
#include <csignal>

#include "TestSupport.h"
#include "mainwindow/frmWAV.h"
#include "startup/AppModul.h"
#include "startup/Globals.h"
#include "startup/SessionEnd.h"

class SessionTest : public QObject {
    Q_OBJECT
  private slots:
    void signalsEndAsACloseDoes() {
        for (int signal : {SIGTERM, SIGHUP, SIGINT, -SIGHUP}) {  // the last ignored at start
            const bool ignored = signal < 0;
            signal = std::abs(signal);
            testsupport::TempDir root;
            const std::string lib = root.mkdir("lib/Kicks").substr(0, root.path().size() + 4);
            root.mkdir("app");
            auto before = ::signal(signal, ignored ? SIG_IGN : SIG_DFL);
            auto watch = WatchSessionEnd();
            Main(lib + "/Kicks", root.file("app/wavplayer"));  // shows the folder holding Kicks
            QPointer<frmWAV> form = MainForm();
            QVERIFY(form && QTest::qWaitForWindowExposed(form));
            ::raise(signal);
            QCoreApplication::processEvents();
            QTRY_VERIFY(ignored ? ::signal(signal, SIG_IGN) == SIG_IGN && form && !form->Closing()
                                : !form || form->Closing());
            const std::string ini = testsupport::ReadAll(IniFile);
            QCOMPARE(ini.find("LastDir=" + lib + "/\n") == std::string::npos, ignored);
            watch.reset();
            ::signal(signal, before);
            CloseMainForm();
        }
    }
};

QTEST_MAIN(SessionTest)
#include "test_session.moc"
