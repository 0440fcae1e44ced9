#include "MapPainter.h"

#include "document/Numbers.h"
#include "views/ItemDrawing.h"

#include <QFontMetrics>
#include <QImage>
#include <QLocale>
#include <QPaintDevice>
#include <QPainter>
#include <QPen>
#include <QRect>
#include <QRegion>
#include <QTransform>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>

namespace starloom {

using namespace mapdraw;

namespace {

constexpr double minGridStepPixels = 4; // a finer grid is thinned to every m-th line
constexpr double headingLength = 1200;

QColor colourOf(std::int32_t packed)
{
    return QColor(packed & 0xff, (packed >> 8) & 0xff, (packed >> 16) & 0xff);
}

double clampPixel(double v, double extent)
{
    if (!(v > -2))
        return -2;
    if (!(v < extent + 2))
        return extent + 2;
    return v;
}

// ViewScale::toPixel for one view size, made inline for the loops over every row; the same
// arithmetic, so the same pixels. `s` is the rectangle the view shows (ViewScale::shownAt).
class PixelMap {
public:
    PixelMap(const ViewScale& s, QSize pixels)
        : m_left(double(s.left)),
          m_top(double(s.top)),
          m_width(s.width()),
          m_height(s.height()),
          m_pixelWidth(QSizeF(pixels).width()),
          m_pixelHeight(QSizeF(pixels).height())
    {
    }
    QPointF operator()(double x, double y) const
    {
        return {(x - m_left) / m_width * m_pixelWidth, (y - m_top) / m_height * m_pixelHeight};
    }

private:
    double m_left;
    double m_top;
    double m_width;
    double m_height;
    double m_pixelWidth;
    double m_pixelHeight;
};

// Where 2x2 squares can be written straight into the pixels: a 32-bit image painted without a
// transform other than a whole-pixel shift, under one clip rectangle, with plain opaque
// drawing; what the painter would fill, pixel for pixel.
struct DirectPixels {
    QRgb* bits = nullptr;
    qsizetype stride = 0; // in pixels
    QPoint shift;         // device pixel of the painter's (0, 0)
    QRect clip;           // in the painter's coordinates

    static DirectPixels of(QPainter& painter)
    {
        QPaintDevice* device = painter.device();
        if (!device || device->devType() != QInternal::Image)
            return {};
        auto* image = static_cast<QImage*>(device);
        const QImage::Format f = image->format();
        if ((f != QImage::Format_RGB32 && f != QImage::Format_ARGB32 && f != QImage::Format_ARGB32_Premultiplied)
            || image->devicePixelRatio() != 1.0 || !image->isDetached())
            return {};
        if (painter.compositionMode() != QPainter::CompositionMode_SourceOver || painter.opacity() != 1.0)
            return {};
        const QTransform t = painter.deviceTransform();
        if (t.type() > QTransform::TxTranslate || t.dx() != std::floor(t.dx()) || t.dy() != std::floor(t.dy())
            || std::abs(t.dx()) > 1e6 || std::abs(t.dy()) > 1e6)
            return {};
        const QPoint shift(static_cast<int>(t.dx()), static_cast<int>(t.dy()));
        QRect clip = image->rect().translated(-shift);
        if (painter.hasClipping()) {
            const QRegion region = painter.clipRegion();
            if (region.rectCount() > 1)
                return {};
            clip &= region.boundingRect();
        }
        DirectPixels d;
        d.bits = reinterpret_cast<QRgb*>(image->bits());
        d.stride = image->bytesPerLine() / 4;
        d.shift = shift;
        d.clip = clip;
        return d;
    }
};

// Consecutive points of one colour, filled as 2x2 squares in one call (or written straight into
// the image's pixels where DirectPixels allows).
class PointBatch {
public:
    explicit PointBatch(QPainter& painter) : m_painter(painter), m_direct(DirectPixels::of(painter)) {}
    ~PointBatch() { flush(); }

    // Most points of a zoomed view lie outside it: the test is made inline.
    void add(QPointF pixel, QSize pixels, std::int32_t colour)
    {
        if (pixel.x() >= -1 && pixel.x() <= pixels.width() + 1 && pixel.y() >= -1 && pixel.y() <= pixels.height() + 1)
            addInside(pixel, colour);
    }

