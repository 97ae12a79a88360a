// Places and favourites in the window: the keys mark without replaying, the mark is an icon,
// the places follow the volumes and are chosen by their first letters.
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QMenu>
#include <QTest>

#include "TestSupport.h"
#include "mainwindow/PathListView.h"
#include "mainwindow/frmWAV.h"
#include "sound/Sound.h"
#include "startup/AppModul.h"

class PlacesTest : public QObject, Sound::Player {
    Q_OBJECT
    testsupport::TempDir root;
    QStringList heard;
    void Start(const std::string& path, bool) override { heard << QString::fromStdString(path); }
    void SetGain(float) override {}

  private slots:
    void keysMarksAndPlaces() {
        root.mkdir("app"), root.mkdir("lib"), root.mkdir("cfg/gtk-3.0"),
            root.write("app/STOP.wav", "");
        root.write("lib/a.wav", "x"), root.write("lib/b.wav", "x"), root.write("lib/c.wav", "x");
        root.mkdir("data/wavplayer"),
            root.write("data/wavplayer/Favoriten.m3u8", root.fill("@/lib/b.wav\n"));
        const std::string gtk = root.write("cfg/gtk-3.0/bookmarks", "sftp://h/x Far Away\n");
        setenv("XDG_CONFIG_HOME", root.file("cfg").c_str(), 1);
        setenv("XDG_DATA_HOME", root.file("data").c_str(), 1);
        Sound::SetPlayer(this);
        Main(root.file("lib/a.wav"), root.file("app/wavplayer"));
        frmWAV& form = *MainForm();
        QApplication::setActiveWindow(&form);
        form.lstPath->setFocus();
        QVERIFY(!form.lstPath->model()->index(2, 0).data(Qt::DecorationRole).isNull());
        form.SetListIndex(1);  // [..], a.wav
        heard.clear();
        QTest::keyClick(form.lstPath, Qt::Key_D, Qt::ControlModifier);
        QTest::keyClick(form.lstPath, Qt::Key_D, Qt::ControlModifier | Qt::ShiftModifier);
        QCOMPARE(heard, QStringList());
        QVERIFY(!form.lstPath->model()->index(1, 0).data(Qt::DecorationRole).isNull() &&
                form.lstPath->model()->index(0, 0).data(Qt::DecorationRole).isNull() &&
                !form.lstPath->model()->index(2, 0).data(Qt::DecorationRole).isNull() &&
                form.lstPath->model()->index(3, 0).data(Qt::DecorationRole).isNull());
        form.mnuPop->popup({0, 0});
        QVERIFY(form.mnuFavourite->isChecked());
        form.mnuPop->hide();
        QCOMPARE(QString::fromStdString(testsupport::ReadAll(gtk)),
                 QString::fromStdString("sftp://h/x Far Away\nfile://" + root.file("lib") + "\n"));
        // The box: "lib" after the home folder, then "Favoriten", chosen by typing "fa".
        QStringList box;
        for (int i = 0; i < form.drvDrives->count(); ++i) box << form.drvDrives->itemText(i);
        QCOMPARE(box.mid(box.indexOf("lib") - 1).join("|"), "Persönlicher Ordner|lib|Favoriten");
        form.drvDrives->setFocus();
        QTest::keyClicks(form.drvDrives, "fa");
        QCOMPARE(form.drvDrives->currentText(), "Favoriten");
        QCOMPARE(form.lstPath->model()->index(1, 0).data().toString(),
                 QString::fromStdString(root.file("lib/b.wav")));
        form.cmdBack_Click();  // out of the favourites: the box no longer names them
        QVERIFY(!form.logic.ShowingFavourites());
        QCOMPARE(form.drvDrives->currentData().toByteArray().toStdString(),
                 dirlist::MountPointOf(form.dirDirs.Path()));
        CloseMainForm();
        Sound::SetPlayer(nullptr);
    }
};

QTEST_MAIN(PlacesTest)
#include "test_places.moc"
