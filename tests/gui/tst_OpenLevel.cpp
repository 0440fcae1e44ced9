// Open Level in the window: the menu entry, and the dialog that shows a long run with Cancel.

#include "GuiFixture.h"

#include "DialogHost.h"
#include "TestSupport.h"

#include <QFileDialog>
#include <QListWidget>
#include <QMessageBox>
#include <QMimeData>
#include <QProgressDialog>
#include <QPushButton>
#include <QUrl>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
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

TEST_F(OpenLevelTest, TheFileDialogIsTitledAsTheMenuEntryThatAsks)
{
    trigger("mnuFileLoad");
    EXPECT_EQ(host.lastOpenTitle, QStringLiteral("Load Level"));
    trigger("mnuFileOpen");
    EXPECT_EQ(host.lastOpenTitle, QStringLiteral("Open Level"));
}

// Several files named at the start or dropped at once: the first replaces the level by running its
// script (a loop the line reader would read once), the others are added in order.
TEST_F(OpenLevelTest, SeveralFilesOpenTheFirstByItsScriptThenAddTheOthersInOrder)
{
    const QString loop = dir.filePath(QStringLiteral("loop.level")), more = dir.filePath(QStringLiteral("more.level"));
    writeBytes(loop,
        "function DetermChunk()\n  for i = 1, 3 do addPebble(\"pebble_0\", {i * 1000, 0, 0}, 0, 0, 0) end\nend\n");
    writeBytes(more, "function DetermChunk()\n  addAsteroid(\"Asteroid_1\", {0, 5000, 0}, 100, 0, 0, 0, 0)\nend\n");
    const std::pair<const char*, std::function<void()>> ways[] = {
        {"named",
            [&] {
                window->openFiles({loop, more});
            }},
        {"dropped",
            [&] {
                QMimeData mime;
                mime.setUrls({QUrl::fromLocalFile(loop), QUrl::fromLocalFile(more)});
                QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
                QApplication::sendEvent(window.get(), &enter);
                EXPECT_TRUE(enter.isAccepted());
                QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
                QApplication::sendEvent(window.get(), &drop);
            }},
    };
    for (const auto& [name, open] : ways) {
        trigger("mnuFileNew");
        clickTop({60, 60}, "Option2"); // an asteroid the first file replaces
        ASSERT_EQ(listRows(), 1) << name;
        open();
        QStringList rows;
        for (int row = 0; row < listRows(); ++row)
            rows << listText(row);
        EXPECT_EQ(rows.join(u','), QStringLiteral("Pebble #1,Pebble #2,Pebble #3,Asteroid #1")) << name;
    }
}

TEST(DialogHostTest, LongWorkShowsProgressThatCancelStops)
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

// Cancel asks the work to stop; the dialog stays, and keeps the window from taking other commands,
// until it has (here a moment later). Escape and closing the dialog are a Cancel too.
TEST(DialogHostTest, CancelLeavesTheDialogUntilTheWorkHasStopped)
{
    QWidget parent;
    parent.show();
    DialogHost host(&parent);
    struct Seen {
        bool visible = false;
        bool modal = false;
        bool buttonEnabled = true;
        QString label;
    } afterCancel, afterEscape;
    auto dialog = [&parent] { return parent.findChild<QProgressDialog*>(QStringLiteral("dlgRunningScript")); };
    auto look = [&](Seen& seen) {
        QProgressDialog* d = dialog();
        ASSERT_NE(d, nullptr);
        seen = {d->isVisible(), QApplication::activeModalWidget() == d, d->findChild<QPushButton*>()->isEnabled(),
            d->labelText()};
    };
    QTimer::singleShot(600, &parent, [&] {
        QTest::keyClick(dialog(), Qt::Key_Escape);
        look(afterEscape);
        dialog()->findChild<QPushButton*>()->click();
        QTimer::singleShot(100, &parent, [&] { look(afterCancel); });
    });
    std::atomic<bool> stopped = false;
    host.runInBackground(
        QStringLiteral("Working"), [&](const std::atomic<bool>& cancel, const std::function<void(qint64)>&) {
            while (!cancel)
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
            std::this_thread::sleep_for(std::chrono::milliseconds(400)); // stopping takes a moment
            stopped = true;
        });
    EXPECT_TRUE(stopped);
    EXPECT_TRUE(afterEscape.visible) << "Escape asks to stop and leaves the dialog";
    EXPECT_TRUE(afterCancel.visible);
    EXPECT_TRUE(afterCancel.modal) << "the window takes no other command";
    EXPECT_FALSE(afterCancel.buttonEnabled);
    EXPECT_TRUE(afterCancel.label.endsWith(QLatin1String("Stopping..."))) << afterCancel.label.toStdString();
    EXPECT_EQ(dialog(), nullptr) << "gone once the work has stopped";
}

