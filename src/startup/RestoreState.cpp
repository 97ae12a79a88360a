// Restoring the size, position and modes saved at the last close.
#include <QAction>
#include <QGuiApplication>
#include <QScreen>

#include "mainwindow/frmWAV.h"
#include "startup/AppModul.h"
#include "startup/Globals.h"
#include "util/Commands.h"
#include "util/WindowCommands.h"

namespace {

double ReadNumberSetting(const char* key, const std::string& defaultText) {
    return ReadNumber(ReadSetting(AppTitle, key, IniFile, defaultText));
}

// True when some part of the window, at its current frame, lies on one of the screens.
bool OnSomeScreen(const QWidget& w) {
    QRect frame = w.frameGeometry();
    for (QScreen* s : QGuiApplication::screens())
        if (s->geometry().intersects(frame)) return true;
    return QGuiApplication::screens().isEmpty();
}

}  // namespace

void RestoreSavedState(frmWAV& form) {
    // Without a saved size the window keeps its designed client area: its frame is not known
    // yet, so "the current size" would otherwise be taken for the outer size and shrink it.
    std::string height = SingleText(FormHeight(form)), width = SingleText(FormWidth(form));
    std::string savedHeight = ReadSetting(AppTitle, "Height", IniFile, height);
    if (savedHeight != height) SetFormHeight(form, static_cast<float>(ReadNumber(savedHeight)));
    std::string savedWidth = ReadSetting(AppTitle, "Width", IniFile, width);
    if (savedWidth != width) SetFormWidth(form, static_cast<float>(ReadNumber(savedWidth)));

    if (ReadNumberSetting("Top", "-1") == -1.0) {
        PlaceForm(form);
    } else {
        SetFormTop(form, static_cast<float>(ReadNumberSetting("Top", "0")));
        SetFormLeft(form, static_cast<float>(ReadNumberSetting("Left", "0")));
        // A position saved on a monitor that is gone would open the window out of reach.
        if (!OnSomeScreen(form)) PlaceForm(form);
    }

    if (auto loop = RoundToInt16(ReadNumberSetting("Loop", "0"))) {
        LoopMode = *loop;
        if (LoopMode == 1) form.mnuLoop_Click();
    }
    if (auto onTop = RoundToInt16(ReadNumberSetting("OnTop", "0"))) {
        OnTopMode = *onTop;
        if (OnTopMode == 1) form.mnuKeepTop_Click();
    }
}
