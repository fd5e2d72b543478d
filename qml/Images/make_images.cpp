// Draws the interface's pictures, each at its size and at twice that (name@2x.png) for screens
// that scale the interface by two: the arrows, a filled triangle of 27 by 22 pixels pointing up
// or down on a transparent ground, white for the plain state and light grey for the pressed one;
// the check mark of the tick boxes; and the program's icon, eight level meters on a rounded
// panel.
//
//   octo-make-images DIR           writes the pictures into DIR
//   octo-make-images --check DIR   exits non-zero when a picture in DIR differs from what this
//                                  program draws (compared pixel by pixel, so a different PNG
//                                  encoder on another machine does not count as a change)
//
// The coverage of every pixel is computed here by supersampling rather than by a painter, so
// the pictures do not depend on the rasteriser of the Qt version at hand.

#include <QColor>
#include <QDir>
#include <QImage>
#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>
#include <QTextStream>
#include <QtMath>

namespace {

constexpr int arrowWidth = 27;
constexpr int arrowHeight = 22;
// Sub-samples per pixel edge: 16 x 16 gives 257 coverage levels, more than 8-bit alpha holds.
constexpr int subSamples = 16;
const QColor plainColour(255, 255, 255);
const QColor pressedColour(204, 204, 204);

struct Arrow
{
    const char *name;
    bool pointsUp;
    QColor colour;
};

const Arrow arrows[] = {
    {"upArrow", true, plainColour},
    {"downArrow", false, plainColour},
    {"upArrowClicked", true, pressedColour},
    {"downArrowClicked", false, pressedColour},
};

// The scales every picture is drawn at; 2 goes to name@2x.png.
constexpr int scales[] = {1, 2};

// Coverage of a pixel, in 0 to 255, for a shape given in the picture's own units at scale 1:
// the pixel (column, row) of the picture drawn at scale covers the square of side 1 / scale.
template<typename Inside> int coverage(int column, int row, int scale, Inside inside)
{
    int covered = 0;
    for (int sy = 0; sy < subSamples; ++sy) {
        for (int sx = 0; sx < subSamples; ++sx) {
            const double x = (column + (sx + 0.5) / subSamples) / scale;
            const double y = (row + (sy + 0.5) / subSamples) / scale;
            covered += inside(x, y);
        }
    }
    return (covered * 255 + subSamples * subSamples / 2) / (subSamples * subSamples);
}

// A picture of one colour whose alpha is the coverage of a shape.
template<typename Inside>
QImage drawShape(int width, int height, int scale, const QColor &colour, Inside inside)
{
    QImage image(width * scale, height * scale, QImage::Format_ARGB32);
    for (int row = 0; row < image.height(); ++row) {
        for (int column = 0; column < image.width(); ++column) {
            const int alpha = coverage(column, row, scale, inside);
            QColor pixel = colour;
            pixel.setAlpha(alpha);
            image.setPixelColor(column, row, alpha == 0 ? QColor(0, 0, 0, 0) : pixel);
        }
    }
    return image;
}

// Inside the isosceles triangle whose base spans the full width at one edge and whose apex is
// the middle of the opposite edge. y is measured from the apex's edge.
bool insideTriangle(double x, double yFromApex)
{
    const double halfWidthAtY = (arrowWidth / 2.0) * (yFromApex / arrowHeight);
    return yFromApex >= 0 && yFromApex <= arrowHeight && qAbs(x - arrowWidth / 2.0) <= halfWidthAtY;
}

QImage drawArrow(const Arrow &arrow, int scale)
{
    return drawShape(arrowWidth, arrowHeight, scale, arrow.colour, [&arrow](double x, double y) {
        return insideTriangle(x, arrow.pointsUp ? y : arrowHeight - y);
    });
}

// The check mark: a tick of two strokes with round ends, in the dark of the tick boxes' frame,
// sized to sit inside their 18-pixel box.
constexpr int checkSize = 14;
const QColor checkColour(0x16, 0x16, 0x16);

double distanceToSegment(double x, double y, double x1, double y1, double x2, double y2)
{
    const double dx = x2 - x1;
    const double dy = y2 - y1;
    const double t = qBound(0.0, ((x - x1) * dx + (y - y1) * dy) / (dx * dx + dy * dy), 1.0);
    return qSqrt(qPow(x - x1 - t * dx, 2) + qPow(y - y1 - t * dy, 2));
}

QImage drawCheck(int scale)
{
    return drawShape(checkSize, checkSize, scale, checkColour, [](double x, double y) {
        const double halfStroke = 1.25;
        return distanceToSegment(x, y, 2.5, 7.5, 5.5, 10.5) <= halfStroke ||
               distanceToSegment(x, y, 5.5, 10.5, 11.5, 3.5) <= halfStroke;
    });
}

// The icon: a rounded panel in the interface's colours with eight meters of different heights,
// green below the yellow mark and yellow and orange above it, as on the unit page.
constexpr int iconSize = 256;

QColor iconColourAt(double x, double y)
{
    const double corner = 40;
    const double inset = 8;
    const double dx = qMax(qMax(inset + corner - x, x - (iconSize - inset - corner)), 0.0);
    const double dy = qMax(qMax(inset + corner - y, y - (iconSize - inset - corner)), 0.0);
    if (x < inset || y < inset || x > iconSize - inset || y > iconSize - inset ||
        dx * dx + dy * dy > corner * corner)
        return QColor(0, 0, 0, 0);
    static const double levels[] = {0.55, 0.8, 0.4, 0.95, 0.65, 0.3, 0.75, 0.5};
    const double barWidth = 18;
    const double gap = 7;
    const double left = (iconSize - 8 * barWidth - 7 * gap) / 2;
    const double bottom = iconSize - 44;
    const double top = 44;
    const int bar = int((x - left) / (barWidth + gap));
    const bool inBar = x >= left && bar < 8 && (x - left) - bar * (barWidth + gap) < barWidth;
    const double heightUp = (bottom - y) / (bottom - top);
    if (inBar && heightUp >= 0 && heightUp <= levels[bar])
        return heightUp > 0.85  ? QColor("#df8020")
               : heightUp > 0.6 ? QColor("#c3c322")
                                : QColor("#0da50d");
    return QColor("#333240");
}

QImage drawIcon(int scale)
{
    QImage image(iconSize * scale, iconSize * scale, QImage::Format_ARGB32);
    const int samples = 4;
    for (int row = 0; row < image.height(); ++row) {
        for (int column = 0; column < image.width(); ++column) {
            int r = 0, g = 0, b = 0, a = 0;
            for (int sy = 0; sy < samples; ++sy) {
                for (int sx = 0; sx < samples; ++sx) {
                    const QColor c = iconColourAt((column + (sx + 0.5) / samples) / scale,
                                                  (row + (sy + 0.5) / samples) / scale);
                    r += c.red() * c.alpha();
                    g += c.green() * c.alpha();
                    b += c.blue() * c.alpha();
                    a += c.alpha();
                }
            }
            const int n = samples * samples;
            image.setPixelColor(column, row,
                                a == 0 ? QColor(0, 0, 0, 0)
                                       : QColor(r / a, g / a, b / a, (a + n / 2) / n));
        }
    }
    return image;
}

bool samePixels(const QImage &a, const QImage &b)
{
    return a.convertToFormat(QImage::Format_ARGB32) == b.convertToFormat(QImage::Format_ARGB32);
}

} // namespace

