// Recovery from a lost unit in the IV measurer: lc-simulator, as its own process,
// is killed by its process id in the middle of an IV sweep and started again at
// the same port. Apart from tst_recovery because both measurers have a MainWindow.
#include "deviceinfotext.h"
#include "mainwindow.h"
#include "recoverysupport.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSettings>
#include <QSpinBox>
#include <QTemporaryDir>
#include <qcustomplot.h>

class TestRecoverySis : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY(m_settings.isValid());
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, m_settings.path());
    }
    void ivSweep();

private:
    QTemporaryDir m_settings;
};

void TestRecoverySis::ivSweep()
{
    SimulatorProcess simulator;
    QString error;
    QVERIFY2(simulator.start(&error), qPrintable(error));
    MainWindow window(nullptr, [] { return QStringList{QStringLiteral("127.0.0.1")}; });
    window.setUnitPort(simulator.port());
    QTemporaryDir files;
    QString const saved = files.filePath("iv.txt");
    window.saveFileDialog = [&](QWidget*, QString const&, QString const&, QString const&) {
        return saved;
    };
    auto widget = [&](char const* name) { return window.findChild<QWidget*>(name); };
    static_cast<QSpinBox*>(widget("sbDeviceAddress"))->setValue(3);
    static_cast<QPushButton*>(widget("pbInitialize"))->click();
    auto* status = static_cast<QLabel*>(widget("lbMeasurerStatus"));
    QVERIFY(static_cast<QLabel*>(widget("lbStatus"))->text().startsWith("Status: Device LC4BSM0"));
    static_cast<QListWidget*>(widget("lwActions"))->setCurrentRow(2);
    auto const setSweep = [&](QString const& stop, QString const& step, QString const& ms) {
        static_cast<QComboBox*>(widget("cbSweepType"))->setCurrentIndex(0);
        static_cast<QLineEdit*>(widget("leStartSweep"))->setText("0");
        static_cast<QLineEdit*>(widget("leStopSweep"))->setText(stop);
        static_cast<QLineEdit*>(widget("leStepSweep"))->setText(step);
        static_cast<QLineEdit*>(widget("leTimeStepSweep"))->setText(ms);
    };
    auto* plot = static_cast<QCustomPlot*>(widget("wMeasurerPlot"));
    auto* start = static_cast<QPushButton*>(widget("pbStart"));

    // 501 points 10 ms apart; the unit goes after the 30th. The click returns
    // when the sweep has ended.
    setSweep("5", "0.01", "10");
    int measured = -1;
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, [&] {
        if (measured < 0 && plot->graphCount() == 1 && plot->graph(0)->dataCount() >= 30) {
            simulator.kill();
            measured = plot->graph(0)->dataCount();
        }
    });
    watch.start(5);
    Heartbeat heartbeat;
    start->click();
    qint64 const toStatus = simulator.msSinceKill();
    qint64 const gap = heartbeat.longestGapMs();
    watch.stop();
    QVERIFY(measured >= 30);
    int const kept = plot->graph(0)->dataCount();
    QCOMPARE(status->text(),
             unitLostStatusText() + QString("; sweep stopped, %1 points").arg(kept));
    QVERIFY2(toStatus < 1000, qPrintable(QString::number(toStatus)));
    QVERIFY2(gap < responsiveGapMs, qPrintable(QString::number(gap)));
    // Frames already received when the unit went are points too.
    QVERIFY2(kept >= measured, qPrintable(QString("%1 of %2").arg(kept).arg(measured)));
    QVERIFY(!window.sweepRunning());
    QVERIFY(start->isEnabled());
    window.saveData();
    QCOMPARE(savedPoints(saved, 0), kept);

    QVERIFY2(simulator.start(&error), qPrintable(error));
    setSweep("1", "0.1", "2");
    start->click();
    qint64 const toSuccess = simulator.msSinceStarted();
    QCOMPARE(status->text(), QString("Status: Sweep done, 11 points"));
    QCOMPARE(plot->graphCount(), 2);
    QCOMPARE(plot->graph(0)->dataCount(), kept);
    window.saveData();
    QCOMPARE(savedPoints(saved, 0), kept);
    QCOMPARE(savedPoints(saved, 1), 11);
    reportRecovery("IV sweep", toStatus, toSuccess, kept, measured, gap);
}

QTEST_MAIN(TestRecoverySis)
#include "tst_recoverysis.moc"
