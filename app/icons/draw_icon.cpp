// Draws the program icon: a page of text with a large letter on it.
// Build the target gramisola-draw-icon and run it in this folder to rewrite
// gramisola.png (32 x 32, 16-colour palette, one entry transparent) and
// gramisola-256.png (the same design, smooth, full colour).
#include <QFont>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPainterPath>

#include <cstdio>

namespace {

// The 16 colours of the classic palette, magenta given up for transparency
// (it was the colour that meant "transparent" in such icons anyway).
QList<QRgb> SixteenColours()
{
    return {qRgba(0, 0, 0, 0),   qRgb(0, 0, 0),       qRgb(128, 0, 0),   qRgb(0, 128, 0),
            qRgb(128, 128, 0),   qRgb(0, 0, 128),     qRgb(128, 0, 128), qRgb(0, 128, 128),
            qRgb(192, 192, 192), qRgb(128, 128, 128), qRgb(255, 0, 0),   qRgb(0, 255, 0),
            qRgb(255, 255, 0),   qRgb(0, 0, 255),     qRgb(0, 255, 255), qRgb(255, 255, 255)};
}

// The design on a 32-unit grid; `size` is the picture's side in pixels.
QImage Draw(int size, bool smooth)
{
    QImage image(size, size, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing, smooth);
    p.setRenderHint(QPainter::TextAntialiasing, smooth);
    p.scale(size / 32.0, size / 32.0);
    const qreal px = smooth ? 0.0 : 0.5; // pixel centres for crisp 1-pixel lines

    // The sheet with its top-right corner folded down.
    QPainterPath sheet;
    sheet.moveTo(5 + px, 1 + px);
    sheet.lineTo(20 + px, 1 + px);
    sheet.lineTo(26 + px, 7 + px);
    sheet.lineTo(26 + px, 30 + px);
    sheet.lineTo(5 + px, 30 + px);
    sheet.closeSubpath();
    p.setPen(QPen(QColor(0, 0, 0), 1.0));
    p.setBrush(QColor(255, 255, 255));
    p.drawPath(sheet);
    QPainterPath fold;
    fold.moveTo(20 + px, 1 + px);
    fold.lineTo(20 + px, 7 + px);
    fold.lineTo(26 + px, 7 + px);
    fold.closeSubpath();
    p.setBrush(QColor(192, 192, 192));
    p.drawPath(fold);

    // Lines of text above the letter.
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(128, 128, 128));
    const int lineEnds[] = {17, 22, 19, 23};
    for (int i = 0; i < 4; ++i)
        p.drawRect(QRectF(8, 5 + 3 * i, (i == 0 ? 17 : lineEnds[i]) - 8, 1));

    // The letter: a chain of characters begins with one.
    QFont font(QStringLiteral("Liberation Serif"));
    font.setBold(true);
    font.setPixelSize(16);
    font.setStyleStrategy(smooth ? QFont::PreferAntialias : QFont::NoAntialias);
    p.setFont(font);
    p.setPen(QColor(0, 0, 128));
    p.drawText(QRectF(6, 15, 12, 15), Qt::AlignCenter, QStringLiteral("a"));
    p.setPen(QColor(128, 0, 0));
    p.drawText(QRectF(14, 15, 12, 15), Qt::AlignCenter, QStringLiteral("b"));
    p.end();
    return image;
}

} // namespace

int main(int argc, char *argv[])
{
    QGuiApplication app(argc, argv);
    const QImage small = Draw(32, false).convertToFormat(QImage::Format_Indexed8, SixteenColours(),
                                                         Qt::ThresholdDither | Qt::AvoidDither);
    const QImage large = Draw(256, true);
    if (!small.save(QStringLiteral("gramisola.png")) ||
        !large.save(QStringLiteral("gramisola-256.png"))) {
        std::fprintf(stderr, "cannot write the icon files\n");
        return 1;
    }
    return 0;
}
