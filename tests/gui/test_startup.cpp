// Start-up: which folder is shown first, and what the settings file gives back and receives.
#include <QScreen>

#include "GuiFixture.h"
#include "util/WindowCommands.h"

class StartupTest : public QObject {
    Q_OBJECT

    std::unique_ptr<gui::Program> program;

    std::string Ini() const { return program->appDir + "wavplayer.ini"; }
    void WriteIni(const std::string& body) {
        program->root.write("app/wavplayer.ini", "[Brimvale WAV-Player/Looper]\n" + body);
    }
    // Closes the window the way the user does, which writes the settings.
    void CloseWindow() {
        MainForm()->close();
        QApplication::processEvents();
    }

private slots:
    void init() {
        program = std::make_unique<gui::Program>();
        program->root.mkdir("lib/Drums");
        program->root.write("lib/a.wav", "");
        program->root.write("lib/Drums/kick.wav", "");
        program->root.write("app/Ding.wav", "");
    }
    void cleanup() { program.reset(); }

    void startFolder_data() {
        QTest::addColumn<QString>("argument");  // "@" stands for the temporary folder
        QTest::addColumn<QString>("lastDir");   // "" = no settings file
        QTest::addColumn<QString>("shown");
        QTest::addColumn<QString>("label");
        QTest::newRow("no argument, no settings") << "" << "" << "@/app" << "@/app/";
        QTest::newRow("saved folder") << "" << "@/lib/Drums/" << "@/lib/Drums" << "@/lib/Drums/";
        QTest::newRow("saved folder gone") << "" << "@/gone/" << "@/app" << "@/app/";
        QTest::newRow("lower-case key") << "" << "lastdir=@/lib/" << "@/lib" << "@/lib/";
        QTest::newRow("file argument") << "@/lib/Drums/kick.wav" << "@/app/" << "@/lib/Drums"
                                       << "@/lib/Drums/";
        QTest::newRow("folder argument opens its parent") << "@/lib/Drums" << "" << "@/lib"
                                                          << "@/lib/";
        QTest::newRow("folder argument with slash") << "@/lib/Drums/" << "" << "@/lib" << "@/lib/";
        QTest::newRow("blanks are part of one path")
            << "@/lib/a.wav @/lib/Drums/kick.wav" << "" << "@/app" << "@/lib/a.wav @/lib/Drums/";
        QTest::newRow("quoted argument is refused")
            << "\"@/lib/a.wav\"" << "" << "@/app" << "\"@/lib/";
    }
    void startFolder() {
        QFETCH(QString, argument);
        QFETCH(QString, lastDir);
        QFETCH(QString, shown);
        QFETCH(QString, label);
        auto fill = [this](QString s) {
            return s.replace("@", QString::fromStdString(program->root.path())).toStdString();
        };
        if (!lastDir.isEmpty())
            WriteIni(lastDir.contains('=') ? fill(lastDir) + "\n" : "LastDir=" + fill(lastDir) + "\n");
        frmWAV& f = program->Start(fill(argument));
        QCOMPARE(f.dirDirs.Path(), fill(shown));
        // The recasing of a path that cannot be resolved changes letters; compare without case.
        QCOMPARE(QString::fromStdString(f.LabelText()).toLower(), QString::fromStdString(fill(label)).toLower());
        QCOMPARE(f.windowTitle(), QString("Brimvale WAV-Player/Looper"));
        QCOMPARE(f.ListIndex(), -1);
        QVERIFY(program->recorder.starts.empty());
    }

    void firstCloseWritesSevenKeysInOrder() {
        program->Start();
        CloseWindow();
        QString text = QString::fromStdString(testsupport::ReadAll(Ini()));
        QStringList keys;
        for (const QString& line : text.split('\n', Qt::SkipEmptyParts)) keys << line.section('=', 0, 0);
        QCOMPARE(keys, (QStringList{"[Brimvale WAV-Player/Looper]", "LastDir", "Top", "Left",
                                    "Height", "Width", "Loop", "OnTop"}));
        QVERIFY(text.contains(QString::fromStdString("LastDir=" + program->appDir + "\n")));
        QVERIFY(!text.contains('.') || !text.section("Top=", 1).section('\n', 0, 0).contains('.'));
    }

    void geometryRoundTrip() {
        WriteIni("Top=1500\nLeft=3000\nHeight=6000\nWidth=5000\n");
        frmWAV& f = program->Start();
        // Pixels are whole: 15 twips each at 96 DPI.
        QCOMPARE(qRound(FormTop(f)), 1500);
        QCOMPARE(qRound(FormLeft(f)), 3000);
        QCOMPARE(qRound(FormHeight(f)), 6000);
        QVERIFY(qAbs(FormWidth(f) - 5000) < 15);
        CloseWindow();
        std::string text = testsupport::ReadAll(Ini());
        for (const char* line : {"Top=1500\n", "Left=3000\n", "Height=6000\n", "Width=4995\n"})
            QVERIFY2(text.find(line) != std::string::npos, line);
    }

