// The list control: a QListView that hands key releases, mouse presses, double clicks and
// file drops to the window's handlers.
#pragma once
#include <QListView>

class frmWAV;

class PathListView : public QListView {
  public:
    PathListView(frmWAV* form, QWidget* parent);

  protected:
    void keyReleaseEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

  private:
    frmWAV* form_;
};

// The Windows key code of a released key (Space 32, Escape 27, Enter 13, ...); keys without one
// get a code of their own that is never 32 or 27.
int16_t KeyCodeOf(int qtKey);
