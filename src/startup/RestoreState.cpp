// Restoring the size, position and modes saved at the last close.
#include <QGuiApplication>
#include <QScreen>

#include "mainwindow/frmWAV.h"
#include "startup/AppModul.h"
#include "util/WindowCommands.h"

namespace {

// True when some part of the window, at its current frame, lies on one of the screens.
bool OnSomeScreen(const QWidget& w) {
    QRect frame = w.frameGeometry();
    for (QScreen* s : QGuiApplication::screens())
        if (s->geometry().intersects(frame)) return true;
    return QGuiApplication::screens().isEmpty();
}

}  // namespace

void RestoreSavedState(frmWAV& form) {
    SavedState saved = FormLogic::ReadSavedState(FormHeight(form), FormWidth(form));
    if (saved.height) SetFormHeight(form, *saved.height);
    if (saved.width) SetFormWidth(form, *saved.width);
    if (saved.top && saved.left) {
        SetFormTop(form, *saved.top);
        SetFormLeft(form, *saved.left);
        // A position saved on a monitor that is gone would open the window out of reach.
        if (!OnSomeScreen(form)) PlaceForm(form);
    } else {
        PlaceForm(form);
    }
    if (saved.loop) form.mnuLoop_Click();
    if (saved.onTop) form.mnuKeepTop_Click();
}
