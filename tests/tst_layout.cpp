// The main window's resize rule, as a pure function and as the window applies it.
#include "frm_gramisola.h"
#include "layout_rule.h"
#include "result_box.h"

#include <QLabel>
#include <QLineEdit>
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
    QTest::newRow("below a half rounds down") << 2.49 << 2;
    QTest::newRow("above a half rounds up") << 2.51 << 3;
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
    // What only moves keeps its size, what only stretches keeps its place, and
    // the top-left controls never change.
    const MainWindowGeometry design = MainWindowGeometry::design();
    QCOMPARE(g.cmdOptions.width, 1695);
    QCOMPARE(g.cmdClose.height, 375);
    QCOMPARE(g.cmdClear.left, 120);
    QCOMPARE(g.txtFilename.left, 1920);
    QCOMPARE(g.cmdOptions.top, 600);
    QCOMPARE(g.txtResult.top, 1080);
    QCOMPARE(g.cmdLoad, design.cmdLoad);
    QCOMPARE(g.cmdExec, design.cmdExec);
    QCOMPARE(g.lblLevel, design.lblLevel);
    QCOMPARE(g.optLevel, design.optLevel);
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

// Where the window placed its controls, in twips (15 per pixel).
static QList<QRect> Placed(const frmGramisola &w)
{
    QList<QRect> rects;
    for (const char *name : {"cmdLoad", "txtFilename", "cmdExec", "optLevel_9", "cmdOptions",
                             "txtResult", "cmdClear", "cmdInfo", "cmdClose"}) {
        const QRect r = w.findChild<QWidget *>(QLatin1String(name))->geometry();
        rects.append(QRect(r.x() * 15, r.y() * 15, r.width() * 15, r.height() * 15));
    }
    return rects;
}

// The same controls as a twips table gives them.
static QList<QRect> Expected(int filenameWidth, int optionsLeft, int resultWidth, int resultHeight,
                             int infoLeft, int closeLeft, int bottomTop)
{
    return {QRect(120, 120, 1695, 375),
            QRect(1920, 120, filenameWidth, 375),
            QRect(120, 600, 1695, 375),
            QRect(2640 + 5400, 720, 615, 255),
            QRect(optionsLeft, 600, 1695, 375),
            QRect(120, 1080, resultWidth, resultHeight),
            QRect(120, bottomTop, 1695, 375),
            QRect(infoLeft, bottomTop, 1695, 375),
            QRect(closeLeft, bottomTop, 1695, 375)};
}

void TestLayout::windowAtCreation()
{
    frmGramisola window;
    QCOMPARE(window.size(), QSize(745, 457));
    // Before the first showing the controls stand at the design values.
    QCOMPARE(Placed(window), Expected(9135, 9360, 10935, 5175, 7560, 9360, 6360));
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QCOMPARE(Placed(window), Expected(9135, 9360, 10935, 5160, 7560, 9360, 6345));
    QCOMPARE(window.lblLevel->pos(), QPoint(1920 / 15, 720 / 15));
}

void TestLayout::windowAfterResize()
{
    frmGramisola window;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    window.resize(745 + 20, 457 + 10); // 300 x 150 twips more
    QTRY_COMPARE(window.size(), QSize(765, 467));
    QCOMPARE(Placed(window), Expected(9435, 9660, 11235, 5310, 7860, 9660, 6495));

    // Maximizing and restoring go through the same rule.
    window.showMaximized();
    QTRY_VERIFY(window.width() > 765);
    window.showNormal();
    window.resize(745, 457);
    QTRY_COMPARE(window.size(), QSize(745, 457));
    QCOMPARE(Placed(window), Expected(9135, 9360, 10935, 5160, 7560, 9360, 6345));
}

QTEST_MAIN(TestLayout)
#include "tst_layout.moc"
