#include "MapPainter.h"

#include "document/Numbers.h"

#include <QFontMetricsF>
#include <QGlyphRun>
#include <QImage>
#include <QPaintDevice>
#include <QPainter>
#include <QPen>
#include <QRawFont>
#include <QRect>
#include <QRegion>
#include <QTransform>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>

namespace starloom {

namespace {

const QColor background(0, 0, 0);
const QColor gridColour(100, 100, 100);
const QColor crossColour(255, 255, 255);
const QColor labelTextColour(255, 255, 0);

constexpr double minGridStepPixels = 4; // a finer grid is thinned to every m-th line
constexpr double playerRadius = 1000;   // world units along the horizontal axis
constexpr double headingLength = 1200;
constexpr int labelPadding = 1;     // pixels left and right of the caption
constexpr double labelOffset = 100; // world units right of and below the item

QColor colourOf(std::int32_t packed)
{
    return QColor(packed & 0xff, (packed >> 8) & 0xff, (packed >> 16) & 0xff);
}

// Pixel coordinate as an int, kept well inside the range the raster engine handles.
int snap(double v)
{
    if (!(v > -1e6))
        return -1000000;
    if (!(v < 1e6))
        return 1000000;
    return static_cast<int>(std::floor(v));
}

double clampPixel(double v, double extent)
{
    if (!(v > -2))
        return -2;
    if (!(v < extent + 2))
        return extent + 2;
    return v;
}

bool usable(const ViewScale& scale, QSize pixels)
{
    return !pixels.isEmpty() && std::isfinite(scale.width()) && std::isfinite(scale.height()) && scale.width() != 0
        && scale.height() != 0;
}

// ViewScale::toPixel for one view size, made inline for the loops over every row; the same
// arithmetic, so the same pixels.
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

struct ItemView {
    ItemKind kind = ItemKind::PlayerStart;
    double x = 0;
    double y = 0;
    double z = 0;
    float orientation = 0;
    std::int32_t colour = 0;
    double size = 0; // clouds, dust clouds and nebulae
    QColor cloudColour;
};

// Reads the items the rows name. How many records each kind holds is asked once, since a paint
// changes none.
class ItemReader {
public:
    explicit ItemReader(const LevelDocument& document) : m_document(document)
    {
        m_counts[static_cast<std::size_t>(typeIdOf(ItemKind::PlayerStart))] = playerSlots;
        for (ItemKind kind : arrayKinds)
            m_counts[static_cast<std::size_t>(typeIdOf(kind))] = document.itemCount(kind);
    }

    // False when the row names no record (as LevelDocument::exists).
    bool read(const ObjectRow& row, ItemView& out) const
    {
        const int typeId = typeIdOf(row.kind);
        if (typeId < 1 || typeId > 9 || row.arrayId < 0 || row.arrayId >= m_counts[static_cast<std::size_t>(typeId)])
            return false;
        out.kind = row.kind;
        m_document.visit(row.kind, row.arrayId, [&out](const auto& record) {
            out.x = record.posX;
            out.y = record.posY;
            out.z = record.posZ;
            out.colour = record.drawColour;
            using Rec = std::decay_t<decltype(record)>;
            if constexpr (std::is_same_v<Rec, PlayerStartRecord>)
                out.orientation = record.orientation;
            if constexpr (std::is_same_v<Rec, CloudRecord>) {
                out.size = record.size;
                out.cloudColour = QColor(std::clamp<int>(record.red, 0, 255), std::clamp<int>(record.green, 0, 255),
                    std::clamp<int>(record.blue, 0, 255));
            }
        });
        return true;
    }

private:
    const LevelDocument& m_document;
    std::array<int, 10> m_counts{};
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
        QPen pen(gridColour, 1, Qt::DotLine);
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
        QPen pen(crossColour, 1, Qt::SolidLine);
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

// Which pixels of the view are already covered by opaque label boxes, one bit per pixel.
class Coverage {
public:
    explicit Coverage(QSize pixels)
        : m_words((pixels.width() + 63) / 64),
          m_bits(static_cast<std::size_t>(m_words) * static_cast<std::size_t>(pixels.height()), 0)
    {
    }

