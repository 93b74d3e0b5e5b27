#include "maindialog.h"

#include "calibratedialog.h"
#include "calibrationrecord.h"
#include "commondriver.h"
#include "deviceinfotext.h"
#include "driverwidget.h"
#include "moduletypetable.h"
#include "opendialog.h"
#include "operatordialogs.h"
#include "savedialog.h"
#include "ui_maindialog.h"
#include "wtempm1calibr.h"

#include <QCoreApplication>
#include <QHBoxLayout>
#include <QVBoxLayout>

namespace {
constexpr int moduleAttempts = 5;
constexpr int identityAttempts = 1;
} // namespace

MainDialog::MainDialog(QWidget* parent, std::unique_ptr<cAgilent34401aVisaInterface> agilent)
    : GuardedDialog(parent), ui(new Ui::MainDialog), m_saveDialog(new SaveDialog(this)),
      m_openDialog(new OpenDialog(this)),
      m_calibrateDialog(new CalibrateDialog(this, std::move(agilent)))
{
    ui->setupUi(this);
    connect(ui->pbClose, &QPushButton::clicked, this, &QDialog::accept);
    // The evidence goes with the first record saved after the run.
    connect(m_saveDialog, &SaveDialog::recordSaved, m_calibrateDialog,
            &CalibrateDialog::clearVerifications);
}

MainDialog::~MainDialog()
{
    delete ui;
}

void MainDialog::setInterface(lcIOInterfaceImpl* interface)
{
    m_interface = interface;
}

void MainDialog::setDeviceType(QString const& type)
{
    m_deviceType = type;
    m_driverType = driverTypeOf(type);
}

void MainDialog::setDeviceAddress(int address)
{
    m_deviceAddress = address;
}

bool MainDialog::initializeUI()
{
    const ModuleKind* kind = moduleKind(m_driverType);
    if (!kind) {
        hide();
        OperatorDialogs::warning(nullptr, QStringLiteral("Warning"),
                                 QStringLiteral("Unknown type of Device"));
        // No event loop runs yet, so the caller ends the program (exit() would only
        // leave every later wait returning at once).
        return false;
    }
    m_driver = kind->createDriver(this);
    m_driverWidget = kind->createEditor(this);
    m_driverWidget->setDriver(m_driver);

    auto* buttons = new QVBoxLayout;
    for (QWidget* widget :
         {static_cast<QWidget*>(ui->pbCalibrate), static_cast<QWidget*>(ui->hline),
          static_cast<QWidget*>(ui->pbSave), static_cast<QWidget*>(ui->pbLoad),
          static_cast<QWidget*>(ui->hline_2), static_cast<QWidget*>(ui->pbGetEeprom),
          static_cast<QWidget*>(ui->pbSetEeprom), static_cast<QWidget*>(ui->pbWriteEeprom)})
        buttons->addWidget(widget);
    buttons->addStretch();
    buttons->addWidget(ui->pbClose);
    auto* row = new QHBoxLayout;
    row->addWidget(m_driverWidget);
    row->addWidget(ui->vline);
    row->addLayout(buttons);
    setLayout(row);

    m_driver->setIOInterface(m_interface);
    m_driver->setDevAddress(quint8(m_deviceAddress));
    {
        BusyScope busy(this);
        bool ok = false;
        m_driver->deviceType()->getValueSync(&ok, moduleAttempts);
        if (!m_driver)
            return true;
        // Without an answer the type string of the start dialog still names the module.
        const QString type = ok ? m_driver->deviceType()->currentValue() : m_deviceType;
        setWindowTitle(QStringLiteral("%1 EEPROM data").arg(type));
    }
    on_pbGetEeprom_clicked();
    return true;
}

void MainDialog::enableGUI(bool enable)
{
    for (QWidget* button : {ui->pbCalibrate, ui->pbClose, ui->pbGetEeprom, ui->pbLoad, ui->pbSave,
                            ui->pbSetEeprom, ui->pbWriteEeprom})
        button->setEnabled(enable);
    if (m_driverWidget)
        m_driverWidget->enableGUI(enable);
    QCoreApplication::processEvents();
}

template <typename Action> void MainDialog::runAction(Action action)
{
    if (isBusy() || !m_driverWidget)
        return;
    BusyScope busy(this);
    enableGUI(false);
    action();
    enableGUI(true);
}

void MainDialog::on_pbGetEeprom_clicked()
{
    runAction([this] { m_driverWidget->getEeprom(); });
}

void MainDialog::on_pbSetEeprom_clicked()
{
    runAction([this] { m_driverWidget->setEeprom(); });
}

void MainDialog::on_pbWriteEeprom_clicked()
{
    runAction([this] {
        bool ok = false;
        if (m_driver)
            m_driver->writeEeprom()->executeSync(&ok, moduleAttempts);
        if (!ok)
            OperatorDialogs::warning(
                this, QStringLiteral("Warning!!!"),
                withUnitLostCause(QStringLiteral("Can't write eeprom. Please try one more time!!!"),
                                  m_driver));
    });
}

void MainDialog::on_pbCalibrate_clicked()
{
    if (isBusy() || !m_driverWidget)
        return;
    {
        BusyScope busy(this);
        m_calibrateDialog->setDriver(m_driver);
        m_calibrateDialog->setDriverType(m_driverType);
        if (auto* temperatureM1 = qobject_cast<wTempM1Calibr*>(m_driverWidget))
            m_calibrateDialog->setChannel(temperatureM1->currentChannel());
        if (m_calibrateDialog->exec() == -1)
            OperatorDialogs::warning(
                this, QStringLiteral("Warning!!!"),
                QStringLiteral(
                    "There is no any driver for visa32. Calibration process will be blocked"));
    }
    // The editor shows the constants as the run left them.
    if (!isEndRequested())
        on_pbGetEeprom_clicked();
}

bool MainDialog::readRecordIdentity(QString* deviceType, QString* deviceName)
{
    bool read = false;
    runAction([&] {
        bool typeRead = false;
        bool udidRead = false;
        *deviceType = m_driver->deviceType()->getValueSync(&typeRead, identityAttempts);
        // An empty name would match the records of every module.
        if (m_driver && typeRead && !deviceType->isEmpty())
            *deviceName =
                udidToString(m_driver->UDID()->getValueSyncExact(&udidRead, identityAttempts));
        read = udidRead && m_driverWidget;
        if (!read)
            OperatorDialogs::critical(
                this, QStringLiteral("Error"),
                QStringLiteral("Something wrong at preparing calibration data. Please try again"));
    });
    return read && !isEndRequested();
}

void MainDialog::on_pbSave_clicked()
{
    QString deviceType;
    QString deviceName;
    if (!readRecordIdentity(&deviceType, &deviceName))
        return;
    QJsonObject record = m_driverWidget->eepromToJson();
    record.insert(CalibrationRecord::deviceTypeKey, deviceType);
    record.insert(CalibrationRecord::udidKey, deviceName);
    const QJsonArray verifications = m_calibrateDialog->verifications();
    if (!verifications.isEmpty())
        record.insert(CalibrationRecord::verificationKey, verifications);
    m_saveDialog->setJsonData(record);
    m_saveDialog->exec();
}

void MainDialog::on_pbLoad_clicked()
{
    QString deviceType;
    QString deviceName;
    if (!readRecordIdentity(&deviceType, &deviceName))
        return;
    m_openDialog->setDeviceName(deviceName);
    m_openDialog->setDeviceType(deviceType);
    if (m_openDialog->exec() == QDialog::Accepted && m_driverWidget)
        m_driverWidget->eepromFromJson(m_openDialog->jsonData());
}
