#include "mainwindow/PathListView.h"

#include <QAccessible>
#include <QApplication>
#include <QDrag>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QMimeData>
#include <QMouseEvent>
#include <QToolTip>
#include <chrono>

#include "mainwindow/InfoTip.h"
#include "mainwindow/PathListModel.h"
#include "mainwindow/Speech.h"
#include "platform/fileurl.h"

namespace {

// How long a pointer resting on a file waits for its header before going without a tooltip.
constexpr qint64 kInfoWaitMs = 150;
// How long a row waits for its details before a screen reader hears it without them.
constexpr int kTellWaitMs = 150;

}  // namespace

PathListView::PathListView(QWidget* parent)
    : QListView(parent),
      info_(std::make_unique<fileinfo::InfoCache>()),
      details_(std::make_unique<fileinfo::InfoCache>(
          [](const std::string& path) { return fileinfo::ReadHeader(path); })),
      tell_(new QTimer(this)) {
    tell_->setSingleShot(true);
    connect(tell_, &QTimer::timeout, this, [this] { TellCurrent(); });
    setUniformItemSizes(true);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setAcceptDrops(true);
    setDragDropMode(QAbstractItemView::DropOnly);
    setDropIndicatorShown(false);
    viewport()->setMouseTracking(true);  // a pointer leaving the entry it rested on cancels its tip
}

// The caches go first: from then on no read answers into this view.
PathListView::~PathListView() {
    info_.reset();
    details_.reset();
}

void PathListView::SetFileInfo(std::unique_ptr<fileinfo::InfoCache> info) {
    info_ = std::move(info);
}

void PathListView::SetDetailInfo(std::unique_ptr<fileinfo::InfoCache> info) {
    details_ = std::move(info);
}

QByteArray PathListView::FilePathAt(int row) const {
    return model() && row >= 0 ? model()->index(row, 0).data(kFilePathRole).toByteArray()
                               : QByteArray();
}

// With nothing selected (a rebuilt list) QListView sends every key to the first row, or moves
// on from the row that focus put its cursor on. A list box without a selection moves as the key
// says: End to the last entry, Page Down a page down from the top; Home, Page Up, Up and Down
// to the first.
void PathListView::keyPressEvent(QKeyEvent* event) {
    if (LevelKey(event)) return;
    // Alt+Up goes up a folder when let go; it does not move.
    if (event->key() == Qt::Key_Up && event->modifiers() == Qt::AltModifier) {
        upAlt_ = upArrow_ = true;
        return event->accept();
    }
    if (event->key() == Qt::Key_F10 && event->modifiers() == Qt::ShiftModifier) {
        event->accept();
        return emit menuKey();
    }
    const int rows = model() ? model()->rowCount(rootIndex()) : 0;
    const int key = event->key();
    if (rows == 0 || selectionModel()->hasSelection() || event->modifiers() != Qt::NoModifier ||
        (key != Qt::Key_End && key != Qt::Key_PageDown && key != Qt::Key_Home &&
         key != Qt::Key_PageUp && key != Qt::Key_Up && key != Qt::Key_Down))
        return QListView::keyPressEvent(event);
    QModelIndex target =
        model()->index(key == Qt::Key_End ? rows - 1 : 0, modelColumn(), rootIndex());
    if (key == Qt::Key_PageDown) {
        selectionModel()->setCurrentIndex(target, QItemSelectionModel::NoUpdate);
        target = moveCursor(MovePageDown, Qt::NoModifier);
    }
    const bool moved = target != currentIndex();
    setCurrentIndex(target);
    if (!moved) Tell();  // the cursor was on the row already: only the selection changed
    event->accept();
}

// The Menu key.
void PathListView::contextMenuEvent(QContextMenuEvent* event) {
    if (event->reason() != QContextMenuEvent::Keyboard) return event->ignore();
    event->accept();
    emit menuKey();
}

void PathListView::keyReleaseEvent(QKeyEvent* event) {
    if (LevelRelease(event)) return;
    // Alt+Up counts whichever of its keys is let go first; its Alt replays nothing.
    if ((upArrow_ && event->key() == Qt::Key_Up) || (upAlt_ && event->key() == Qt::Key_Alt)) {
        event->accept();
        if (event->isAutoRepeat()) return;
        (event->key() == Qt::Key_Up ? upArrow_ : upAlt_) = false;
        if (event->key() == Qt::Key_Up) emit keyReleased(KeyCodeOf(Qt::Key_Up), 4);
        return;
    }
    QListView::keyReleaseEvent(event);
    // A key held down repeats press/release pairs; only the real release counts.
    if (event->isAutoRepeat()) return;
    Qt::KeyboardModifiers m = event->modifiers();
    emit keyReleased(KeyCodeOf(event->key()), (m & Qt::ShiftModifier ? 1 : 0) |
                                                  (m & Qt::ControlModifier ? 2 : 0) |
                                                  (m & Qt::AltModifier ? 4 : 0));
}