    void flush()
    {
        if (m_rects.empty())
            return;
        m_painter.setPen(Qt::NoPen);
        m_painter.setBrush(colourOf(m_colour));
        m_painter.drawRects(m_rects.data(), static_cast<int>(m_rects.size()));
        m_rects.clear();
    }

private:
    // std::floor of a number a few pixels around the view, without a library call.
    static int floorOf(double v)
    {
        const int i = static_cast<int>(v);
        return double(i) > v ? i - 1 : i;
    }

    void addInside(QPointF pixel, std::int32_t colour)
    {
        const int ix = floorOf(pixel.x() + 0.5);
        const int iy = floorOf(pixel.y() + 0.5);
        if (m_direct.bits) {
            const QRgb rgb = 0xff000000u | (std::uint32_t(colour) & 0xffu) << 16 | (std::uint32_t(colour) & 0xff00u)
                | (std::uint32_t(colour) >> 16 & 0xffu);
            const QRect& c = m_direct.clip;
            for (int y = iy - 1; y <= iy; ++y) {
                if (y < c.top() || y > c.bottom())
                    continue;
                QRgb* line = m_direct.bits + qsizetype(y + m_direct.shift.y()) * m_direct.stride + m_direct.shift.x();
                for (int x = ix - 1; x <= ix; ++x) {
                    if (x >= c.left() && x <= c.right())
                        line[x] = rgb;
                }
            }
            return;
        }
        if (colour != m_colour)
            flush();
        m_colour = colour;
        m_rects.emplace_back(ix - 1, iy - 1, 2, 2);
    }

