// What only the widgets show: keys and mouse on the list, menu, colours, layout, drops,
// keep-on-top, the start folder and the saved state. The sound service is recorded: "name",
// "loop:name" or "STOP", names relative to the library folder.
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
        QString name = path == appDir + "STOP.wav"
                           ? "STOP"
                           : QString::fromStdString(path.substr(lib.size() + 1));
        heard << (loop ? "loop:" + name : name);
    }
    // Starts the program as the command line would; the list lists [..] [Drums] [intro].wav
    // a.wav b.wav for the library.
    frmWAV& Run(const std::string& commandLine) {
        Main(commandLine, appDir + "wavplayer");
        QTEST_ASSERT(MainForm() && QTest::qWaitForWindowExposed(MainForm()));
        form = MainForm();
        form->lstPath->setFocus();
        return *form;
    }
    void WriteIni(const std::string& body) {
        root->write("app/wavplayer.ini", "[Brimvale WAV-Player/Looper]\n" + body);
    }
    std::string Fill(QString s) const {
        return s.replace("@", QString::fromStdString(root->path())).toStdString();
    }
    QWidget* List() const { return form->lstPath->viewport(); }
    QPoint At(const std::string& text) const {
        const QModelIndex first = form->lstPathModel->index(0);
        auto found = first.model()->match(first, Qt::DisplayRole, QString::fromStdString(text), 1,
                                          Qt::MatchExactly);
        return form->lstPath->visualRect(found.value(0)).center();
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

    void firstView() {
        Run(lib + "/a.wav");
        QCOMPARE(form->lblPath->text().toStdString(), lib + "/");
        QFontMetrics list(form->lstPath->font());
        QCOMPARE(list.horizontalAdvance('i'), list.horizontalAdvance('W'));  // monospace
        // The top row: drive box, then the three buttons side by side, all above the list.
        QWidget* row[] = {form->drvDrives, form->cmdRoot, form->cmdBack, form->Command2};
        for (int i = 0; i < 4; ++i)
            QVERIFY(row[i]->geometry().bottom() < form->lstPath->y() &&
                    (i == 0 || row[i]->x() > row[i - 1]->geometry().right()));
        QVERIFY(form->cmdDummy->geometry().right() < 0);  // never seen
    }

    void keys_data() {
        QTest::addColumn<QStringList>("opened");  // folder entries double-clicked first
        QTest::addColumn<QTestEventList>("events");
        QTest::addColumn<QStringList>("heard");
        auto keys = [](std::initializer_list<Qt::Key> ks) {
            QTestEventList events;
            for (Qt::Key k : ks) events.addKeyClick(k);
            return events;
        };
        using L = QStringList;
        // clang-format off
        QTest::newRow("nothing selected, Enter") << L{} << keys({Qt::Key_Return}) << L{};
        QTest::newRow("End plays the last file") << L{} << keys({Qt::Key_End}) << L{"b.wav"};
        QTest::newRow("Page Down goes a page down") << L{} << keys({Qt::Key_PageDown}) << L{"b.wav"};
        for (Qt::Key k : {Qt::Key_Home, Qt::Key_PageUp, Qt::Key_Up, Qt::Key_Down})  // to [..]
            QTest::newRow(qPrintable(QString("key %1 starts on the first entry").arg(k))) << L{} << keys({k, Qt::Key_Down, Qt::Key_Down}) << L{"[intro].wav"};
        QTest::newRow("walking up plays each file") << L{} << keys({Qt::Key_End, Qt::Key_Up, Qt::Key_Up}) << L{"b.wav", "a.wav", "[intro].wav"};
        QTest::newRow("Enter and Shift replay, Space stops") << L{} << keys({Qt::Key_End, Qt::Key_Return, Qt::Key_Shift, Qt::Key_Space}) << L{"b.wav", "b.wav", "b.wav", "STOP"};
        QTest::newRow("a folder entry plays nothing") << L{} << keys({Qt::Key_Home, Qt::Key_Down}) << L{};
        QTest::newRow("after opening a folder, End plays its last file") << L{"[Drums]"} << keys({Qt::Key_End}) << L{"Drums/snare.WAV"};
        QTest::newRow("after opening a folder, Down starts on its first entry") << L{"[Drums]"} << keys({Qt::Key_Down, Qt::Key_Down, Qt::Key_Down}) << L{"Drums/kick.wav"};
        QTest::newRow("after .., End plays the last file there") << L{"[Drums]", "[..]"} << keys({Qt::Key_End}) << L{"b.wav"};
        // clang-format on
    }
    void keys() {
        QFETCH(QStringList, opened);
        QFETCH(QTestEventList, events);
        Run(lib + "/a.wav");
        for (const QString& entry : opened) DoubleClick(entry.toStdString());
        events.simulate(form->lstPath);
        QTEST(heard, "heard");
    }

    void heldKeyPlaysOnlyAtRelease() {
        Run(lib + "/a.wav");
        for (bool repeat : {false, true}) {
            QKeyEvent press(QEvent::KeyPress, Qt::Key_Down, Qt::NoModifier, QString(), repeat);
            QKeyEvent release(QEvent::KeyRelease, Qt::Key_Down, Qt::NoModifier, QString(), true);
            QApplication::sendEvent(form->lstPath, &press);
            QApplication::sendEvent(form->lstPath, &release);
        }
        QCOMPARE(heard, QStringList{});
        QTest::keyClick(form->lstPath, Qt::Key_Down);  // the real release, on the third row
        QCOMPARE(heard, QStringList{"[intro].wav"});
    }

    void mouseMenuAndColours() {
        Run(lib + "/a.wav");
        QTest::mouseClick(List(), Qt::LeftButton, {}, At("a.wav"));
        QTest::mouseClick(List(), Qt::MiddleButton, {}, At("b.wav"));
        DoubleClick("a.wav");
        // A right press opens the menu on the selection, which stays where it was.
        QTest::mousePress(List(), Qt::RightButton, {}, At("[Drums]"));
        QVERIFY(form->mnuPop->isVisible());
        form->mnuPop->close();
        form->mnuPlay->trigger();
        form->mnuLoop->trigger();
        QCOMPARE(form->lstPath->palette().color(QPalette::Base), QColor(220, 100, 140));
        QCOMPARE(form->lstPath->palette().color(QPalette::Text), QColor(255, 255, 255));
        QCOMPARE(form->windowTitle(), QString("Brimvale WAV-Looper"));
        form->mnuStop->trigger();
        form->mnuLoop->trigger();
        QCOMPARE(form->lstPath->palette().color(QPalette::Base), QColor(255, 255, 0));
        QCOMPARE(heard, (QStringList{"a.wav", "b.wav", "a.wav", "a.wav", "a.wav", "loop:a.wav",
                                     "STOP", "STOP"}));
    }

    void buttonsLabelAndFocus() {
        Run(lib + "/a.wav");
        DoubleClick("[Drums]");
        QCOMPARE(form->lblPath->text().toStdString(), lib + "/Drums");
        form->cmdBack->click();
        QCOMPARE(form->dirDirs.Path() + "|" + form->LabelText(),
                 lib + "|" + lib + "/Drums");  // kept
        QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(form->cmdDummy));
        form->lstPath->setFocus();
        form->Command2->click();
        QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(form->cmdDummy));
    }

    void drops() {
        Run(lib + "/a.wav");
        // Percent-escapes carry the exact bytes of a name that is not UTF-8.
        const std::string odd = "\xff\xfe 100% #1?.wav";
        QByteArray path = QByteArray::fromStdString(root->write("lib/" + odd, ""));
        Drop({QUrl::fromEncoded("file://" + path.toPercentEncoding("/"))});
        QCOMPARE(form->SelectedText(), odd);
        QVERIFY(!form->lstPathModel->data(form->lstPath->currentIndex(), Qt::DisplayRole)
                     .toString()
                     .isEmpty());
        Drop({QUrl("https://example.org/a.wav"), QUrl("file://otherhost/tmp")});  // not local files
        QCOMPARE(heard, QStringList{QString::fromStdString(odd)});
        // Pending events run while a drop is handled; closing the window then must be safe.
        QTimer::singleShot(0, form, [this] { form->close(); });
        Drop({QUrl::fromLocalFile(QString::fromStdString(lib + "/a.wav"))});
        QApplication::processEvents();
        QCOMPARE(heard.size(), 1);
    }

    void keepOnTop() {
        QRect before = Run(lib + "/a.wav").frameGeometry();
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

    void resizeRule_data() {
        QTest::addColumn<int>("widthTwips");
        QTest::addColumn<int>("heightTwips");
        QTest::newRow("narrower than created springs back") << 2000 << 5000;
        QTest::newRow("wider and taller") << 9000 << 8000;
        QTest::newRow("lower than the list's top") << 5000 << 600;
    }
    void resizeRule() {
        QFETCH(int, widthTwips);
        QFETCH(int, heightTwips);
        int listHeightBefore = Run("").lstPath->height();
        form->resize(TwipsToPixels(widthTwips), TwipsToPixels(heightTwips));
        QApplication::processEvents();
        QCOMPARE(form->width(), TwipsToPixels(std::max(3525, widthTwips)));
        // The list keeps its margins: 120 left, 90 right, 105 below.
        QCOMPARE(form->lstPath->pos(), QPoint(TwipsToPixels(120), TwipsToPixels(510)));
        QVERIFY(qAbs(form->lstPath->width() - (form->width() - TwipsToPixels(210))) <= 1);
        int expectHeight =
            heightTwips > 615 ? form->height() - TwipsToPixels(615) : listHeightBefore;
        QVERIFY(qAbs(form->lstPath->height() - expectHeight) <= 1);
        QRect before = form->lstPath->geometry();
        form->showMinimized();
        QApplication::processEvents();
        form->showNormal();
        QApplication::processEvents();
        QCOMPARE(form->lstPath->geometry(), before);
    }

    void startFolder_data() {
        QTest::addColumn<QString>("argument");  // "@" stands for the temporary folder
        QTest::addColumn<QString>("settings");
        QTest::addColumn<QString>("shown");
        QTest::addColumn<QString>("label");
        // clang-format off
        QTest::newRow("no argument, no settings") << "" << "" << "@/app" << "@/app/";
        QTest::newRow("saved folder, lower-case key") << "" << "lastdir=@/lib/Drums/" << "@/lib/Drums" << "@/lib/Drums/";
        QTest::newRow("saved folder gone") << "" << "LastDir=@/gone/" << "@/app" << "@/app/";
        QTest::newRow("file argument") << "@/lib/Drums/kick.wav" << "LastDir=@/app/" << "@/lib/Drums" << "@/lib/Drums/";
        QTest::newRow("folder argument opens its parent") << "@/lib/Drums" << "" << "@/lib" << "@/lib/";
        QTest::newRow("blanks are part of one path") << "@/lib/a.wav @/lib/Drums/kick.wav" << "" << "@/app" << "@/lib/a.wav @/lib/Drums/";
        QTest::newRow("quoted argument is refused") << "\"@/lib/a.wav\"" << "" << "@/app" << "\"@/lib/";
        // clang-format on
    }
    void startFolder() {
        QFETCH(QString, argument);
        QFETCH(QString, settings);
        QFETCH(QString, shown);
        QFETCH(QString, label);
        if (!settings.isEmpty()) WriteIni(Fill(settings) + "\n");
        frmWAV& f = Run(Fill(argument));
        QCOMPARE(f.dirDirs.Path(), Fill(shown));
        // The recasing of a path that cannot be resolved changes letters; compare without case.
        QCOMPARE(QString::fromStdString(f.LabelText()).toLower(),
                 QString::fromStdString(Fill(label)).toLower());
        QVERIFY(f.ListIndex() == -1 && heard.isEmpty());
    }

    // What the saved settings set, and what the next close writes back (in twips: pixels are
    // whole, 15 twips at 96 DPI); then where the window was placed: "rule" by the default rule
    // (centred across, in the upper 85 % of the screen, never past the top or left edge).
    void savedSettings_data() {
        QTest::addColumn<QString>("settings");
        QTest::addColumn<bool>("maximise");
        QTest::addColumn<QString>("written");
        QTest::addColumn<bool>("placed");
        const QString saved = "Top=1500\nLeft=3000\nHeight=6000\nWidth=5000\n";
        const QString back = "Top=1500 Left=3000 Height=6000 Width=4995 Loop=0 OnTop=0";
        // clang-format off
        QTest::newRow("geometry") << saved << false << back << false;
        QTest::newRow("maximised keeps the normal geometry") << saved << true << back << false;
        QTest::newRow("modes, narrow width raised, height read as a number") << "Top=0\nWidth=1000\nHeight=5000xyz\nloop=1\nontop=1\n" << false << "Top=0 Left=0 Height=4995 loop=1 ontop=1" << false;
        QTest::newRow("no Top") << "Left=900\n" << false << "LastDir=@/app/" << true;
        QTest::newRow("empty Top") << "Top=\nLeft=900\n" << false << "Loop=0" << true;
        QTest::newRow("Top=-1 ignores Left") << "Top=-1\nLeft=900\n" << false << "Loop=0" << true;
        QTest::newRow("off every screen") << "Top=900000\nLeft=900000\n" << false << "Loop=0" << true;
        QTest::newRow("taller and wider than the screen") << "Height=200000\nWidth=200000\n" << false << "Loop=0" << true;
        // clang-format on
    }
    void savedSettings() {
        QFETCH(QString, settings);
        QFETCH(bool, maximise);
        QFETCH(QString, written);
        QFETCH(bool, placed);
        WriteIni(settings.toStdString());
        frmWAV& f = Run("");
        QVERIFY(f.width() >= TwipsToPixels(3525));  // never below the created width
        const bool modes = settings.contains("loop=1");
        QCOMPARE(f.lstPath->palette().color(QPalette::Base),
                 modes ? QColor(220, 100, 140) : QColor(255, 255, 0));
        QCOMPARE(f.windowTitle(), QString("Brimvale WAV-Player/Looper"));  // whatever the mode
        QVERIFY(f.mnuLoop->isChecked() == modes &&
                f.windowFlags().testFlag(Qt::WindowStaysOnTopHint) == modes);
        // The rule runs before the window is framed, so allow for half a frame.
        int top =
            placed ? std::max(0, qRound(ScreenHeightTwips() * 0.85) / 2 - qRound(FormHeight(f)) / 2)
                   : 0;
        int left =
            placed ? std::max(0, qRound(ScreenWidthTwips()) / 2 - qRound(FormWidth(f)) / 2) : 0;
        if (placed || settings.startsWith("Top=0"))
            QVERIFY(qAbs(qRound(FormTop(f)) - top) + qAbs(qRound(FormLeft(f)) - left) <= 90);
        if (maximise) f.showMaximized();
        QApplication::processEvents();
        f.close();
        const QString text = QString::fromStdString(testsupport::ReadAll(appDir + "wavplayer.ini"));
        for (const QString& line : written.split(' '))
            QVERIFY2(text.contains("\n" + QString::fromStdString(Fill(line)) + "\n"),
                     qPrintable(text));
    }
};

QTEST_MAIN(WindowTest)
#include "test_window.moc"
