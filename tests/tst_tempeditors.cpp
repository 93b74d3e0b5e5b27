// The temperature EEPROM editors against the in-process simulator and a scripted
// unit: table files, get -> edit -> set, record sections, what a send leaves out,
// the default current's range and the failure warnings.
#include "calibrationtestsupport.h"
#include "eepromnumber.h"
#include "fakeunit.h"
#include "simfixture.h"
#include "simmodule.h"
#include "simtempdriverm1.h"
#include "tempdriverm0.h"
#include "tempdriverm1.h"
#include "temptablefile.h"
#include "wtempcalibr.h"
#include "wtempm1calibr.h"
#include "wtempm1supportwidget.h"

#include <QDoubleSpinBox>
#include <QJsonArray>
#include <QTableWidget>

#include <cmath>
#include <cstring>

namespace {

constexpr int m0Address = 6;
constexpr int m1Address = 7;
constexpr int m0TableOffset = int(sizeof(LC4TDM0V1_EEPROM_Const_t));

QByteArray withFloat(QByteArray bytes, int offset, float value)
{
    std::memcpy(bytes.data() + offset, &value, sizeof value);
    return bytes;
}

// Finite floats of every magnitude, none of them zero: a record keeps integral
// numbers as integers, and so a negative zero as 0.
QByteArray arbitraryFloats(int size, quint32 seed)
{
    QByteArray bytes(size, '\0');
    for (int offset = 0; offset + 4 <= size; offset += 4) {
        float value = 0;
        do {
            seed = seed * 1664525u + 1013904223u;
            std::memcpy(&value, &seed, sizeof value);
        } while (!std::isfinite(value) || value == 0.0f);
        bytes = withFloat(bytes, offset, value);
    }
    return bytes;
}

float floatAt(QByteArray const& bytes, int offset)
{
    float value = 0;
    std::memcpy(&value, bytes.constData() + offset, sizeof value);
    return value;
}

QString cell(QWidget const* editor, int row, int column)
{
    const QTableWidgetItem* item = child<QTableWidget>(editor, "twTempTable")->item(row, column);
    return item ? item->text() : QString();
}

void setCell(QWidget const* editor, int row, int column, QString const& text)
{
    child<QTableWidget>(editor, "twTempTable")->setItem(row, column, new QTableWidgetItem(text));
}

QLineEdit* edit(QWidget const* editor, QString const& name)
{
    return child<QLineEdit>(editor, name);
}

wTempM1SupportWidget* page(QWidget const* editor, int ch)
{
    return child<wTempM1SupportWidget>(editor, QStringLiteral("wChannel%1").arg(ch));
}

} // namespace

class TestTempEditors : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        m_dialogs = std::make_unique<CalibrationTestDialogs>();
        QString error;
        m_unit = startSimUnit({}, &error);
        QVERIFY2(m_unit, qPrintable(error));
        m_link.reset(linkTo(*m_unit));
    }
    void cleanup()
    {
        m_m0.reset();
        m_m1.reset();
        m_m0Driver.reset();
        m_m1Driver.reset();
        m_link.reset();
        m_unit.reset();
        m_fake.reset();
        m_dialogs.reset();
    }

    void tableFileLines();
    void tableFileLoadsIntoEditors();
    void m0GetEditSetChangesExactlyThatField();
    void m1GetEditSetChangesExactlyThatField();
    void recordSections();
    void recordSectionsRoundTripByteIdentically();
    void setSendsOnlyWhatThisSessionFilled();
    void defaultCurrentOutsideTheSpinBoxIsReportedAndKept();
    void m0FailuresAreReported();
    void m1FailuresAreReported();
    void driverOrEditorGoneDuringAnExchange();

