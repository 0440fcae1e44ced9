#include "MapPainter.h"

#include "views/ItemDrawing.h"

#include <QFontMetricsF>
#include <QGlyphRun>
#include <QPaintDevice>
#include <QPainter>
#include <QRawFont>
#include <QRect>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <optional>

// The item labels of the top view: which captions show where others would hide them, and which
// label lies under a pixel.

namespace starloom {

using namespace mapdraw;

namespace {

// Which pixels of the view are already covered by opaque label boxes, one bit per pixel. With a
// window height (that of the label boxes) it also keeps, for each row, the pixels covered in any
// of the window's rows from it down, so that touched() tests a whole box in one row of words.
class Coverage {
public:
    explicit Coverage(QSize pixels, int window = 0)
        : m_words((pixels.width() + 63) / 64),
          m_rows(pixels.height()),
          m_window(window > 1 && window <= pixels.height() ? window : 0),
          m_bits(static_cast<std::size_t>(m_words) * static_cast<std::size_t>(pixels.height()), 0)
    {
        if (m_window)
            m_inWindow.assign(static_cast<std::size_t>(m_words) * static_cast<std::size_t>(m_rows - m_window + 1), 0);
    }

    // True when a pixel of `r` (inside the view) is covered.
    bool touched(const QRect& r) const
    {
        const Span s(r);
        if (r.height() == m_window)
            return s.any(rowOf(m_inWindow, r.top()));
        for (int y = r.top(); y <= r.bottom(); ++y) {
            if (s.any(rowOf(m_bits, y)))
                return true;
        }
        return false;
    }

    // `r` must lie inside the view.
    bool covered(const QRect& r) const
    {
        const Span s(r);
        for (int y = r.top(); y <= r.bottom(); ++y) {
            if (!s.full(rowOf(m_bits, y)))
                return false;
        }
        return true;
    }

    void cover(const QRect& r)
    {
        const Span s(r);
        for (int y = r.top(); y <= r.bottom(); ++y)
            s.set(m_bits.data() + offset(y));
        // The windows that hold a row of `r`.
        const int last = m_window ? std::min(r.bottom(), m_rows - m_window) : -1;
        for (int y = std::max(0, r.top() - m_window + 1); y <= last; ++y)
            s.set(m_inWindow.data() + offset(y));
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
        void set(std::uint64_t* row) const
        {
            row[first] |= firstMask;
            for (int w = first + 1; w < last; ++w)
                row[w] = ~std::uint64_t(0);
            if (last != first)
                row[last] |= lastMask;
        }
        // True when a bit of the span is set in the row.
        bool any(const std::uint64_t* row) const
        {
            if (row[first] & firstMask)
                return true;
            for (int w = first + 1; w < last; ++w) {
                if (row[w])
                    return true;
            }
            return last != first && (row[last] & lastMask);
        }
        // True when every bit of the span is set in the row.
        bool full(const std::uint64_t* row) const
        {
            if ((row[first] & firstMask) != firstMask)
                return false;
            for (int w = first + 1; w < last; ++w) {
                if (row[w] != ~std::uint64_t(0))
                    return false;
            }
            return last == first || (row[last] & lastMask) == lastMask;
        }
        int first;
        int last;
        std::uint64_t firstMask;
        std::uint64_t lastMask;
    };

    std::size_t offset(int y) const { return static_cast<std::size_t>(y) * static_cast<std::size_t>(m_words); }
    const std::uint64_t* rowOf(const std::vector<std::uint64_t>& bits, int y) const { return bits.data() + offset(y); }

