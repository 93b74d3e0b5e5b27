#include "maindialog.h"

#include "commondriver.h"
#include "driverwidget.h"
#include "moduletypetable.h"
#include "operatordialogs.h"
#include "ui_maindialog.h"

#include <QCoreApplication>
#include <QHBoxLayout>
#include <QVBoxLayout>

namespace {
constexpr int moduleAttempts = 5;
} // namespace

MainDialog::MainDialog(QWidget* parent) : GuardedDialog(parent), ui(new Ui::MainDialog)
{
    ui->setupUi(this);
    connect(ui->pbClose, &QPushButton::clicked, this, &QDialog::accept);
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
                QStringLiteral("Can't write eeprom. Please try one more time!!!"));
    });
}

void MainDialog::notAvailableYet(QString const& what)
{
    OperatorDialogs::warning(this, QStringLiteral("Warning"),
                             QStringLiteral("%1 is not available yet").arg(what));
}

void MainDialog::on_pbCalibrate_clicked()
{
    notAvailableYet(QStringLiteral("Calibration"));
}

void MainDialog::on_pbSave_clicked()
{
    notAvailableYet(QStringLiteral("Saving a calibration record"));
}

void MainDialog::on_pbLoad_clicked()
{
    notAvailableYet(QStringLiteral("Loading a calibration record"));
}