private:
    SimModule* module(int address) const { return m_unit->crate().module(address); }
    QString file(QByteArray const& contents)
    {
        const QString name = m_files.filePath(QStringLiteral("table%1.txt").arg(++m_fileCount));
        QFile out(name);
        if (!out.open(QIODevice::WriteOnly) || out.write(contents) != contents.size())
            QTest::qFail("can't write the table file", __FILE__, __LINE__);
        return name;
    }
    void openM0(lcIOInterfaceImpl* link, int timeOut = AbstractDriver::defaultTimeOutMs)
    {
        m_m0Driver = std::make_unique<TempDriverM0>();
        m_m0Driver->setIOInterface(link);
        m_m0Driver->setDevAddress(m0Address);
        m_m0Driver->setTimeOut(timeOut);
        m_m0 = std::make_unique<wTempCalibr>();
        m_m0->setDriver(m_m0Driver.get());
    }
    void openM1(lcIOInterfaceImpl* link, int timeOut = AbstractDriver::defaultTimeOutMs)
    {
        m_m1Driver = std::make_unique<TempDriverM1>();
        m_m1Driver->setIOInterface(link);
        m_m1Driver->setDevAddress(m1Address);
        m_m1Driver->setTimeOut(timeOut);
        m_m1 = std::make_unique<wTempM1Calibr>();
        m_m1->setDriver(m_m1Driver.get());
    }
    // A scripted unit whose drivers give up after 50 ms per attempt.
    lcTcpSocketIOInterface* fakeLink()
    {
        m_fake = std::make_unique<FakeUnit>();
        auto* link = new lcTcpSocketIOInterface(m_fake.get());
        link->setAddress(m_fake->address());
        link->setPort(m_fake->port());
        return link;
    }
    void fakeAnswer(quint8 address, quint8 command, QByteArray const& payload = {})
    {
        m_fake->answer(address, command, FakeUnit::frame(address, command, payload));
    }
    QStringList warnings() const { return m_dialogs->warnings; }

    QTemporaryDir m_files;
    int m_fileCount = 0;
    std::unique_ptr<CalibrationTestDialogs> m_dialogs;
    std::unique_ptr<SimUnit> m_unit;
    std::unique_ptr<FakeUnit> m_fake;
    std::unique_ptr<lcTcpSocketIOInterface> m_link;
    std::unique_ptr<TempDriverM0> m_m0Driver;
    std::unique_ptr<TempDriverM1> m_m1Driver;
    std::unique_ptr<wTempCalibr> m_m0;
    std::unique_ptr<wTempM1Calibr> m_m1;
};

void TestTempEditors::tableFileLines()
{
    const QByteArray longLine = "0.7\t280\t" + QByteArray(3000, 'x') + "\n";
    QVector<TempTableFileRow> rows;
    QString error;
    QVERIFY(readTempTableFile(
        file("0.5\t300\n0.6 290\r\nx\n1.0  250\n" + longLine + "0.8\t\t270\n0.9 260"), &rows,
        &error));
    QCOMPARE(rows.size(), 7);
    const auto parts = [&rows](int row) {
        return rows.at(row).filled ? rows.at(row).voltage + '|' + rows.at(row).temperature
                                   : QStringLiteral("none");
    };
    QCOMPARE(parts(0), QString("0.5|300"));
    QCOMPARE(parts(1), QString("0.6|290"));
    QCOMPARE(parts(2), QString("none"));
    // Two blanks leave an empty part between them.
    QCOMPARE(parts(3), QString("1.0|"));
    // A long line is one row; the next line is the next row, not its tail.
    QCOMPARE(parts(4), QString("0.7|280"));
    QCOMPARE(parts(5), QString("0.8|"));
    QCOMPARE(parts(6), QString("0.9|260"));

    QByteArray many;
    for (int i = 0; i < 105; ++i)
        many += QByteArray::number(i) + "\t1\n";
    QVERIFY(readTempTableFile(file(many), &rows, &error));
    QCOMPARE(rows.size(), tempTableItems);
    QCOMPARE(rows.last().voltage, QString("99"));

    QVERIFY(!readTempTableFile(m_files.filePath("missing.txt"), &rows, &error));
    QVERIFY(!error.isEmpty());
}

