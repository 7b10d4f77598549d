// Draws the program icon: a page of text with a large letter on it.
// Build the target gramisola-draw-icon and run it in this folder to rewrite
// gramisola.png (32 x 32, 16-colour palette, one entry transparent),
// gramisola-48.png and gramisola-256.png (the same design, smooth, full
// colour) and gramisola.svg (the same design as vector paths, the letters as
// outlines so that the picture needs no font).
#include <QFile>
#include <QFont>
#include <QFontMetricsF>
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

// Right ends of the four lines of text above the letters.
constexpr int kLineEnds[] = {17, 22, 19, 23};

struct Letter {
    char character;
    QRectF box;
    QColor colour;
};
const Letter kLetters[] = {
    {'a', QRectF(6, 15, 12, 15), QColor(0, 0, 128)},
    {'b', QRectF(14, 15, 12, 15), QColor(128, 0, 0)},
};

QFont LetterFont()
{
    QFont font(QStringLiteral("Liberation Serif"));
    font.setBold(true);
    font.setPixelSize(16);
    return font;
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
    for (int i = 0; i < 4; ++i)
        p.drawRect(QRectF(8, 5 + 3 * i, kLineEnds[i] - 8, 1));

    // The letters: a chain of characters begins with one.
    QFont font = LetterFont();
    font.setStyleStrategy(smooth ? QFont::PreferAntialias : QFont::NoAntialias);
    p.setFont(font);
    for (const Letter &letter : kLetters) {
        p.setPen(letter.colour);
        p.drawText(letter.box, Qt::AlignCenter, QString(QLatin1Char(letter.character)));
    }
    p.end();
    return image;
}

// The outline of a letter placed as drawText(box, Qt::AlignCenter) places it.
QPainterPath LetterOutline(const Letter &letter)
{
    const QFont font = LetterFont();
    const QFontMetricsF metrics(font);
    const QString text(QLatin1Char(letter.character));
    const QPointF baseline(
        letter.box.x() + (letter.box.width() - metrics.horizontalAdvance(text)) / 2,
        letter.box.y() + (letter.box.height() - metrics.height()) / 2 + metrics.ascent());
    QPainterPath path;
    path.addText(baseline, font, text);
    return path;
}

QString SvgPathData(const QPainterPath &path)
{
    QString data;
    const auto number = [](qreal value) { return QString::number(value, 'f', 3); };
    for (int i = 0; i < path.elementCount(); ++i) {
        const QPainterPath::Element e = path.elementAt(i);
        if (e.isMoveTo()) {
            if (i > 0)
                data += QStringLiteral("Z");
            data += QStringLiteral("M%1 %2").arg(number(e.x), number(e.y));
        } else if (e.isLineTo()) {
            data += QStringLiteral("L%1 %2").arg(number(e.x), number(e.y));
        } else if (e.isCurveTo()) {
            const QPainterPath::Element c2 = path.elementAt(i + 1);
            const QPainterPath::Element end = path.elementAt(i + 2);
            data += QStringLiteral("C%1 %2 %3 %4 %5 %6")
                        .arg(number(e.x), number(e.y), number(c2.x), number(c2.y), number(end.x),
                             number(end.y));
            i += 2;
        }
    }
    return data + QStringLiteral("Z");
}

// The smooth design as SVG on its 32-unit grid.
QByteArray DrawSvg()
{
    QString svg =
        QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                       "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"32\" height=\"32\" "
                       "viewBox=\"0 0 32 32\">\n"
                       "  <path d=\"M5 1H20L26 7V30H5Z\" fill=\"#ffffff\" stroke=\"#000000\"/>\n"
                       "  <path d=\"M20 1V7H26Z\" fill=\"#c0c0c0\" stroke=\"#000000\"/>\n");
    for (int i = 0; i < 4; ++i)
        svg += QStringLiteral("  <rect x=\"8\" y=\"%1\" width=\"%2\" height=\"1\" "
                              "fill=\"#808080\"/>\n")
                   .arg(5 + 3 * i)
                   .arg(kLineEnds[i] - 8);
    for (const Letter &letter : kLetters)
        svg += QStringLiteral("  <path d=\"%1\" fill=\"%2\"/>\n")
                   .arg(SvgPathData(LetterOutline(letter)), letter.colour.name());
    svg += QStringLiteral("</svg>\n");
    return svg.toUtf8();
}

} // namespace

int main(int argc, char *argv[])
{
    QGuiApplication app(argc, argv);
    const QImage small = Draw(32, false).convertToFormat(QImage::Format_Indexed8, SixteenColours(),
                                                         Qt::ThresholdDither | Qt::AvoidDither);
    QFile svg(QStringLiteral("gramisola.svg"));
    if (!small.save(QStringLiteral("gramisola.png")) ||
        !Draw(48, true).save(QStringLiteral("gramisola-48.png")) ||
        !Draw(256, true).save(QStringLiteral("gramisola-256.png")) ||
        !svg.open(QIODevice::WriteOnly) || svg.write(DrawSvg()) < 0) {
        std::fprintf(stderr, "cannot write the icon files\n");
        return 1;
    }
    return 0;
}
