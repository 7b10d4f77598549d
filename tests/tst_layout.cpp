// The main window's resize rule, as a pure function and as the window applies
// it, and the window's smallest size.
#include "frm_gramisola.h"
#include "layout_rule.h"

#include <QLabel>
#include <QTest>

namespace {

const MainWindowGeometry kDesign = MainWindowGeometry::design();
// The layout after the first showing, from the client area of 11175 x 6855 twips.
const MainWindowGeometry kFirst = ApplyResizeRule(11175, 6855, kDesign);

// The table's rectangles of the controls checked below.
QList<QRect> Table(const MainWindowGeometry &g)
{
    QList<QRect> rects;
    for (const TwipsRect &r : {g.cmdLoad, g.txtFilename, g.cmdExec, g.optLevel[9], g.cmdOptions,
                               g.txtResult, g.cmdClear, g.cmdInfo, g.cmdClose})
        rects.append(QRect(r.left, r.top, r.width, r.height));
    return rects;
}

// Where the window placed the same controls, in twips (15 per pixel).
QList<QRect> Placed(const frmGramisola &w)
{
    QList<QRect> rects;
    for (const char *name : {"cmdLoad", "txtFilename", "cmdExec", "optLevel_9", "cmdOptions",
                             "txtResult", "cmdClear", "cmdInfo", "cmdClose"}) {
        const QRect r = w.findChild<QWidget *>(QLatin1String(name))->geometry();
        rects.append(QRect(r.x() * 15, r.y() * 15, r.width() * 15, r.height() * 15));
    }
    return rects;
}

} // namespace

class TestLayout : public QObject {
    Q_OBJECT
private slots:
    void resizeRule_data()
    {
        QTest::addColumn<QList<QSizeF>>("clients"); // laid out in turn from the design table
        // txtFilename width, cmdOptions left, txtResult width, cmdInfo left and
        // cmdClose left follow the right edge; txtResult height and the bottom
        // row's top the bottom edge.
        QTest::addColumn<QList<int>>("edges");
        const QSizeF first(11175, 6855);
        const QList<int> firstEdges{9135, 9360, 10935, 7560, 9360, 5160, 6345};
        QTest::newRow("first layout closes the design's 15-twip gap") << QList{first} << firstEdges;
        QTest::newRow("dx 2.5 rounds to 2, dy 3.5 to 4")
            << QList{first, {11177.5, 6858.5}}
            << QList<int>{9137, 9362, 10937, 7562, 9362, 5164, 6349};
        QTest::newRow("dx 0.49 rounds to 0, dy 0.51 to 1")
            << QList{first, {11175.49, 6855.51}}
            << QList<int>{9135, 9360, 10935, 7560, 9360, 5161, 6346};
        QTest::newRow("dx -3.5 rounds to -4, dy -2.5 to -2")
            << QList{first, {11171.5, 6852.5}}
            << QList<int>{9131, 9356, 10931, 7556, 9356, 5158, 6343};
        // An empty client area (a minimized window) drives sizes negative, and
        // the next layout puts everything back where it was.
        QTest::newRow("after an empty client") << QList{first, {0, 0}, first} << firstEdges;
    }

    void resizeRule()
    {
        QFETCH(QList<QSizeF>, clients);
        QFETCH(QList<int>, edges);
        MainWindowGeometry g = kDesign;
        for (const QSizeF &client : clients)
            g = ApplyResizeRule(client.width(), client.height(), g);
        // The edges as the row says; everything else keeps its design value.
        MainWindowGeometry expected = kDesign;
        expected.txtFilename.width = edges[0];
        expected.cmdOptions.left = edges[1];
        expected.txtResult.width = edges[2];
        expected.cmdInfo.left = edges[3];
        expected.cmdClose.left = edges[4];
        expected.txtResult.height = edges[5];
        expected.cmdClear.top = expected.cmdInfo.top = expected.cmdClose.top = edges[6];
        QCOMPARE(g, expected);
    }

    void window()
    {
        frmGramisola window;
        QCOMPARE(window.size(), QSize(745, 457));
        QCOMPARE(Placed(window), Table(kDesign)); // before the first showing
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QCOMPARE(Placed(window), Table(kFirst));
        QCOMPARE(window.findChild<QLabel *>(QStringLiteral("lblLevel"))->pos(),
                 QPoint(1920 / 15, 720 / 15));

        window.resize(745 + 20, 457 + 10); // 300 x 150 twips more
        QTRY_COMPARE(window.size(), QSize(765, 467));
        QCOMPARE(Placed(window), Table(ApplyResizeRule(11475, 7005, kFirst)));
        // The smallest the window gets, frame included; and no largest.
        window.resize(300, 100);
        QTRY_COMPARE(window.frameGeometry().size(), QSize(720, 200));
        window.resize(3000, 2000);
        QTRY_COMPARE(window.size(), QSize(3000, 2000));
    }
};

QTEST_MAIN(TestLayout)
#include "tst_layout.moc"
