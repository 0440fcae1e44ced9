// Open Level in the window: the menu entry, and the dialog that shows a long run with Cancel.

#include "GuiFixture.h"

#include "DialogHost.h"
#include "TestSupport.h"

#include <QProgressDialog>

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

using namespace starloom;
using namespace starloom::test;

namespace {

using OpenLevelTest = GuiTest;

TEST_F(OpenLevelTest, TheMenuOpensALevelByRunningItsScript)
{
    const QString path = dir.filePath(QStringLiteral("loop.level"));
    writeBytes(path,
        "function NonDetermChunk()\n  for i = 1, 9 do addPebble(\"pebble_0\", {i * 1000, 0, 0}, 0, 0, 0) end\nend\n");
    host.openNames = {path};
    trigger("mnuFileOpen");
    EXPECT_EQ(listRows(), 9);
    EXPECT_EQ(listText(8), QStringLiteral("Pebble #9"));
    EXPECT_EQ(editor().recentLevels().first(), QFileInfo(path).absoluteFilePath());
}

TEST(DialogHostTest, LongWorkShowsProgressAndCancelStopsIt)
{
    QWidget parent;
    parent.show();
    DialogHost host(&parent);
    QTimer::singleShot(1000, &parent, [&parent] {
        if (auto* dialog = parent.findChild<QProgressDialog*>(QStringLiteral("dlgRunningScript")))
            dialog->cancel();
    });
    bool cancelled = false;
    host.runInBackground(
        QStringLiteral("Working"), [&](const std::atomic<bool>& cancel, const std::function<void(qint64)>& progress) {
            for (int i = 0; i < 1000 && !cancel; ++i) {
                progress(i);
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
            }
            cancelled = cancel;
        });
    EXPECT_TRUE(cancelled) << "the dialog's Cancel reached the work";
    bool ran = false;
    host.runInBackground(
        QStringLiteral("Quick"), [&ran](const std::atomic<bool>&, const std::function<void(qint64)>&) { ran = true; });
    EXPECT_TRUE(ran);
    EXPECT_EQ(parent.findChild<QProgressDialog*>(QStringLiteral("dlgRunningScript")), nullptr) << "no dialog is left";
}

} // namespace