    int m_words;
    int m_rows;
    int m_window; // 0: no windows kept
    std::vector<std::uint64_t> m_bits;
    std::vector<std::uint64_t> m_inWindow; // row y: the bits set in any of rows y to y + m_window - 1
};

} // namespace

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
        double width = 0;
        return simpleWidth(text, width);
    }
    // The width of a simple text, in one pass over it; false for a text that is not simple.
    bool simpleWidth(const QString& text, double& width) const
    {
        if (!glyphs)
            return false;
        double sum = 0;
        for (const QChar c : text) {
            const char16_t u = c.unicode();
            if (u > 255 || glyph[u] == 0)
                return false;
            sum += advance[u];
        }
        width = sum;
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
    std::fill(m_rowWidths.begin(), m_rowWidths.end(), -1.0);
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
    if (double width = 0; metrics.simpleWidth(text, width))
        return width;
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
    syncRowWidths();
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
    // Decluttering asks whether a box touches any covered pixel, which the windows answer.
    Coverage coverage(pixels, scene.declutterLabels ? m.boxHeight : 0);
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
    // A simple text's width is as quick to find as a bound of it; it is found once while the rows
    // and the font stay the same. False, with no width, for a text that is not simple.
    auto simpleWidth = [&](std::size_t r, const QString& text, double& width) {
        width = r < m_rowWidths.size() ? m_rowWidths[r] : -1.0;
        if (width >= 0)
            return true;
        if (!m.simpleWidth(text, width))
            return false;
        if (r < m_rowWidths.size())
            m_rowWidths[r] = width;
        return true;
    };
    if (scene.declutterLabels) {
        // The labels of the item under the pointer and of the selected items always show, on
        // top; from the first label on, any other that would touch a label already kept is left
        // out.
        auto pinned = [&](std::uint32_t row) {
            return static_cast<int>(row) == scene.hoveredRow
                || (scene.selection
                    && std::binary_search(scene.selection->begin(), scene.selection->end(), static_cast<int>(row)));
        };
        auto boxOf = [&](const LabelCandidate& c) {
            const QString& text = rows[c.row].text;
            double width = 0;
            if (!simpleWidth(c.row, text, width))
                width = textWidth(m, text);
            return QRect(snap(c.anchor.x()), snap(c.anchor.y()), boxWidth(width), m.boxHeight);
        };
        // The labels that always show may cover each other: walked from the topmost (the
        // hovered, then the last selected) down, a label wholly under those above it is not drawn,
        // nor the glyphs of one that are, as when labels are not thinned. A selection of thousands
        // draws what can be seen of it, not every label.
        std::vector<Accepted> onTop;
        auto pin = [&](const LabelCandidate& c) {
            const QRect box = boxOf(c);
            const QRect visible = box & view;
            if (visible.isEmpty() || coverage.covered(visible))
                return;
            const std::size_t first = glyphs.size();
            addGlyphs(rows[c.row].text, box, true);
            coverage.cover(visible);
            onTop.push_back({c.row, box, first, glyphs.size() - first});
        };
        if (scene.hoveredRow >= 0)
            for (const LabelCandidate& c : candidates)
                if (static_cast<int>(c.row) == scene.hoveredRow)
                    pin(c);
        if (scene.selection && !scene.selection->empty())
            for (auto c = candidates.rbegin(); c != candidates.rend(); ++c)
                if (static_cast<int>(c->row) != scene.hoveredRow && pinned(c->row))
                    pin(*c);
        for (const LabelCandidate& c : candidates) {
            if (!onTop.empty() && pinned(c.row))
                continue;
            const QRect box = boxOf(c);
            const QRect visible = box & view;
            if (visible.isEmpty() || coverage.touched(visible))
                continue;
            coverage.cover(visible);
            accepted.push_back({c.row, box});
        }
        // Those that do not touch any other are drawn whole; the topmost first.
        std::reverse(accepted.begin(), accepted.end());
        for (Accepted& a : accepted) {
            a.firstGlyph = glyphs.size();
            addGlyphs(rows[a.row].text, a.box, false);
            a.glyphCount = glyphs.size() - a.firstGlyph;
        }
        accepted.insert(accepted.begin(), onTop.begin(), onTop.end());
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
        // Of a simple text the bound is the box.
        double width = 0;
        const bool exact = simpleWidth(r, row.text, width);
        const QRect bound = QRect(ix, iy, boxWidth(exact ? width : widthBound(m, row.text)), m.boxHeight) & view;
        if (bound.isEmpty() || coverage.covered(bound))
            continue;
        const QRect box(ix, iy, boxWidth(exact ? width : textWidth(m, row.text)), m.boxHeight);
        const QRect visible = box & view;
        if (visible.isEmpty() || (!exact && coverage.covered(visible)))
            continue;
        const std::size_t first = glyphs.size();
        addGlyphs(row.text, box, true);
        coverage.cover(visible);
        accepted.push_back({r, box, first, glyphs.size() - first});
        m_shown.push_back({static_cast<std::uint32_t>(r), box, row.text});
    }

    painter.setFont(m.font);
    painter.setPen(scene.colours.labelText);
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
        painter.fillRect(it->box, scene.colours.labelPlate);
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

MapPainter::LabelView MapPainter::labelViewOf(const MapScene& scene, QSize pixels, const QPaintDevice* device)
{
    return {scene.document, scene.rows, scene.rows ? scene.rows->size() : 0, pixels, scene.top.shownAt(QSizeF(pixels)),
        scene.labelShown, labelFontFamilyFor(scene.labelPointSize), scene.labelPointSize,
        device ? device->logicalDpiY() : 0};
}

std::vector<std::pair<int, QRect>> MapPainter::shownLabels() const
{
    std::vector<std::pair<int, QRect>> shown;
    shown.reserve(m_shown.size());
    for (const ShownLabel& label : m_shown)
        shown.emplace_back(static_cast<int>(label.row), label.box);
    return shown;
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

namespace {

// The top-left corner of the row's label box in the top view; nothing for rows of hidden kinds or
// without an item.
std::optional<QPoint> labelCorner(const MapScene& scene, QSize pixels, const ObjectRow& row, const ItemReader& items)
{
    const int typeId = typeIdOf(row.kind);
    ItemView item;
    if (!isTypeId(typeId) || !scene.labelShown[static_cast<std::size_t>(typeId)] || !items.read(row, item))
        return std::nullopt;
    const QPointF at = scene.top.toPixel(item.x + labelOffset, item.y + labelOffset, pixels);
    return QPoint(snap(at.x()), snap(at.y()));
}

} // namespace

QRect MapPainter::labelBox(const MapScene& scene, QSize pixels, std::size_t r, const QPaintDevice* device) const
{
    if (!scene.document || !scene.rows || r >= scene.rows->size())
        return {};
    const ObjectRow& row = (*scene.rows)[r];
    const std::optional<QPoint> corner = labelCorner(scene, pixels, row, ItemReader(*scene.document));
    if (!corner)
        return {};
    const LabelMetrics& m = metricsFor(scene, device);
    return {*corner, QSize(boxWidth(textWidth(m, row.text)), m.boxHeight)};
}

int MapPainter::walkLabelsAt(const MapScene& scene, QSize pixels, QPointF pixel, const QPaintDevice* device) const
{
    const LabelMetrics& m = metricsFor(scene, device);
    const std::vector<ObjectRow>& rows = *scene.rows;
    const ItemReader items(*scene.document);
    for (std::size_t r = rows.size(); r-- > 0;) {
        const ObjectRow& row = rows[r];
        const std::optional<QPoint> corner = labelCorner(scene, pixels, row, items);
        if (!corner)
            continue;
        const int ix = corner->x();
        const int iy = corner->y();
        if (pixel.x() < ix || pixel.y() < iy || pixel.y() >= iy + m.boxHeight)
            continue;
        if (pixel.x() >= ix + boxWidth(widthBound(m, row.text)))
            continue;
        if (pixel.x() < ix + boxWidth(textWidth(m, row.text)))
            return static_cast<int>(r);
    }
    return -1;
}

} // namespace starloom
