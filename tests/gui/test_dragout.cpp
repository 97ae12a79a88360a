// Dragging a file entry out to another window, and the tooltip that tells what a file is.
#include <QTest>
#include <QTimer>
#include <future>

#include "TestSupport.h"
#include "mainwindow/PathListModel.h"
#include "mainwindow/PathListView.h"
#include "mainwindow/frmWAV.h"
#include "sound/Sound.h"
#include "startup/AppModul.h"

class DragOutTest : public QObject, Sound::Player {
    Q_OBJECT

    testsupport::TempDir root;
    std::string lib = root.mkdir("lib/sub").substr(0, root.path().size() + 4);
    frmWAV* form = nullptr;
    QByteArray carried;  // by the last drop on another window: "uri-list|plain|action"
    QString tip;         // the last tip shown (the minimal platform hides it again at once)
    int starts = 0;
    qint64 now = 0, step = 150;  // the list's clock moves by step each time it is read
    int clocked = 0;

    void Start(const std::string&, bool) override { ++starts; }
    bool eventFilter(QObject* o, QEvent* e) override {
        if (e->type() == QEvent::Show && o->objectName() == "qtooltip_label")
            tip = o->property("text").toString();
        if (o->objectName() != "target" ||
            (e->type() != QEvent::DragEnter && e->type() != QEvent::Drop))
            return false;
        auto* drop = static_cast<QDropEvent*>(e);
        drop->acceptProposedAction();
        if (e->type() == QEvent::Drop)
            carried = drop->mimeData()->data("text/uri-list") + "|" +
                      drop->mimeData()->data("text/plain") + "|" +
                      QByteArray::number(drop->dropAction());
        return false;
    }
    QWidget* List() const { return form->lstPath->viewport(); }
    QPoint At(const std::string& text) const {
        QModelIndex first = form->lstPathModel->index(0);
        return form->lstPath->visualRect(form->lstPathModel->match(first, 0, DisplayName(text))[0])
            .center();
    }
    // Drags entry past the drag distance and lets go over the middle of onto (by default a fresh
    // window standing in for another program); what a drop there carried.
    QByteArray Drag(const std::string& entry, QWidget* onto = nullptr) {
        QWidget target;  // the minimal platform carries a drag into a window only once
        target.setObjectName("target");
        target.setAcceptDrops(true);
        target.setGeometry(form->frameGeometry().right() + 20, 0, 200, 200);
        target.show();
        if (!QTest::qWaitForWindowExposed(onto = onto ? onto : &target)) return "unseen";
        QObject scope;                       // no drag, no loop: the timer goes with the scope
        QTimer::singleShot(0, &scope, [&] {  // runs inside the drag's own loop
            QTest::mouseMove(onto, onto->rect().center());
            QTest::mouseRelease(onto, Qt::LeftButton, {}, onto->rect().center());
        });
        carried.clear();
        QTest::mousePress(List(), Qt::LeftButton, {}, At(entry));
        QTest::mouseMove(List(), At(entry) + QPoint(QApplication::startDragDistance() + 1, 0));
        QTest::mouseRelease(List(), Qt::LeftButton, {}, At(entry));
        return carried;
    }
    // The tip shown within wait ms of the pointer coming to rest on entry, "" for none.
    QString Tip(const std::string& entry, int wait = 10000) {
        tip.clear();
        QHelpEvent help(QEvent::ToolTip, At(entry), List()->mapToGlobal(At(entry)));
        QApplication::sendEvent(List(), &help);
        return QTest::qWaitFor([&] { return !tip.isEmpty(); }, wait) ? tip : QString();
    }

  private slots:
    void initTestCase() {
        for (const char* f : {"lib/Kick 1.wav", "lib/[odd\xff 1].wav"}) root.write(f, "");
        SF_INSTRUMENT loop{1, 0, 0, 0, 0, 0, 0, 1, {{SF_LOOP_FORWARD, 250, 290, 0}}};
        testsupport::WriteWave(root.file("lib/pad.wav"), testsupport::Tone(50, 1000, 400), 1, 1000,
                               SF_FORMAT_WAV | SF_FORMAT_PCM_16, &loop);
        qApp->installEventFilter(this);
        Sound::SetPlayer(this);
        Main(lib + "/Kick 1.wav", root.file("wavplayer"));
        QVERIFY(QTest::qWaitForWindowExposed(form = MainForm()));
    }
    void cleanupTestCase() { CloseMainForm(); }

    // A file entry drags out its URL and path as a copy (1), whatever its name looks like, and
    // the press plays it as ever; a folder drags nothing. Let go over the list, a file is no drop.
    void dragsTheFileOut() {
        const QByteArray path = QByteArray::fromStdString(lib + "/[odd\xff 1].wav");
        starts = 0;
        QCOMPARE(Drag("[odd\xff 1].wav"),
                 "file://" + path.left(lib.size()) + "/%5Bodd%FF%201%5D.wav\r\n|" + path + "|1");
        QCOMPARE(Drag("[sub]") + QByteArray::number(starts), QByteArray("1"));
        Drag("Kick 1.wav", form->lstPath);
        QCOMPARE(form->LabelText() + std::to_string(starts), lib + "/2");  // no folder opened
    }

    // Resting on a file tells what it is, without selecting or playing it; other entries tell
    // nothing. An answer may take 150 ms: one later is dropped, and a read that hangs leaves the
    // window answering and shows nothing. The next rest finds the read cached.
    void tooltips() {
        form->lstPath->clock = [this] { return ++clocked, now += step; };
        QCOMPARE(Tip("Kick 1.wav") + Tip("[sub]", 300) + Tip("[..]", 300),
                 QString("keine abspielbare WAV-Datei"));
        QVERIFY(Tip("pad.wav").contains(
            "<br>Schleife 0:00.250–0:00.290 · vorwärts<br><img src='data:"));
        std::promise<void> release;
        std::shared_future<void> held = release.get_future().share();
        form->lstPath->SetFileInfo(std::make_unique<fileinfo::InfoCache>(
            [=](const std::string&) { return held.wait(), fileinfo::Info{}; }));
        int selected = form->ListIndex();
        starts = 0;
        QCOMPARE(Tip("[odd\xff 1].wav", 300), QString());
        QCOMPARE(form->ListIndex() + starts, selected);
        QTest::mouseClick(List(), Qt::LeftButton, {}, At("[odd\xff 1].wav"));
        QCOMPARE(starts, 1);
        step = 151;
        QCOMPARE(Tip("Kick 1.wav", 0), QString());
        clocked = 0;
        release.set_value();
        QVERIFY(QTest::qWaitFor([&] { return clocked == 1; }, 10000));  // its answer came
        QVERIFY(tip.isEmpty());
        step = 150;
        QCOMPARE(Tip("[odd\xff 1].wav"), QString("keine abspielbare WAV-Datei"));
    }
};

// The offscreen platform ends every drag at once; the minimal one carries it over windows.
static const bool minimal = qputenv("QT_QPA_PLATFORM", "minimal");
QTEST_MAIN(DragOutTest)
#include "test_dragout.moc"
