#include "shell/widgets/Dial.h"

#include <QApplication>
#include <QTest>
#include <QWidget>
#include <QWindow>

#include <gtest/gtest.h>

#include <memory>

using namespace orvik;

namespace {

// A dial on a shown window, with every Changing recorded as the value its handler reads.
struct DialWindow {
    std::unique_ptr<QWidget> window = std::make_unique<QWidget>();
    Dial* dial = new Dial(window.get());
    QList<int> seen;

    DialWindow(int minimum, int maximum)
    {
        window->resize(200, 200);
        dial->setGeometry(20, 20, 120, 120);
        dial->setRange(minimum, maximum);
        QObject::connect(dial, &Dial::Changing, [this] { seen << dial->value(); });
        window->show();
        window->activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(window.get()));
        dial->setFocus();
    }
    QPoint onDial(QPoint p) const { return dial->mapTo(window.get(), p); }
};

} // namespace

TEST(DialControl, WritesFromCodeMoveThePointerSilentlyAndStayInRange)
{
    DialWindow w(0, 100);
    w.dial->setValue(60);
    EXPECT_EQ(w.dial->value(), 60);
    w.dial->setValue(101); // one past the end wraps round
    EXPECT_GE(w.dial->value(), 0);
    EXPECT_LE(w.dial->value(), 100);
    w.dial->setValue(-1);
    EXPECT_GE(w.dial->value(), 0);
    EXPECT_LE(w.dial->value(), 100);
    EXPECT_TRUE(w.seen.isEmpty());
}

TEST(DialControl, UserTurnsRaiseChangingWithTheNewValue)
{
    DialWindow w(-10000, 8000);
    w.dial->setValue(0);
    QTest::keyClick(w.window->windowHandle(), Qt::Key_Up);
    ASSERT_EQ(w.seen.size(), 1);
    EXPECT_EQ(w.seen.last(), w.dial->value());
    EXPECT_GT(w.dial->value(), 0);

    // Dragging the knob round reports every position it passes, each already taken over.
    w.seen.clear();
    QWindow* handle = w.window->windowHandle();
    QTest::mousePress(handle, Qt::LeftButton, Qt::NoModifier, w.onDial({60, 110}));
    QTest::mouseMove(handle, w.onDial({10, 60}));
    QTest::mouseMove(handle, w.onDial({60, 10}));
    QTest::mouseRelease(handle, Qt::LeftButton, Qt::NoModifier, w.onDial({60, 10}));
    ASSERT_FALSE(w.seen.isEmpty());
    EXPECT_EQ(w.seen.last(), w.dial->value());
    for (int value : w.seen) {
        EXPECT_GE(value, -10000);
        EXPECT_LE(value, 8000);
    }
}
