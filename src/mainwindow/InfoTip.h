// The tooltip of a file entry: the header line, the loop line and a picture of the sound (its
// peak overview, the loop region shaded), drawn when the tip shows.
#pragma once
#include <QPalette>
#include <QString>

#include "platform/fileinfo.h"

// Logical size of the picture.
constexpr int kPictureWidth = overview::kColumns, kPictureHeight = 48;

// The overview of info in the palette's tooltip colours, at the device pixel ratio dpr.
QImage DrawPicture(const fileinfo::Info& info, const QPalette& palette, qreal dpr);

// The tip's text: plain for a file that cannot play, otherwise rich text with the lines and the
// picture (as an inline PNG, so any platform's tooltip shows it).
QString InfoTip(const fileinfo::Info& info, const QPalette& palette, qreal dpr);

// The tip's lines as one plain text ("0:01.250 · 44.1 kHz · 24-bit · stereo, loop ..."), for a
// screen reader.
QString InfoSpeech(const fileinfo::Info& info);
