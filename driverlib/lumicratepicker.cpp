#include "lumicratepicker.h"

#include "qcustomlib.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QInputDialog>
#include <QSettings>

QString const LumicratePicker::updateEntry = QStringLiteral("Update...");
QString const LumicratePicker::manualEntry = QStringLiteral("Manual...");

LumicratePicker::LumicratePicker(QComboBox* comboBox, QWidget* window)
    : QObject(window), m_comboBox(comboBox), m_window(window), m_discovery(&availableLumicrates),
      m_inputDialog([](QWidget* parent, QString const& title, QString const& label,
                       QString const& text, bool* ok) {
          return QInputDialog::getText(parent, title, label, QLineEdit::Normal, text, ok);
      })
{
}

void LumicratePicker::setDiscovery(Discovery discovery)
{
    m_discovery = std::move(discovery);
}

void LumicratePicker::setInputDialog(InputDialog dialog)
{
    m_inputDialog = std::move(dialog);
}

void LumicratePicker::updateLumicrateList()
{
    // Discovery runs the event loop; a second refill started from inside it (a timer,
    // a queued signal) would clear the list under the first one.
    if (m_refilling || !m_comboBox)
        return;
    m_refilling = true;
    if (m_window)
        m_window->setEnabled(false);
    QCoreApplication::processEvents();

    QStringList const found = m_discovery ? m_discovery() : QStringList();

    if (m_comboBox) {
        m_comboBox->clear();
        m_comboBox->addItems(found);
        m_comboBox->addItem(updateEntry);
        m_comboBox->addItem(manualEntry);
        m_comboBox->setCurrentIndex(0);
    }
    if (m_window)
        m_window->setEnabled(true);
    m_refilling = false;
}

void LumicratePicker::activated(QString const& text)
{
    if (!m_comboBox)
        return;
    if (text.contains(QLatin1String("Update"))) {
        updateLumicrateList();
        m_comboBox->setCurrentIndex(0);
        return;
    }
    if (!text.contains(QLatin1String("Manual")))
        return;

    QSettings settings(QStringLiteral("Velmora"), QStringLiteral("Lumicrate4_Calibration"));
    QString const proposal =
        settings.value(QStringLiteral("TcpIpAddress"), QStringLiteral("127.000.000.001"))
            .toString();
    bool ok = false;
    QString const typed =
        m_inputDialog ? m_inputDialog(m_window, QStringLiteral("Enter TcpIp Address manualy"),
                                      QStringLiteral("TcpIp Addresss..."), proposal, &ok)
                      : QString();
    if (!ok || typed.isEmpty() || !m_comboBox)
        return;

    updateLumicrateList();
    int index = indexOf(typed);
    if (index < 0) {
        m_comboBox->insertItem(0, typed);
        index = 0;
    }
    m_comboBox->setCurrentIndex(index);
}

bool LumicratePicker::selectAddress(QString const& address)
{
    int const index = indexOf(address);
    if (index < 0)
        return false;
    m_comboBox->setCurrentIndex(index);
    return true;
}

int LumicratePicker::indexOf(QString const& text) const
{
    if (!m_comboBox)
        return -1;
    for (int i = 0; i < m_comboBox->count(); ++i) {
        if (m_comboBox->itemText(i) == text)
            return i;
    }
    return -1;
}
