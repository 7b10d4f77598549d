// The main window's resize rule, as a pure function and as the window applies it.
#include "frm_gramisola.h"
#include "layout_rule.h"
#include "result_box.h"

#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>

class TestLayout : public QObject {
    Q_OBJECT
private slots:
    void roundHalfToEven_data();
    void roundHalfToEven();
    void resizeRule_data();
    void resizeRule();
    void fixedControlsNeverMove();
    void tooSmallClientCatchesUpExactly();
    void windowAtCreation();
    void windowAfterResize();
};

void TestLayout::roundHalfToEven_data()
{
    QTest::addColumn<double>("value");
    QTest::addColumn<int>("expected");
    QTest::newRow("2.5 goes down to even 2") << 2.5 << 2;
    QTest::newRow("3.5 goes up to even 4") << 3.5 << 4;
    QTest::newRow("-2.5 goes to even -2") << -2.5 << -2;
    QTest::newRow("-3.5 goes to even -4") << -3.5 << -4;
    QTest::newRow("-0.5 goes to 0") << -0.5 << 0;
    QTest::newRow("below a half rounds down") << 2.49 << 2;
    QTest::newRow("above a half rounds up") << 2.51 << 3;
    QTest::newRow("negative above a half rounds away") << -2.51 << -3;
    QTest::newRow("whole numbers stay") << -15.0 << -15;
}

void TestLayout::roundHalfToEven()
{
    QFETCH(double, value);
    QFETCH(int, expected);
    QCOMPARE(RoundHalfToEven(value), expected);
}

void TestLayout::resizeRule_data()
{
    QTest::addColumn<bool>("fromFirstLayout"); // start from the layout after the first showing
    QTest::addColumn<double>("width");
    QTest::addColumn<double>("height");
    QTest::addColumn<int>("filenameWidth");
    QTest::addColumn<int>("optionsLeft");
    QTest::addColumn<int>("resultWidth");
    QTest::addColumn<int>("resultHeight");
    QTest::addColumn<int>("infoLeft");
    QTest::addColumn<int>("closeLeft");
    QTest::addColumn<int>("bottomTop");

    QTest::newRow("first layout closes the design's 15-twip gap")
        << false << 11175.0 << 6855.0 << 9135 << 9360 << 10935 << 5160 << 7560 << 9360 << 6345;
    QTest::newRow("300 x 150 larger than the creation size")
        << true << 11475.0 << 7005.0 << 9435 << 9660 << 11235 << 5310 << 7860 << 9660 << 6495;
    QTest::newRow("straight from the design to a larger size")
        << false << 11475.0 << 7005.0 << 9435 << 9660 << 11235 << 5310 << 7860 << 9660 << 6495;
    QTest::newRow("smaller client moves the edges in")
        << true << 10800.0 << 3000.0 << 8760 << 8985 << 10560 << 1305 << 7185 << 8985 << 2490;
    QTest::newRow("dx 2.5 rounds to 2, dy 3.5 to 4")
        << true << 11177.5 << 6858.5 << 9137 << 9362 << 10937 << 5164 << 7562 << 9362 << 6349;
    QTest::newRow("dx 3.5 rounds to 4, dy 2.5 to 2")
        << true << 11178.5 << 6857.5 << 9139 << 9364 << 10939 << 5162 << 7564 << 9364 << 6347;
}

void TestLayout::resizeRule()
{
    QFETCH(bool, fromFirstLayout);
    QFETCH(double, width);
    QFETCH(double, height);
    MainWindowGeometry g = MainWindowGeometry::design();
    if (fromFirstLayout)
        g = ApplyResizeRule(11175, 6855, g);
    g = ApplyResizeRule(width, height, g);

    QTEST(g.txtFilename.width, "filenameWidth");
    QTEST(g.cmdOptions.left, "optionsLeft");
    QTEST(g.txtResult.width, "resultWidth");
    QTEST(g.txtResult.height, "resultHeight");
    QTEST(g.cmdInfo.left, "infoLeft");
    QTEST(g.cmdClose.left, "closeLeft");
    QTEST(g.cmdClear.top, "bottomTop");
    QTEST(g.cmdInfo.top, "bottomTop");
    QTEST(g.cmdClose.top, "bottomTop");
    // What only moves never changes size, and what only stretches never moves.
    QCOMPARE(g.cmdOptions.width, 1695);
    QCOMPARE(g.cmdClose.height, 375);
    QCOMPARE(g.cmdClear.left, 120);
    QCOMPARE(g.txtFilename.left, 1920);
    QCOMPARE(g.cmdOptions.top, 600);
}

