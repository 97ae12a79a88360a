// What a screen reader is told beyond what it reads of a control by itself: a folder just
// opened, a count, a level, a mode switched, details that came late. Qt 6.4 has no announcement
// event on Linux, and it sends name and description changes without their text, which Orca
// drops; Orca does speak a notification that shows. So news goes out as one: a notification of
// the window's, never on screen, says it as it "shows".
#pragma once
#include <QString>

class QWidget;
class FormLogic;

// Tells text to a screen reader, if one is active and window is the active window.
void Say(QWidget* window, const QString& text);

// "Drums, 3 Einträge": the folder shown and its entries besides "[..]".
QString FolderSpeech(const FormLogic& logic);
