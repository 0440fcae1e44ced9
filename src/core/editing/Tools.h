#pragma once

#include "document/Level.h"

#include <QLineF>
#include <QPoint>
#include <QPointF>
#include <QRectF>

#include <array>
#include <cstdint>
#include <optional>

namespace starloom {

class Editor;

// What a press of the left button on the top view does.
enum class ToolKind : std::uint8_t {
    Place,   // places the chosen kind, or moves the item the panel edits
    Select,  // selects by click or rubber band; a drag on a selected item moves the selection
    Measure, // a drag measures the distance from where it started to the pointer
    Zoom,    // the next click zooms in around the pointer (a drag: to the dragged rectangle), then
             // the tool before it is back
    Pan,     // a drag moves the view with the pointer
};

// A press, move or release of the pointer over the top view.
struct PointerEvent {
    Qt::MouseButtons buttons;        // the buttons held (after a press, before a release)
    Qt::KeyboardModifiers modifiers; // Shift adds to the selection, Ctrl toggles
    QPointF world;                   // where, in world units
};

// A tool of the top view: it gets the presses, drags, releases and clicks of the left button and
// the keys while it is the active tool. The editor keeps the pointer, the hover and the undo
// steps of a drag; the tool decides what they do.
class Tool {
public:
    explicit Tool(Editor& editor) : m_editor(editor) {}
    virtual ~Tool() = default;
    Tool(const Tool&) = delete;
    Tool& operator=(const Tool&) = delete;

    virtual ToolKind kind() const = 0;
    // The left button pressed; true when it starts a drag that this tool follows (drag) until
    // the button is released.
    virtual bool press(const PointerEvent& event)
    {
        (void)event;
        return false;
    }
    virtual void drag(const PointerEvent& event) { (void)event; }
    virtual void release(const PointerEvent& event) { (void)event; }
    // The click that comes with a release (the window sends it after the release).
    virtual void click() {}
    // While the left button is held without a drag of the tool's own, a few times a second.
    virtual void repeat() {}
    // A key pressed over the map; true when the tool used it.
    virtual bool key(Qt::Key key, Qt::KeyboardModifiers modifiers)
    {
        (void)key;
        (void)modifiers;
        return false;
    }
    // True while the tool's drag holds the item under the pointer (the hover stays on it).
    virtual bool holdsHover() const { return false; }
    // Ends what the tool was doing when another tool replaces it.
    virtual void leave() {}

protected:
    Editor& m_editor;
};

class PlaceTool final : public Tool {
public:
    using Tool::Tool;
    ToolKind kind() const override { return ToolKind::Place; }
    void click() override;
    void repeat() override;
};

class SelectTool final : public Tool {
public:
    using Tool::Tool;
    ToolKind kind() const override { return ToolKind::Select; }
    bool press(const PointerEvent& event) override;
    void drag(const PointerEvent& event) override;
    void release(const PointerEvent& event) override;
    bool holdsHover() const override { return m_drag == Drag::Move; }
    void leave() override;
    // The rubber band being drawn, in world units.
    std::optional<QRectF> band() const { return m_band; }

private:
    void moveSelectionTo(QPointF world);
    void finishBand(Qt::KeyboardModifiers modifiers);

    enum class Drag : std::uint8_t { None, Move, Band } m_drag = Drag::None;
    QPointF m_start;
    ItemPosition m_grabbed; // the grabbed item's position when the drag began
    QPoint m_applied;       // the move the drag has made so far
    std::optional<QRectF> m_band;
    Qt::KeyboardModifiers m_bandModifiers; // as the band's press had them
};

class MeasureTool final : public Tool {
public:
    using Tool::Tool;
    ToolKind kind() const override { return ToolKind::Measure; }
    bool press(const PointerEvent& event) override;
    void drag(const PointerEvent& event) override;
    void leave() override;
    std::optional<QLineF> line() const { return m_line; }
    // The rows at the line's ends, -1 for an end that is no item.
    int endRow(int end) const { return m_rows[static_cast<std::size_t>(end)]; }

private:
    // Sets one end of the line: at the item under `world` when there is one.
    void setEnd(int end, QPointF world);

    std::optional<QLineF> m_line;
    std::array<int, 2> m_rows{-1, -1};
};

// A click zooms in around the pointer; a drag zooms to the dragged rectangle.
class ZoomTool final : public Tool {
public:
    using Tool::Tool;
    ToolKind kind() const override { return ToolKind::Zoom; }
    bool press(const PointerEvent& event) override;
    void drag(const PointerEvent& event) override;
    void release(const PointerEvent& event) override;
    void click() override;
    bool key(Qt::Key key, Qt::KeyboardModifiers modifiers) override;
    void leave() override { m_band.reset(); }
    // The rectangle being dragged, in world units.
    std::optional<QRectF> band() const { return m_band; }

private:
    // A drag shorter than this many pixels across or down is a click.
    static constexpr double minDragPixels = 4;
    QPointF m_start;
    std::optional<QRectF> m_band;
};

class PanTool final : public Tool {
public:
    using Tool::Tool;
    ToolKind kind() const override { return ToolKind::Pan; }
    bool press(const PointerEvent& event) override;
    void drag(const PointerEvent& event) override;

private:
    QPointF m_grabbed; // the world point that stays under the pointer
};

} // namespace starloom
