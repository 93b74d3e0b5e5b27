#include "wtempm1calibr.h"

#include "temptablefile.h"
#include "ui_wtempm1calibr.h"

#include <QJsonArray>

namespace {
QString const dataKey = QStringLiteral("Data");
} // namespace

wTempM1Calibr::wTempM1Calibr(QWidget* parent) : DriverWidget(parent), ui(new Ui::wTempM1Calibr)
{
    ui->setupUi(this);
    m_pages = {ui->wChannel0, ui->wChannel1, ui->wChannel2, ui->wChannel3};
}

wTempM1Calibr::~wTempM1Calibr()
{
    delete ui;
}

int wTempM1Calibr::currentChannel() const
{
    return ui->twChannels->currentIndex();
}

void wTempM1Calibr::setDriver(CommonDriver* driver)
{
    auto* typed = qobject_cast<TempDriverM1*>(driver);
    if (!typed)
        return;
    m_tempDriver = typed;
    DriverWidget::setDriver(driver);
}

void wTempM1Calibr::enableGUI(bool enable)
{
    ui->twChannels->setEnabled(enable);
}

bool wTempM1Calibr::exchange(Exchange exchange, QString const& failure)
{
    const QPointer<DriverWidget> alive(this);
    const bool ok = m_tempDriver && (m_tempDriver.data()->*exchange)();
    return reportOutcome(alive, ok && m_tempDriver, failure);
}

QStringList wTempM1Calibr::unfilled(Section section) const
{
    QStringList channels;
    for (int ch = 0; ch < TempDriverM1::channels; ++ch)
        if (!(m_pages[ch]->filled().*section))
            channels << ui->twChannels->tabText(ch);
    return channels;
}

bool wTempM1Calibr::reportOutOfRange(QStringList const& channels)
{
    if (channels.isEmpty())
        return true;
    const QPointer<DriverWidget> alive(this);
    warn(QStringLiteral("Default current outside the range of its spin box, kept as it is "
                        "until changed: %1")
             .arg(channels.join(QStringLiteral(", "))));
    return alive;
}

void wTempM1Calibr::getEeprom()
{
    // Each part goes to the pages as soon as it has arrived, so that a later
    // failure does not leave parts read but never shown.
    if (!exchange(&TempDriverM1::readEepromCoeffs, readFailedText))
        return;
    for (int ch = 0; ch < TempDriverM1::channels; ++ch)
        m_pages[ch]->setEepromCoeff(m_tempDriver->eepromCoeff(ch));

    if (!exchange(&TempDriverM1::readDefaultParams, readFailedText))
        return;
    QStringList outOfRange;
    for (int ch = 0; ch < TempDriverM1::channels; ++ch)
        if (!m_pages[ch]->setDefaultParam(m_tempDriver->defaultParam(ch)))
            outOfRange << ui->twChannels->tabText(ch);
    if (!reportOutOfRange(outOfRange))
        return;

    if (!exchange(&TempDriverM1::receiveTempTables, TempTableText::readFailed()))
        return;
    for (int ch = 0; ch < TempDriverM1::channels; ++ch)
        m_pages[ch]->setTemperatureTable(m_tempDriver->tempTable(ch));
}

void wTempM1Calibr::setEeprom()
{
    using Filled = wTempM1SupportWidget::Filled;
    if (!m_tempDriver) {
        warn(sendFailedText);
        return;
    }
    const bool defaults = unfilled(&Filled::defaultParam).isEmpty();
    const bool coeffs = unfilled(&Filled::eepromCoeff).isEmpty();
    const QStringList tablesLeft = unfilled(&Filled::table);
    for (int ch = 0; ch < TempDriverM1::channels; ++ch) {
        if (defaults)
            m_tempDriver->setDefaultParam(ch, m_pages[ch]->getDefaultParam());
        if (coeffs)
            m_tempDriver->setEepromCoeff(ch, m_pages[ch]->eepromCoeff());
        if (tablesLeft.isEmpty())
            m_tempDriver->setTempTable(ch, m_pages[ch]->temperatureTable());
    }
    if (defaults && !exchange(&TempDriverM1::writeDefaultParams, sendFailedText))
        return;
    if (coeffs && !exchange(&TempDriverM1::writeEepromCoeffs, sendFailedText))
        return;
    if (tablesLeft.isEmpty() &&
        !exchange(&TempDriverM1::sendTempTables, TempTableText::sendFailed()))
        return;

    QStringList left;
    if (!defaults)
        left << QStringLiteral("default parameters");
    if (!coeffs)
        left << QStringLiteral("EEPROM constants");
    if (!tablesLeft.isEmpty())
        left << QStringLiteral("tables (%1)").arg(tablesLeft.join(QStringLiteral(", ")));
    if (!left.isEmpty())
        warn(TempTableText::notFilled(left));
}

QJsonObject wTempM1Calibr::eepromToJson()
{
    QJsonArray channels;
    for (const wTempM1SupportWidget* page : m_pages)
        channels.append(page->toJson());
    return QJsonObject{{dataKey, channels}};
}

void wTempM1Calibr::eepromFromJson(QJsonObject object)
{
    const QJsonArray channels = object.value(dataKey).toArray();
    QStringList outOfRange;
    for (int ch = 0; ch < TempDriverM1::channels; ++ch)
        if (!m_pages[ch]->fromJson(channels.at(ch)))
            outOfRange << ui->twChannels->tabText(ch);
    reportOutOfRange(outOfRange);
}
