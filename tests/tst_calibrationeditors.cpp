// The EEPROM editors of the SSPD, bias-source, control-line and heater modules
// against the in-process simulator: reading, sending, writing, record sections and
// the number texts.
#include "calibrationtestsupport.h"
#include "eepromnumber.h"
#include "simfixture.h"
#include "simmodule.h"
#include "simserver.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QValidator>

#include <cstring>

namespace {

float floatAt(QByteArray const& record, int offset)
{
    float value = 0;
    std::memcpy(&value, record.constData() + offset, sizeof value);
    return value;
}

QByteArray withFloat(QByteArray record, int offset, float value)
{
    std::memcpy(record.data() + offset, &value, sizeof value);
    return record;
}

QStringList sortedKeys(QJsonObject const& object)
{
    QStringList keys = object.keys();
    keys.sort();
    return keys;
}

} // namespace

class TestCalibrationEditors : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        m_dialogs = std::make_unique<CalibrationTestDialogs>();
        QString error;
        m_unit = startSimUnit({"--state", m_state.filePath("eeprom.json")}, &error);
        QVERIFY2(m_unit, qPrintable(error));
        m_link.reset(linkTo(*m_unit));
    }
    void cleanup()
    {
        m_dialog.reset();
        m_link.reset();
        m_unit.reset();
        m_dialogs.reset();
        QFile::remove(m_state.filePath("eeprom.json"));
    }

    void setChangesExactlyTheEditedField_data();
    void setChangesExactlyTheEditedField();
    void recordSectionsHaveTheirKeys_data();
    void recordSectionsHaveTheirKeys();
    void recordSectionRoundTripsByteIdentically_data();
    void recordSectionRoundTripsByteIdentically();
    void recordSectionEdgeCases();
    void writtenConstantsSurviveARestart();
    void numberTextsReadBackToTheSameFloat();
    void commaLocaleDoesNotChangeNumbers();

private:
    MainDialog* open(int address)
    {
        m_dialog = openMainDialog(m_link.get(), address, module(address)->typeString());
        return m_dialog.get();
    }
    SimModule* module(int address) const { return m_unit->crate().module(address); }
    QLineEdit* edit(QString const& name) const { return child<QLineEdit>(m_dialog.get(), name); }
    QJsonObject section() const { return m_dialog->driverWidget()->eepromToJson(); }

    QTemporaryDir m_state;
    std::unique_ptr<CalibrationTestDialogs> m_dialogs;
    std::unique_ptr<SimUnit> m_unit;
    std::unique_ptr<lcTcpSocketIOInterface> m_link;
    std::unique_ptr<MainDialog> m_dialog;
};

void TestCalibrationEditors::setChangesExactlyTheEditedField_data()
{
    QTest::addColumn<int>("address");
    QTest::addColumn<QString>("field");
    QTest::addColumn<int>("offset");
    QTest::newRow("SSPD M0 current DAC slope") << 1 << "leCurrentDacSlope" << 16;
    QTest::newRow("SSPD M1 pulse width") << 2 << "lePulseWidth" << 32;
    QTest::newRow("SSPD M1 comparator intercept") << 2 << "leCmpRefDacIntercept" << 40;
    QTest::newRow("bias source voltage maximum") << 3 << "leVoltageMaxLimit" << 44;
    QTest::newRow("bias source monitor resistance") << 3 << "leCurrentMonitorResistance" << 56;
    QTest::newRow("control line lower limit") << 4 << "leLowerCurrentLimit" << 16;
    QTest::newRow("heater hold time") << 5 << "leHoldTime" << 24;
}

void TestCalibrationEditors::setChangesExactlyTheEditedField()
{
    QFETCH(int, address);
    QFETCH(QString, field);
    QFETCH(int, offset);
    open(address);
    const QByteArray before = module(address)->workingConstants();
    QCOMPARE(eepromNumberValue(edit(field)->text()), floatAt(before, offset));

    edit(field)->setText("-0.0123");
    click(m_dialog.get(), "pbSetEeprom");
    QCOMPARE(module(address)->workingConstants(), withFloat(before, offset, -0.0123f));
    QCOMPARE(module(address)->eepromConstants(), before);
    QVERIFY(m_dialogs->warnings.isEmpty());
}

