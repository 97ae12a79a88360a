#include "util/WindowCommands.h"

#include <QApplication>
#include <QGuiApplication>
#include <QScreen>
#include <QVariant>
#include <QWidget>
#include <cmath>

namespace {

constexpr const char* kPendingWidth = "wavPendingOuterWidth";
constexpr const char* kPendingHeight = "wavPendingOuterHeight";

QScreen* Primary() { return QGuiApplication::primaryScreen(); }

double Dpi() {
    QScreen* s = Primary();
    double dpi = s ? s->logicalDotsPerInchY() : 96.0;
    return dpi > 0 ? dpi : 96.0;
}

// Frame margins are only known once a window manager has framed the window; before that the
// outer size is the client size.
QMargins Frame(const QWidget& w) {
    QRect outer = w.frameGeometry(), inner = w.geometry();
    return QMargins(inner.left() - outer.left(), inner.top() - outer.top(),
                    outer.right() - inner.right(), outer.bottom() - inner.bottom());
}

// Nearest 32-bit integer, halves to even.
int32_t RoundEven(double v) { return static_cast<int32_t>(std::nearbyint(v)); }

}  // namespace

double TwipsPerPixel() { return 1440.0 / Dpi(); }

int TwipsToPixels(double twips) { return static_cast<int>(std::lround(twips / TwipsPerPixel())); }
float PixelsToTwips(int pixels) { return static_cast<float>(pixels * TwipsPerPixel()); }

float ScreenWidthTwips() {
    QScreen* s = Primary();
    return s ? static_cast<float>(s->size().width() * 1440.0 / Dpi()) : 0.0f;
}

float ScreenHeightTwips() {
    QScreen* s = Primary();
    return s ? static_cast<float>(s->size().height() * 1440.0 / Dpi()) : 0.0f;
}

float FormLeft(const QWidget& w) { return PixelsToTwips(w.frameGeometry().x()); }
float FormTop(const QWidget& w) { return PixelsToTwips(w.frameGeometry().y()); }
float FormWidth(const QWidget& w) { return PixelsToTwips(w.frameGeometry().width()); }
float FormHeight(const QWidget& w) { return PixelsToTwips(w.frameGeometry().height()); }

// move() places the outer frame of a top-level window.
void SetFormLeft(QWidget& w, float twips) { w.move(TwipsToPixels(twips), w.frameGeometry().y()); }
void SetFormTop(QWidget& w, float twips) { w.move(w.frameGeometry().x(), TwipsToPixels(twips)); }

// A hidden window has no frame yet; the outer size asked for is kept so the window can fit its
// client area to it once it is framed (see kPendingWidth).
void SetFormWidth(QWidget& w, float twips) {
    QMargins m = Frame(w);
    int outer = TwipsToPixels(twips);
    if (!w.isVisible()) w.setProperty(kPendingWidth, outer);
    w.resize(std::max(0, outer - m.left() - m.right()), w.height());
}

void SetFormHeight(QWidget& w, float twips) {
    QMargins m = Frame(w);
    int outer = TwipsToPixels(twips);
    if (!w.isVisible()) w.setProperty(kPendingHeight, outer);
    w.resize(w.width(), std::max(0, outer - m.top() - m.bottom()));
}

void FitPendingOuterSize(QWidget& w) {
    QMargins m = Frame(w);
    if (m.isNull()) return;  // not framed (yet)
    QVariant pw = w.property(kPendingWidth), ph = w.property(kPendingHeight);
    if (!pw.isValid() && !ph.isValid()) return;
    int width = pw.isValid() ? pw.toInt() - m.left() - m.right() : w.width();
    int height = ph.isValid() ? ph.toInt() - m.top() - m.bottom() : w.height();
    w.setProperty(kPendingWidth, QVariant());
    w.setProperty(kPendingHeight, QVariant());
    w.resize(std::max(0, width), std::max(0, height));
}

void PlaceForm(QWidget& window) {
    const double factor = 0.85;
    int32_t a = RoundEven(ScreenHeightTwips() * factor);
    int32_t b = RoundEven(FormHeight(window));
    // Each half is cut to a whole twip before the subtraction, as the default rule has it.
    const int32_t top = a / 2 - b / 2;
    SetFormTop(window, static_cast<float>(top));
    int32_t c = RoundEven(ScreenWidthTwips());
    int32_t d = RoundEven(FormWidth(window));
    const int32_t left = c / 2 - d / 2;
    SetFormLeft(window, static_cast<float>(left));
    if (FormTop(window) < 0) SetFormTop(window, 0);
    if (FormLeft(window) < 0) SetFormLeft(window, 0);
}

void SetTopMost(QWidget& window, const int16_t& mode) {
    bool on = mode == -1;
    if ((mode == -1 || mode == 0) &&
        window.windowFlags().testFlag(Qt::WindowStaysOnTopHint) != on) {
        // Changing the flag re-creates the native window and hides it: put it back as it was.
        bool visible = window.isVisible();
        QPoint pos = window.pos();
        QSize size = window.size();
        window.setWindowFlag(Qt::WindowStaysOnTopHint, on);
        window.move(pos);
        window.resize(size);
        if (visible) window.show();
    }
    if (window.isVisible()) {
        window.raise();
        window.activateWindow();
    }
    QApplication::processEvents();
}
