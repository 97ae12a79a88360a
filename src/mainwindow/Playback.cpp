// Playing from the list: mouse presses, key releases, the pop-up menu and the Loop mode.
#include <QAction>
#include <QCursor>
#include <QMenu>
#include <QPointer>

#include "mainwindow/PathListView.h"
#include "mainwindow/frmWAV.h"
#include "sound/Sound.h"
#include "startup/Globals.h"
#include "util/WindowCommands.h"

namespace {

void StopSound() { PlayWave(AppDir + "STOP.wav"); }

}  // namespace

std::string frmWAV::WavePathOfSelection() const {
    std::string folder = dirDirs.Path();
    return AppendBackslash(folder) + SelectedText();
}

void frmWAV::lstPath_MouseDown(int16_t Button, int16_t /*Shift*/, float /*X*/, float /*Y*/) {
    if (Button == 2) {
        // The menu acts on the entry selected before the press.
        mnuPop->popup(QCursor::pos());
        return;
    }
    int row = ListIndex();
    if (row < 0) return;
    // The entry's kind decides, so a file named "[intro].wav" plays like any other.
    if (lstPathModel->At(row).kind != EntryKind::File) return;
    CurrentWave = WavePathOfSelection();
    if (mnuLoop->isChecked())
        LoopWave(CurrentWave);
    else
        PlayWave(CurrentWave);
}

void frmWAV::lstPath_KeyUp(int16_t& KeyCode, int16_t& /*Shift*/) {
    if (KeyCode == 32 || KeyCode == 27) {
        KeyCode = 0;
        StopSound();
        return;
    }
    lstPath_MouseDown(0, 0, 0, 0);
}

void frmWAV::mnuPlay_Click() {
    std::string path = WavePathOfSelection();
    if (mnuLoop->isChecked())
        LoopWave(path);
    else
        PlayWave(path);
}

void frmWAV::mnuStop_Click() { StopSound(); }

void frmWAV::mnuLoop_Click() {
    mnuLoop->setChecked(!mnuLoop->isChecked());
    if (mnuLoop->isChecked()) {
        LoopMode = 1;
        setWindowTitle("Brimvale WAV-Looper");
        SetListColors(0x8C64DC, 0xFFFFFF);
        if (ListIndex() < 0) return;
        LoopWave(WavePathOfSelection());
    } else {
        LoopMode = 0;
        setWindowTitle("Brimvale WAV-Player");
        SetListColors(0x00FFFF, 0x000000);
        StopSound();
    }
}

void frmWAV::mnuKeepTop_Click() {
    mnuKeepTop->setChecked(!mnuKeepTop->isChecked());
    QPointer<frmWAV> self(this);
    int16_t mode = mnuKeepTop->isChecked() ? -1 : 0;
    SetTopMost(*this, mode);  // lets pending events run: the window may be gone afterwards
    if (!self) return;
    OnTopMode = mnuKeepTop->isChecked() ? 1 : 0;
}
