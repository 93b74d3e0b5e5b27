#include "lineregression.h"

#include <QtTest>

#include <cmath>

class TestLineRegression : public QObject
{
    Q_OBJECT
private slots:
    void fitsBothForms();
    void fitsThroughPoint();
    void findsOutliers();
    void degenerateInput();
    void accumulatesInDouble();
};

void TestLineRegression::fitsBothForms()
{
    const lineRegressionCoeff line = lineRegression(QVector<double>{0, 1, 2}, {1, 3, 5});
    QCOMPARE(line.slope, 2.0f);
    QCOMPARE(line.intercept, 1.0f);
    const lineRegressionCoeff points = lineRegression(QVector<QPointF>{{0, 1}, {1, 3}, {2, 5}});
    QCOMPARE(points.slope, 2.0f);
    QCOMPARE(points.intercept, 1.0f);
    QVERIFY(line.isFinite());
    // A longer y is read only as far as x goes.
    const lineRegressionCoeff longer = lineRegression(QVector<double>{0, 1}, {1, 3, 1000});
    QCOMPARE(longer.slope, 2.0f);
    QCOMPARE(longer.intercept, 1.0f);
}

void TestLineRegression::fitsThroughPoint()
{
    const lineRegressionCoeff origin =
        lineRegressionViaPoint(QVector<QPointF>{{1, 1}, {2, 2}, {3, 4}}, QPointF(0, 0));
    QCOMPARE(origin.slope, float(17.0 / 14.0));
    QCOMPARE(origin.intercept, 0.0f);
    const lineRegressionCoeff shifted =
        lineRegressionViaPoint(QVector<double>{2, 3}, {3, 5}, QPointF(1, 1));
    QCOMPARE(shifted.slope, 2.0f);
    QCOMPARE(shifted.intercept, -1.0f);
    // The intercept comes from the slope as float.
    const lineRegressionCoeff third =
        lineRegressionViaPoint(QVector<double>{1, 4}, {1, 2}, QPointF(3, 7));
    const float slope = float((-6.0 * -2 + -5.0 * 1) / 5.0);
    QCOMPARE(third.slope, slope);
    QCOMPARE(third.intercept, float(7 - 3 * double(slope)));
}

void TestLineRegression::findsOutliers()
{
    QCOMPARE(findBadestPoint(QVector<QPointF>{{0, 0}, {1, 1}, {2, 10}, {3, 3}}), 2);
    QCOMPARE(findBadestPoint(QVector<double>{0, 1, 2, 3}, {0, 1, 10, 3}), 2);
    QCOMPARE(findBadestPoint(QVector<QPointF>{{0, 1}, {1, 3}, {2, 5}}), 0);
    // Equal residuals (the line is y = 0 exactly): the lowest index wins.
    QCOMPARE(findBadestPoint(QVector<double>{0, 1, 2, 3}, {1, -1, -1, 1}), 0);
    QCOMPARE(findBadestPoint(QVector<double>{0, 1, 2, 3, 4}, {1, 1, 3, -1, 1}), 2);
}

void TestLineRegression::degenerateInput()
{
    const lineRegressionCoeff empty = lineRegression(QVector<double>{}, {});
    QVERIFY(std::isnan(empty.slope) && std::isnan(empty.intercept));
    QVERIFY(!empty.isFinite());
    QCOMPARE(findBadestPoint(QVector<QPointF>{}), 0);
    const lineRegressionCoeff vertical = lineRegression(QVector<double>{2, 2, 2}, {1, 2, 3});
    QVERIFY(!vertical.isFinite());
    QCOMPARE(findBadestPoint(QVector<double>{2, 2, 2}, {1, 2, 3}), 0);
    QVERIFY(!lineRegressionViaPoint(QVector<double>{1, 1}, {1, 2}, QPointF(1, 0)).isFinite());

    // A y shorter than x: the line 0, 0 and no outlier; nothing beyond y is read.
    const lineRegressionCoeff shortY = lineRegression(QVector<double>{1, 2, 3}, {1, 2});
    QCOMPARE(shortY.slope, 0.0f);
    QCOMPARE(shortY.intercept, 0.0f);
    QVERIFY(shortY.isFinite());
    const lineRegressionCoeff shortVia =
        lineRegressionViaPoint(QVector<double>{1, 2, 3}, {1, 2}, QPointF(0, 0));
    QCOMPARE(shortVia.slope, 0.0f);
    QCOMPARE(shortVia.intercept, 0.0f);
    QCOMPARE(findBadestPoint(QVector<double>{1, 2, 3}, {1, 2}), -1);
}

void TestLineRegression::accumulatesInDouble()
{
    // A DAC sweep's size: codes up to 65535 against microampere readings; float
    // sums would lose the slope's digits here.
    QVector<double> x, y;
    for (int i = 0; i < 200; ++i) {
        x.append(327.675 * i);
        y.append(1.5e-9 * x.last() - 4.9e-5);
    }
    const lineRegressionCoeff line = lineRegression(x, y);
    QCOMPARE(line.slope, 1.5e-9f);
    QCOMPARE(line.intercept, -4.9e-5f);
}

QTEST_GUILESS_MAIN(TestLineRegression)
#include "tst_lineregression.moc"
