// Places and favourites in the window: the user's places after the volumes in the drive box,
// Ctrl+D and Ctrl+Shift+D, "Favorit" in the pop-up menu, and opening a favourite's folder.
#include <QAbstractItemView>
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QMenu>
#include <QPainter>
#include <QShortcut>
#include <QStyledItemDelegate>
#include <algorithm>

#include "mainwindow/PathListModel.h"
#include "mainwindow/PathListView.h"
#include "mainwindow/frmWAV.h"
#include "platform/bookmarks.h"

namespace {

// The favourite's star sits at the row's visible right end, over the name rather than in its
// place, so names stay aligned and unchanged, and a long path still shows its mark.
class MarkDelegate : public QStyledItemDelegate {
  public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override {
        QStyleOptionViewItem o = option;
        initStyleOption(&o, index);
        const QIcon star = o.icon;
        o.features &= ~QStyleOptionViewItem::HasDecoration;
        o.icon = QIcon();
        QStyle* style = o.widget ? o.widget->style() : QApplication::style();
        style->drawControl(QStyle::CE_ItemViewItem, &o, painter, o.widget);
        if (star.isNull()) return;
        const auto* view = qobject_cast<const QAbstractItemView*>(o.widget);
        const int side = o.rect.height();
        const int right =
            std::min(o.rect.right() + 1, view ? view->viewport()->width() : o.rect.right() + 1);
        star.paint(painter, QRect(right - side, o.rect.top(), side, side));
    }

    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        QStyleOptionViewItem o = option;
        initStyleOption(&o, index);
        o.features &= ~QStyleOptionViewItem::HasDecoration;
        o.icon = QIcon();
        QStyle* style = o.widget ? o.widget->style() : QApplication::style();
        return style->sizeFromContents(QStyle::CT_ItemViewItem, &o, QSize(), o.widget);
    }
};

}  // namespace

void frmWAV::BuildPlaces() {
    lstPath->setItemDelegate(new MarkDelegate(lstPath));
    logic.favourites.Load();  // the marks show in the first folder already
    mnuPop->addSeparator();
    mnuFavourite = mnuPop->addAction("Favorit");
    mnuFavourite->setObjectName("mnuFavourite");
    mnuFavourite->setCheckable(true);
    // Shown beside the entry only: the window's own shortcut below takes the key.
    mnuFavourite->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_D));
    mnuFavourite->setShortcutContext(Qt::WidgetShortcut);
    connect(mnuFavourite, &QAction::triggered, this, [this] { mnuFavourite_Click(); });
    connect(mnuPop, &QMenu::aboutToShow, this, [this] {
        const int row = ListIndex();
        const bool file =
            row >= 0 && logic.Entries()[static_cast<size_t>(row)].kind == EntryKind::File;
        mnuFavourite->setEnabled(file);
        mnuFavourite->setChecked(file && logic.IsFavourite(logic.WavePath(row)));
    });
    for (bool folder : {false, true}) {
        const QKeySequence keys(folder ? Qt::CTRL | Qt::SHIFT | Qt::Key_D : Qt::CTRL | Qt::Key_D);
        connect(new QShortcut(keys, this), &QShortcut::activated, this, [this, folder] {
            // Only the list replays on a release; elsewhere the releases do nothing anyway.
            markHeld_.clear();
            if (lstPath->hasFocus())
                markHeld_ = folder ? std::vector<int>{68, 17, 16} : std::vector<int>{68, 17};
            folder ? BookmarkFolder() : mnuFavourite_Click();
        });
    }
}

void frmWAV::FillPlaces() {
    for (const bookmarks::Place& p : bookmarks::UserPlaces())
        drvDrives->addItem(DisplayName(p.label), QByteArray::fromStdString(p.path));
    drvDrives->addItem("Favoriten", QByteArray());
}

bool frmWAV::MarkKeyReleased(int keyCode) {
    auto held = std::find(markHeld_.begin(), markHeld_.end(), keyCode);
    if (held == markHeld_.end()) return false;
    markHeld_.erase(held);
    return true;
}

void frmWAV::mnuFavourite_Click() {
    if (logic.ToggleFavourite(ListIndex())) lstPath->viewport()->update();
}

void frmWAV::BookmarkFolder() {
    if (!logic.ToggleBookmark()) return;
    // The box shows the new list of places, and still what it showed.
    const QVariant shown = drvDrives->currentData();
    FillDrives();
    drvDrives->setCurrentIndex(std::max(0, drvDrives->findData(shown)));
}

void frmWAV::FavouriteOpenSelected() {
    const int row = logic.OpenFavourite(ListIndex());
    if (row == -2) return;  // its folder cannot be opened: the favourites stay
    SetLabelText(dirDirs.Path());
    SetListIndex(row);
    lstPath->setFocus();
}