void TestTempEditors::tableFileLoadsIntoEditors()
{
    openM0(m_link.get());
    for (int row = 0; row < tempTableItems; ++row)
        setCell(m_m0.get(), row, 0, "9");
    m_dialogs->fileToOpen = file("0.5\t300\n0.6 290\r\nx\n1.0  250\n1e-3\t2.50\n");
    click(m_m0.get(), "pbLoadFromFile");
    QCOMPARE(m_dialogs->fileDialogs, QStringList{"Open temp table..."});
    QCOMPARE(cell(m_m0.get(), 1, 1), QString("290"));
    // Earlier rows never mix in, not even where a line fills no row.
    QCOMPARE(cell(m_m0.get(), 2, 0), QString());
    QCOMPARE(cell(m_m0.get(), 99, 0), QString());
    QCOMPARE(m_m0->getTempTable()[3].temperature, 0.0f);
    // The M0 editor shows the file's text, an M1 page the number.
    QCOMPARE(cell(m_m0.get(), 4, 0), QString("1e-3"));
    openM1(m_link.get());
    click(page(m_m1.get(), 2), "pbLoadTable");
    QCOMPARE(cell(page(m_m1.get(), 2), 4, 0), QString("0.001"));
    QCOMPARE(cell(page(m_m1.get(), 2), 4, 1), QString("2.5"));
    QCOMPARE(cell(page(m_m1.get(), 1), 0, 0), QString());
    QVERIFY(warnings().isEmpty());

    // Cancel, a file that cannot be opened and one without a row leave the table.
    m_dialogs->fileToOpen.clear();
    click(m_m0.get(), "pbLoadFromFile");
    m_dialogs->fileToOpen = m_files.filePath("missing.txt");
    click(m_m0.get(), "pbLoadFromFile");
    m_dialogs->fileToOpen = file("x\n\n");
    click(m_m0.get(), "pbLoadFromFile");
    QCOMPARE(warnings().size(), 2);
    QVERIFY(warnings().at(0).startsWith("Warning!!!|Can't open " + m_files.filePath("missing")));
    QVERIFY(warnings().at(1).startsWith("Warning!!!|No table rows in "));
    QCOMPARE(cell(m_m0.get(), 1, 1), QString("290"));
}

void TestTempEditors::m0GetEditSetChangesExactlyThatField()
{
    openM0(m_link.get());
    m_m0->getEeprom();
    const QByteArray before = module(m0Address)->workingConstants();
    QCOMPARE(eepromNumberValue(edit(m_m0.get(), "lePressSensorintercept")->text()),
             floatAt(before, 44));
    QCOMPARE(m_m0->getTempTable()[57].temperature, floatAt(before, m0TableOffset + 57 * 8 + 4));
    m_m0->setEeprom();
    QCOMPARE(module(m0Address)->workingConstants(), before);

    edit(m_m0.get(), "lePressSensorintercept")->setText("-0.0123");
    setCell(m_m0.get(), 57, 1, "77.5");
    m_m0->setEeprom();
    QCOMPARE(module(m0Address)->workingConstants(),
             withFloat(withFloat(before, 44, -0.0123f), m0TableOffset + 57 * 8 + 4, 77.5f));
    QVERIFY(warnings().isEmpty());
}

void TestTempEditors::m1GetEditSetChangesExactlyThatField()
{
    openM1(m_link.get());
    m_m1->getEeprom();
    const QByteArray before = module(m1Address)->workingConstants();
    m_m1->setEeprom();
    QCOMPARE(module(m1Address)->workingConstants(), before);

    edit(page(m_m1.get(), 2), "leVoltageIntercept")->setText("0.25");
    setCell(page(m_m1.get(), 3), 10, 0, "1.125");
    child<QDoubleSpinBox>(page(m_m1.get(), 1), "sbDefaultCurrent")->setValue(12.5);
    m_m1->setEeprom();
    QByteArray expected = withFloat(before, 2 * 16 + 12, 0.25f);
    expected = withFloat(expected, SimTempDriverM1::tablesOffset + 3 * 800 + 10 * 8, 1.125f);
    expected = withFloat(expected, SimTempDriverM1::defaultsOffset + 5 + 1, 12.5e-6f);
    QCOMPARE(module(m1Address)->workingConstants(), expected);
    QVERIFY(warnings().isEmpty());
}

