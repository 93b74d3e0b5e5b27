#include "startdialog.h"
#include "lclogging.h"

#include "calibrationsettings.h"
#include "commondriver.h"
#include "lctcpsocketiointerface.h"
#include "operatordialogs.h"
#include "qcustomlib.h"
#include "ui_startdialog.h"

#include <QCoreApplication>
#include <QDebug>

#include <memory>

namespace {
constexpr int identityWaitMs = 100;
constexpr int typeAttempts = 5;
QString const warningTitle = QStringLiteral("Warning");
} // namespace

StartDialog::StartDialog(QWidget* parent, LumicratePicker::Discovery discovery)
    : GuardedDialog(parent), ui(new Ui::StartDialog)
{
    ui->setupUi(this);
    m_picker = new LumicratePicker(ui->cbTcpIp, this);
    if (discovery)
        m_picker->setDiscovery(std::move(discovery));
    connect(ui->buttonBox, &QDialogButtonBox::rejected, this, &QDialog::reject);
    restoreSettings();
}

StartDialog::~StartDialog()
{
    delete ui;
}

int StartDialog::deviceAddress() const
{
    return ui->sbDeviceAddress->value();
}

void StartDialog::restoreSettings()
{
    QSettings settings = calibrationSettings();
    ui->sbDeviceAddress->setValue(settings.value(QStringLiteral("DeviceAddress"), 0).toInt());
    updateLumicrateList();
    m_picker->selectAddress(
        settings.value(QStringLiteral("TcpIpAddress"), QStringLiteral("127.000.000.001"))
            .toString());
}

void StartDialog::updateLumicrateList()
{
    m_picker->updateLumicrateList();
}

void StartDialog::on_cbTcpIp_activated(QString const& text)
{
    m_picker->activated(text);
}

void StartDialog::on_buttonBox_accepted()
{
    if (isBusy())
        return;
    bool found = false;
    {
        BusyScope busy(this);
        setEnabled(false);
        QCoreApplication::processEvents();
        found = checkConnection();
        setEnabled(true);
    }
    // A close asked for during the check has ended the dialog by now.
    if (found && !isEndRequested())
        accept();
}

bool StartDialog::checkConnection()
{
    // Only the last link is handed on; the ones of failed attempts go at once.
    delete m_interface;
    m_interface = new lcTcpSocketIOInterface(this);
    m_interface->initialize();
    m_interface->setAddress(convertToHostAddress(ui->cbTcpIp->currentText()));
    m_interface->setPort(unitPort);

    bool ok = false;
    const QString reply = m_interface->tcpIpQuery(QStringLiteral("*IDN?"), identityWaitMs, &ok);
    if (isEndRequested() || !m_interface)
        return false;
    if (!ok || !reply.contains(QStringLiteral("Velmora Lumicrate"), Qt::CaseSensitive)) {
        OperatorDialogs::warning(this, warningTitle,
                                 QStringLiteral("Can't find any device on this TcpIp address"));
        return false;
    }

    auto driver = std::make_unique<CommonDriver>();
    driver->setIOInterface(m_interface);
    driver->setDevAddress(quint8(deviceAddress()));
    m_deviceType = driver->deviceType()->getValueSync(&ok, typeAttempts);
    driver.reset();
    if (isEndRequested())
        return false;
    if (!ok || m_deviceType.isEmpty()) {
        OperatorDialogs::warning(this, warningTitle, QStringLiteral("Wrong device address"));
        return false;
    }
    qCDebug(lcCalibration) << m_deviceType;
    QSettings settings = calibrationSettings();
    settings.setValue(QStringLiteral("TcpIpAddress"), ui->cbTcpIp->currentText());
    settings.setValue(QStringLiteral("DeviceAddress"), deviceAddress());
    return true;
}
