// What only the widgets show: keys and mouse on the list, menu, colours, resize, drops,
// keep-on-top and the saved state applied. The sound service is recorded: "name", "loop:name"
// or "STOP", names relative to the library folder.
#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QMenu>
#include <QMimeData>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QUrl>

#include "TestSupport.h"
#include "mainwindow/PathListModel.h"
#include "mainwindow/PathListView.h"
#include "mainwindow/frmWAV.h"
#include "sound/Sound.h"
#include "startup/AppModul.h"
#include "startup/Globals.h"
#include "util/WindowCommands.h"

class WindowTest : public QObject, Sound::Player {
    Q_OBJECT

    std::unique_ptr<testsupport::TempDir> root;
    std::string appDir, lib;
    QStringList heard;
    frmWAV* form = nullptr;

    void Start(const std::string& path, bool loop) override {
        const std::string name = path == appDir + "STOP.wav" ? "STOP" : path.substr(lib.size() + 1);
        heard << (loop ? "loop:" : "") + QString::fromStdString(name);
    }
    // Starts the program on the library's a.wav after writing the settings given; the list
    // lists [..] [Drums] [intro].wav a.wav b.wav.
    frmWAV& Run(const std::string& settings = "") {
        if (!settings.empty())
            root->write("app/wavplayer.ini", "[Brimvale WAV-Player/Looper]\n" + settings);
        Main(lib + "/a.wav", appDir + "wavplayer");
        QTEST_ASSERT(MainForm() && QTest::qWaitForWindowExposed(MainForm()));
        form = MainForm();
        form->lstPath->setFocus();
        return *form;
    }
    QWidget* List() const { return form->lstPath->viewport(); }
    QPoint At(const std::string& entry) const {
        int row = 0;
        while (form->logic.Entries()[row].text != entry) ++row;
        return form->lstPath->visualRect(form->lstPathModel->index(row)).center();
    }
    void DoubleClick(const std::string& entry) {
        QTest::mouseDClick(List(), Qt::LeftButton, {}, At(entry));
    }
    void Drop(const QList<QUrl>& urls) {
        QMimeData data;
        data.setUrls(urls);
        QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &data, Qt::LeftButton, {});
        QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &data, Qt::LeftButton, {});
        QApplication::sendEvent(List(), &enter);
        QApplication::sendEvent(List(), &drop);
    }
    QColor Base() const { return form->lstPath->palette().color(QPalette::Base); }

    // In a row of keys clicked on the list: a Down key held down, the press and release it
    // repeats.
    static constexpr int Held = -1;

  private slots:
    void init() {
        root = std::make_unique<testsupport::TempDir>();
        appDir = root->mkdir("app") + "/";
        lib = root->mkdir("lib/Drums/Deep").substr(0, root->path().size() + 4);
        for (const char* f : {"app/STOP.wav", "lib/a.wav", "lib/b.wav", "lib/[intro].wav",
                              "lib/Drums/kick.wav", "lib/Drums/snare.WAV"})
            root->write(f, "");
        Sound::SetPlayer(this);
    }
    void cleanup() {
        CloseMainForm();
        Sound::SetPlayer(nullptr);
        AppDir = ExeName = AppTitle = IniFile = CmdLinePath = StartDir = CurrentWave = "";
        LoopMode = OnTopMode = 0;
        heard.clear();
        root.reset();
    }

    void keys_data() {
        QTest::addColumn<QStringList>("opened");  // folder entries double-clicked first
        QTest::addColumn<QList<int>>("keys");
        QTest::addColumn<QStringList>("heard");
        using L = QStringList;
        using K = QList<int>;
        // clang-format off
        QTest::newRow("Page Down goes a page down") << L{} << K{Qt::Key_PageDown} << L{"b.wav"};
        for (int k : {Qt::Key_Home, Qt::Key_PageUp, Qt::Key_Up, Qt::Key_Down})  // to [..]
            QTest::newRow(qPrintable(QString("key %1 starts on the first entry").arg(k))) << L{} << K{k, Qt::Key_Down, Qt::Key_Down} << L{"[intro].wav"};
        QTest::newRow("walking up plays each file") << L{} << K{Qt::Key_End, Qt::Key_Up, Qt::Key_Up} << L{"b.wav", "a.wav", "[intro].wav"};
        QTest::newRow("a held key plays at its release only") << L{} << K{Qt::Key_Home, Held, Held, Held, Qt::Key_Down} << L{"b.wav"};
        QTest::newRow("Enter and Shift replay, Space and Escape stop") << L{} << K{Qt::Key_End, Qt::Key_Return, Qt::Key_Shift, Qt::Key_Space, Qt::Key_Escape} << L{"b.wav", "b.wav", "b.wav", "STOP", "STOP"};
        QTest::newRow("open [Drums], End plays the last file") << L{"[Drums]"} << K{Qt::Key_End} << L{"Drums/snare.WAV"};
        QTest::newRow("open [Drums], Down starts on the first entry") << L{"[Drums]"} << K{Qt::Key_Down, Qt::Key_Down, Qt::Key_Down} << L{"Drums/kick.wav"};
        QTest::newRow("after [..], End plays the last file there") << L{"[Drums]", "[..]"} << K{Qt::Key_End} << L{"b.wav"};
        // clang-format on
    }
    void keys() {
        QFETCH(QStringList, opened);
        QFETCH(QList<int>, keys);
        Run();
        for (const QString& entry : opened) DoubleClick(entry.toStdString());
        for (int key : keys) {
            if (key != Held) QTest::keyClick(form->lstPath, Qt::Key(key));
            for (auto type : {QEvent::KeyPress, QEvent::KeyRelease}) {
                QKeyEvent event(type, Qt::Key_Down, Qt::NoModifier, QString(), true);
                if (key == Held) QApplication::sendEvent(form->lstPath, &event);
            }
        }
        QTEST(heard, "heard");
    }

    void mouseMenuButtonsAndKeepOnTop() {
        const QRect before = Run().frameGeometry();
        QCOMPARE(form->LabelText(), lib + "/");
        DoubleClick("[Drums]");
        QCOMPARE(form->lblPath->text().toStdString(), lib + "/Drums");
        for (QPushButton* button : {form->cmdBack, form->Command2}) {  // Back, then reload
            form->lstPath->setFocus();
            button->click();
            QVERIFY(form->cmdDummy->hasFocus());
        }
        QCOMPARE(form->dirDirs.Path() + "|" + form->LabelText(), lib + "|" + lib + "/Drums");
        QTest::mouseClick(List(), Qt::LeftButton, {}, At("a.wav"));
        QTest::mouseClick(List(), Qt::MiddleButton, {}, At("b.wav"));
        DoubleClick("a.wav");
        // A right press opens the menu on the selection, which stays where it was.
        QTest::mousePress(List(), Qt::RightButton, {}, At("[Drums]"));
        QVERIFY(form->mnuPop->isVisible());
        form->mnuPop->close();
        form->mnuPlay->trigger();
        form->mnuLoop->trigger();
        QCOMPARE(Base(), QColor(220, 100, 140));
        QCOMPARE(form->lstPath->palette().color(QPalette::Text), QColor(255, 255, 255));
        QCOMPARE(form->windowTitle(), QString("Brimvale WAV-Looper"));
        form->mnuStop->trigger();
        form->mnuLoop->trigger();
        QCOMPARE(Base(), QColor(255, 255, 0));
        QCOMPARE(heard, (QStringList{"a.wav", "b.wav", "a.wav", "a.wav", "a.wav", "loop:a.wav",
                                     "STOP", "STOP"}));
        for (bool on : {true, false}) {
            form->mnuKeepTop->trigger();
            QCOMPARE(form->windowFlags().testFlag(Qt::WindowStaysOnTopHint), on);
            QVERIFY(OnTopMode == on && form->isVisible() && form->mnuKeepTop->isChecked() == on);
        }
        QCOMPARE(form->frameGeometry(), before);
        form->hide();  // a hidden window stays hidden
        form->mnuKeepTop->trigger();
        QVERIFY(!form->isVisible() && form->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    }

    void drops() {
        Run();
        // Percent-escapes carry the exact bytes of a name that is not UTF-8.
        const std::string odd = "\xff\xfe 100% #1?.wav";
        QByteArray path = QByteArray::fromStdString(root->write("lib/" + odd, ""));
        Drop({QUrl::fromEncoded("file://" + path.toPercentEncoding("/"))});
        QCOMPARE(form->SelectedText(), odd);
        QVERIFY(!form->lstPath->currentIndex().data().toString().isEmpty());
        Drop({QUrl("https://example.org/a.wav"), QUrl("file://otherhost/tmp")});  // not local files
        QCOMPARE(heard, QStringList{QString::fromStdString(odd)});
        // Pending events run while a drop is handled; closing the window then must be safe.
        QTimer::singleShot(0, form, [this] { form->close(); });
        Drop({QUrl::fromLocalFile(QString::fromStdString(lib + "/a.wav"))});
        QApplication::processEvents();
        QCOMPARE(heard.size(), 1);
    }

    // The saved state applied on the test's 800x800 screen at 96 DPI, and what the next close
    // writes back (in twips: 15 a pixel). Without a Top the window is placed by the default rule:
    // centred across, in the upper 85 % of the screen, never past the top or left edge. The list
    // keeps its margins (14 pixels across, 41 down) as the window is sized, maximised or raised
    // to its created width; a window lower than the list's top leaves it as it was.
    void savedState_data() {
        QTest::addColumn<QString>("settings");
        QTest::addColumn<QString>("shown");  // frame position and size, then the list's size
        QTest::addColumn<QString>("written");
        // clang-format off
        QTest::newRow("maximised keeps the normal geometry") << "Top=1500\nLeft=3000\nHeight=6000\nWidth=5000\n" << "0,0 800x800 782x755" << "Top=1500 Left=3000 Height=6000 Width=4995 Loop=0 OnTop=0";
        QTest::newRow("modes, narrow width raised") << "Top=0\nWidth=1000\nHeight=5000xyz\nloop=1\nontop=1\n" << "0,0 239x333 221x288" << "Top=0 Left=0 Height=4995 loop=1 ontop=1";
        QTest::newRow("no Top") << "Left=900\n" << "283,190 239x305 221x260" << "";
        QTest::newRow("lower than the list's top") << "Height=600\n" << "283,320 239x40 221x260" << "Height=600";
        QTest::newRow("off every screen, taller and wider than it") << "Top=900000\nLeft=900000\nHeight=200000\nWidth=200000\n" << "0,0 13333x13333 13315x13288" << "";
        // clang-format on
    }
    void savedState() {
        QFETCH(QString, settings);
        QFETCH(QString, written);
        frmWAV& f = Run(settings.toStdString());
        const bool modes = settings.contains("loop=1");
        QCOMPARE(f.windowTitle(), QString("Brimvale WAV-Player/Looper"));  // whatever the mode
        QVERIFY(f.mnuLoop->isChecked() == modes &&
                f.windowFlags().testFlag(Qt::WindowStaysOnTopHint) == modes);
        if (written.startsWith("Top=1500")) f.showMaximized();
        QApplication::processEvents();
        const QRect r = f.frameGeometry();
        QTEST(QString("%1,%2 %3x%4 %5x%6")
                  .arg(r.x())
                  .arg(r.y())
                  .arg(r.width())
                  .arg(r.height())
                  .arg(f.lstPath->width())
                  .arg(f.lstPath->height()),
              "shown");
        f.close();
        const QString text = QString::fromStdString(testsupport::ReadAll(appDir + "wavplayer.ini"));
        for (const QString& line : written.split(' ', Qt::SkipEmptyParts))
            QVERIFY2(text.contains("\n" + line + "\n"), qPrintable(text));
    }
};

QTEST_MAIN(WindowTest)
#include "test_window.moc"