int main(int argc, char **argv)
{
    const QStringList arguments = [&] {
        QStringList list;
        for (int i = 1; i < argc; ++i)
            list << QString::fromLocal8Bit(argv[i]);
        return list;
    }();
    const bool check = arguments.value(0) == QLatin1String("--check");
    const QString folder = arguments.value(check ? 1 : 0);
    QTextStream err(stderr);
    if (folder.isEmpty()) {
        err << "usage: octo-make-images [--check] FOLDER\n";
        return 2;
    }

    int failures = 0;
    QList<QPair<QString, QImage>> drawings;
    for (const int scale : scales) {
        const QString suffix =
            scale == 1 ? QStringLiteral(".png") : QStringLiteral("@%1x.png").arg(scale);
        for (const Arrow &arrow : arrows)
            drawings.append({QString::fromLatin1(arrow.name) + suffix, drawArrow(arrow, scale)});
        drawings.append({QStringLiteral("check") + suffix, drawCheck(scale)});
        drawings.append({QStringLiteral("octo-remote") + suffix, drawIcon(scale)});
    }
    for (const auto &[fileName, drawn] : drawings) {
        const QString path = QDir(folder).filePath(fileName);
        if (check) {
            const QImage stored(path);
            if (stored.isNull() || !samePixels(stored, drawn)) {
                err << path << " is missing or differs from the drawing; run the octo_images "
                    << "target to regenerate it\n";
                ++failures;
            }
        } else if (!drawn.save(path, "PNG")) {
            err << "cannot write " << path << "\n";
            ++failures;
        }
    }
    return failures == 0 ? 0 : 1;
}