void PathListView::mousePressEvent(QMouseEvent* event) {
    // The right button leaves the selection where it was; any other lets the list select the
    // entry under the pointer first, so the clicked file is the one that plays.
    int button = event->button() == Qt::LeftButton     ? 1
                 : event->button() == Qt::RightButton  ? 2
                 : event->button() == Qt::MiddleButton ? 4
                                                       : 0;
    dragRow_ = button == 1 ? indexAt(event->position().toPoint()).row() : -1;
    dragStart_ = event->position().toPoint();
    ++hover_;  // a tip on its way would cover what the press does
    if (button != 2) QListView::mousePressEvent(event);
    emit pressed(button);
}

void PathListView::mouseMoveEvent(QMouseEvent* event) {
    // Held on a file entry, the pointer drags that file out (the press has already played it);
    // until it has moved far enough the selection stays where the press put it.
    if (indexAt(event->position().toPoint()).row() != hoverRow_) ++hover_;  // off the entry
    QByteArray path = event->buttons() & Qt::LeftButton ? FilePathAt(dragRow_) : QByteArray();
    if (path.isEmpty()) {
        dragRow_ = -1;
        QListView::mouseMoveEvent(event);
        return;
    }
    if ((event->position().toPoint() - dragStart_).manhattanLength() <
        QApplication::startDragDistance())
        return;
    QRect row = visualRect(model()->index(dragRow_, 0));
    dragRow_ = -1;
    auto* data = new QMimeData;
    data->setData("text/uri-list",
                  QByteArray::fromStdString(fileurl::FileUrl(path.toStdString())) + "\r\n");
    data->setData("text/plain", path);
    auto* drag = new QDrag(this);  // Qt deletes it when the drag is over
    drag->setMimeData(data);
    drag->setPixmap(viewport()->grab(row));  // the entry itself goes with the pointer
    drag->setHotSpot(dragStart_ - row.topLeft());
    drag->exec(Qt::CopyAction, Qt::CopyAction);
}

void PathListView::mouseDoubleClickEvent(QMouseEvent* event) {
    QListView::mouseDoubleClickEvent(event);
    if (event->button() == Qt::LeftButton) emit doubleClicked();
}

bool PathListView::viewportEvent(QEvent* event) {
    // Leaving or scrolling, the pointer no longer rests on the entry it rested on.
    if (event->type() == QEvent::Leave || event->type() == QEvent::Wheel) ++hover_;
    if (event->type() != QEvent::ToolTip) return QListView::viewportEvent(event);
    // Only the file under a resting pointer is read. The window never waits for it: the text
    // comes back as an event, and shows if it came soon enough and the pointer is still there.
    auto* help = static_cast<QHelpEvent*>(event);
    hoverRow_ = indexAt(help->pos()).row();
    hoverPath_ = FilePathAt(hoverRow_);
    hoverAt_ = help->globalPos();
    hoverStart_ = clock();
    const unsigned hover = ++hover_;
    if (hoverPath_.isEmpty() || !info_) {
        QToolTip::hideText();
        return true;
    }
    info_->Lookup(hoverPath_.toStdString(), [this, hover](const fileinfo::Info& info) {
        QMetaObject::invokeMethod(
            this, [this, hover, info] { ShowInfo(hover, info); }, Qt::QueuedConnection);
    });
    return true;
}

qint64 PathListView::SteadyMs() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

void PathListView::ShowInfo(unsigned hover, const fileinfo::Info& info) {
    const QModelIndex index = model() ? model()->index(hoverRow_, 0) : QModelIndex();
    if (hover != hover_ || clock() - hoverStart_ > kInfoWaitMs ||
        FilePathAt(hoverRow_) != hoverPath_)
        return;
    // The picture is drawn now, for the screen the list is on, in the tip's colours.
    const QString tip = InfoTip(info, QToolTip::palette(), viewport()->devicePixelRatioF());
    QToolTip::showText(hoverAt_, tip, viewport(), visualRect(index));
}

bool PathListView::LevelKey(QKeyEvent* event) {
    const int key = event->key();
    if (event->modifiers() != Qt::ControlModifier || (key != Qt::Key_Up && key != Qt::Key_Down))
        return false;
    levelCtrl_ = true;
    levelArrow_ = key;
    event->accept();
    emit levelStep(key == Qt::Key_Up ? 1 : -1);  // a held key steps on as it repeats
    return true;
}

bool PathListView::LevelRelease(QKeyEvent* event) {
    const int key = event->key();
    if (key == Qt::Key_Control && levelCtrl_) {
        levelCtrl_ = event->isAutoRepeat();
    } else if (key != 0 && key == levelArrow_) {
        if (!event->isAutoRepeat()) levelArrow_ = 0;
    } else {
        return false;
    }
    event->accept();
    return true;
}