    // True when a pixel of `r` (inside the view) is covered.
    bool touched(const QRect& r) const
    {
        const Span s(r);
        for (int y = r.top(); y <= r.bottom(); ++y) {
            const std::uint64_t* row = rowBits(y);
            if (row[s.first] & s.firstMask)
                return true;
            for (int w = s.first + 1; w < s.last; ++w) {
                if (row[w])
                    return true;
            }
            if (s.last != s.first && (row[s.last] & s.lastMask))
                return true;
        }
        return false;
    }

    // `r` must lie inside the view.
    bool covered(const QRect& r) const
    {
        const Span s(r);
        for (int y = r.top(); y <= r.bottom(); ++y) {
            const std::uint64_t* row = rowBits(y);
            if ((row[s.first] & s.firstMask) != s.firstMask)
                return false;
            for (int w = s.first + 1; w < s.last; ++w) {
                if (row[w] != ~std::uint64_t(0))
                    return false;
            }
            if (s.last != s.first && (row[s.last] & s.lastMask) != s.lastMask)
                return false;
        }
        return true;
    }

    void cover(const QRect& r)
    {
        const Span s(r);
        for (int y = r.top(); y <= r.bottom(); ++y) {
            std::uint64_t* row = m_bits.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(m_words);
            row[s.first] |= s.firstMask;
            for (int w = s.first + 1; w < s.last; ++w)
                row[w] = ~std::uint64_t(0);
            if (s.last != s.first)
                row[s.last] |= s.lastMask;
        }
    }

private:
    // The words holding the bits of columns r.left() to r.right(), with the masks of the end words
    // (one word: firstMask holds both ends).
    struct Span {
        explicit Span(const QRect& r) : first(r.left() / 64), last(r.right() / 64)
        {
            const std::uint64_t all = ~std::uint64_t(0);
            firstMask = all << (r.left() % 64);
            lastMask = all >> (63 - r.right() % 64);
            if (first == last)
                firstMask &= lastMask;
        }
        int first;
        int last;
        std::uint64_t firstMask;
        std::uint64_t lastMask;
    };

    const std::uint64_t* rowBits(int y) const
    {
        return m_bits.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(m_words);
    }

    int m_words;
    std::vector<std::uint64_t> m_bits;
};

} // namespace

GridSpacing drawnGridSpacing(const MapScene& scene, QSize pixels)
{
    const double spacing = gridSpacingOf(scene);
    if (!(spacing > 0) || pixels.isEmpty())
        return {};
    const ViewScale& s = scene.top;
    return {spacing * gridThinning(spacing, pixels.width() / std::abs(s.width())),
        spacing * gridThinning(spacing, pixels.height() / std::abs(s.height()))};
}

QPointF playerHeadingEnd(double posX, double posY, float orientation)
{
    const int a = toInt16Clamped(orientation);
    const float k = float(3.14159265358979 / 180);
    const double ex = posX - std::sin(double(float(-a) * k)) * headingLength;
    const double ey = posY - std::sin(double(float(a + 90) * k)) * headingLength;
    return {double(toInt32Clamped(ex)), double(toInt32Clamped(ey))};
}

QFont labelFont(const MapScene& scene)
{
    QFont font(labelFontFamilyFor(scene.labelPointSize));
    font.setStyleHint(QFont::SansSerif);
    font.setPointSize(std::clamp(scene.labelPointSize, 1, 500));
    return font;
}

struct MapPainter::LabelMetrics {
    QFont font;
    double height = 0;
    double ascent = 0;
    int boxHeight = 0;
    double wideChar = 0;
    std::array<double, 128> ascii{};
    QFontMetricsF metrics{QFont()};
    // Glyphs and advances of the 8-bit characters, so that labels are drawn as glyph runs
    // without shaping their text on every repaint.
    QRawFont raw;
    std::array<quint32, 256> glyph{};
    std::array<double, 256> advance{};
    std::array<QRectF, 256> ink{}; // where each glyph may paint, from its pen position
    bool glyphs = false;

