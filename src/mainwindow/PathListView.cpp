#include "mainwindow/PathListView.h"

#include <QKeyEvent>
#include <QMimeData>
#include <QMouseEvent>

PathListView::PathListView(QWidget* parent) : QListView(parent) {
    setUniformItemSizes(true);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setAcceptDrops(true);
    setDragDropMode(QAbstractItemView::DropOnly);
    setDropIndicatorShown(false);
}

// With nothing selected (a rebuilt list) QListView sends every key to the first row, or moves
// on from the row that focus put its cursor on. A list box without a selection moves as the key
// says: End to the last entry, Page Down a page down from the top; Home, Page Up, Up and Down
// to the first.
void PathListView::keyPressEvent(QKeyEvent* event) {
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
    setCurrentIndex(target);
    event->accept();
}

void PathListView::keyReleaseEvent(QKeyEvent* event) {
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
    if (button != 2) QListView::mousePressEvent(event);
    emit pressed(button);
}

void PathListView::mouseDoubleClickEvent(QMouseEvent* event) {
    QListView::mouseDoubleClickEvent(event);
    if (event->button() == Qt::LeftButton) emit doubleClicked();
}

// Entering and moving accept the same drags: anything that carries URLs.
void PathListView::dragEnterEvent(QDragEnterEvent* event) { dragMoveEvent(event); }

void PathListView::dragMoveEvent(QDragMoveEvent* event) {
    if (event->mimeData()->hasUrls())
        event->acceptProposedAction();
    else
        event->ignore();
}

void PathListView::dropEvent(QDropEvent* event) {
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
