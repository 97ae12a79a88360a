// The preview level: two menu entries, Ctrl+Up and Ctrl+Down in the list, and the caption and a
// label over the list's lower corner that tell the new level for a moment.
#include <QAction>
#include <QLabel>
#include <QMenu>
#include <QTimer>

#include "mainwindow/PathListView.h"
#include "mainwindow/Speech.h"
#include "mainwindow/frmWAV.h"
#include "sound/Sound.h"

namespace {

constexpr int kCaptionMs = 2000;
constexpr int kMargin = 6;  // pixels between the label and the list's edges

}  // namespace

void frmWAV::BuildLevelMenu() {
    mnuNix3 = mnuPop->addSeparator();
    mnuLouder = mnuPop->addAction("Lauter");
    mnuQuieter = mnuPop->addAction("Leiser");
    mnuLouder->setObjectName("mnuLouder");
    mnuQuieter->setObjectName("mnuQuieter");
    // Shown beside the entries only: the list handles the keys itself, and in the open menu its
    // own arrow keys come first.
    for (auto [action, key] : {std::pair{mnuLouder, Qt::Key_Up}, {mnuQuieter, Qt::Key_Down}}) {
        action->setShortcut(QKeySequence(Qt::CTRL | key));
        action->setShortcutContext(Qt::WidgetShortcut);
    }
    connect(mnuLouder, &QAction::triggered, this, [this] { mnuLouder_Click(); });
    connect(mnuQuieter, &QAction::triggered, this, [this] { mnuQuieter_Click(); });
    levelShown_ = new QTimer(this);
    levelShown_->setSingleShot(true);
    connect(levelShown_, &QTimer::timeout, this, [this] {
        if (windowTitle() == levelCaption_) setWindowTitle(captionBefore_);
        lblLevel->hide();
    });
    // Window managers shorten the caption to the window's width, or show none: the label is
    // where the user looks. It takes no clicks, so the list under it works as ever.
    lblLevel = new QLabel(lstPath);
    lblLevel->setObjectName("lblLevel");
    lblLevel->setAttribute(Qt::WA_TransparentForMouseEvents);
    lblLevel->setStyleSheet(
        "QLabel { background: rgba(0, 0, 0, 180); color: white; "
        "border-radius: 4px; padding: 3px 8px; }");
    lblLevel->hide();
}

void frmWAV::mnuLouder_Click() { SetLevel(level::Louder(logic.Level()), true); }

void frmWAV::mnuQuieter_Click() { SetLevel(level::Quieter(logic.Level()), true); }

void frmWAV::SetLevel(int db, bool show) {
    logic.SetLevel(db);
    Sound::SetGain(level::Gain(db));
    // The entries' descriptions are what a screen reader says of them.
    const QString text =
        QString::fromUtf8("Vorh\xc3\xb6rpegel: ") + QString::fromStdString(level::Text(db));
    mnuLouder->setStatusTip(text);
    mnuQuieter->setStatusTip(text);
    if (!show) return;
    Say(this, text);  // the caption's change is no event a screen reader hears
    // The caption another handler set meanwhile (Loop mode) is the one to come back to.
    if (windowTitle() != levelCaption_) captionBefore_ = windowTitle();
    levelCaption_ = captionBefore_ + QString::fromUtf8(" \xe2\x80\x93 ") + text;
    setWindowTitle(levelCaption_);
    // The level alone where the whole text does not fit the list's width.
    lblLevel->setText(text);
    if (lblLevel->sizeHint().width() > lstPath->width() - 2 * kMargin)
        lblLevel->setText(QString::fromStdString(level::Text(db)));
    lblLevel->resize(lblLevel->sizeHint());
    lblLevel->move(lstPath->width() - lblLevel->width() - kMargin,
                   lstPath->height() - lblLevel->height() - kMargin);
    lblLevel->show();
    lblLevel->raise();
    levelShown_->start(kCaptionMs);
}
