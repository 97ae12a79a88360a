// Images drawn in code, so nothing depends on an icon theme or a symbol font.
#pragma once
#include <QIcon>

// The program's window icon: a yellow list with a waveform on navy.
QIcon AppIcon();
// Two circular arrows: the reload sign.
QIcon ReloadIcon();
// The favourite's mark in a list row: a gold star; an outlined one, struck through, for a
// favourite whose file is gone.
QIcon StarIcon(bool gone);