void TestLayout::fixedControlsNeverMove()
{
    const MainWindowGeometry design = MainWindowGeometry::design();
    MainWindowGeometry g = design;
    for (auto [w, h] : {std::pair{20000.0, 15000.0}, {10800.0, 2550.0}, {11175.0, 6855.0}})
        g = ApplyResizeRule(w, h, g);
    QCOMPARE(g.cmdLoad, design.cmdLoad);
    QCOMPARE(g.cmdExec, design.cmdExec);
    QCOMPARE(g.lblLevel, design.lblLevel);
    QCOMPARE(g.optLevel, design.optLevel);
    QCOMPARE(g.txtResult.left, design.txtResult.left);
    QCOMPARE(g.txtResult.top, design.txtResult.top);
}

void TestLayout::tooSmallClientCatchesUpExactly()
{
    const MainWindowGeometry first = ApplyResizeRule(11175, 6855, MainWindowGeometry::design());
    // A client area with nothing in it (a minimized window) drives sizes negative...
    const MainWindowGeometry squeezed = ApplyResizeRule(0, 0, first);
    QVERIFY(squeezed.txtResult.width < 0);
    QVERIFY(squeezed.txtResult.height < 0);
    // ...and the next layout puts everything back where it was.
    QCOMPARE(ApplyResizeRule(11175, 6855, squeezed), first);
}

// Pixel rectangles at 15 twips per pixel.
static QRect Px(int left, int top, int width, int height)
{
    return QRect(left / 15, top / 15, width / 15, height / 15);
}

void TestLayout::windowAtCreation()
{
    frmGramisola window;
    QCOMPARE(window.size(), QSize(745, 457));
    // Before the first showing the controls stand at the design values.
    QCOMPARE(window.txtResult->geometry(), Px(120, 1080, 10935, 5175));
    QCOMPARE(window.cmdClose->geometry(), Px(9360, 6360, 1695, 375));

    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QCOMPARE(window.cmdLoad->geometry(), Px(120, 120, 1695, 375));
    QCOMPARE(window.txtFilename->geometry(), Px(1920, 120, 9135, 375));
    QCOMPARE(window.cmdExec->geometry(), Px(120, 600, 1695, 375));
    QCOMPARE(window.lblLevel->pos(), Px(1920, 720, 0, 0).topLeft());
    for (int i = 0; i < 10; ++i)
        QCOMPARE(window.optLevel[i]->geometry(), Px(2640 + 600 * i, 720, 615, 255));
    QCOMPARE(window.cmdOptions->geometry(), Px(9360, 600, 1695, 375));
    QCOMPARE(window.txtResult->geometry(), Px(120, 1080, 10935, 5160));
    QCOMPARE(window.cmdClear->geometry(), Px(120, 6345, 1695, 375));
    QCOMPARE(window.cmdInfo->geometry(), Px(7560, 6345, 1695, 375));
    QCOMPARE(window.cmdClose->geometry(), Px(9360, 6345, 1695, 375));
}

void TestLayout::windowAfterResize()
{
    frmGramisola window;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    window.resize(745 + 20, 457 + 10); // 300 x 150 twips more
    QTRY_COMPARE(window.size(), QSize(765, 467));
    QCOMPARE(window.txtFilename->geometry(), Px(1920, 120, 9435, 375));
    QCOMPARE(window.cmdOptions->geometry(), Px(9660, 600, 1695, 375));
    QCOMPARE(window.txtResult->geometry(), Px(120, 1080, 11235, 5310));
    QCOMPARE(window.cmdClear->geometry(), Px(120, 6495, 1695, 375));
    QCOMPARE(window.cmdInfo->geometry(), Px(7860, 6495, 1695, 375));
    QCOMPARE(window.cmdClose->geometry(), Px(9660, 6495, 1695, 375));
    QCOMPARE(window.twipsGeometry().txtResult.height, 5310);

    // Maximizing and restoring go through the same rule.
    window.showMaximized();
    QTRY_VERIFY(window.width() > 765);
    window.showNormal();
    window.resize(745, 457);
    QTRY_COMPARE(window.size(), QSize(745, 457));
    QCOMPARE(window.txtResult->geometry(), Px(120, 1080, 10935, 5160));
    QCOMPARE(window.cmdClose->geometry(), Px(9360, 6345, 1695, 375));
}

QTEST_MAIN(TestLayout)
#include "tst_layout.moc"
