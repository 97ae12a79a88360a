// What a screen reader finds (through QAccessible), the focus after the buttons, and the preview
// level's keys, caption and menu.
#include <unistd.h>

#include <QAccessible>
#include <QAction>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QTest>
#include <atomic>

#include "TestSupport.h"
#include "mainwindow/FindLine.h"
#include "mainwindow/PathListView.h"
#include "mainwindow/frmWAV.h"
#include "sound/Sound.h"
#include "startup/AppModul.h"
#include "startup/Globals.h"

class AccessTest : public QObject, Sound::Player {
    Q_OBJECT
    testsupport::TempDir root;
    QStringList heard;
    float gain = 1;
    void Start(const std::string& path, bool) override { heard << QString::fromStdString(path); }
    void SetGain(float g) override { gain = g; }

  private slots:
    void screenReaderAndLevel() {
        root.mkdir("lib/Drums"), root.mkdir("app"), root.write("app/STOP.wav", "");
        root.write("app/wavplayer.ini", "[Brimvale WAV-Player/Looper]\nVolume=-6\n");
        testsupport::WriteWave(root.file("lib/a.wav"), testsupport::Tone(440, 44100, 22050), 1,
                               44100, SF_FORMAT_WAV | SF_FORMAT_PCM_16);
        Sound::SetPlayer(this);
        Main(root.file("lib/a.wav"), root.file("app/wavplayer"));
        frmWAV& form = *MainForm();
        form.lstPath->readerActive = [] { return true; };
        // The window's children as read: the drive box by its value (its name is its label's).
        QAccessibleInterface* w = QAccessible::queryAccessibleInterface(&form);
        QStringList seen;
        for (int i = 0; i < w->childCount(); ++i) seen << w->child(i)->text(QAccessible::Name);
        // clang-format off
        QCOMPARE(seen, (QStringList{"/", "Ordner und WAV-Dateien", "Wurzelverzeichnis", "Eine Ebene höher", "Neu einlesen", QString::fromStdString(root.file("lib/"))}));
        QCOMPARE(w->child(0)->relations(QAccessible::Label).value(0).first->text(QAccessible::Name), "Laufwerk /");
        // clang-format on
        auto* rows = QAccessible::queryAccessibleInterface(form.lstPath)->tableInterface();
        form.SetListIndex(2);
        QTRY_COMPARE(rows->cellAt(2, 0)->text(QAccessible::Description),
                     "0:00.500 · 44.1 kHz · 16-bit · mono");
        QCOMPARE(rows->cellAt(1, 0)->text(QAccessible::Name), "Ordner Drums");
        // Exported again under the same name: read again.
        testsupport::WriteWave(root.file("lib/a.wav"), testsupport::Tone(440, 44100, 44100), 1,
                               44100, SF_FORMAT_WAV | SF_FORMAT_PCM_16);
        form.SetListIndex(1), form.SetListIndex(2);
        QTRY_COMPARE(rows->cellAt(2, 0)->text(QAccessible::Description),
                     "0:01.000 · 44.1 kHz · 16-bit · mono");
        // The level as saved; four steps down, in the list and in the search line, neither
        // replaying nor moving; the menu's entries.
        QCOMPARE(form.logic.Level(), -6);
        form.resize(1, form.height());  // held at the smallest width
        for (QWidget* to :
             std::vector<QWidget*>{form.lstPath, form.lstPath, form.txtFind, form.txtFind})
            QTest::keyClick(to, Qt::Key_Down, Qt::ControlModifier);
        QCOMPARE(heard.join(",") + QString::number(gain) + form.windowTitle(),
                 "0.125893Brimvale WAV-Player/Looper – Vorhörpegel: -18 dB");
        // Shown over the list's lower corner too, inside it.
        auto* shown = form.lstPath->findChild<QLabel*>("lblLevel");
        QVERIFY(shown && shown->isVisible() && shown->text().endsWith("-18 dB"));
        QVERIFY(form.lstPath->rect().contains(shown->geometry()));
        QStringList menu;
        for (auto* a : form.mnuPop->actions().mid(6)) menu << a->text() + a->shortcut().toString();
        QCOMPARE(menu.join("|"), "|LauterCtrl+Up|LeiserCtrl+Down||FavoritCtrl+D");
        // Back, Root and reload hand the focus to the list; the hidden sink never takes it.
        for (QPushButton* b : {form.Command2, form.cmdBack, form.cmdRoot}) {
            b->setFocus(), b->click();
            QVERIFY(form.lstPath->hasFocus() && form.cmdDummy->focusPolicy() == Qt::NoFocus);
        }
        CloseMainForm();
    }

    // 29 Down presses over 5.8 MB files: without a screen reader nothing is read for them, with
    // one each file's header.
    void detailReads() {
        root.mkdir("big"), root.mkdir("app"), root.write("app/STOP.wav", "");
        const std::string first = root.file("big/00.wav");
        testsupport::WriteWave(first, testsupport::Tone(440, 44100, 2900000), 1, 44100,
                               SF_FORMAT_WAV | SF_FORMAT_PCM_16);
        for (int i = 1; i < 30; ++i)
            QVERIFY(link(first.c_str(),
                         root.file(QString::asprintf("big/%02d.wav", i).toStdString()).c_str()) ==
                    0);
        Sound::SetPlayer(this);
        Main(first, root.file("app/wavplayer"));
        frmWAV& form = *MainForm();
        std::atomic<int64_t> bytes{0};
        std::atomic<int> reads{0};
        auto counting = [&](fileinfo::Info (*read)(const std::string&, int64_t*)) {
            return std::make_unique<fileinfo::InfoCache>([&, read](const std::string& path) {
                int64_t n = 0;
                fileinfo::Info info = read(path, &n);
                bytes += n, ++reads;
                return info;
            });
        };
        form.lstPath->SetFileInfo(counting(fileinfo::ReadInfo));
        form.lstPath->SetDetailInfo(counting(fileinfo::ReadHeader));
        form.lstPath->setFocus();
        for (bool reader : {false, true}) {
            form.lstPath->readerActive = [reader] { return reader; };
            form.SetListIndex(-1);
            for (int i = 0; i < 29; ++i) QTest::keyClick(form.lstPath, Qt::Key_Down);
            QTest::qWait(500);
            QVERIFY((reads > 0) == reader && bytes <= reads * 8192);
        }
        CloseMainForm();
    }
};

QTEST_MAIN(AccessTest)
#include "test_access.moc"