    QPainter& m_painter;
    DirectPixels m_direct;
    std::vector<QRect> m_rects;
    std::int32_t m_colour = 0;
};

// A circle of `radius` pixels, skipped when no part of its outline can be inside the view.
void drawCircle(QPainter& painter, QSize pixels, QPointF centre, double radius, std::int32_t colour)
{
    if (!std::isfinite(radius) || !std::isfinite(centre.x()) || !std::isfinite(centre.y()))
        return;
    const double w = pixels.width();
    const double h = pixels.height();
    const double margin = 2;
    if (centre.x() + radius + margin < 0 || centre.x() - radius - margin > w || centre.y() + radius + margin < 0
        || centre.y() - radius - margin > h)
        return;
    const double dx = std::max(std::abs(centre.x()), std::abs(centre.x() - w));
    const double dy = std::max(std::abs(centre.y()), std::abs(centre.y() - h));
    if (std::hypot(dx, dy) + margin < radius)
        return; // the view lies wholly inside the circle
    painter.setPen(QPen(colourOf(colour), 2, Qt::SolidLine));
    painter.setBrush(Qt::NoBrush);
    painter.drawEllipse(centre, radius, radius);
}

void drawSegment(QPainter& painter, QSize pixels, QPointF from, QPointF to, std::int32_t colour)
{
    const double margin = 2;
    if (std::max(from.x(), to.x()) < -margin || std::min(from.x(), to.x()) > pixels.width() + margin
        || std::max(from.y(), to.y()) < -margin || std::min(from.y(), to.y()) > pixels.height() + margin)
        return;
    if (!std::isfinite(from.x()) || !std::isfinite(from.y()) || !std::isfinite(to.x()) || !std::isfinite(to.y()))
        return;
    painter.setPen(QPen(colourOf(colour), 2, Qt::SolidLine));
    painter.drawLine(from, to);
}

// Every how many grid lines one is drawn, so that they are at least a few pixels apart; 0 when
// none can be.
double gridThinning(double spacing, double pixelsPerUnit)
{
    const double step = spacing * pixelsPerUnit;
    const double m = step >= minGridStepPixels ? 1.0 : std::ceil(minGridStepPixels / step);
    return std::isfinite(m) ? m : 0.0;
}

// The grid size in whole world units; 0 when there is no grid.
double gridSpacingOf(const MapScene& scene)
{
    const double g = val(scene.gridSizeText);
    return std::isfinite(g) ? double(toInt32Clamped(g)) : 0.0;
}

// Grid positions -edge + k*spacing (k >= 1, not beyond +edge) that fall inside [lo, hi], thinned
// to every m-th when they would be closer than a few pixels. Calls f(world position).
template <class F> void forEachGridLine(double edge, double spacing, double lo, double hi, double pixelsPerUnit, F&& f)
{
    const double kLast = std::min(std::floor(2 * edge / spacing), std::floor((hi + edge) / spacing));
    const double kFirst = std::max(1.0, std::ceil((lo + edge) / spacing));
    if (!(kFirst <= kLast))
        return;
    const double m = gridThinning(spacing, pixelsPerUnit);
    if (m == 0)
        return;
    for (double k = std::ceil(kFirst / m) * m; k <= kLast; k += m)
        f(-edge + k * spacing);
}

void drawTopGrid(QPainter& painter, QSize pixels, const MapScene& scene)
{
    const ViewScale& s = scene.top;
    const double w = pixels.width();
    const double h = pixels.height();
    const double X = scene.world.x;
    const double Y = scene.world.y;

    const double g = val(scene.gridSizeText);
    const double spacing = gridSpacingOf(scene);
    if (spacing > 0) {
        QPen pen(scene.colours.grid, 1, Qt::DotLine);
        pen.setCosmetic(true);
        painter.setPen(pen);
        std::vector<QLine> lines;

        const double yFrom = clampPixel(s.toPixel(0, -Y, pixels).y(), h);
        const double yTo = clampPixel(s.toPixel(0, Y, pixels).y(), h);
        forEachGridLine(X, spacing, std::min<double>(s.left, s.right), std::max<double>(s.left, s.right),
            w / std::abs(s.width()), [&](double x) {
                const int col = snap(s.toPixel(x, 0, pixels).x());
                lines.emplace_back(col, snap(yFrom), col, snap(yTo));
            });

        const double xFrom = clampPixel(s.toPixel(-X, 0, pixels).x(), w);
        const double xTo = clampPixel(s.toPixel(X, 0, pixels).x(), w);
        forEachGridLine(Y, spacing, std::min<double>(s.top, s.bottom), std::max<double>(s.top, s.bottom),
            h / std::abs(s.height()), [&](double y) {
                const int row = snap(s.toPixel(0, y, pixels).y());
                lines.emplace_back(snap(xFrom), row, snap(xTo), row);
            });
        painter.drawLines(lines.data(), static_cast<int>(lines.size()));
    }

    if (std::isfinite(g) && g != 0) {
        QPen pen(scene.colours.cross, 1, Qt::SolidLine);
        pen.setCosmetic(true);
        painter.setPen(pen);
        const QPointF origin = s.toPixel(0, 0, pixels);
        const int row = snap(origin.y());
        const int col = snap(origin.x());
        const double x0 = clampPixel(s.toPixel(-g / 2, 0, pixels).x(), w);
        const double x1 = clampPixel(s.toPixel(g / 2, 0, pixels).x(), w);
        const double y0 = clampPixel(s.toPixel(0, -g / 2, pixels).y(), h);
        const double y1 = clampPixel(s.toPixel(0, g / 2, pixels).y(), h);
        if (row >= -1 && row <= pixels.height())
            painter.drawLine(snap(x0), row, snap(x1), row);
        if (col >= -1 && col <= pixels.width())
            painter.drawLine(col, snap(y0), col, snap(y1));
    }
}

} // namespace

GridSpacing drawnGridSpacing(const MapScene& scene, QSize pixels)
{
    const double spacing = gridSpacingOf(scene);
    if (!(spacing > 0) || pixels.isEmpty())
        return {};
    return {spacing * gridThinning(spacing, scene.top.pixelsPerUnitX(QSizeF(pixels))),
        spacing * gridThinning(spacing, scene.top.pixelsPerUnitY(QSizeF(pixels)))};
}

QPointF playerHeadingEnd(double posX, double posY, float orientation)
{
    const int a = toInt16Clamped(orientation);
    const float k = float(3.14159265358979 / 180);
    const double ex = posX - std::sin(double(float(-a) * k)) * headingLength;
    const double ey = posY - std::sin(double(float(a + 90) * k)) * headingLength;
    return {double(toInt32Clamped(ex)), double(toInt32Clamped(ey))};
}

namespace {

// Saves the painter, clips it to the view and clears the view to the background, and the parts of
// it outside the world's box (from (x0, y0) to (x1, y1) in pixels) to the margin colour.
void beginView(QPainter& painter, QSize pixels, const MapColours& colours, QPointF corner0, QPointF corner1)
{
    painter.save();
    painter.setClipRect(QRect(QPoint(0, 0), pixels), Qt::IntersectClip);
    painter.setRenderHint(QPainter::Antialiasing, false);
    const QRect view(QPoint(0, 0), pixels);
    painter.fillRect(view, colours.background);
    if (colours.margin == colours.background || !std::isfinite(corner0.x()) || !std::isfinite(corner0.y())
        || !std::isfinite(corner1.x()) || !std::isfinite(corner1.y()))
        return;
    const QRectF box = QRectF(corner0, corner1).normalized();
    const int left = snap(std::clamp(box.left(), -1.0, double(pixels.width()) + 1));
    const int right = snap(std::clamp(box.right(), -1.0, double(pixels.width()) + 1));
    const int top = snap(std::clamp(box.top(), -1.0, double(pixels.height()) + 1));
    const int bottom = snap(std::clamp(box.bottom(), -1.0, double(pixels.height()) + 1));
    for (const QRect& r : {QRect(QPoint(0, 0), QPoint(left - 1, pixels.height() - 1)),
             QRect(QPoint(right + 1, 0), QPoint(pixels.width() - 1, pixels.height() - 1)),
             QRect(QPoint(left, 0), QPoint(right, top - 1)),
             QRect(QPoint(left, bottom + 1), QPoint(right, pixels.height() - 1))}) {
        if (const QRect inside = r & view; !inside.isEmpty())
            painter.fillRect(inside, colours.margin);
    }
}

// Clouds, dust clouds and nebulae as translucent discs of their size, in their own colour. Discs
// smaller than a mark are left to the mark; past maxCloudDiscs discs in the view, or when they would
// cover the view more than maxCloudCoverage times over, none is drawn, so a generated level of many
// thousand clouds paints as fast as without discs (real maps hold a few hundred at most).
void drawCloudDiscs(QPainter& painter, QSize pixels, const MapScene& scene)
{
    constexpr std::size_t maxCloudDiscs = 2000;
    const ViewScale& s = scene.top;
    const double sx = pixels.width() / std::abs(s.width());
    const double sy = pixels.height() / std::abs(s.height());
    const QRectF view(QPointF(0, 0), QSizeF(pixels));
    struct Disc {
        QRectF box;
        QColor colour;
    };
    std::vector<Disc> discs;
    double area = 0; // of the discs inside the view, in pixels
    ItemView item;
    const ItemReader items(*scene.document);
    for (const ObjectRow& row : *scene.rows) {
        if (!isCloudKind(row.kind) || row.hidden || !items.read(row, item) || !(item.size > 0))
            continue;
        const double rx = item.size * sx;
        const double ry = item.size * sy;
        if (rx < 2 && ry < 2)
            continue;
        const QPointF at = s.toPixel(item.x, item.y, pixels);
        const QRectF disc(at.x() - rx, at.y() - ry, 2 * rx, 2 * ry);
        if (!disc.intersects(view) || disc.width() > 1e6 || disc.height() > 1e6)
            continue;
        area += (disc & view).width() * (disc & view).height();
        if (discs.size() == maxCloudDiscs || area > maxCloudCoverage * view.width() * view.height())
            return;
        QColor c = item.cloudColour;
        c.setAlpha(56);
        discs.push_back({disc, c});
    }
    // Smoothing the edge costs several times the fill over the whole disc, so only small discs get
    // it: at this translucency the steps of a large disc's edge hardly show.
    constexpr double smoothedRadius = 48;
    painter.save();
    painter.setPen(Qt::NoPen);
    for (const Disc& d : discs) {
        painter.setRenderHint(
            QPainter::Antialiasing, d.box.width() <= 2 * smoothedRadius && d.box.height() <= 2 * smoothedRadius);
        painter.setBrush(d.colour);
        painter.drawEllipse(d.box);
    }
    painter.restore();
}

// The marks of the selected rows and of the row under the pointer, the rubber band and the
// measured line. `front`: the front view (posX against posZ), which shows only the selection.
// The white square around each selected item, drawn once for the items that share a pixel: all
// of a big level may be selected (after Rotate Copies, or an undone Delete All), so the squares
// are written straight into the image's pixels where DirectPixels allows, else drawn in one call.
void drawSelectionMarks(
    QPainter& painter, QSize pixels, const MapScene& scene, const ViewScale& s, const ItemReader& items, bool front)
{
    constexpr int half = 5;
    const int w = pixels.width();
    const int h = pixels.height();
    std::vector<bool> marked(static_cast<std::size_t>(w + 2 * half + 1) * static_cast<std::size_t>(h + 2 * half + 1));
    std::vector<QRect> squares;
    ItemView item;
    for (const int row : *scene.selection) {
        if (row < 0 || row >= static_cast<int>(scene.rows->size())
            || (*scene.rows)[static_cast<std::size_t>(row)].hidden
            || !items.read((*scene.rows)[static_cast<std::size_t>(row)], item))
            continue;
        const QPointF at = s.toPixel(item.x, front ? item.z : item.y, pixels);
        if (!(at.x() >= -half && at.y() >= -half && at.x() <= w + half && at.y() <= h + half))
            continue;
        const int x = snap(at.x());
        const int y = snap(at.y());
        const auto cell = static_cast<std::size_t>(y + half) * static_cast<std::size_t>(w + 2 * half + 1)
            + static_cast<std::size_t>(x + half);
        if (cell >= marked.size() || marked[cell])
            continue;
        marked[cell] = true;
        squares.emplace_back(x - half, y - half, 2 * half, 2 * half);
    }
    if (squares.empty())
        return;
    if (const DirectPixels d = DirectPixels::of(painter); d.bits && !painter.testRenderHint(QPainter::Antialiasing)) {
        // As the painter draws a rectangle with a one-pixel pen: its outline from left to
        // left + width and from top to top + height, edges included. A square the view cuts
        // is left to the painter, which cuts it its own way.
        const QRect& c = d.clip;
        const QRgb colour = scene.colours.marks.rgb();
        auto put = [&](int px, int py) { d.bits[qsizetype(py + d.shift.y()) * d.stride + px + d.shift.x()] = colour; };
        std::vector<QRect> cut;
        for (const QRect& r : squares) {
            const int right = r.left() + r.width();
            const int bottom = r.top() + r.height();
            if (r.left() < c.left() || right > c.right() || r.top() < c.top() || bottom > c.bottom()) {
                cut.push_back(r);
                continue;
            }
            for (int px = r.left(); px <= right; ++px) {
                put(px, r.top());
                put(px, bottom);
            }
            for (int py = r.top() + 1; py < bottom; ++py) {
                put(r.left(), py);
                put(right, py);
            }
        }
        squares = std::move(cut);
        if (squares.empty())
            return;
    }
    painter.setPen(QPen(scene.colours.marks, 1));
    painter.drawRects(squares.data(), static_cast<int>(squares.size()));
}

void drawEditorMarks(QPainter& painter, QSize pixels, const MapScene& scene, bool front)
{
    const ViewScale& s = front ? scene.front : scene.top;
    painter.save();
    painter.setBrush(Qt::NoBrush);
    const ItemReader items(*scene.document);
    auto mark = [&](int row, const QColor& colour, int half) {
        ItemView item;
        if (row < 0 || row >= static_cast<int>(scene.rows->size())
            || (*scene.rows)[static_cast<std::size_t>(row)].hidden
            || !items.read((*scene.rows)[static_cast<std::size_t>(row)], item))
            return;
        const QPointF at = s.toPixel(item.x, front ? item.z : item.y, pixels);
        if (at.x() < -half || at.y() < -half || at.x() > pixels.width() + half || at.y() > pixels.height() + half)
            return;
        painter.setPen(QPen(colour, 1));
        painter.drawRect(QRect(snap(at.x()) - half, snap(at.y()) - half, 2 * half, 2 * half));
    };
    if (scene.selection)
        drawSelectionMarks(painter, pixels, scene, s, items, front);
    if (!front) {
        mark(scene.hoveredRow, QColor(0, 200, 255), 7);
        if (scene.rubberBand) {
            QPen pen(scene.colours.marks, 1, Qt::DashLine);
            painter.setPen(pen);
            const QPointF a = s.toPixel(scene.rubberBand->left(), scene.rubberBand->top(), pixels);
            const QPointF b = s.toPixel(scene.rubberBand->right(), scene.rubberBand->bottom(), pixels);
            painter.drawRect(QRectF(a, b).normalized());
        }
        if (scene.measure) {
            painter.setPen(QPen(scene.colours.marks, 1));
            const QLineF& l = *scene.measure;
            painter.drawLine(s.toPixel(l.x1(), l.y1(), pixels), s.toPixel(l.x2(), l.y2(), pixels));
        }
    }
    painter.restore();
}

} // namespace

QString scaleBarText(double length)
{
    return QStringLiteral("%1 units").arg(QLocale::c().toString(length, 'g', 12));
}

void drawMeasureLength(QPainter& painter, QSize pixels, const ViewScale& top, const QLineF& line, const QString& text,
    const MapColours& colours)
{
    if (text.isEmpty())
        return;
    const QPointF middle = (top.toPixel(line.x1(), line.y1(), pixels) + top.toPixel(line.x2(), line.y2(), pixels)) / 2;
    QFont font;
    font.setPointSize(8);
    const QFontMetrics metrics(font, painter.device());
    QRect plate(0, 0, metrics.horizontalAdvance(text) + 8, metrics.height() + 4);
    // Beside the middle, moved back into the view when the middle lies near its edge.
    plate.moveTopLeft(QPoint(static_cast<int>(middle.x()) + 8, static_cast<int>(middle.y()) - plate.height() - 4));
    plate.moveLeft(std::clamp(plate.left(), 0, std::max(0, pixels.width() - plate.width())));
    plate.moveTop(std::clamp(plate.top(), 0, std::max(0, pixels.height() - plate.height())));
    painter.save();
    painter.fillRect(plate, colours.labelPlate);
    painter.setPen(QPen(colours.labelText, 1));
    painter.setFont(font);
    painter.drawText(plate, Qt::AlignCenter, text);
    painter.restore();
}

namespace {

// The scale bar in the bottom-left corner of the top view: a round length at most a quarter of
// the view wide, with its text above it, on a plate.
void drawScaleBar(QPainter& painter, QSize pixels, const MapScene& scene)
{
    if (pixels.width() < 120 || pixels.height() < 48)
        return;
    const double perUnit = pixels.width() / std::abs(scene.top.width());
    const double length = scaleBarLength(perUnit, pixels.width() / 4.0);
    if (!(length > 0))
        return;
    const int bar = std::max(1, static_cast<int>(std::lround(length * perUnit)));
    const QString text = scaleBarText(length);
    QFont font;
    font.setPointSize(8);
    const QFontMetrics metrics(font, painter.device());
    const int left = 10;
    const int baseline = pixels.height() - 10;
    const QRect plate(left - 4, baseline - 6 - metrics.height() - 4, std::max(bar, metrics.horizontalAdvance(text)) + 9,
        metrics.height() + 4 + 6 + 5);
    painter.save();
    painter.fillRect(plate, scene.colours.labelPlate);
    painter.setPen(QPen(scene.colours.labelText, 1));
    painter.drawLine(left, baseline, left + bar, baseline);
    painter.drawLine(left, baseline - 4, left, baseline);
    painter.drawLine(left + bar, baseline - 4, left + bar, baseline);
    painter.setFont(font);
    painter.drawText(QPoint(left, baseline - 6 - metrics.descent()), text);
    painter.restore();
}

} // namespace

const std::vector<MapPainter::FlatItem>& MapPainter::flatItems(const MapScene& scene) const
{
    ItemCache& cache = *m_items;
    if (scene.revision != 0 && scene.revision == cache.revision && scene.document == cache.document
        && scene.rows == cache.rows && scene.rows->size() == cache.rowCount)
        return cache.items;
    std::vector<FlatItem>& flat = cache.items;
    flat.resize(scene.rows->size());
    const ItemReader items(*scene.document);
    ItemView item;
    for (std::size_t r = 0; r < scene.rows->size(); ++r) {
        FlatItem& f = flat[r];
        // A hidden row is drawn as a row whose item is gone: no mark, no label.
        f.exists = !(*scene.rows)[r].hidden && items.read((*scene.rows)[r], item);
        if (!f.exists)
            continue;
        // Positions are whole numbers: the doubles of the reader hold them exactly.
        f.x = std::int32_t(item.x);
        f.y = std::int32_t(item.y);
        f.z = std::int32_t(item.z);
        f.colour = item.colour;
        f.orientation = item.orientation;
        f.kind = item.kind;
    }
    cache.revision = scene.revision;
    cache.document = scene.document;
    cache.rows = scene.rows;
    cache.rowCount = scene.rows->size();
    ++cache.made;
    return flat;
}

void MapPainter::syncRowWidths() const
{
    if (m_widthsMade != m_items->made || m_rowWidths.size() != m_items->items.size()) {
        m_rowWidths.assign(m_items->items.size(), -1.0);
        m_widthsMade = m_items->made;
    }
}

void MapPainter::paintTopView(QPainter& painter, QSize pixels, const MapScene& scale) const
{
    if (pixels.isEmpty())
        return;
    // Everything below maps through the rectangle the view shows at this size.
    MapScene scene = scale;
    scene.top = scale.top.shownAt(QSizeF(pixels));
    const ViewScale& s = scene.top;
    beginView(painter, pixels, scene.colours, s.toPixel(-scene.world.x, -scene.world.y, pixels),
        s.toPixel(scene.world.x, scene.world.y, pixels));
    std::vector<LabelCandidate>& candidates = m_candidates;
    candidates.clear();
    m_shownView.reset();
    m_shown.clear();
    if (usable(s, pixels)) {
        drawTopGrid(painter, pixels, scene);
        if (scene.document && scene.rows && scene.cloudDiscs)
            drawCloudDiscs(painter, pixels, scene);
        if (scene.document && scene.rows) {
            const double radius = playerRadius * pixels.width() / std::abs(s.width());
            // A label stands 100 world units right of and below its item; labels whose anchor
            // is far left of the view or below it cannot reach into it.
            const QPointF labelShift = s.toPixel(labelOffset, labelOffset, pixels) - s.toPixel(0, 0, pixels);
            const double labelTop = -4.0 * std::max(1, scene.labelPointSize) - 64;
            PointBatch points(painter);
            const PixelMap toPixel(s, pixels);
            // The world rectangle, a few pixels larger, outside which an item is neither a point in
            // the view nor the anchor of a label that may reach into it: a zoomed view skips most
            // rows without working out their pixels.
            const bool anyLabels =
                std::any_of(scene.labelShown.begin(), scene.labelShown.end(), [](bool b) { return b; });
            const double margin = 4;
            const double left = std::min(-1.0, anyLabels ? -maxLabelReach - labelShift.x() : -1.0) - margin;
            const double right = std::max(pixels.width() + 1.0, pixels.width() - labelShift.x()) + margin;
            const double top = std::min(-1.0, anyLabels ? labelTop - labelShift.y() : -1.0) - margin;
            const double bottom = std::max(pixels.height() + 1.0, pixels.height() - labelShift.y()) + margin;
            const QPointF cornerA = s.toWorld(QPointF(left, top), QSizeF(pixels));
            const QPointF cornerB = s.toWorld(QPointF(right, bottom), QSizeF(pixels));
            const QRectF reach = QRectF(cornerA, cornerB).normalized();
            const std::vector<FlatItem>& flat = flatItems(scene);
            for (std::size_t r = 0; r < flat.size(); ++r) {
                const FlatItem& item = flat[r];
                if (!item.exists)
                    continue;
                // Player starts draw a circle and a heading that may reach in from further away.
                if (item.kind != ItemKind::PlayerStart
                    && !(item.x >= reach.left() && item.x <= reach.right() && item.y >= reach.top()
                        && item.y <= reach.bottom()))
                    continue;
                const QPointF at = toPixel(item.x, item.y);
                const int typeId = typeIdOf(item.kind);
                if (isTypeId(typeId) && scene.labelShown[static_cast<std::size_t>(typeId)]) {
                    const QPointF anchor = at + labelShift;
                    if (anchor.x() > -maxLabelReach && anchor.x() < pixels.width() && anchor.y() > labelTop
                        && anchor.y() < pixels.height())
                        candidates.push_back({static_cast<std::uint32_t>(r), anchor});
                }
                if (item.kind != ItemKind::PlayerStart) {
                    points.add(at, pixels, item.colour);
                    continue;
                }
                points.flush();
                drawCircle(painter, pixels, at, radius, item.colour);
                const QPointF end = playerHeadingEnd(item.x, item.y, item.orientation);
                drawSegment(painter, pixels, at, toPixel(end.x(), end.y()), item.colour);
            }
        }
        paintLabels(painter, pixels, scene, candidates);
        // A level of thousands of labels keeps no list of them between paints.
        if (candidates.capacity() > 4096)
            std::vector<LabelCandidate>().swap(candidates);
        if (scene.document && scene.rows)
            drawEditorMarks(painter, pixels, scene, false);
        if (scene.scaleBar)
            drawScaleBar(painter, pixels, scene);
    }
    painter.restore();
}

void MapPainter::paintFrontView(QPainter& painter, QSize pixels, const MapScene& scene) const
{
    if (pixels.isEmpty())
        return;
    const ViewScale& s = scene.front;
    beginView(painter, pixels, scene.colours, s.toPixel(-scene.world.x, scene.world.z, pixels),
        s.toPixel(scene.world.x, -scene.world.z, pixels));
    if (usable(s, pixels)) {
        const double X = scene.world.x;
        QPen pen(scene.colours.grid, 1, Qt::DotLine);
        pen.setCosmetic(true);
        painter.setPen(pen);
        const int row = snap(s.toPixel(0, 0, pixels).y());
        if (row >= -1 && row <= pixels.height())
            painter.drawLine(snap(clampPixel(s.toPixel(-X, 0, pixels).x(), pixels.width())), row,
                snap(clampPixel(s.toPixel(X, 0, pixels).x(), pixels.width())), row);

        if (scene.document && scene.rows) {
            const double radius = playerRadius * pixels.width() / std::abs(s.width());
            PointBatch points(painter);
            const PixelMap toPixel(s, pixels);
            for (const FlatItem& item : flatItems(scene)) {
                if (!item.exists)
                    continue;
                const QPointF at = toPixel(item.x, item.z);
                if (item.kind != ItemKind::PlayerStart) {
                    points.add(at, pixels, item.colour);
                    continue;
                }
                points.flush();
                drawCircle(painter, pixels, at, radius, item.colour);
            }
            points.flush();
            drawEditorMarks(painter, pixels, scene, true);
        }
    }
    painter.restore();
}

QImage MapPainter::renderViews(const MapScene& scene, QSize topSize, QSize frontSize) const
{
    const QSize topPixels = topSize.expandedTo(QSize(0, 0));
    const QSize frontPixels = frontSize.expandedTo(QSize(0, 0));
    const int width = std::max({topPixels.width(), frontPixels.width(), 1});
    const int height = std::max(topPixels.height() + viewGapPixels + frontPixels.height(), 1);
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(QColor(240, 240, 240));
    QPainter painter(&image);
    paintTopView(painter, topPixels, scene);
    painter.translate(0, topPixels.height() + viewGapPixels);
    paintFrontView(painter, frontPixels, scene);
    painter.end();
    return image;
}

std::pair<QSize, QSize> viewSizesFor(QSize total)
{
    const int frontHeight = std::max(1, (total.height() - viewGapPixels) * 1635 / (3855 + 1635));
    const int topHeight = std::max(1, total.height() - viewGapPixels - frontHeight);
    return {QSize(total.width(), topHeight), QSize(total.width(), frontHeight)};
}

} // namespace starloom
