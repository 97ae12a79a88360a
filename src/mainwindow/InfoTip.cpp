#include "mainwindow/InfoTip.h"

#include <QBuffer>
#include <QImage>
#include <QPainter>

QImage DrawPicture(const fileinfo::Info& info, const QPalette& palette, qreal dpr) {
    QImage image(QSize(kPictureWidth, kPictureHeight) * dpr, QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(dpr);
    image.fill(Qt::transparent);
    const overview::Overview& ov = info.overview;
    if (!info.wave || ov.lanes < 1) return image;
    QPainter p(&image);
    // The loop region Loop mode would repeat; what lies past it is never heard there.
    const int64_t frames = std::max<int64_t>(info.wave->frames, 1);
    if (info.loop.check == audio::LoopPlan::Used) {
        const qreal x0 = qreal(info.loop.start) * kPictureWidth / frames;
        const qreal x1 = qreal(info.loop.end) * kPictureWidth / frames;
        QColor shade = palette.color(QPalette::Highlight);
        shade.setAlpha(90);
        p.fillRect(QRectF(x0, 0, std::max(x1 - x0, 1.0 / dpr), kPictureHeight), shade);
    }
    const QColor ink = palette.color(QPalette::ToolTipText);
    const qreal lane = qreal(kPictureHeight) / ov.lanes, half = lane / 2 - 0.5;
    for (int l = 0; l < ov.lanes; ++l) {
        const qreal mid = lane * l + lane / 2;
        for (int c = 0; c < overview::kColumns; ++c) {
            // Upwards is positive; even silence leaves a line one device pixel high.
            const qreal top = mid - half * ov.High(l, c) / 127.0;
            const qreal bottom = mid - half * ov.Low(l, c) / 127.0;
            p.fillRect(QRectF(c, top, 1, std::max(bottom - top, 1.0 / dpr)), ink);
        }
    }
    return image;
}

QString InfoTip(const fileinfo::Info& info, const QPalette& palette, qreal dpr) {
    QString text = QString::fromStdString(fileinfo::InfoText(info.wave));
    if (!info.wave) return text;
    QString html = "<p style='white-space:pre'>" + text.toHtmlEscaped();
    if (std::string loop = fileinfo::LoopText(info); !loop.empty())
        html += "<br>" + QString::fromStdString(loop).toHtmlEscaped();
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    DrawPicture(info, palette, dpr).save(&buffer, "PNG");
    // Drawn at device pixels and shown at logical size: sharp on any screen.
    return html + QString("<br><img src='data:image/png;base64,%1' width=%2 height=%3></p>")
                      .arg(QString::fromLatin1(png.toBase64()))
                      .arg(kPictureWidth)
                      .arg(kPictureHeight);
}

QString InfoSpeech(const fileinfo::Info& info) {
    QString text = QString::fromStdString(fileinfo::InfoText(info.wave));
    if (std::string loop = info.wave ? fileinfo::LoopText(info) : ""; !loop.empty())
        text += ", " + QString::fromStdString(loop);
    return text;
}
