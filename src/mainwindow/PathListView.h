// The list control: a QListView that reports key releases, mouse presses, double clicks and
// file drops as signals, and moves like a list box when a key comes with nothing selected. A file
// entry can be dragged out to other programs, and resting the pointer on one tells what it is.
// File paths come from the model's kFilePathRole. A screen reader hears the row the cursor lands
// on with the file's details, read from its header only while one is active.
#pragma once
#include <QAccessible>
#include <QListView>
#include <QMimeData>
#include <QTimer>
#include <functional>
#include <memory>

#include "platform/fileinfo.h"

class PathListView : public QListView {
    Q_OBJECT
  public:
    explicit PathListView(QWidget* parent);
    ~PathListView() override;

    // Replaces what reads the file tooltips (tests hold reads with it).
    void SetFileInfo(std::unique_ptr<fileinfo::InfoCache> info);
    // Replaces what reads the details a screen reader hears (tests count its bytes).
    void SetDetailInfo(std::unique_ptr<fileinfo::InfoCache> info);
    // Milliseconds on a steady clock, by which a tooltip's answer counts as late; tests set one.
    std::function<qint64()> clock = SteadyMs;
    static qint64 SteadyMs();
    // Whether a screen reader listens (details are read only then); tests set one.
    std::function<bool()> readerActive = [] { return QAccessible::isActive(); };

  signals:
    // Windows key code (see KeyCodeOf) and shift state (1 Shift, 2 Ctrl, 4 Alt) of a release.
    void keyReleased(int keyCode, int shift);
    // 1 left, 2 right, 4 middle, 0 other; for any but the right one the entry under the pointer
    // is selected first.
    void pressed(int button);
    void doubleClicked();
    void dropped(const QMimeData* data);
    // Ctrl+Up (+1) or Ctrl+Down (-1): the preview level a step up or down.
    void levelStep(int step);
    // The Menu key or Shift+F10: the pop-up menu, over the selected row.
    void menuKey();

  protected:
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    bool viewportEvent(QEvent* event) override;
    void currentChanged(const QModelIndex& current, const QModelIndex& previous) override;
    void focusInEvent(QFocusEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

  private:
    // The full path of the file entry at row, empty for folders, "[..]" and rows out of range.
    QByteArray FilePathAt(int row) const;
    void ShowInfo(unsigned hover, const fileinfo::Info& info);
    // Ctrl+Up and Ctrl+Down change the level; neither they nor their Ctrl replay when released.
    bool LevelKey(QKeyEvent* event);
    bool LevelRelease(QKeyEvent* event);
    // Reads the details of the current row, then lets a screen reader hear the row.
    void Tell();
    void TellCurrent();
    void TakeDetails(unsigned move, const QByteArray& path, const fileinfo::Info& info);

    std::unique_ptr<fileinfo::InfoCache> info_;
    std::unique_ptr<fileinfo::InfoCache> details_;
    QTimer* tell_ = nullptr;  // the row is heard at its timeout, when its details are slow
    unsigned moves_ = 0;      // counts the cursor's moves; an older answer is only said
    int dragRow_ = -1;        // the file entry the left button went down on, until a drag starts
    QPoint dragStart_;
    unsigned hover_ = 0;  // counts the pointer's rests and moves; an older answer is dropped
    int hoverRow_ = -1;
    QByteArray hoverPath_;
    QPoint hoverAt_;
    qint64 hoverStart_ = 0;                 // on clock
    bool levelCtrl_ = false;                // the Ctrl of a level key, until released
    int levelArrow_ = 0;                    // the arrow of a level key, until released
    bool upAlt_ = false, upArrow_ = false;  // the keys of Alt+Up, until released
};

// The Windows key code of a released key (Space 32, Escape 27, Enter 13, ...); keys without one
// get a code of their own that is never 32 or 27.
int16_t KeyCodeOf(int qtKey);
