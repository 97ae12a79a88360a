// Window placement and top-most state, and the window's geometry in twips
// (1/1440 inch: 15 twips a pixel at 96 DPI), the unit the settings file keeps.
#pragma once
#include <cstdint>

class QWidget;

// Twips per device-independent pixel on the primary screen (1440 / its logical DPI).
double TwipsPerPixel();
// Conversions between twips and device-independent pixels (to the nearest pixel).
int TwipsToPixels(double twips);
float PixelsToTwips(int pixels);
// The primary screen's size in twips.
float ScreenWidthTwips();
float ScreenHeightTwips();

// The window's outer frame (title bar and border included), in twips.
float FormLeft(const QWidget& w);
float FormTop(const QWidget& w);
float FormWidth(const QWidget& w);
float FormHeight(const QWidget& w);
void SetFormLeft(QWidget& w, float twips);
void SetFormTop(QWidget& w, float twips);
void SetFormWidth(QWidget& w, float twips);
void SetFormHeight(QWidget& w, float twips);
// An outer size set while the window was hidden (and so unframed) is applied again once the
// window manager has framed it, so that the frame, not the client area, has the stored size.
void FitPendingOuterSize(QWidget& w);

// Default position: centred left to right and within the upper 85 % of the screen's height,
// never beyond the top or left edge.
void PlaceForm(QWidget& window);

// -1: stay above ordinary windows; 0: back to the normal order; any other value only raises the
// window. Size and position are kept; a hidden window stays hidden.
void SetTopMost(QWidget& window, const int16_t& mode);