void TestTempEditors::recordSections()
{
    openM0(m_link.get());
    m_m0->getEeprom();
    const QJsonObject m0 = m_m0->eepromToJson();
    QStringList keys = m0.keys();
    QCOMPARE(keys,
             (QStringList{"PressSensorCoeffs", "PressSensorVoltageNCoeffs",
                          "PressSensorVoltagePCoeffs", "TempSensorCurrentADCCoeffs",
                          "TempSensorCurrentDACCoeffs", "TempSensorVoltageCoeffs", "TempTable"}));
    QCOMPARE(m0.value("TempTable").toArray().size(), tempTableItems);
    QCOMPARE(m0.value("TempTable").toArray().at(3).toArray().size(), 2);

    openM1(m_link.get());
    m_m1->getEeprom();
    child<QDoubleSpinBox>(page(m_m1.get(), 2), "sbDefaultCurrent")->setValue(12.5);
    const QJsonArray data = m_m1->eepromToJson().value("Data").toArray();
    QCOMPARE(data.size(), 4);
    QCOMPARE(data.at(2).toObject().keys(), (QStringList{"CurrentCoeffs", "DefaultCurrent", "Enable",
                                                        "TempTable", "VoltageCoeffs"}));
    QCOMPARE(data.at(2).toObject().value("DefaultCurrent").toDouble(), 0.0000125);
    QCOMPARE(data.at(2).toObject().value("Enable"), QJsonValue(true));

    // Missing keys, short arrays, non-numbers and numbers beyond a float's range
    // read as 0, a missing "Enable" as false; rows beyond the array as (0, 0).
    m_m1->eepromFromJson(QJsonObject{
        {"Data", QJsonArray{QJsonObject{
                     {"CurrentCoeffs", QJsonArray{1.5}},
                     {"VoltageCoeffs", QJsonArray{"2", 3}},
                     {"DefaultCurrent", 1e39},
                     {"TempTable", QJsonArray{QJsonArray{0.5, 300}, QJsonArray{1e39, 4}}}}}}});
    const wTempM1SupportWidget* channel0 = page(m_m1.get(), 0);
    QCOMPARE(channel0->eepromCoeff().currentCoeff.first, 1.5f);
    QCOMPARE(channel0->eepromCoeff().currentCoeff.second, 0.0f);
    QCOMPARE(channel0->eepromCoeff().voltageCoeff.first, 0.0f);
    QCOMPARE(channel0->getDefaultParam().enable, false);
    QCOMPARE(channel0->getDefaultParam().current, 0.0f);
    QCOMPARE(cell(channel0, 0, 1), QString("300"));
    QCOMPARE(cell(channel0, 1, 0), QString("0"));
    QCOMPARE(cell(channel0, 1, 1), QString("4"));
    QCOMPARE(cell(channel0, 2, 0), QString("0"));
    QCOMPARE(edit(page(m_m1.get(), 3), "leVoltageSlope")->text(), QString("0"));
    QVERIFY(warnings().isEmpty());
}

void TestTempEditors::recordSectionsRoundTripByteIdentically()
{
    using M1 = SimTempDriverM1;
    const QByteArray m0Before = arbitraryFloats(module(m0Address)->constantsSize(), 1);
    QByteArray m1Before = arbitraryFloats(M1::eepromSize, 2);
    // Default currents within the spin box's range, finer than its decimals.
    for (int ch = 0; ch < M1::channels; ++ch) {
        const int at = M1::defaultsOffset + ch * M1::defaultParamBytes;
        m1Before[at] = char(ch % 2);
        m1Before = withFloat(m1Before, at + 1, 3.1415927e-6f * float(ch + 1));
    }
    QVERIFY(module(m0Address)->setWorkingConstants(m0Before));
    QVERIFY(module(m1Address)->setWorkingConstants(m1Before));
    openM0(m_link.get());
    openM1(m_link.get());
    m_m0->getEeprom();
    m_m1->getEeprom();
    const QJsonObject m0 = m_m0->eepromToJson();
    const QJsonObject m1 = m_m1->eepromToJson();
    QVERIFY(module(m0Address)->setWorkingConstants(QByteArray(m0Before.size(), '\1')));
    QVERIFY(module(m1Address)->setWorkingConstants(QByteArray(m1Before.size(), '\1')));
    m_m0->getEeprom();
    m_m1->getEeprom();

    m_m0->eepromFromJson(m0);
    m_m1->eepromFromJson(m1);
    m_m0->setEeprom();
    m_m1->setEeprom();
    QCOMPARE(module(m0Address)->workingConstants(), m0Before);
    QCOMPARE(module(m1Address)->workingConstants(), m1Before);
    QVERIFY(warnings().isEmpty());
}