// Exit while a script runs (the menu reached however it may be): the script is stopped, the level's
// unsaved changes stay in the recovery copy, and the program ends: its event loops return at once.
// (Run inside the application's event loop, as the program runs, so that quitting ends it.)
TEST(ExitWhileAScriptRuns, StopsItKeepingTheRecoveryCopyThenEndsTheProgram)
{
    QTemporaryDir dir;
    QSettingsStore store(dir.filePath(QStringLiteral("settings.ini")));
    MainWindow window(store, QString()); // the window's own dialogs
    window.show();
    window.useRecoveryFolder(dir.filePath(QStringLiteral("recovery")));
    QTest::mouseClick(window.findChild<QWidget*>(QStringLiteral("Option2")), Qt::LeftButton);
    QTest::mouseClick(window.findChild<QWidget*>(QStringLiteral("Picture1")), Qt::LeftButton, {}, QPoint(60, 60));
    ASSERT_EQ(window.editor().document().itemCount(ItemKind::Asteroid), 1);
    const QString endless = dir.filePath(QStringLiteral("endless.level"));
    writeBytes(endless, "while 1 do end\n");
    int afterExit = 0;
    QTimer::singleShot(0, &window, [&] {
        // Open Level asks first whether to save the changes: they are left unsaved.
        QTimer::singleShot(100, &window, [] {
            if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget()))
                box->button(QMessageBox::Discard)->click();
        });
        QTimer::singleShot(
            800, &window, [&window] { window.findChild<QAction*>(QStringLiteral("mnuFileExit"))->trigger(); });
        window.openFiles({endless});
        afterExit = QEventLoop().exec();
    });
    QCoreApplication::exec();
    EXPECT_EQ(afterExit, -1) << "the program is ending";
    EXPECT_EQ(window.editor().document().itemCount(ItemKind::Asteroid), 1) << "the level as it was";
    EXPECT_EQ(QDir(dir.filePath(QStringLiteral("recovery"))).entryList({QStringLiteral("recovery-*.level")}).size(), 1);
}

TEST(DialogHostTest, TheRecoveryCopiesAreListedWithWhatTellsThemApart)
{
    QWidget parent;
    parent.show();
    DialogHost host(&parent);
    const QDateTime newer(QDate(2026, 12, 7), QTime(14, 30));
    const QDateTime older(QDate(2026, 12, 6), QTime(9, 5));
    const std::vector<RecoveryCopy> copies = {
        {"a.level", newer, 12, "Nebula Run", "/maps/nebula run.level"}, {"b.level", older, 1, "Duel", ""}};
    const QStringList buttons = {"&Restore", "&Discard All", "&Keep for Later"};
    const RecoveryAnswer::Choice choices[] = {
        RecoveryAnswer::Choice::Restore, RecoveryAnswer::Choice::Discard, RecoveryAnswer::Choice::Keep};
    for (int b = 0; b < 3; ++b) {
        QStringList rows;
        QTimer::singleShot(0, &parent, [&] {
            auto* dialog = parent.findChild<QDialog*>(QStringLiteral("dlgRecovery"));
            ASSERT_NE(dialog, nullptr);
            auto* list = dialog->findChild<QListWidget*>(QStringLiteral("lstRecovery"));
            for (int i = 0; i < list->count(); ++i)
                rows << list->item(i)->text();
            list->setCurrentRow(1);
            for (QPushButton* button : dialog->findChildren<QPushButton*>())
                if (button->text() == buttons[b])
                    button->click();
        });
        const RecoveryAnswer answer = host.askRecovery(copies);
        EXPECT_EQ(answer.choice, choices[b]) << b;
        if (answer.choice == RecoveryAnswer::Choice::Restore) {
            EXPECT_EQ(answer.index, 1);
        }
        EXPECT_EQ(rows,
            (QStringList{QLocale().toString(newer, QLocale::LongFormat)
                    + " \u00b7 12 items \u00b7 \"Nebula Run\" \u00b7 "
                    + QDir::toNativeSeparators("/maps/nebula run.level"),
                QLocale().toString(older, QLocale::LongFormat) + " \u00b7 1 item \u00b7 \"Duel\" \u00b7 never saved"}));
    }
}

TEST(DialogHostTest, AChoiceHasAButtonThatSaysWhatItDoesForEachAnswerPlusCancel)
{
    QWidget parent;
    parent.show();
    DialogHost host(&parent);
    for (const int press : {1, -1}) {
        QStringList shown;
        QTimer::singleShot(0, &parent, [&] {
            auto* box = parent.findChild<QMessageBox*>(QStringLiteral("dlgChoice"));
            ASSERT_NE(box, nullptr);
            for (QAbstractButton* button : box->buttons())
                shown << button->text().remove(u'&');
            if (press < 0)
                QTest::keyClick(box, Qt::Key_Escape);
            else
                box->buttons().at(press)->click();
        });
        EXPECT_EQ(host.askChoice(QStringLiteral("Keep the script?"), QStringLiteral("Title"),
                      {QStringLiteral("Save as a (plain).level\u2026"), QStringLiteral("Replace a.level\u2026")}),
            press);
        shown.sort();
        EXPECT_EQ(shown, (QStringList{"Cancel", "Replace a.level\u2026", "Save as a (plain).level\u2026"}));
    }
}

TEST(DialogHostTest, TheOpenDialogIsTitledAsTheCommandThatAsks)
{
    QWidget parent;
    parent.show();
    DialogHost host(&parent);
    for (const QString& title : {QStringLiteral("Load Level"), QStringLiteral("Open Level")}) {
        QString shown;
        QTimer::singleShot(0, &parent, [&] {
            auto* dialog = parent.findChild<QFileDialog*>();
            ASSERT_NE(dialog, nullptr);
            shown = dialog->windowTitle();
            dialog->reject();
        });
        EXPECT_TRUE(host.askOpenFileNameIn(QStringLiteral("LEVEL Files (*.level)"), QDir::tempPath(), title).isEmpty());
        EXPECT_EQ(shown, title);
    }
}

} // namespace
