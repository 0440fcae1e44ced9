#include "LevelRender.h"

#include "document/Level.h"
#include "views/MapPainter.h"
#include "views/MapPainter3D.h"
#include "views/ViewScale.h"

#include <QBuffer>
#include <QImage>

namespace starloom {

namespace {

QImage renderImage(const Level& level, const RenderOptions& options)
{
    if (options.threeD) {
        Scene3D scene;
        scene.document = &level.document;
        scene.rows = &level.rows;
        scene.world = worldSize(level.settings);
        const Camera3D framed = framedAll(
            options.camera.value_or(Camera3D{}), level.document, level.rows, scene.world, QSizeF(options.size));
        scene.camera = framed;
        if (options.camera)
            scene.camera.distance = options.camera->distance;
        return MapPainter3D().render(scene, options.size);
    }
    const auto [topSize, frontSize] = viewSizesFor(options.size);
    const ViewSettings views = wholeLevelViews(level.settings, topSize);
    const MapScene scene = sceneOf(level, views, QStringLiteral("2500"), worldSize(level.settings));
    return MapPainter().renderViews(scene, topSize, frontSize);
}

} // namespace

QByteArray renderLevelPng(const Level& level, const RenderOptions& options)
{
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    if (!renderImage(level, options).save(&buffer, "PNG"))
        return {};
    return png;
}

} // namespace starloom
