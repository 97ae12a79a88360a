// Finding a sound by name: the search line, its keys, and the walk's finds arriving in the list.
#include <QApplication>
#include <QKeyEvent>
#include <QPointer>
#include <QScrollBar>
#include <QShortcut>
#include <QTimer>
#include <mutex>

#include "mainwindow/FindLine.h"
#include "mainwindow/PathListModel.h"
#include "mainwindow/PathListView.h"
#include "mainwindow/Speech.h"
#include "mainwindow/frmWAV.h"
#include "util/WindowCommands.h"

namespace {

// The line sits where the list began; the list moves down by this much (twips).
constexpr int kFindTop = 510, kFindHeight = 300, kFindStep = 330;

}  // namespace

// A walk reports on its worker threads; the window may be gone by then.
struct frmWAV::FoundRelay {
    std::mutex mu;
    frmWAV* window = nullptr;
};

void frmWAV::BuildFind() {
    txtFind = new FindLine(this);
    txtFind->setObjectName("txtFind");
    txtFind->setAccessibleName("Suche");
    txtFind->hide();
    txtFind->keyPressed = [this](QKeyEvent* e, find::LineKey key) { txtFind_KeyDown(e, key); };
    txtFind->keyReleased = [this](int code, int shift, find::LineKey key) {
        txtFind_KeyUp(code, shift, key);
    };
    connect(txtFind, &QLineEdit::textEdited, this, [this] { txtFind_Change(); });
    for (auto [keys, mode] : {std::pair{QKeySequence(Qt::CTRL | Qt::Key_F), find::Mode::Here},
                              {QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_F), find::Mode::Below}})
        connect(new QShortcut(keys, this), &QShortcut::activated, this,
                [this, mode = mode] { mnuFind_Click(mode); });
    // Ctrl+Enter in the list, taken on the press as in the line.
    for (const auto& keys :
         {QKeySequence(Qt::CTRL | Qt::Key_Return), QKeySequence(Qt::CTRL | Qt::Key_Enter)}) {
        auto* open = new QShortcut(keys, lstPath, nullptr, nullptr, Qt::WidgetShortcut);
        connect(open, &QShortcut::activated, this, [this] {
            if (logic.ShowingFavourites()) return FavouriteOpenSelected();
            if (logic.Finding() != find::Mode::Off) FindOpenSelected();
        });
    }
    findTimer_ = new QTimer(this);
    findTimer_->setInterval(250);  // silent folders are given up on even while nothing arrives
    connect(findTimer_, &QTimer::timeout, this, [this] { TakeFound(); });
    // A screen reader hears the count once typing pauses, not at every letter.
    findSpoken_ = new QTimer(this);
    findSpoken_->setSingleShot(true);
    findSpoken_->setInterval(700);
    connect(findSpoken_, &QTimer::timeout, this,
            [this] { Say(this, QString::fromStdString(logic.FindStatus())); });

    foundRelay_ = std::make_shared<FoundRelay>();
    foundRelay_->window = this;
    logic.foundReady = [relay = foundRelay_] {
        std::lock_guard lock(relay->mu);
        if (relay->window)
            QMetaObject::invokeMethod(
                relay->window, [w = relay->window] { w->TakeFound(); }, Qt::QueuedConnection);
    };
    connect(this, &QObject::destroyed, [relay = foundRelay_] {
        std::lock_guard lock(relay->mu);
        relay->window = nullptr;
    });
}

void frmWAV::PlaceFind(bool fullHeight) {
    if (!txtFind) return;
    const bool open = logic.Finding() != find::Mode::Off;
    const int top = TwipsToPixels(open ? kFindTop + kFindStep : kFindTop);
    const int from = fullHeight ? TwipsToPixels(kFindTop) : lstPath->y();
    lstPath->setGeometry(lstPath->x(), top, lstPath->width(),
                         std::max(0, lstPath->height() - (top - from)));
    txtFind->setGeometry(lstPath->x(), TwipsToPixels(kFindTop), lstPath->width(),
                         TwipsToPixels(kFindHeight));
}

void frmWAV::mnuFind_Click(find::Mode mode) {
    const std::string selected = SelectedText();
    const bool wasOpen = logic.Finding() != find::Mode::Off;
    logic.OpenFind(mode);
    // Opening the line on the whole folder keeps the selection where it was.
    for (size_t i = 0; !wasOpen && !selected.empty() && i < logic.Entries().size(); ++i)
        if (logic.Entries()[i].text == selected) SetListIndex(static_cast<int>(i));
    txtFind->show();
    PlaceFind(false);
    txtFind->setFocus();
    if (mode == find::Mode::Below) findTimer_->start();
    ShowFindStatus();
}

void frmWAV::txtFind_Change() {
    logic.TypeFind(txtFind->text().toUtf8().toStdString());
    ShowFindStatus();
    findSpoken_->start();
}

void frmWAV::txtFind_KeyDown(QKeyEvent* event, find::LineKey key) {
    if (key == find::LineKey::Move) QApplication::sendEvent(lstPath, event);
    if (key == find::LineKey::ToList) lstPath->setFocus();
    // On the press, while Ctrl is surely down; the release then plays the file in its folder.
    if (key == find::LineKey::Open) FindOpenSelected();
}

void frmWAV::txtFind_KeyUp(int KeyCode, int Shift, find::LineKey key) {
    int16_t code = static_cast<int16_t>(KeyCode), shift = static_cast<int16_t>(Shift);
    // Ctrl+Up and Ctrl+Down set the preview level in the list they go to; they replay nothing.
    if ((KeyCode == 38 || KeyCode == 40) && (Shift & 2)) return;
    if (key == find::LineKey::Move || key == find::LineKey::Play) lstPath_KeyUp(code, shift);
    if (key != find::LineKey::Close) return;
    FindClose();
    Apply(logic.StopItem());
}

void frmWAV::FindKeyInList(int KeyCode) {
    if (KeyCode == 27 && logic.Finding() != find::Mode::Off) FindClose();
}

void frmWAV::FindClose() {
    const bool hadFocus = txtFind->hasFocus();
    findTimer_->stop();
    const int row = logic.CloseFind();
    txtFind->clear();  // the next search starts afresh
    txtFind->hide();
    PlaceFind(false);
    SetListIndex(row);
    if (hadFocus) lstPath->setFocus();
}

void frmWAV::FindOpenSelected() {
    const int row = logic.OpenFound(ListIndex());
    if (logic.Finding() != find::Mode::Off) return;  // nothing selected: the search stays
    FindClose();
    SetLabelText(dirDirs.Path());
    SetListIndex(row);
    lstPath->setFocus();
    Say(this, FolderSpeech(logic));
}

void frmWAV::TakeFound() {
    if (logic.Finding() != find::Mode::Below) return;
    // The view keeps its place and the selection its file while finds are put in between.
    QScrollBar* bar = lstPath->verticalScrollBar();
    const int scrolled = bar->value(), before = lstPathModel->Count();
    const int row = logic.TakeFound(ListIndex());
    if (lstPathModel->Count() != before) {
        bar->setValue(scrolled);
        if (row >= 0) lstPath->setCurrentIndex(lstPathModel->index(row));
    }
    ShowFindStatus();
}

void frmWAV::ShowFindStatus() {
    const bool empty = txtFind->text().isEmpty();
    txtFind->SetStatus(empty ? QString() : QString::fromStdString(logic.FindStatus()));
}
