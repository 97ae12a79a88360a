#include "mainwindow/FindLine.h"

#include <QKeyEvent>
#include <QLabel>

#include "mainwindow/PathListView.h"

FindLine::FindLine(QWidget* parent) : QLineEdit(parent), status_(new QLabel(this)) {
    status_->setAttribute(Qt::WA_TransparentForMouseEvents);
    status_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    status_->setForegroundRole(QPalette::PlaceholderText);
    setPlaceholderText("Name suchen");
}

void FindLine::SetStatus(const QString& text) {
    status_->setText(text);
    status_->setAccessibleName(text);
    resizeEvent(nullptr);
}

// Tab reaches event() before any key handler would see it.
bool FindLine::event(QEvent* event) {
    if (event->type() != QEvent::KeyPress && event->type() != QEvent::KeyRelease)
        return QLineEdit::event(event);
    auto* key = static_cast<QKeyEvent*>(event);
    const Qt::KeyboardModifiers m = key->modifiers();
    const int code = KeyCodeOf(key->key());
    const int shift = (m & Qt::ShiftModifier ? 1 : 0) | (m & Qt::ControlModifier ? 2 : 0) |
                      (m & Qt::AltModifier ? 4 : 0);
    const find::LineKey what = find::KeyInLine(code, shift);
    if (what == find::LineKey::Edit) return QLineEdit::event(event);
    if (event->type() == QEvent::KeyPress && keyPressed) keyPressed(key, what);
    if (event->type() == QEvent::KeyRelease && !key->isAutoRepeat() && keyReleased)
        keyReleased(code, shift, what);
    event->accept();
    return true;
}

void FindLine::resizeEvent(QResizeEvent* event) {
    if (event) QLineEdit::resizeEvent(event);
    const int w = status_->sizeHint().width();
    status_->setGeometry(width() - w - 4, 0, w, height());
    setTextMargins(0, 0, status_->text().isEmpty() ? 0 : w + 4, 0);
}
