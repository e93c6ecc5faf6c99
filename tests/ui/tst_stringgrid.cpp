// The string grid: texts, fixed row and column, cell requests by mouse and keyboard.
#include "ui/StringGrid.h"

#include <QHeaderView>
#include <QSignalSpy>
#include <QTest>

class StringGridTest : public QObject
{
    Q_OBJECT

private slots:
    void textsSurviveResizeWithinRange();
    void clickAsksAndKeepsCurrentWhenRefused();
    void keyboardRequestsLikeAClick();
    void mouseToCellCoversHeadingsAndBody();
    void wheelIsReported();
    void mouseMovesMapToTheCellUnderThePointer();
    void largeGridHoldsNoItemObjects();
};

void StringGridTest::textsSurviveResizeWithinRange()
{
    StringGrid grid;
    grid.setRowCount(3);
    grid.setColCount(3);
    grid.setCells(0, 1, QStringLiteral(" 1"));
    grid.setCells(2, 2, QStringLiteral("VA"));
    QCOMPARE(grid.Cells(2, 2), QStringLiteral("VA"));
    QCOMPARE(grid.model()->headerData(0, Qt::Vertical).toString(), QStringLiteral(" 1"));
    grid.setRowCount(2); // row 2 goes
    grid.setRowCount(3);
    QCOMPARE(grid.Cells(2, 2), QString());
    QCOMPARE(grid.Cells(0, 1), QStringLiteral(" 1"));
    // Outside the grid nothing is stored or read.
    grid.setCells(9, 9, QStringLiteral("x"));
    QCOMPARE(grid.Cells(9, 9), QString());
    QCOMPARE(grid.Cells(-1, 0), QString());
}

void StringGridTest::clickAsksAndKeepsCurrentWhenRefused()
{
    StringGrid grid;
    grid.setRowCount(4);
    grid.setColCount(4);
    grid.resize(400, 400);
    grid.show();
    QVERIFY(QTest::qWaitForWindowExposed(&grid));
    QList<QPoint> asked;
    bool allowIt = false;
    grid.onSelectCell = [&](int col, int row, bool &allow) {
        asked << QPoint(col, row);
        allow = allowIt;
    };
    grid.setSelection(QRect(150, 150, 1, 1));
    QTest::mouseClick(grid.viewport(), Qt::LeftButton, {}, grid.cellRect(2, 3).center());
    QCOMPARE(asked, QList<QPoint>({QPoint(2, 3)}));
    QCOMPARE(grid.Selection(), QRect(150, 150, 1, 1));
    allowIt = true;
    QTest::mouseClick(grid.viewport(), Qt::LeftButton, {}, grid.cellRect(1, 1).center());
    QCOMPARE(grid.Selection(), QRect(1, 1, 1, 1));
}

void StringGridTest::keyboardRequestsLikeAClick()
{
    StringGrid grid;
    grid.setRowCount(3);
    grid.setColCount(3);
    grid.show();
    QList<QPoint> asked;
    grid.onSelectCell = [&](int col, int row, bool &allow) {
        asked << QPoint(col, row);
        allow = false;
    };
    QTest::keyClick(&grid, Qt::Key_Right);
    QTest::keyClick(&grid, Qt::Key_Down);
    QTest::keyClick(&grid, Qt::Key_Down); // beyond the last row: nothing
    QTest::keyClick(&grid, Qt::Key_Left);
    QCOMPARE(asked, QList<QPoint>({QPoint(2, 1), QPoint(2, 2), QPoint(1, 2)}));
}

void StringGridTest::mouseToCellCoversHeadingsAndBody()
{
    StringGrid grid;
    grid.setRowCount(3);
    grid.setColCount(3);
    grid.resize(300, 300);
    grid.show();
    QVERIFY(QTest::qWaitForWindowExposed(&grid));
    int col = -1, row = -1;
    const QPoint body = grid.viewport()->mapTo(&grid, grid.cellRect(2, 1).center());
    QVERIFY(grid.MouseToCell(body, col, row));
    QCOMPARE(QPoint(col, row), QPoint(2, 1));
    QHeaderView *top = grid.horizontalHeader();
    const QPoint heading = top->mapTo(&grid, QPoint(top->sectionViewportPosition(0) + 5, 5));
    QVERIFY(grid.MouseToCell(heading, col, row));
    QCOMPARE(QPoint(col, row), QPoint(1, 0));
    QHeaderView *left = grid.verticalHeader();
    const QPoint inputHeading = left->mapTo(&grid, QPoint(5, left->sectionViewportPosition(1) + 5));
    QVERIFY(grid.MouseToCell(inputHeading, col, row));
    QCOMPARE(QPoint(col, row), QPoint(0, 2));
    // Past the last column there is no cell.
    QVERIFY(!grid.MouseToCell(QPoint(295, 295), col, row));
}

void StringGridTest::wheelIsReported()
{
    StringGrid grid;
    grid.setRowCount(30);
    grid.setColCount(3);
    grid.resize(200, 200);
    grid.show();
    QSignalSpy down(&grid, &StringGrid::mouseWheelDown);
    QSignalSpy up(&grid, &StringGrid::mouseWheelUp);
    const QPoint p = grid.viewport()->rect().center();
    QWheelEvent wheel(p, grid.viewport()->mapToGlobal(p), QPoint(), QPoint(0, -120), Qt::NoButton,
                      Qt::NoModifier, Qt::NoScrollPhase, false);
    QCoreApplication::sendEvent(grid.viewport(), &wheel);
    QCOMPARE(down.count(), 1);
    QCOMPARE(up.count(), 0);
}

void StringGridTest::largeGridHoldsNoItemObjects()
{
    StringGrid grid;
    grid.setRowCount(73);
    grid.setColCount(73);
    for (int c = 1; c < 73; ++c)
        for (int r = 1; r < 73; ++r)
            grid.setCells(c, r, QStringLiteral("VAC"));
    QCOMPARE(grid.Cells(72, 72), QStringLiteral("VAC"));
    QCOMPARE(grid.model()->rowCount(), 72);
    QVERIFY(grid.findChildren<QWidget *>().size() < 40);
}

void StringGridTest::mouseMovesMapToTheCellUnderThePointer()
{
    StringGrid grid;
    grid.setRowCount(3);
    grid.setColCount(3);
    grid.resize(300, 300);
    grid.show();
    QVERIFY(QTest::qWaitForWindowExposed(&grid));
    QList<QPoint> cells;
    connect(&grid, &StringGrid::mouseMoved, [&](Qt::KeyboardModifiers, int x, int y) {
        int col = -1, row = -1;
        if (grid.MouseToCell(QPoint(x, y), col, row))
            cells << QPoint(col, row);
    });
    QTest::mouseMove(grid.viewport(), grid.cellRect(2, 2).center());
    QHeaderView *left = grid.verticalHeader();
    QTest::mouseMove(left->viewport(), QPoint(5, left->sectionViewportPosition(0) + 5));
    QTest::mouseMove(&grid, QPoint(1, 1)); // the frame itself
    QCOMPARE(cells.mid(0, 2), QList<QPoint>({QPoint(2, 2), QPoint(0, 1)}));
}

QTEST_MAIN(StringGridTest)
#include "tst_stringgrid.moc"
