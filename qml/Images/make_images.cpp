// Draws the interface's arrow pictures: a filled triangle, 27 by 22 pixels, pointing up or
// down on a transparent ground, white for the plain state and light grey for the pressed one;
// and the program's icon, eight level meters on a rounded panel.
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

namespace {

constexpr int arrowWidth = 27;
constexpr int arrowHeight = 22;
// Sub-samples per pixel edge: 16 x 16 gives 257 coverage levels, more than 8-bit alpha holds.
constexpr int subSamples = 16;
const QColor plainColour(255, 255, 255);
const QColor pressedColour(204, 204, 204);

struct Picture
{
    const char *fileName;
    bool pointsUp;
    QColor colour;
};

const Picture pictures[] = {
    {"upArrow.png", true, plainColour},
    {"downArrow.png", false, plainColour},
    {"upArrowClicked.png", true, pressedColour},
    {"downArrowClicked.png", false, pressedColour},
};

// Inside the isosceles triangle whose base spans the full width at one edge and whose apex is
// the middle of the opposite edge. y is measured from the apex's edge.
bool insideTriangle(double x, double yFromApex)
{
    const double halfWidthAtY = (arrowWidth / 2.0) * (yFromApex / arrowHeight);
    return yFromApex >= 0 && yFromApex <= arrowHeight && qAbs(x - arrowWidth / 2.0) <= halfWidthAtY;
}

QImage draw(const Picture &picture)
{
    QImage image(arrowWidth, arrowHeight, QImage::Format_ARGB32);
    for (int row = 0; row < arrowHeight; ++row) {
        for (int column = 0; column < arrowWidth; ++column) {
            int covered = 0;
            for (int sy = 0; sy < subSamples; ++sy) {
                for (int sx = 0; sx < subSamples; ++sx) {
                    const double x = column + (sx + 0.5) / subSamples;
                    const double y = row + (sy + 0.5) / subSamples;
                    covered += insideTriangle(x, picture.pointsUp ? y : arrowHeight - y);
                }
            }
            const int alpha =
                (covered * 255 + subSamples * subSamples / 2) / (subSamples * subSamples);
            QColor pixel = picture.colour;
            pixel.setAlpha(alpha);
            image.setPixelColor(column, row, alpha == 0 ? QColor(0, 0, 0, 0) : pixel);
        }
    }
    return image;
}

// The icon: a rounded panel in the interface's colours with eight meters of different heights,
// green below the yellow mark and yellow and orange above it, as on the unit page.
constexpr int iconSize = 256;
const char iconFileName[] = "octo-remote.png";

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

QImage drawIcon()
{
    QImage image(iconSize, iconSize, QImage::Format_ARGB32);
    const int samples = 4;
    for (int row = 0; row < iconSize; ++row) {
        for (int column = 0; column < iconSize; ++column) {
            int r = 0, g = 0, b = 0, a = 0;
            for (int sy = 0; sy < samples; ++sy) {
                for (int sx = 0; sx < samples; ++sx) {
                    const QColor c =
                        iconColourAt(column + (sx + 0.5) / samples, row + (sy + 0.5) / samples);
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
    for (const Picture &picture : pictures)
        drawings.append({QString::fromLatin1(picture.fileName), draw(picture)});
    drawings.append({QString::fromLatin1(iconFileName), drawIcon()});
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
