// Images drawn in code, so nothing depends on an icon theme or a symbol font.
#pragma once
#include <QIcon>

// The program's window icon: a yellow list with a waveform on navy.
QIcon AppIcon();
// Two circular arrows: the reload sign.
QIcon ReloadIcon();