    bool simple(const QString& text) const
    {
        if (!glyphs)
            return false;
        for (const QChar c : text) {
            if (c.unicode() > 255 || glyph[c.unicode()] == 0)
                return false;
        }
        return true;
    }
};

const MapPainter::LabelMetrics& MapPainter::metricsFor(const MapScene& scene, const QPaintDevice* device) const
{
    const QFont font = labelFont(scene);
    const int dpi = device ? device->logicalDpiY() : 0;
    if (m_metrics && font == m_cachedFont && dpi == m_cachedDpi)
        return *m_metrics;
    auto made = std::make_shared<LabelMetrics>();
    LabelMetrics& m = *made;
    m.font = font;
    m.metrics = device ? QFontMetricsF(m.font, device) : QFontMetricsF(m.font);
    m.height = m.metrics.height();
    m.ascent = m.metrics.ascent();
    m.boxHeight = static_cast<int>(std::ceil(m.height));
    m.wideChar = m.metrics.maxWidth();
    for (std::size_t c = 0; c < m.ascii.size(); ++c)
        m.ascii[c] = m.metrics.horizontalAdvance(QChar(static_cast<char16_t>(c)));
    m_widths.clear();
    m_cachedFont = m.font;
    m_cachedDpi = dpi;
    QFont pixelFont = m.font;
    const double pointSize = m.font.pointSizeF() > 0 ? m.font.pointSizeF() : 6.0;
    const int resolution = dpi > 0 ? dpi
                                   : (device                                     ? 96
                                           : QFontMetricsF(m.font).fontDpi() > 0 ? int(QFontMetricsF(m.font).fontDpi())
                                                                                 : 96);
    pixelFont.setPixelSize(std::max(1, static_cast<int>(std::lround(pointSize * resolution / 72.0))));
    m.raw = QRawFont::fromFont(pixelFont);
    if (m.raw.isValid()) {
        QString latin1(256, QChar());
        for (int c = 0; c < 256; ++c)
            latin1[c] = QChar(static_cast<char16_t>(c));
        int count = 256;
        std::array<quint32, 256> indexes{};
        if (m.raw.glyphIndexesForChars(latin1.constData(), 256, indexes.data(), &count) && count == 256) {
            std::array<QPointF, 256> advances;
            if (m.raw.advancesForGlyphIndexes(indexes.data(), advances.data(), 256)) {
                for (std::size_t c = 0; c < 256; ++c) {
                    m.glyph[c] = indexes[c];
                    m.advance[c] = advances[c].x();
                    m.ink[c] = m.raw.boundingRect(indexes[c]);
                }
                m.glyphs = true;
            }
        }
    }
    m_metrics = std::move(made);
    return *m_metrics;
}

double MapPainter::textWidth(const LabelMetrics& metrics, const QString& text) const
{
    if (metrics.simple(text)) {
        double width = 0;
        for (const QChar c : text)
            width += metrics.advance[c.unicode()];
        return width;
    }
    const auto it = m_widths.constFind(text);
    if (it != m_widths.cend())
        return *it;
    if (m_widths.size() > 500000)
        m_widths.clear();
    const double width = metrics.metrics.horizontalAdvance(text);
    m_widths.insert(text, width);
    return width;
}

namespace {

// An upper bound of the caption's width from the advances of its characters, so that most hidden
// labels can be rejected without shaping their text.
template <class Metrics> double widthBound(const Metrics& m, const QString& text)
{
    double sum = 0;
    for (const QChar c : text)
        sum += c.unicode() < m.ascii.size() ? m.ascii[c.unicode()] : m.wideChar;
    return sum * 1.1 + 2;
}

int boxWidth(double textWidth)
{
    return static_cast<int>(std::ceil(textWidth)) + 2 * labelPadding;
}

} // namespace

void MapPainter::paintLabels(
    QPainter& painter, QSize pixels, const MapScene& scene, const std::vector<LabelCandidate>& candidates) const
{
    if (!scene.document || !scene.rows)
        return;
    m_shownView = labelViewOf(scene, pixels, painter.device());
    if (candidates.empty())
        return;
    const LabelMetrics& m = metricsFor(scene, painter.device());
    const QRect view(QPoint(0, 0), pixels);
    const std::vector<ObjectRow>& rows = *scene.rows;

    // Walk from the topmost label down, keeping only labels that show at least one pixel above
    // the boxes of the labels drawn after them; those are then drawn bottom-up. Of a label drawn
    // as glyphs, only the glyphs that are not wholly under later boxes are kept.
    struct Accepted {
        std::size_t row;
        QRect box;
        std::size_t firstGlyph = 0; // in glyphs; glyphCount 0 and a text not simple: drawn as text
        std::size_t glyphCount = 0;
    };
    struct Glyph {
        quint32 index;
        QPointF position; // in the view
        QRect ink;
    };
    std::vector<Accepted> accepted;
    std::vector<Glyph> glyphs;
    Coverage coverage(pixels);
    // The glyphs of a simple text in `box`; with `cull`, only those not wholly under later boxes.
    auto addGlyphs = [&](const QString& text, const QRect& box, bool cull) {
        if (!m.simple(text))
            return;
        const QPointF origin(box.left() + labelPadding, box.top() + m.ascent);
        double x = 0;
        for (const QChar ch : text) {
            const std::size_t u = ch.unicode();
            const QPointF position = origin + QPointF(x, 0);
            x += m.advance[u];
            // One pixel more on every side for the glyph's smoothing.
            const QRectF& b = m.ink[u];
            const int left = int(std::floor(position.x() + b.left())) - 1;
            const int top = int(std::floor(position.y() + b.top())) - 1;
            const QRect ink(QPoint(left, top),
                QPoint(int(std::ceil(position.x() + b.right())) + 1, int(std::ceil(position.y() + b.bottom())) + 1));
            const QRect inView = ink & view;
            if (inView.isEmpty() || (cull && coverage.covered(inView)))
                continue;
            glyphs.push_back({m.glyph[u], position, ink});
        }
    };
    if (scene.declutterLabels) {
        // From the first label on, one that would touch a label already kept is left out; the
        // label of the item under the pointer always shows, on top.
        std::optional<Accepted> hovered;
        for (const LabelCandidate& c : candidates) {
            const QString& text = rows[c.row].text;
            const QRect box(snap(c.anchor.x()), snap(c.anchor.y()), boxWidth(textWidth(m, text)), m.boxHeight);
            const QRect visible = box & view;
            if (visible.isEmpty())
                continue;
            if (static_cast<int>(c.row) == scene.hoveredRow) {
                hovered = Accepted{c.row, box};
                continue;
            }
            if (coverage.touched(visible))
                continue;
            coverage.cover(visible);
            accepted.push_back({c.row, box});
        }
        std::reverse(accepted.begin(), accepted.end());
        if (hovered)
            accepted.insert(accepted.begin(), *hovered);
        for (Accepted& a : accepted) {
            a.firstGlyph = glyphs.size();
            addGlyphs(rows[a.row].text, a.box, false);
            a.glyphCount = glyphs.size() - a.firstGlyph;
        }
        // What the hit-test answers from: the topmost first.
        for (const Accepted& a : accepted)
            m_shown.push_back({static_cast<std::uint32_t>(a.row), a.box, rows[a.row].text});
    }
    for (auto c = candidates.rbegin(); c != candidates.rend() && !scene.declutterLabels; ++c) {
        const std::size_t r = c->row;
        const ObjectRow& row = rows[r];
        const QPointF at = c->anchor;
        if (!(at.x() < pixels.width() && at.y() < pixels.height() && at.y() + m.boxHeight > 0))
            continue;
        const int ix = snap(at.x());
        const int iy = snap(at.y());
        const QRect bound = QRect(ix, iy, boxWidth(widthBound(m, row.text)), m.boxHeight) & view;
        if (bound.isEmpty() || coverage.covered(bound))
            continue;
        const QRect box(ix, iy, boxWidth(textWidth(m, row.text)), m.boxHeight);
        const QRect visible = box & view;
        if (visible.isEmpty() || coverage.covered(visible))
            continue;
        const std::size_t first = glyphs.size();
        addGlyphs(row.text, box, true);
        coverage.cover(visible);
        accepted.push_back({r, box, first, glyphs.size() - first});
        m_shown.push_back({static_cast<std::uint32_t>(r), box, row.text});
    }

    painter.setFont(m.font);
    painter.setPen(labelTextColour);
    // Glyphs of consecutive labels are drawn in one run, until a box would cover one of them.
    QGlyphRun run;
    if (m.glyphs)
        run.setRawFont(m.raw);
    QList<quint32> indexes;
    QList<QPointF> positions;
    QRect pendingInk;
    auto flush = [&] {
        if (indexes.isEmpty())
            return;
        run.setGlyphIndexes(indexes);
        run.setPositions(positions);
        painter.drawGlyphRun(QPointF(0, 0), run);
        indexes.clear();
        positions.clear();
        pendingInk = QRect();
    };
    for (auto it = accepted.rbegin(); it != accepted.rend(); ++it) {
        if (pendingInk.intersects(it->box))
            flush();
        painter.fillRect(it->box, background);
        const QString& text = rows[it->row].text;
        if (it->glyphCount == 0 && !m.simple(text)) {
            flush();
            painter.drawText(QPointF(it->box.left() + labelPadding, it->box.top() + m.ascent), text);
            continue;
        }
        for (std::size_t g = it->firstGlyph; g < it->firstGlyph + it->glyphCount; ++g) {
            indexes.push_back(glyphs[g].index);
            positions.push_back(glyphs[g].position);
            pendingInk |= glyphs[g].ink;
        }
    }
    flush();
}

namespace {

// Saves the painter, clips it to the view and clears the view to the background.
void beginView(QPainter& painter, QSize pixels)
{
    painter.save();
    painter.setClipRect(QRect(QPoint(0, 0), pixels), Qt::IntersectClip);
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.fillRect(QRect(QPoint(0, 0), pixels), background);
}

bool isCloudKind(ItemKind kind)
{
    return kind == ItemKind::Cloud || kind == ItemKind::DustCloud || kind == ItemKind::Nebula;
}

// Clouds, dust clouds and nebulae as translucent discs of their size, in their own colour. Discs
// smaller than a mark are left to the mark; past maxCloudDiscs discs in the view, or when they would
// cover the view more than maxCoverage times over, none is drawn, so a generated level of many
// thousand clouds paints as fast as without discs (real maps hold a few hundred at most).
void drawCloudDiscs(QPainter& painter, QSize pixels, const MapScene& scene)
{
    constexpr std::size_t maxCloudDiscs = 2000;
    constexpr double maxCoverage = 8; // the discs may cover the view this many times over
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
        if (!isCloudKind(row.kind) || !items.read(row, item) || !(item.size > 0))
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
        if (discs.size() == maxCloudDiscs || area > maxCoverage * view.width() * view.height())
            return;
        QColor c = item.cloudColour;
        c.setAlpha(56);
        discs.push_back({disc, c});
    }
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, true);
    painter.setPen(Qt::NoPen);
    for (const Disc& d : discs) {
        painter.setBrush(d.colour);
        painter.drawEllipse(d.box);
    }
    painter.restore();
}

// The marks of the selected rows and of the row under the pointer, the rubber band and the
// measured line. `front`: the front view (posX against posZ), which shows only the selection.
void drawEditorMarks(QPainter& painter, QSize pixels, const MapScene& scene, bool front)
{
    const ViewScale& s = front ? scene.front : scene.top;
    painter.save();
    painter.setBrush(Qt::NoBrush);
    const ItemReader items(*scene.document);
    auto mark = [&](int row, const QColor& colour, int half) {
        ItemView item;
        if (row < 0 || row >= static_cast<int>(scene.rows->size())
            || !items.read((*scene.rows)[static_cast<std::size_t>(row)], item))
            return;
        const QPointF at = s.toPixel(item.x, front ? item.z : item.y, pixels);
        if (at.x() < -half || at.y() < -half || at.x() > pixels.width() + half || at.y() > pixels.height() + half)
            return;
        painter.setPen(QPen(colour, 1));
        painter.drawRect(QRect(snap(at.x()) - half, snap(at.y()) - half, 2 * half, 2 * half));
    };
    if (scene.selection) {
        for (const int row : *scene.selection)
            mark(row, QColor(255, 255, 255), 5);
    }
    if (!front) {
        mark(scene.hoveredRow, QColor(0, 200, 255), 7);
        if (scene.rubberBand) {
            QPen pen(QColor(255, 255, 255), 1, Qt::DashLine);
            painter.setPen(pen);
            const QPointF a = s.toPixel(scene.rubberBand->left(), scene.rubberBand->top(), pixels);
            const QPointF b = s.toPixel(scene.rubberBand->right(), scene.rubberBand->bottom(), pixels);
            painter.drawRect(QRectF(a, b).normalized());
        }
        if (scene.measure) {
            painter.setPen(QPen(QColor(255, 255, 255), 1));
            const QLineF& l = *scene.measure;
            painter.drawLine(s.toPixel(l.x1(), l.y1(), pixels), s.toPixel(l.x2(), l.y2(), pixels));
        }
    }
    painter.restore();
}

} // namespace

