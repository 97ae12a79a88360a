#include "mainwindow/PathListView.h"

#include <QKeyEvent>
#include <QMimeData>
#include <QMouseEvent>

#include "mainwindow/frmWAV.h"

PathListView::PathListView(frmWAV* form, QWidget* parent) : QListView(parent), form_(form) {
    setUniformItemSizes(true);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setAcceptDrops(true);
    setDragDropMode(QAbstractItemView::DropOnly);
    setDropIndicatorShown(false);
}

void PathListView::keyReleaseEvent(QKeyEvent* event) {
    QListView::keyReleaseEvent(event);
    // A key held down repeats press/release pairs; only the real release counts.
    if (event->isAutoRepeat()) return;
    int16_t key = KeyCodeOf(event->key());
    int16_t shift = static_cast<int16_t>((event->modifiers() & Qt::ShiftModifier ? 1 : 0) |
                                         (event->modifiers() & Qt::ControlModifier ? 2 : 0) |
                                         (event->modifiers() & Qt::AltModifier ? 4 : 0));
    form_->lstPath_KeyUp(key, shift);
}

void PathListView::mousePressEvent(QMouseEvent* event) {
    // The right button leaves the selection where it was; any other lets the list select the
    // entry under the pointer first, so the clicked file is the one that plays.
    int16_t button = 0;
    switch (event->button()) {
        case Qt::LeftButton:
            button = 1;
            break;
        case Qt::RightButton:
            button = 2;
            break;
        case Qt::MiddleButton:
            button = 4;
            break;
        default:
            button = 0;
            break;
    }
    if (button != 2) QListView::mousePressEvent(event);
    form_->lstPath_MouseDown(button, 0, 0, 0);
}

void PathListView::mouseDoubleClickEvent(QMouseEvent* event) {
    QListView::mouseDoubleClickEvent(event);
    if (event->button() == Qt::LeftButton) form_->lstPath_DblClick();
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
    form_->lstPath_OLEDragDrop(event->mimeData());
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
