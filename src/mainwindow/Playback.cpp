// Playing from the list: mouse presses, key releases, the pop-up menu and the Loop mode.
#include <QAction>
#include <QCursor>
#include <QMenu>
#include <QPointer>
#include <QTimer>

#include "mainwindow/Speech.h"
#include "mainwindow/frmWAV.h"
#include "sound/Sound.h"
#include "util/WindowCommands.h"

void frmWAV::Apply(const SoundCall& call) {
    if (call.kind == SoundCall::Loop)
        LoopWave(call.path);
    else if (call.kind != SoundCall::None)
        PlayWave(call.path);
}

void frmWAV::lstPath_MouseDown(int16_t Button, int16_t /*Shift*/, float /*X*/, float /*Y*/) {
    // The menu acts on the entry selected before the press.
    if (Button == 2) mnuPop->popup(QCursor::pos());
    Apply(logic.Press(Button, ListIndex()));
}

void frmWAV::lstPath_KeyUp(int16_t& KeyCode, int16_t& Shift) {
    // Return, Backspace and Alt+Up move between folders (a search below opens with Ctrl+Enter).
    if (logic.Finding() != find::Mode::Below && logic.FolderKey(KeyCode, Shift, ListIndex())) {
        if (KeyCode == 13) SetLabelText(dirDirs.Path());  // as a double click; ".." leaves it
        return Say(this, FolderSpeech(logic));
    }
    // Space and Escape stop; any other key does what a press with button 0 does.
    Apply(logic.KeyUp(KeyCode, ListIndex()));
}

void frmWAV::mnuPlay_Click() { Apply(logic.PlayItem(ListIndex())); }

void frmWAV::mnuStop_Click() { Apply(logic.StopItem()); }

void frmWAV::mnuLoop_Click() {
    SoundCall call = logic.ToggleLoop(ListIndex());
    mnuLoop->setChecked(logic.Looping());
    ListLook look = FormLogic::LookOf(logic.Looping());
    setWindowTitle(look.caption);
    SetListColors(look.back, look.fore);
    Say(this, logic.Looping() ? "Schleife an" : "Schleife aus");
    Apply(call);
}

void frmWAV::mnuKeepTop_Click() {
    mnuKeepTop->setChecked(logic.ToggleKeepTop());
    QPointer<frmWAV> self(this);
    int16_t mode = mnuKeepTop->isChecked() ? -1 : 0;
    SetTopMost(*this, mode);  // lets pending events run: the window may be gone afterwards
    if (!self) return;
    logic.CommitOnTop();
    // Said once the window manager has given the re-shown window back its activation.
    QTimer::singleShot(300, this, [this] {
        Say(this, mnuKeepTop->isChecked() ? "Immer im Vordergrund an" : "Immer im Vordergrund aus");
    });
}
