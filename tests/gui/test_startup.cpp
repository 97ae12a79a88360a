// Start-up: which folder is shown first, and what the settings file gives back and receives.
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
        program->Make({"lib/Drums/", "lib/a.wav", "lib/Drums/kick.wav"});
    }
    void cleanup() { program.reset(); }

    // clang-format off
    void startFolder_data() {
        QTest::addColumn<QString>("argument");  // "@" stands for the temporary folder
        QTest::addColumn<QString>("lastDir");   // "" = no settings file
        QTest::addColumn<QString>("shown");
        QTest::addColumn<QString>("label");
        QTest::newRow("no argument, no settings") << "" << "" << "@/app" << "@/app/";
        QTest::newRow("saved folder") << "" << "@/lib/Drums/" << "@/lib/Drums" << "@/lib/Drums/";
        QTest::newRow("saved folder gone") << "" << "@/gone/" << "@/app" << "@/app/";
        QTest::newRow("lower-case key") << "" << "lastdir=@/lib/" << "@/lib" << "@/lib/";
        QTest::newRow("file argument") << "@/lib/Drums/kick.wav" << "@/app/" << "@/lib/Drums" << "@/lib/Drums/";
        QTest::newRow("folder argument opens its parent") << "@/lib/Drums" << "" << "@/lib" << "@/lib/";
        QTest::newRow("blanks are part of one path") << "@/lib/a.wav @/lib/Drums/kick.wav" << "" << "@/app" << "@/lib/a.wav @/lib/Drums/";
        QTest::newRow("quoted argument is refused") << "\"@/lib/a.wav\"" << "" << "@/app" << "\"@/lib/";
    }
    // clang-format on
    void startFolder() {
        QFETCH(QString, argument);
        QFETCH(QString, lastDir);
        QFETCH(QString, shown);
        QFETCH(QString, label);
        auto fill = [this](QString s) {
            return s.replace("@", QString::fromStdString(program->root.path())).toStdString();
        };
        if (!lastDir.isEmpty())
            WriteIni(lastDir.contains('=') ? fill(lastDir) + "\n"
                                           : "LastDir=" + fill(lastDir) + "\n");
        frmWAV& f = program->Start(fill(argument));
        QCOMPARE(f.dirDirs.Path(), fill(shown));
        // The recasing of a path that cannot be resolved changes letters; compare without case.
        QCOMPARE(QString::fromStdString(f.LabelText()).toLower(),
                 QString::fromStdString(fill(label)).toLower());
        QCOMPARE(f.ListIndex(), -1);
        QVERIFY(program->recorder.starts.empty());
    }

    void firstCloseWritesSevenKeysInOrder() {
        program->Start();
        CloseWindow();
        QString text = QString::fromStdString(testsupport::ReadAll(Ini()));
        QStringList keys;
        for (const QString& line : text.split('\n', Qt::SkipEmptyParts))
            keys << line.section('=', 0, 0);
        QCOMPARE(keys, (QStringList{"[Brimvale WAV-Player/Looper]", "LastDir", "Top", "Left",
                                    "Height", "Width", "Loop", "OnTop"}));
        QVERIFY(text.contains(QString::fromStdString("LastDir=" + program->appDir + "\n")));
    }

    // What the saved settings set, and what the next close writes back.
    // clang-format off
    void savedSettings_data() {
        QTest::addColumn<QString>("settings");
        QTest::addColumn<bool>("maximise");
        QTest::addColumn<bool>("loopOn");
        QTest::addColumn<bool>("onTop");
        QTest::addColumn<QStringList>("written");  // in twips; pixels are whole, 15 twips at 96 DPI
        const QString saved = "Top=1500\nLeft=3000\nHeight=6000\nWidth=5000\n";
        const QStringList back{"Top=1500", "Left=3000", "Height=6000", "Width=4995"};
        QTest::newRow("geometry") << saved << false << false << false << back;
        QTest::newRow("maximised keeps the normal geometry") << saved << true << false << false << back;
        QTest::newRow("narrow width raised, height read as a number") << "Top=1500\nLeft=3000\nWidth=1000\nHeight=5000xyz\n" << false << false << false << QStringList{"Top=1500", "Left=3000", "Height=4995"};
        QTest::newRow("no modes") << "" << false << false << false << QStringList{"Loop=0", "OnTop=0"};
        QTest::newRow("Loop=1") << "Loop=1\n" << false << true << false << QStringList{"Loop=1", "OnTop=0"};
        QTest::newRow("Loop=1.5 rounds to 2") << "Loop=1.5\n" << false << false << false << QStringList{"Loop=2"};
        QTest::newRow("Loop=70000 out of range") << "Loop=70000\n" << false << false << false << QStringList{"Loop=0"};
        QTest::newRow("OnTop=1") << "OnTop=1\n" << false << false << true << QStringList{"Loop=0", "OnTop=1"};
        QTest::newRow("lower-case keys") << "loop=1\nontop=1\n" << false << true << true << QStringList{"loop=1", "ontop=1"};
    }
    // clang-format on
    void savedSettings() {
        QFETCH(QString, settings);
        QFETCH(bool, maximise);
        QFETCH(bool, loopOn);
        QFETCH(bool, onTop);
        QFETCH(QStringList, written);
        WriteIni(settings.toStdString());
        frmWAV& f = program->Start();
        QVERIFY(f.width() >= qRound(3525 / TwipsPerPixel()));  // never below the created width
        QCOMPARE(f.mnuLoop->isChecked(), loopOn);
        QCOMPARE(f.lstPath->palette().color(QPalette::Base),
                 loopOn ? QColor(220, 100, 140) : QColor(255, 255, 0));
        QCOMPARE(f.windowTitle(), QString("Brimvale WAV-Player/Looper"));  // whatever the mode
        QCOMPARE(f.mnuKeepTop->isChecked(), onTop);
        QCOMPARE(f.windowFlags().testFlag(Qt::WindowStaysOnTopHint), onTop);
        if (maximise) f.showMaximized();
        QApplication::processEvents();
        CloseWindow();
        std::string text = testsupport::ReadAll(Ini());
        for (const QString& line : written)
            QVERIFY2(text.find("\n" + line.toStdString() + "\n") != std::string::npos,
                     text.c_str());
    }

    // clang-format off
    void position_data() {
        QTest::addColumn<QString>("settings");
        QTest::addColumn<bool>("placed");  // by the default rule, else at 0, 0
        QTest::newRow("no Top") << "Left=900\n" << true;
        QTest::newRow("empty Top") << "Top=\nLeft=900\n" << true;
        QTest::newRow("Top=-1 ignores Left") << "Top=-1\nLeft=900\n" << true;
        QTest::newRow("Top=0 without Left") << "Top=0\n" << false;
        QTest::newRow("off every screen") << "Top=900000\nLeft=900000\n" << true;
        QTest::newRow("taller than 85 %") << "Height=200000\n" << true;
        QTest::newRow("wider than the screen") << "Width=200000\n" << true;
    }
    // clang-format on
    void position() {
        QFETCH(QString, settings);
        QFETCH(bool, placed);
        WriteIni(settings.toStdString());
        frmWAV& f = program->Start();
        if (placed) {
            // Centred across, and centred within the upper 85 % of the screen's height. The rule
            // runs before the window is framed, so allow for half a frame.
            int expectedTop = qRound(ScreenHeightTwips() * 0.85) / 2 - qRound(FormHeight(f)) / 2;
            int expectedLeft = qRound(ScreenWidthTwips()) / 2 - qRound(FormWidth(f)) / 2;
            QVERIFY(qAbs(qRound(FormTop(f)) - std::max(0, expectedTop)) <= 45);
            QVERIFY(qAbs(qRound(FormLeft(f)) - std::max(0, expectedLeft)) <= 45);
        } else {
            QCOMPARE(qRound(FormTop(f)), 0);
            QCOMPARE(qRound(FormLeft(f)), 0);
        }
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
};

QTEST_MAIN(StartupTest)
#include "test_startup.moc"
