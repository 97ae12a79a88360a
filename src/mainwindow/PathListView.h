// The list control: a QListView that reports key releases, mouse presses, double clicks and
// file drops as signals, and moves like a list box when a key comes with nothing selected.
#pragma once
#include <QListView>
#include <QMimeData>

class PathListView : public QListView {
    Q_OBJECT
  public:
    explicit PathListView(QWidget* parent);

  signals:
    // Windows key code (see KeyCodeOf) and shift state (1 Shift, 2 Ctrl, 4 Alt) of a release.
    void keyReleased(int keyCode, int shift);
    // 1 left, 2 right, 4 middle, 0 other; for any but the right one the entry under the pointer
    // is selected first.
    void pressed(int button);
    void doubleClicked();
    void dropped(const QMimeData* data);

  protected:
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;
};

// The Windows key code of a released key (Space 32, Escape 27, Enter 13, ...); keys without one
// get a code of their own that is never 32 or 27.
int16_t KeyCodeOf(int qtKey);
