// Start-up and close: the folder shown first, the saved state applied to the window, and what
// closing the window writes.
#include "GuiFixture.h"
#include "util/WindowCommands.h"

class StartupTest : public QObject {
    Q_OBJECT

    std::unique_ptr<gui::Program> program;

    std::string Ini() const { return program->appDir + "wavplayer.ini"; }
    void WriteIni(const std::string& body) {
        program->root.write("app/wavplayer.ini", "[Brimvale WAV-Player/Looper]\n" + body);
    }
    std::string Fill(QString s) const {
        return s.replace("@", QString::fromStdString(program->root.path())).toStdString();
    }

  private slots:
    void init() { program = std::make_unique<gui::Program>(); }
    void cleanup() { program.reset(); }

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
        frmWAV& f = program->Run(Fill(argument));
        QCOMPARE(f.dirDirs.Path(), Fill(shown));
        // The recasing of a path that cannot be resolved changes letters; compare without case.
        QCOMPARE(f.LabelText().size(), Fill(label).size());
        QCOMPARE(QString::fromStdString(f.LabelText()).toLower(),
                 QString::fromStdString(Fill(label)).toLower());
        QCOMPARE(f.ListIndex(), -1);
        QVERIFY(program->heard.isEmpty());
    }

    // What the saved settings set, and what the next close writes back (in twips: pixels are
    // whole, 15 twips at 96 DPI).
    void savedSettings_data() {
        QTest::addColumn<QString>("settings");
        QTest::addColumn<bool>("maximise");
        QTest::addColumn<QString>("written");
        const QString saved = "Top=1500\nLeft=3000\nHeight=6000\nWidth=5000\n";
        const QString back = "Top=1500 Left=3000 Height=6000 Width=4995 Loop=0 OnTop=0";
        // clang-format off
        QTest::newRow("geometry") << saved << false << back;
        QTest::newRow("maximised keeps the normal geometry") << saved << true << back;
        QTest::newRow("narrow width raised, height read as a number") << "Top=1500\nLeft=3000\nWidth=1000\nHeight=5000xyz\nloop=1\nontop=1\n" << false << "Top=1500 Left=3000 Height=4995 loop=1 ontop=1";
        // clang-format on
    }
    void savedSettings() {
        QFETCH(QString, settings);
        QFETCH(bool, maximise);
        QFETCH(QString, written);
        WriteIni(settings.toStdString());
        frmWAV& f = program->Run("");
        QVERIFY(f.width() >= TwipsToPixels(3525));  // never below the created width
        const bool modes = settings.contains("loop=1");
        QCOMPARE(f.mnuLoop->isChecked(), modes);
        QCOMPARE(f.lstPath->palette().color(QPalette::Base),
                 modes ? QColor(220, 100, 140) : QColor(255, 255, 0));
        QCOMPARE(f.windowTitle(), QString("Brimvale WAV-Player/Looper"));  // whatever the mode
        QCOMPARE(f.windowFlags().testFlag(Qt::WindowStaysOnTopHint), modes);
        if (maximise) f.showMaximized();
        QApplication::processEvents();
        f.close();
        QApplication::processEvents();
        const QString text = QString::fromStdString(testsupport::ReadAll(Ini()));
        for (const QString& line : written.split(' '))
            QVERIFY2(text.contains("\n" + line + "\n"), qPrintable(text));
    }

    void firstCloseWritesSevenKeysInOrder() {
        program->Run("").close();
        QString text = QString::fromStdString(testsupport::ReadAll(Ini()));
        QStringList keys;
        for (const QString& line : text.split('\n', Qt::SkipEmptyParts))
            keys << line.section('=', 0, 0);
        QCOMPARE(keys, (QStringList{"[Brimvale WAV-Player/Looper]", "LastDir", "Top", "Left",
                                    "Height", "Width", "Loop", "OnTop"}));
        QVERIFY(text.contains(QString::fromStdString("LastDir=" + program->appDir + "\n")));
    }

    void position_data() {
        QTest::addColumn<QString>("settings");
        QTest::addColumn<bool>("placed");  // by the default rule, else at 0, 0
        QTest::newRow("no Top") << "Left=900\n" << true;
        QTest::newRow("empty Top") << "Top=\nLeft=900\n" << true;
        QTest::newRow("Top=-1 ignores Left") << "Top=-1\nLeft=900\n" << true;
        QTest::newRow("Top=0 without Left") << "Top=0\n" << false;
        QTest::newRow("off every screen") << "Top=900000\nLeft=900000\n" << true;
        QTest::newRow("taller and wider than the screen") << "Height=200000\nWidth=200000\n"
                                                          << true;
    }
    void position() {
        QFETCH(QString, settings);
        QFETCH(bool, placed);
        WriteIni(settings.toStdString());
        frmWAV& f = program->Run("");
        // Centred across, and within the upper 85 % of the screen's height, never past the top
        // or left edge. The rule runs before the window is framed, so allow for half a frame.
        int top = qRound(ScreenHeightTwips() * 0.85) / 2 - qRound(FormHeight(f)) / 2;
        int left = qRound(ScreenWidthTwips()) / 2 - qRound(FormWidth(f)) / 2;
        QVERIFY(qAbs(qRound(FormTop(f)) - (placed ? std::max(0, top) : 0)) <= 45);
        QVERIFY(qAbs(qRound(FormLeft(f)) - (placed ? std::max(0, left) : 0)) <= 45);
    }
};

QTEST_MAIN(StartupTest)
#include "test_startup.moc"
