// lc-ctl's IV sweep against the IV window's on the same simulated bias source:
// the same data file, byte for byte, and the same points as CSV.
#include "ctltestsupport.h"
#include "mainwindow.h"

#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QSettings>
#include <QSpinBox>

class TestCtlSweepIv : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY(m_settings.isValid());
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, m_settings.path());
        QLoggingCategory::setFilterRules(QStringLiteral("lc.*.debug=false"));
        QVERIFY(m_simulator.start());
    }
    void fileEqualsTheWindows_data();
    void fileEqualsTheWindows();

private:
    QTemporaryDir m_settings;
    CtlSimulator m_simulator;
};

void TestCtlSweepIv::fileEqualsTheWindows_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<QString>("option");
    QTest::addColumn<QString>("range");
    QTest::addColumn<int>("points");
    QTest::newRow("voltage") << 0 << "--voltage"
                             << "0:5:0.25" << 21;
    QTest::newRow("current") << 1 << "--current"
                             << "0:250:25" << 11;
}

void TestCtlSweepIv::fileEqualsTheWindows()
{
    QFETCH(int, type);
    QFETCH(QString, option);
    QFETCH(QString, range);
    QFETCH(int, points);
    QTemporaryDir dir;
    const QString ctlFile = dir.filePath("ctl.txt");
    const CtlResult sweep = runCtl(unitArguments(
        m_simulator, {"sweep-iv", "3", option, range, "--time-step", "2", "--output", ctlFile}));
    QCOMPARE(sweep.exitCode, 0);
    const CtlResult csv =
        runCtl(unitArguments(m_simulator, {"sweep-iv", "3", option, range, "--time-step", "2"}));
    QCOMPARE(csv.exitCode, 0);

    MainWindow window(nullptr, [] { return QStringList{QStringLiteral("127.000.000.001")}; });
    window.setUnitPort(m_simulator.port());
    window.findChild<QSpinBox*>("sbDeviceAddress")->setValue(3);
    window.findChild<QPushButton*>("pbInitialize")->click();
    const QStringList parts = range.split(':');
    window.findChild<QComboBox*>("cbSweepType")->setCurrentIndex(type);
    window.findChild<QLineEdit*>("leStartSweep")->setText(parts.at(0));
    window.findChild<QLineEdit*>("leStopSweep")->setText(parts.at(1));
    window.findChild<QLineEdit*>("leStepSweep")->setText(parts.at(2));
    window.findChild<QLineEdit*>("leTimeStepSweep")->setText("2");
    window.findChild<QPushButton*>("pbStart")->click();
    QVERIFY(!window.sweepRunning());
    const QString windowFile = dir.filePath("window.txt");
    window.saveFileDialog = [&](QWidget*, QString const&, QString const&, QString const&) {
        return windowFile;
    };
    window.saveData();

    QFile ctlBytes(ctlFile);
    QFile windowBytes(windowFile);
    QVERIFY(ctlBytes.open(QIODevice::ReadOnly) && windowBytes.open(QIODevice::ReadOnly));
    const QByteArray expected = windowBytes.readAll();
    QCOMPARE(ctlBytes.readAll(), expected);
    QCOMPARE(expected.count("\r\n"), 4 + points);

    // The CSV has the same points, in the order they came (here ascending already).
    const QStringList rows = QString::fromUtf8(csv.out).split('\n', Qt::SkipEmptyParts);
    QCOMPARE(rows.size(), 1 + points);
    QCOMPARE(rows.first(), QString("voltage_V,current_A"));
    const QList<QByteArray> lines = expected.split('\n');
    for (int i = 1; i < rows.size(); ++i) {
        const QStringList columns = rows.at(i).split(',');
        const QList<QByteArray> file = lines.at(3 + i).trimmed().split('\t');
        // The file keeps 6 digits of each.
        for (int c = 0; c < 2; ++c) {
            const double value = columns.at(c).toDouble();
            QVERIFY2(qAbs(value - file.at(c).toDouble()) <= qAbs(value) * 1e-5,
                     qPrintable(rows.at(i)));
        }
    }
}

QTEST_MAIN(TestCtlSweepIv)
#include "tst_ctlsweepiv.moc"