void TestTempEditors::setSendsOnlyWhatThisSessionFilled()
{
    const QByteArray m0Before = module(m0Address)->workingConstants();
    const QByteArray m1Before = module(m1Address)->workingConstants();
    // Never read: the constants typed go, the empty table stays behind.
    openM0(m_link.get());
    edit(m_m0.get(), "leTempSensorVoltageslope")->setText("2");
    m_m0->setEeprom();
    QCOMPARE(module(m0Address)->workingConstants().mid(m0TableOffset), m0Before.mid(m0TableOffset));
    QCOMPARE(floatAt(module(m0Address)->workingConstants(), 16), 2.0f);
    QCOMPARE(warnings(), QStringList{"Warning!!!|Not set, as this session never read them from the "
                                     "module, a record or a file: temperature table"});
    // A record without a table clears it and leaves it unsent as well.
    m_m0->getEeprom();
    m_m0->eepromFromJson(QJsonObject{});
    QCOMPARE(cell(m_m0.get(), 0, 0), QString("0"));
    m_m0->setEeprom();
    QCOMPARE(module(m0Address)->workingConstants().mid(m0TableOffset), m0Before.mid(m0TableOffset));
    QCOMPARE(warnings().size(), 2);

    // M1 takes each part for all four channels: one table from a file is not enough.
    openM1(m_link.get());
    m_dialogs->fileToOpen = file("0.5\t300\n");
    click(page(m_m1.get(), 0), "pbLoadTable");
    m_m1->setEeprom();
    QCOMPARE(module(m1Address)->workingConstants(), m1Before);
    QCOMPARE(warnings().last(),
             QString("Warning!!!|Not set, as this session never read them from the module, a "
                     "record or a file: default parameters, EEPROM constants, tables (Channel1, "
                     "Channel2, Channel3)"));
}

void TestTempEditors::defaultCurrentOutsideTheSpinBoxIsReportedAndKept()
{
    using M1 = SimTempDriverM1;
    QByteArray eeprom = module(m1Address)->workingConstants();
    eeprom = withFloat(eeprom, M1::defaultsOffset + 1 * 5 + 1, 30e-6f);
    // Closer than the spin box's two decimals.
    eeprom = withFloat(eeprom, M1::defaultsOffset + 2 * 5 + 1, 12.345678e-6f);
    QVERIFY(module(m1Address)->setWorkingConstants(eeprom));
    openM1(m_link.get());
    m_m1->getEeprom();
    QCOMPARE(warnings(), QStringList{"Warning!!!|Default current outside the range of its spin "
                                     "box, kept as it is until changed: Channel1"});
    auto* spinBox = child<QDoubleSpinBox>(page(m_m1.get(), 1), "sbDefaultCurrent");
    QCOMPARE(spinBox->value(), 25.0);
    m_m1->setEeprom();
    QCOMPARE(module(m1Address)->workingConstants(), eeprom);

    spinBox->setValue(20);
    m_m1->setEeprom();
    QCOMPARE(module(m1Address)->workingConstants(),
             withFloat(eeprom, M1::defaultsOffset + 1 * 5 + 1, 20e-6f));

    QJsonObject record = m_m1->eepromToJson();
    QJsonArray data = record.value("Data").toArray();
    QJsonObject channel3 = data.at(3).toObject();
    channel3.insert("DefaultCurrent", -1e-6);
    data.replace(3, channel3);
    record.insert("Data", data);
    m_m1->eepromFromJson(record);
    QCOMPARE(warnings().size(), 2);
    QVERIFY(warnings().last().endsWith(": Channel3"));
    QCOMPARE(page(m_m1.get(), 3)->getDefaultParam().current, -1e-6f);
}