    void position_data() {
        QTest::addColumn<QString>("settings");
        QTest::addColumn<bool>("placed");  // by the default rule
        QTest::addColumn<int>("top");
        QTest::addColumn<int>("left");
        QTest::newRow("no Top") << "Left=900\n" << true << 0 << 0;
        QTest::newRow("empty Top") << "Top=\nLeft=900\n" << true << 0 << 0;
        QTest::newRow("Top=-1 ignores Left") << "Top=-1\nLeft=900\n" << true << 0 << 0;
        QTest::newRow("Top=0 without Left") << "Top=0\n" << false << 0 << 0;
        QTest::newRow("off every screen") << "Top=900000\nLeft=900000\n" << true << 0 << 0;
    }
    void position() {
        QFETCH(QString, settings);
        QFETCH(bool, placed);
        QFETCH(int, top);
        QFETCH(int, left);
        WriteIni(settings.toStdString());
        frmWAV& f = program->Start();
        if (placed) {
            // Centred across, and centred within the upper 85 % of the screen's height. The rule
            // runs before the window is framed, so allow for half a frame.
            int expectedTop = qRound(ScreenHeightTwips() * 0.85) / 2 - qRound(FormHeight(f)) / 2;
            int expectedLeft = qRound(ScreenWidthTwips()) / 2 - qRound(FormWidth(f)) / 2;
            QVERIFY2(qAbs(qRound(FormTop(f)) - std::max(0, expectedTop)) <= 45,
                     qPrintable(QString("top %1, expected %2").arg(FormTop(f)).arg(expectedTop)));
            QVERIFY2(qAbs(qRound(FormLeft(f)) - std::max(0, expectedLeft)) <= 45,
                     qPrintable(QString("left %1, expected %2").arg(FormLeft(f)).arg(expectedLeft)));
        } else {
            QCOMPARE(qRound(FormTop(f)), top);
            QCOMPARE(qRound(FormLeft(f)), left);
        }
    }

    void sizeRules() {
        // A width below the created width is raised to it; a height read from "abc" is 0.
        WriteIni("Width=1000\nHeight=5000xyz\n");
        frmWAV& f = program->Start();
        QVERIFY(f.width() >= qRound(3525 / TwipsPerPixel()));
        QVERIFY(qAbs(FormHeight(f) - 5000) < 15);
    }

    void modes_data() {
        QTest::addColumn<QString>("settings");
        QTest::addColumn<bool>("loopOn");
        QTest::addColumn<bool>("onTop");
        QTest::addColumn<QString>("written");  // the Loop and OnTop values after the next close
        QTest::newRow("none") << "" << false << false << "Loop=0\nOnTop=0\n";
        QTest::newRow("Loop=1") << "Loop=1\n" << true << false << "Loop=1\nOnTop=0\n";
        QTest::newRow("Loop=0.5 rounds to 0") << "Loop=0.5\n" << false << false << "Loop=0\nOnTop=0\n";
        QTest::newRow("Loop=1.4 rounds to 1") << "Loop=1.4\n" << true << false << "Loop=1\nOnTop=0\n";
        QTest::newRow("Loop=1.5 rounds to 2") << "Loop=1.5\n" << false << false << "Loop=2\nOnTop=0\n";
        QTest::newRow("Loop=2 kept") << "Loop=2\n" << false << false << "Loop=2\nOnTop=0\n";
        QTest::newRow("Loop=70000 out of range") << "Loop=70000\n" << false << false
                                                 << "Loop=0\nOnTop=0\n";
        QTest::newRow("OnTop=1") << "OnTop=1\n" << false << true << "Loop=0\nOnTop=1\n";
        QTest::newRow("lower-case keys") << "loop=1\nontop=1\n" << true << true
                                         << "loop=1\nontop=1\n";
    }
    void modes() {
        QFETCH(QString, settings);
        QFETCH(bool, loopOn);
        QFETCH(bool, onTop);
        QFETCH(QString, written);
        WriteIni(settings.toStdString());
        frmWAV& f = program->Start();
        QCOMPARE(f.mnuLoop->isChecked(), loopOn);
        QCOMPARE(f.lstPath->palette().color(QPalette::Base),
                 loopOn ? QColor(220, 100, 140) : QColor(255, 255, 0));
        QCOMPARE(f.windowTitle(), QString("Brimvale WAV-Player/Looper"));
        QCOMPARE(f.mnuKeepTop->isChecked(), onTop);
        QCOMPARE(f.windowFlags().testFlag(Qt::WindowStaysOnTopHint), onTop);
        QVERIFY(f.isVisible());
        QVERIFY(program->recorder.starts.empty());
        CloseWindow();
        std::string text = testsupport::ReadAll(Ini());
        for (const QString& line : written.split('\n', Qt::SkipEmptyParts))
            QVERIFY2(text.find("\n" + line.toStdString() + "\n") != std::string::npos, text.c_str());
    }

    void otherLinesAndLineEndingsKept() {
        std::string before =
            "; my notes\r\n[Other]\r\nLastDir=/elsewhere/\r\n\r\n[Brimvale WAV-Player/Looper]\r\n"
            "Loop=0\r\n# keep me\r\n";
        program->root.write("app/wavplayer.ini", before);
        program->Start();
        CloseWindow();
        std::string after = testsupport::ReadAll(Ini());
        QVERIFY(after.rfind("; my notes\r\n[Other]\r\nLastDir=/elsewhere/\r\n\r\n", 0) == 0);
        QVERIFY(after.find("# keep me\r\n") != std::string::npos);
        QVERIFY(after.find("\r\nOnTop=0\r\n") != std::string::npos);
        for (size_t i = 0; i < after.size(); ++i)
            if (after[i] == '\n') QVERIFY2(i > 0 && after[i - 1] == '\r', "a bare LF was written");
    }

    void maximisedWindowStoresNormalGeometry() {
        WriteIni("Top=1500\nLeft=3000\nHeight=6000\nWidth=5000\n");
        frmWAV& f = program->Start();
        f.showMaximized();
        QApplication::processEvents();
        CloseWindow();
        std::string text = testsupport::ReadAll(Ini());
        QVERIFY2(text.find("Height=6000\n") != std::string::npos, text.c_str());
        QVERIFY2(text.find("Top=1500\n") != std::string::npos, text.c_str());
    }
};

QTEST_MAIN(StartupTest)
#include "test_startup.moc"