// A screen reader hears the row the cursor lands on, with the file's details: read from the
// header, off the window thread, only while a reader is active. Quick details come with the row;
// slow ones (a distant disk) are said when they come, as long as the cursor stays.
void PathListView::currentChanged(const QModelIndex& current, const QModelIndex& previous) {
    // QListView's own focus event would go out before the details: Tell sends it.
    QAbstractItemView::currentChanged(current, previous);  // NOLINT(bugprone-parent-virtual-call)
    Tell();
}

void PathListView::focusInEvent(QFocusEvent* event) {
    QListView::focusInEvent(event);
    Tell();  // the list's own focus event says the list, not its row
}

void PathListView::Tell() {
    const unsigned move = ++moves_;
    auto* rows = dynamic_cast<PathListModel*>(model());
    // A cursor on no selection (a rebuilt list) is no row yet: the first key selects it.
    if (!rows || !readerActive() || !selectionModel()->isSelected(currentIndex())) return;
    rows->SetDescription({}, {});
    const QByteArray path = FilePathAt(currentIndex().row());
    tell_->start(path.isEmpty() || !details_ ? 0 : kTellWaitMs);
    if (path.isEmpty() || !details_) return;
    details_->Lookup(path.toStdString(), [this, move, path](const fileinfo::Info& info) {
        QMetaObject::invokeMethod(
            this, [this, move, path, info] { TakeDetails(move, path, info); },
            Qt::QueuedConnection);
    });
}

void PathListView::TakeDetails(unsigned move, const QByteArray& path, const fileinfo::Info& info) {
    auto* rows = dynamic_cast<PathListModel*>(model());
    if (move != moves_ || !rows || FilePathAt(currentIndex().row()) != path) return;
    // In time, on the row; late, said alone (a reader still busy with the row would read them
    // on it as well).
    if (tell_->isActive()) {
        rows->SetDescription(path, InfoSpeech(info));
        TellCurrent();
    } else if (hasFocus()) {
        Say(window(), InfoSpeech(info));
    }
}

void PathListView::TellCurrent() {
    tell_->stop();
    if (!QAccessible::isActive() || !currentIndex().isValid()) return;
    QAccessibleEvent event(this, QAccessible::Focus);
    event.setChild(currentIndex().row());
    QAccessible::updateAccessibility(&event);
}

// Entering and moving accept the same drags: anything that carries URLs and does not come from
// this program (a file dragged out and let go over the list is no drop).
void PathListView::dragEnterEvent(QDragEnterEvent* event) { dragMoveEvent(event); }

void PathListView::dragMoveEvent(QDragMoveEvent* event) {
    if (event->mimeData()->hasUrls() && !event->source())
        event->acceptProposedAction();
    else
        event->ignore();
}

void PathListView::dropEvent(QDropEvent* event) {
    if (event->source()) {
        event->ignore();
        return;
    }
    event->acceptProposedAction();
    emit dropped(event->mimeData());
}

int16_t KeyCodeOf(int qtKey) {
    if (qtKey >= Qt::Key_A && qtKey <= Qt::Key_Z) return static_cast<int16_t>(qtKey);  // 65..90
    if (qtKey >= Qt::Key_0 && qtKey <= Qt::Key_9) return static_cast<int16_t>(qtKey);  // 48..57
    if (qtKey >= Qt::Key_F1 && qtKey <= Qt::Key_F24)
        return static_cast<int16_t>(112 + (qtKey - Qt::Key_F1));
    switch (qtKey) {
        case Qt::Key_Space:
            return 32;
        case Qt::Key_Escape:
            return 27;
        case Qt::Key_Return:
        case Qt::Key_Enter:
            return 13;
        case Qt::Key_Backspace:
            return 8;
        case Qt::Key_Tab:
        case Qt::Key_Backtab:
            return 9;
        case Qt::Key_Shift:
            return 16;
        case Qt::Key_Control:
            return 17;
        case Qt::Key_Alt:
        case Qt::Key_AltGr:
            return 18;
        case Qt::Key_PageUp:
            return 33;
        case Qt::Key_PageDown:
            return 34;
        case Qt::Key_End:
            return 35;
        case Qt::Key_Home:
            return 36;
        case Qt::Key_Left:
            return 37;
        case Qt::Key_Up:
            return 38;
        case Qt::Key_Right:
            return 39;
        case Qt::Key_Down:
            return 40;
        case Qt::Key_Insert:
            return 45;
        case Qt::Key_Delete:
            return 46;
        case Qt::Key_Meta:
            return 91;
        default:
            return 255;  // a key without a code of its own
    }
}
