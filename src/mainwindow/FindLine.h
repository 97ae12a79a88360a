// The search line above the list: a line edit that keeps the keys the search gives a meaning
// (moving and playing, Escape, Ctrl+Enter, Tab) for the window, and shows how the search stands
// at its right end.
#pragma once
#include <QLineEdit>
#include <functional>

#include "mainwindow/FindLogic.h"

class QLabel;

class FindLine : public QLineEdit {
  public:
    explicit FindLine(QWidget* parent);

    // A key that does not edit the line, pressed or released (key code and shift as the list
    // reports them). A held key repeats presses only.
    std::function<void(QKeyEvent* event, find::LineKey key)> keyPressed;
    std::function<void(int keyCode, int shift, find::LineKey key)> keyReleased;

    void SetStatus(const QString& text);

  protected:
    bool event(QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

  private:
    QLabel* status_;
};