void TestCalibrationEditors::recordSectionsHaveTheirKeys_data()
{
    QTest::addColumn<int>("address");
    QTest::addColumn<QStringList>("keys");
    const QStringList sspd{"CurrentAdcCoeffs", "CurrentDacCoeffs", "VoltageAdcCoeffs",
                           "leCmpRefDacCoeffs"};
    QTest::newRow("SSPD M0") << 1 << sspd;
    QTest::newRow("SSPD M1") << 2 << sspd + QStringList{"CurrentMonitorAdcCoeffs", "PulseWidth"};
    QTest::newRow("bias source") << 3 << QStringList{"CurrentAdcCoeffs",        "CurrentDacCoeffs",
                                                     "CurrentLimits",           "CurrentStep",
                                                     "VoltageAdcCoeffs",        "VoltageDacCoeffs",
                                                     "VoltageLimits",           "VoltageStep",
                                                     "CurrentMonitorResistance"};
    QTest::newRow("control line") << 4
                                  << QStringList{"CurrentAdcCoeffs", "CurrentDacCoeffs",
                                                 "CurrentLimits", "CurrentStep"};
    QTest::newRow("heater") << 5 << QStringList{"CurrentAdcCoeffs", "CurrentDacCoeffs",
                                                "MaximumCurrent",   "FrontEdgeTime ",
                                                "HoldTime      ",   "RearEdgeTime  "};
}

void TestCalibrationEditors::recordSectionsHaveTheirKeys()
{
    QFETCH(int, address);
    QFETCH(QStringList, keys);
    open(address);
    keys.sort();
    QCOMPARE(sortedKeys(section()), keys);
}

void TestCalibrationEditors::recordSectionRoundTripsByteIdentically_data()
{
    recordSectionsHaveTheirKeys_data();
}

void TestCalibrationEditors::recordSectionRoundTripsByteIdentically()
{
    QFETCH(int, address);
    open(address);
    const QByteArray before = module(address)->workingConstants();
    const QJsonObject saved = section();
    for (QLineEdit* field : m_dialog->driverWidget()->findChildren<QLineEdit*>())
        field->setText("7");
    click(m_dialog.get(), "pbSetEeprom");
    QVERIFY(module(address)->workingConstants() != before);

    m_dialog->driverWidget()->eepromFromJson(saved);
    click(m_dialog.get(), "pbSetEeprom");
    QCOMPARE(module(address)->workingConstants(), before);
}

void TestCalibrationEditors::recordSectionEdgeCases()
{
    // The float nearest 0.1, read back from the module, shows and saves as 0.1.
    open(4);
    edit("leCurrentStep")->setText("0.1");
    click(m_dialog.get(), "pbSetEeprom");
    edit("leCurrentStep")->clear();
    click(m_dialog.get(), "pbGetEeprom");
    QCOMPARE(edit("leCurrentStep")->text(), QString("0.1"));
    QVERIFY(
        QJsonDocument(section()).toJson(QJsonDocument::Compact).contains("\"CurrentStep\":0.1}"));
    // An empty field is sent and saved as 0.
    edit("leCurrentAdcIntercept")->clear();
    QCOMPARE(section().value("CurrentAdcCoeffs").toArray().at(1).toDouble(-1), 0.0);
    click(m_dialog.get(), "pbSetEeprom");
    QCOMPARE(floatAt(module(4)->workingConstants(), 4), 0.0f);

    // Limits are stored lower first, whatever the form's order.
    open(3);
    edit("leCurrentMinLimit")->setText("-0.5");
    edit("leCurrentMaxLimit")->setText("0.5");
    edit("leVoltageMinLimit")->setText("-0.5");
    edit("leVoltageMaxLimit")->setText("0.5");
    QCOMPARE(section().value("CurrentLimits").toArray(), (QJsonArray{-0.5, 0.5}));
    QCOMPARE(section().value("VoltageLimits").toArray(), (QJsonArray{-0.5, 0.5}));

    // A key without its trailing blanks, and a number given as a string, load as 0.
    open(5);
    QJsonObject heater = section();
    heater.remove("HoldTime      ");
    heater.insert("HoldTime", 2.0);
    heater.insert("MaximumCurrent", "0.5");
    heater.insert("CurrentAdcCoeffs", QJsonArray{1.5});
    // Beyond a float's range: would show "-inf" and be saved as null.
    heater.insert("CurrentDacCoeffs", QJsonArray{2.0, -3.5e87});
    m_dialog->driverWidget()->eepromFromJson(heater);
    QCOMPARE(edit("leHoldTime")->text(), QString("0"));
    QCOMPARE(edit("leMaximumCurrent")->text(), QString("0"));
    QCOMPARE(edit("leCurrentAdcSlope")->text(), QString("1.5"));
    QCOMPARE(edit("leCurrentAdcIntercept")->text(), QString("0"));
    QCOMPARE(section().value("CurrentDacCoeffs").toArray(), (QJsonArray{2.0, 0.0}));

    // An M0 SSPD editor neither saves nor takes the M1 keys.
    open(1);
    edit("lePulseWidth")->setText("3");
    QJsonObject sspd = section();
    sspd.insert("PulseWidth", 9.0);
    sspd.insert("CurrentMonitorAdcCoeffs", QJsonArray{4.0, 5.0});
    m_dialog->driverWidget()->eepromFromJson(sspd);
    QCOMPARE(edit("lePulseWidth")->text(), QString("3"));
    QCOMPARE(edit("leCurrentMonitorSlope")->text(), QString());
    QVERIFY(m_dialogs->warnings.isEmpty());
}

