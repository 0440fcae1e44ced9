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

QString labelFontFamilyFor(int pointSize)
{
    return pointSize > 7 ? QStringLiteral("Arial") : QStringLiteral("Small Fonts");
}

} // namespace starloom