void TestTempEditors::m0FailuresAreReported()
{
    std::unique_ptr<lcTcpSocketIOInterface> link(fakeLink());
    openM0(link.get(), 50);
    edit(m_m0.get(), "lePressSensorslope")->setText("1.5");
    m_m0->getEeprom();
    QCOMPARE(warnings(), QStringList{"Warning!!!|Can't read eeprom data"});
    QCOMPARE(edit(m_m0.get(), "lePressSensorslope")->text(), QString("1.5"));
    QCOMPARE(m_fake->frameCount(), 5);

    // A chunk shorter than its ten items is a failed read.
    fakeAnswer(m0Address, 0x1A, QByteArray(48, '\0'));
    fakeAnswer(m0Address, 0x28, QByteArray(79, '\0'));
    m_m0->getEeprom();
    QCOMPARE(warnings().last(), QString("Warning!!!|Can't read table"));
    QCOMPARE(edit(m_m0.get(), "lePressSensorslope")->text(), QString("0"));

    fakeAnswer(m0Address, 0x1B);
    m_m0->eepromFromJson(m_m0->eepromToJson());
    m_m0->setEeprom();
    QCOMPARE(warnings().last(), QString("Warning!!!|Can't set table"));
    m_fake->clearRules();
    m_m0->setEeprom();
    QCOMPARE(warnings().last(),
             QString("Warning!!!|Can't set eeprom constants. Please try one more time!!!"));
    QCOMPARE(warnings().size(), 4);
}

void TestTempEditors::m1FailuresAreReported()
{
    std::unique_ptr<lcTcpSocketIOInterface> link(fakeLink());
    openM1(link.get(), 50);
    edit(page(m_m1.get(), 1), "leCurrentSlope")->setText("1.5");
    fakeAnswer(m1Address, 0x1A, QByteArray(63, '\0'));
    m_m1->getEeprom();
    QCOMPARE(warnings(), QStringList{"Warning!!!|Can't read eeprom data"});
    QCOMPARE(edit(page(m_m1.get(), 1), "leCurrentSlope")->text(), QString("1.5"));

    // Constants and defaults arrive, the tables do not: those two are shown and
    // sent, the tables neither.
    m_fake->clearRules();
    fakeAnswer(m1Address, 0x1A, QByteArray(64, '\0'));
    fakeAnswer(m1Address, 0x2E, QByteArray(20, '\0'));
    fakeAnswer(m1Address, 0x28, QByteArray(8, '\0'));
    m_m1->getEeprom();
    QCOMPARE(warnings().last(), QString("Warning!!!|Can't read table"));
    QCOMPARE(edit(page(m_m1.get(), 1), "leCurrentSlope")->text(), QString("0"));
    fakeAnswer(m1Address, 0x2F);
    fakeAnswer(m1Address, 0x1B);
    const int before = m_fake->frameCount();
    m_m1->setEeprom();
    QStringList sent;
    for (FakeFrame const& frame : m_fake->frames().mid(before))
        sent << QString::number(frame.command, 16);
    QCOMPARE(sent, (QStringList{"2f", "1b"}));
    QVERIFY(warnings().last().endsWith("tables (Channel0, Channel1, Channel2, Channel3)"));

    m_fake->clearRules();
    m_m1->setEeprom();
    QCOMPARE(warnings().last(),
             QString("Warning!!!|Can't set eeprom constants. Please try one more time!!!"));
    QCOMPARE(warnings().size(), 4);
}

void TestTempEditors::driverOrEditorGoneDuringAnExchange()
{
    std::unique_ptr<lcTcpSocketIOInterface> link(fakeLink());
    const auto during = [](auto* owner) { QTimer::singleShot(30, [owner] { owner->reset(); }); };
    // The constants arrive, the table never does.
    fakeAnswer(m0Address, 0x1A, QByteArray(48, '\0'));
    openM0(link.get(), 200);
    during(&m_m0Driver);
    m_m0->getEeprom();
    QCOMPARE(warnings(), QStringList{"Warning!!!|Can't read table"});
    openM0(link.get(), 200);
    m_m0->eepromFromJson(m_m0->eepromToJson());
    during(&m_m0);
    m_m0->setEeprom();
    QVERIFY(!m_m0);

    openM1(link.get(), 200);
    during(&m_m1Driver);
    m_m1->getEeprom();
    QCOMPARE(warnings().last(), QString("Warning!!!|Can't read eeprom data"));
    openM1(link.get(), 200);
    m_m1->eepromFromJson(m_m1->eepromToJson());
    during(&m_m1);
    m_m1->setEeprom();
    QVERIFY(!m_m1);
    QCOMPARE(warnings().size(), 2);
}

QTEST_MAIN(TestTempEditors)
#include "tst_tempeditors.moc"