void TestCalibrationEditors::writtenConstantsSurviveARestart()
{
    open(4);
    edit("leCurrentStep")->setText("0.25");
    click(m_dialog.get(), "pbSetEeprom");
    click(m_dialog.get(), "pbWriteEeprom");
    QVERIFY(m_dialogs->warnings.isEmpty());
    m_dialog.reset();
    m_link.reset();
    m_unit.reset();

    m_unit = startSimUnit({"--state", m_state.filePath("eeprom.json")});
    QVERIFY(m_unit);
    m_link.reset(linkTo(*m_unit));
    open(4);
    QCOMPARE(edit("leCurrentStep")->text(), QString("0.25"));
    QCOMPARE(floatAt(module(4)->eepromConstants(), 24), 0.25f);
}

void TestCalibrationEditors::numberTextsReadBackToTheSameFloat()
{
    QCOMPARE(eepromNumberText(0.1f), QString("0.1"));
    QCOMPARE(eepromNumberText(0.000125f), QString("0.000125"));
    QCOMPARE(eepromNumberText(1.25e-05f), QString("1.25e-05"));
    QCOMPARE(eepromNumberText(-2.0f), QString("-2"));
    QCOMPARE(eepromNumberText(8000.0f), QString("8000"));
    QCOMPARE(eepromNumberText(0.123456789f), QString("0.12345679"));
    QCOMPARE(eepromNumberValue("x"), 0.0f);
    QCOMPARE(eepromNumberValue(""), 0.0f);
    QCOMPARE(eepromJsonNumber("0.1"), 0.1);

    // Every float, shown and read back, is the same float.
    quint32 bits = 0x3f800001u;
    for (int i = 0; i < 20000; ++i) {
        bits = bits * 1664525u + 1013904223u;
        float value = 0;
        std::memcpy(&value, &bits, sizeof value);
        if (!std::isfinite(value))
            continue;
        const QString text = eepromNumberText(value);
        QVERIFY2(eepromNumberValue(text) == value, qPrintable(text));
        QVERIFY(text.size() <= 15);
    }
}

void TestCalibrationEditors::commaLocaleDoesNotChangeNumbers()
{
    const QLocale previous;
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    open(4);
    QLineEdit* step = edit("leCurrentStep");
    QString typed = "1.5";
    int position = 0;
    QCOMPARE(step->validator()->validate(typed, position), QValidator::Acceptable);
    QString exponent = "-2.5e-3";
    QCOMPARE(step->validator()->validate(exponent, position), QValidator::Acceptable);
    step->setText(typed);
    click(m_dialog.get(), "pbSetEeprom");
    QLocale::setDefault(previous);
    QCOMPARE(floatAt(module(4)->workingConstants(), 24), 1.5f);
}

QTEST_MAIN(TestCalibrationEditors)
#include "tst_calibrationeditors.moc"