void MapPainter::paintTopView(QPainter& painter, QSize pixels, const MapScene& scene) const
{
    if (pixels.isEmpty())
        return;
    beginView(painter, pixels);
    const ViewScale& s = scene.top;
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
            const ItemReader items(*scene.document);
            ItemView item;
            for (std::size_t r = 0; r < scene.rows->size(); ++r) {
                const ObjectRow& row = (*scene.rows)[r];
                if (!items.read(row, item))
                    continue;
                const QPointF at = toPixel(item.x, item.y);
                const int typeId = typeIdOf(row.kind);
                if (typeId >= 1 && typeId <= 9 && scene.labelShown[static_cast<std::size_t>(typeId)]) {
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
        if (scene.document && scene.rows)
            drawEditorMarks(painter, pixels, scene, false);
    }
    painter.restore();
}

void MapPainter::paintFrontView(QPainter& painter, QSize pixels, const MapScene& scene) const
{
    if (pixels.isEmpty())
        return;
    beginView(painter, pixels);
    const ViewScale& s = scene.front;
    if (usable(s, pixels)) {
        const double X = scene.world.x;
        QPen pen(gridColour, 1, Qt::DotLine);
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
            const ItemReader items(*scene.document);
            ItemView item;
            for (const ObjectRow& row2 : *scene.rows) {
                if (!items.read(row2, item))
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

MapPainter::LabelView MapPainter::labelViewOf(const MapScene& scene, QSize pixels, const QPaintDevice* device)
{
    return {scene.document, scene.rows, scene.rows ? scene.rows->size() : 0, pixels, scene.top, scene.labelShown,
        labelFontFamilyFor(scene.labelPointSize), scene.labelPointSize, device ? device->logicalDpiY() : 0};
}

int MapPainter::labelAt(const MapScene& scene, QSize pixels, QPointF pixel, const QPaintDevice* device) const
{
    if (!scene.document || !scene.rows || !usable(scene.top, pixels))
        return -1;
    if (!(pixel.x() >= 0 && pixel.y() >= 0 && pixel.x() < pixels.width() && pixel.y() < pixels.height()))
        return -1;
    if (!m_shownView || !(*m_shownView == labelViewOf(scene, pixels, device)))
        return walkLabelsAt(scene, pixels, pixel, device);
    for (const ShownLabel& label : m_shown) {
        const QRect& b = label.box;
        if (pixel.x() < b.left() || pixel.y() < b.top() || pixel.x() >= b.left() + b.width()
            || pixel.y() >= b.top() + b.height())
            continue;
        // A caption changed since the paint: the rows are asked instead.
        if ((*scene.rows)[label.row].text != label.text)
            return walkLabelsAt(scene, pixels, pixel, device);
        return static_cast<int>(label.row);
    }
    return -1;
}

int MapPainter::walkLabelsAt(const MapScene& scene, QSize pixels, QPointF pixel, const QPaintDevice* device) const
{
    const LabelMetrics& m = metricsFor(scene, device);
    const std::vector<ObjectRow>& rows = *scene.rows;
    const ItemReader items(*scene.document);
    for (std::size_t r = rows.size(); r-- > 0;) {
        const ObjectRow& row = rows[r];
        const int typeId = typeIdOf(row.kind);
        if (typeId < 1 || typeId > 9 || !scene.labelShown[static_cast<std::size_t>(typeId)])
            continue;
        ItemView item;
        if (!items.read(row, item))
            continue;
        const QPointF at = scene.top.toPixel(item.x + labelOffset, item.y + labelOffset, pixels);
        const int ix = snap(at.x());
        const int iy = snap(at.y());
        if (pixel.x() < ix || pixel.y() < iy || pixel.y() >= iy + m.boxHeight)
            continue;
        if (pixel.x() >= ix + boxWidth(widthBound(m, row.text)))
            continue;
        if (pixel.x() < ix + boxWidth(textWidth(m, row.text)))
            return static_cast<int>(r);
    }
    return -1;
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
