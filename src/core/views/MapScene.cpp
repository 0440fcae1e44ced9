#include "MapScene.h"

namespace starloom {

MapScene sceneOf(const Level& level, const ViewSettings& views, const QString& gridSizeText, const WorldSize& world)
{
    MapScene scene;
    scene.document = &level.document;
    scene.rows = &level.rows;
    scene.gridSizeText = gridSizeText;
    scene.world = world;
    scene.top = views.top;
    scene.front = views.front;
    scene.labelShown = views.labelShown;
    scene.labelShown[0] = false;
    scene.labelPointSize = views.labelPointSize;
    scene.cloudDiscs = views.cloudDiscs;
    scene.declutterLabels = views.declutterLabels;
    return scene;
}

ViewSettings wholeLevelViews(const MapSettings& settings, QSize topPixels)
{
    ViewSettings views;
    views.top = topScaleFor(settings);
    views.front = frontFollowing(frontScaleFor(settings), views.top.shownAt(QSizeF(topPixels)));
    views.declutterLabels = true;
    return views;
}

MapColours MapColours::light()
{
    MapColours c;
    c.background = QColor(250, 250, 247);
    c.margin = QColor(222, 222, 218);
    c.grid = QColor(170, 170, 170);
    c.cross = QColor(0, 0, 0);
    c.marks = QColor(0, 0, 0);
    c.labelText = QColor(20, 20, 20);
    c.labelPlate = QColor(255, 255, 255, 170);
    return c;
}

MapColours mapColoursFor(const QColor& window, const QColor& text)
{
    MapColours c = window.lightness() < 128 ? MapColours::dark() : MapColours::light();
    if (text.isValid() && (text.lightness() < 128) == (window.lightness() < 128))
        return c; // text as dark as the window (an odd theme): the map's own text colour
    if (text.isValid())
        c.labelText = text;
    return c;
}

QString labelFontFamilyFor(int pointSize)
{
    return pointSize > 7 ? QStringLiteral("Arial") : QStringLiteral("Small Fonts");
}

} // namespace starloom
