#include "View3DDock.h"

#include "MapView3D.h"

#include <QAction>
#include <QMenu>

namespace starloom {

View3DDock::View3DDock(const Editor& editor, QWidget* parent) : QDockWidget(QStringLiteral("3-D View"), parent)
{
    setObjectName(QStringLiteral("dock3D"));
    m_view = new MapView3D(editor, this);
    m_view->setObjectName(QStringLiteral("view3D"));
    setWidget(m_view);

    m_menu = new QMenu(QStringLiteral("&View"), parent);
    m_menu->setObjectName(QStringLiteral("mnuView"));
    QAction* toggle = toggleViewAction();
    toggle->setObjectName(QStringLiteral("mnuView3D"));
    toggle->setText(QStringLiteral("&3-D View"));
    toggle->setShortcut(QKeySequence(Qt::Key_F3));
    m_menu->addAction(toggle);
    m_menu->addSeparator();

    auto viewAction = [this](const char* objectName, const QString& caption, const QKeySequence& key, auto&& slot) {
        QAction* a = m_menu->addAction(caption);
        a->setObjectName(QString::fromLatin1(objectName));
        a->setShortcut(key);
        // The keys belong to the view: elsewhere they keep their own meaning (Home in the list).
        a->setShortcutContext(Qt::WidgetWithChildrenShortcut);
        addAction(a);
        connect(a, &QAction::triggered, this, [this, slot] {
            if (isHidden())
                show();
            slot(m_view);
        });
        return a;
    };
    viewAction("mnuViewFrameAll", QStringLiteral("Frame &All"), QKeySequence(Qt::Key_Home),
        [](MapView3D* v) { v->frameAll(); });
    viewAction("mnuViewFrameSelection", QStringLiteral("Frame &Selection"), QKeySequence(Qt::Key_F),
        [](MapView3D* v) { v->frameSelection(); });
    m_menu->addSeparator();
    viewAction("mnuViewTop", QStringLiteral("&Top"), QKeySequence(Qt::Key_7),
        [](MapView3D* v) { v->viewAlong(AxisView::Top); });
    viewAction("mnuViewFront", QStringLiteral("&Front"), QKeySequence(Qt::Key_1),
        [](MapView3D* v) { v->viewAlong(AxisView::Front); });
    viewAction("mnuViewSide", QStringLiteral("Si&de"), QKeySequence(Qt::Key_3),
        [](MapView3D* v) { v->viewAlong(AxisView::Side); });
}

} // namespace starloom
