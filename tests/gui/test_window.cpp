// What only the widgets show: keys and mouse on the list, menu, colours, resize, drops,
// keep-on-top and the saved state applied. The sound service is recorded: "name", "loop:name"
// or "STOP", names relative to the library folder.
#include <QAction>
#include <QApplication>
#include <QComboBox>
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

    // Steps: keys by name ("held": a Down key held down, the press and release it repeats),
    // dbl:, click:, mid: and right: on an entry, buttons and menu items by name, drive, hide. Then
    // what was heard ("menu": a menu opened), and when given the list's colours, the caption,
    // keep-on-top, the folder, the label and the focus.
    void steps_data() {
        QTest::addColumn<QString>("steps");
        QTest::addColumn<QStringList>("heard");
        QTest::addColumn<QString>("shown");
        using L = QStringList;
        // clang-format off
        QTest::newRow("Page Down goes a page down") << "PgDown" << L{"b.wav"} << "";
        for (const char* k : {"Home", "PgUp", "Up", "Down"})  // to [..]
            QTest::newRow(qPrintable(QString("%1 starts on the first entry").arg(k))) << QString(k) + " Down Down" << L{"[intro].wav"} << "";
        QTest::newRow("walking up plays each file") << "End Up Up" << L{"b.wav", "a.wav", "[intro].wav"} << "";
        QTest::newRow("a held key plays at its release only") << "Home held held held Down" << L{"b.wav"} << "";
        QTest::newRow("Enter and Shift replay, Space and Escape stop") << "End Return Shift Space Esc" << L{"b.wav", "b.wav", "b.wav", "STOP", "STOP"} << "";
        QTest::newRow("open [Drums], End plays the last file") << "dbl:[Drums] End" << L{"Drums/snare.WAV"} << "#ffff00/#000000 Brimvale WAV-Player/Looper in lib/Drums label lib/Drums";
        QTest::newRow("Return opens [Drums]") << "Home Down Return End" << L{"Drums/snare.WAV"} << "#ffff00/#000000 Brimvale WAV-Player/Looper in lib/Drums label lib/Drums";
        QTest::newRow("Backspace goes up as .. does") << "dbl:[Drums] Backspace End" << L{"b.wav"} << "#ffff00/#000000 Brimvale WAV-Player/Looper in lib label lib/Drums";
        QTest::newRow("Alt+Up goes up, not up the list") << "dbl:[Drums] Down Alt+Up End" << L{"b.wav"} << "#ffff00/#000000 Brimvale WAV-Player/Looper in lib label lib/Drums";
        QTest::newRow("open [Drums], Down starts on the first entry") << "dbl:[Drums] Down Down Down" << L{"Drums/kick.wav"} << "";
        QTest::newRow("after [..], End plays the last file there") << "dbl:[Drums] dbl:[..] End" << L{"b.wav"} << "";
        QTest::newRow("buttons give the focus to the list") << "dbl:[Drums] cmdBack" << L{} << "#ffff00/#000000 Brimvale WAV-Player/Looper in lib label lib/Drums";
        QTest::newRow("reload keeps the label") << "dbl:[Drums] cmdBack Command2" << L{} << "#ffff00/#000000 Brimvale WAV-Player/Looper in lib label lib/Drums";
        QTest::newRow("left, middle and double clicks play") << "click:a.wav mid:b.wav dbl:a.wav" << L{"a.wav", "b.wav", "a.wav", "a.wav"} << "";
        QTest::newRow("the menu on the selection, Loop colours") << "click:a.wav right:[Drums] mnuPlay mnuLoop" << L{"a.wav", "menu", "a.wav", "loop:a.wav"} << "#dc648c/#ffffff Brimvale WAV-Looper in lib label lib/";
        QTest::newRow("Loop off") << "click:a.wav mnuLoop mnuStop mnuLoop" << L{"a.wav", "loop:a.wav", "STOP", "STOP"} << "#ffff00/#000000 Brimvale WAV-Player in lib label lib/";
        QTest::newRow("a volume that cannot be opened") << "drive" << L{"same drive"} << "#ffff00/#000000 Brimvale WAV-Player/Looper in lib label lib/";
        QTest::newRow("kept on top") << "mnuKeepTop" << L{} << "#ffff00/#000000 Brimvale WAV-Player/Looper on top in lib label lib/";
        QTest::newRow("on top and off") << "mnuKeepTop mnuKeepTop" << L{} << "#ffff00/#000000 Brimvale WAV-Player/Looper in lib label lib/";
        QTest::newRow("hidden stays hidden") << "hide mnuKeepTop" << L{} << "#ffff00/#000000 Brimvale WAV-Player/Looper on top hidden in lib label lib/";
        // clang-format on
    }
    void steps() {
        QFETCH(QString, steps);
        QFETCH(QString, shown);
        const QRect placed = Run().frameGeometry();
        for (const QString& step : steps.split(' ')) {
            const QString op = step.section(':', 0, 0);
            const std::string entry = step.section(':', 1).toStdString();
            if (auto* item = form->findChild<QAction*>(op)) item->trigger();
            if (auto* button = form->findChild<QPushButton*>(op))
                form->lstPath->setFocus(), button->click();
            if (op == "dbl") DoubleClick(entry);
            if (op == "click" || op == "mid")
                QTest::mouseClick(List(), op == "mid" ? Qt::MiddleButton : Qt::LeftButton, {},
                                  At(entry));
            if (op == "right") QTest::mousePress(List(), Qt::RightButton, {}, At(entry));
            if (op == "right" && form->mnuPop->isVisible()) heard << "menu";
            if (op == "hide") form->hide();
            if (op == "drive") {  // a volume that cannot be opened is chosen in the box
                const int was = form->drvDrives->currentIndex(), gone = form->drvDrives->count();
                form->drvDrives->addItem("gone", QByteArray("/nowhere/gone"));
                form->drvDrives->setCurrentIndex(gone);
                emit form->drvDrives->activated(gone);
                heard << (form->drvDrives->currentIndex() == was ? "same drive" : "other drive");
            }
            for (auto type : {QEvent::KeyPress, QEvent::KeyRelease}) {
                QKeyEvent event(type, Qt::Key_Down, Qt::NoModifier, QString(), true);
                if (op == "held") QApplication::sendEvent(form->lstPath, &event);
            }
            const QKeyCombination key = op == "Shift" ? Qt::Key_Shift : QKeySequence(op)[0];
            if (op[0].isUpper() && !form->findChild<QObject*>(op))
                QTest::keyClick(form->lstPath, key.key(), key.keyboardModifiers());
        }
        QTEST(heard, "heard");
        const bool onTop = form->windowFlags().testFlag(Qt::WindowStaysOnTopHint);
        QVERIFY(form->mnuKeepTop->isChecked() == onTop && OnTopMode == onTop);
        QVERIFY(!form->isVisible() || form->frameGeometry() == placed);
        const QString state =
            Base().name() + "/" + form->lstPath->palette().color(QPalette::Text).name() + " " +
            form->windowTitle() + (onTop ? " on top" : "") + (form->isVisible() ? "" : " hidden") +
            " in " + QString::fromStdString(form->dirDirs.Path().substr(lib.size() - 3)) +
            " label " + QString::fromStdString(form->LabelText().substr(lib.size() - 3)) +
            (form->cmdDummy->hasFocus() ? " dummy" : "");
        if (!shown.isEmpty()) QCOMPARE(state, shown);
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
