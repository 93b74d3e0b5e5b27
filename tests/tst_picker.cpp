#include "lumicratepicker.h"

#include <QComboBox>
#include <QSettings>
#include <QTemporaryDir>
#include <QTimer>
#include <QWidget>
#include <QtTest>

namespace {

QStringList entries(QComboBox const& comboBox)
{
    QStringList out;
    for (int i = 0; i < comboBox.count(); ++i)
        out.append(comboBox.itemText(i));
    return out;
}

struct DialogCall
{
    QWidget* parent = nullptr;
    QString title;
    QString label;
    QString proposal;
};

} // namespace

class TestPicker : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void refillListsUnitsThenUpdateAndManual();
    void refillDisablesTheWindowMeanwhile();
    void updateRerunsDiscoveryAndSelectsFirst();
    void pickedAddressChangesNothing_data();
    void pickedAddressChangesNothing();
    void manualEntryGoesFirst();
    void manualEntryAlreadyDiscoveredIsSelected();
    void manualCancelOrEmptyChangesNothing_data();
    void manualCancelOrEmptyChangesNothing();
    void selectAddressPicksSavedEntry();

private:
    void selectText(QString const& text) { m_combo->setCurrentIndex(m_combo->findText(text)); }

    QTemporaryDir m_settingsDir;
    QWidget* m_window = nullptr;
    QComboBox* m_combo = nullptr;
    LumicratePicker* m_picker = nullptr;
    QStringList m_found;
    int m_discoveries = 0;
    QList<DialogCall> m_dialogs;
    QString m_typed;
    bool m_confirm = true;
};

void TestPicker::initTestCase()
{
    QVERIFY(m_settingsDir.isValid());
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, m_settingsDir.path());
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, m_settingsDir.path());
}

void TestPicker::init()
{
    QSettings(QStringLiteral("Velmora"), QStringLiteral("Lumicrate4_Calibration")).clear();
    m_window = new QWidget;
    m_combo = new QComboBox(m_window);
    m_picker = new LumicratePicker(m_combo, m_window);
    m_found.clear();
    m_discoveries = 0;
    m_dialogs.clear();
    m_typed.clear();
    m_confirm = true;
    m_picker->setDiscovery([this] {
        ++m_discoveries;
        return m_found;
    });
    m_picker->setInputDialog([this](QWidget* parent, QString const& title, QString const& label,
                                    QString const& text, bool* ok) {
        m_dialogs.append({parent, title, label, text});
        *ok = m_confirm;
        return m_typed;
    });
}

void TestPicker::cleanup()
{
    delete m_window;
}

void TestPicker::refillListsUnitsThenUpdateAndManual()
{
    m_combo->addItems({"stale", "entries"});
    m_found = QStringList{"10.1.2.4", "10.1.2.5"};
    m_picker->updateLumicrateList();
    QCOMPARE(entries(*m_combo), (QStringList{"10.1.2.4", "10.1.2.5", "Update...", "Manual..."}));
    QCOMPARE(m_combo->currentIndex(), 0);

    m_found.clear();
    m_picker->updateLumicrateList();
    QCOMPARE(entries(*m_combo), (QStringList{"Update...", "Manual..."}));
    QCOMPARE(m_combo->currentText(), QString("Update..."));
    QCOMPARE(m_discoveries, 2);
}

void TestPicker::refillDisablesTheWindowMeanwhile()
{
    bool pendingRan = false;
    QTimer::singleShot(0, this, [&pendingRan] { pendingRan = true; });
    bool enabledDuring = true;
    bool pendingRanBefore = false;
    m_picker->setDiscovery([&] {
        ++m_discoveries;
        enabledDuring = m_window->isEnabled();
        pendingRanBefore = pendingRan;
        // Discovery runs the event loop, so anything may call back into the picker.
        m_picker->updateLumicrateList();
        return QStringList{"10.1.2.4"};
    });
    m_picker->updateLumicrateList();
    QVERIFY(!enabledDuring);
    QVERIFY(pendingRanBefore);
    QVERIFY(m_window->isEnabled());
    QCOMPARE(m_discoveries, 1);
    QCOMPARE(entries(*m_combo), (QStringList{"10.1.2.4", "Update...", "Manual..."}));
}

void TestPicker::updateRerunsDiscoveryAndSelectsFirst()
{
    m_picker->updateLumicrateList();
    m_found = QStringList{"10.1.2.7", "10.1.2.8"};
    selectText("Update...");
    m_picker->activated(m_combo->currentText());
    QCOMPARE(m_discoveries, 2);
    QCOMPARE(entries(*m_combo), (QStringList{"10.1.2.7", "10.1.2.8", "Update...", "Manual..."}));
    QCOMPARE(m_combo->currentIndex(), 0);
}

void TestPicker::pickedAddressChangesNothing_data()
{
    QTest::addColumn<QString>("text");
    QTest::newRow("address") << "10.1.2.5";
    // Containment tests are case-sensitive.
    QTest::newRow("lower-case update") << "update...";
    QTest::newRow("lower-case manual") << "manual...";
}

void TestPicker::pickedAddressChangesNothing()
{
    QFETCH(QString, text);
    m_found = QStringList{"10.1.2.4", "10.1.2.5"};
    m_picker->updateLumicrateList();
    selectText("10.1.2.5");
    m_picker->activated(text);
    QCOMPARE(m_discoveries, 1);
    QVERIFY(m_dialogs.isEmpty());
    QCOMPARE(m_combo->currentText(), QString("10.1.2.5"));
    QCOMPARE(m_combo->count(), 4);
}

void TestPicker::manualEntryGoesFirst()
{
    m_found = QStringList{"10.1.2.4"};
    m_picker->updateLumicrateList();
    selectText("Manual...");
    m_typed = "10.1.2.3";
    m_picker->activated(m_combo->currentText());

    QCOMPARE(m_dialogs.size(), 1);
    QCOMPARE(m_dialogs[0].parent, m_window);
    QCOMPARE(m_dialogs[0].title, QString("Enter TcpIp Address manualy"));
    QCOMPARE(m_dialogs[0].label, QString("TcpIp Addresss..."));
    QCOMPARE(m_dialogs[0].proposal, QString("127.000.000.001"));
    QCOMPARE(m_discoveries, 2);
    QCOMPARE(entries(*m_combo), (QStringList{"10.1.2.3", "10.1.2.4", "Update...", "Manual..."}));
    QCOMPARE(m_combo->currentIndex(), 0);
}

void TestPicker::manualEntryAlreadyDiscoveredIsSelected()
{
    m_picker->updateLumicrateList();
    // The unit shows up only in the discovery run after the dialog.
    m_found = QStringList{"10.1.2.4", "10.1.2.5"};
    selectText("Manual...");
    m_typed = "10.1.2.5";
    m_picker->activated(m_combo->currentText());
    QCOMPARE(entries(*m_combo), (QStringList{"10.1.2.4", "10.1.2.5", "Update...", "Manual..."}));
    QCOMPARE(m_combo->currentIndex(), 1);
}

void TestPicker::manualCancelOrEmptyChangesNothing_data()
{
    QTest::addColumn<bool>("confirm");
    QTest::addColumn<QString>("typed");
    QTest::newRow("cancel") << false << "10.1.2.3";
    QTest::newRow("empty confirm") << true << "";
}

void TestPicker::manualCancelOrEmptyChangesNothing()
{
    QFETCH(bool, confirm);
    QFETCH(QString, typed);
    QSettings(QStringLiteral("Velmora"), QStringLiteral("Lumicrate4_Calibration"))
        .setValue(QStringLiteral("TcpIpAddress"), QStringLiteral("10.9.8.7"));
    m_found = QStringList{"10.1.2.4"};
    m_picker->updateLumicrateList();
    selectText("Manual...");
    m_confirm = confirm;
    m_typed = typed;
    m_picker->activated(m_combo->currentText());
    QCOMPARE(m_dialogs.size(), 1);
    QCOMPARE(m_dialogs[0].proposal, QString("10.9.8.7"));
    QCOMPARE(m_discoveries, 1);
    QCOMPARE(entries(*m_combo), (QStringList{"10.1.2.4", "Update...", "Manual..."}));
    QCOMPARE(m_combo->currentText(), QString("Manual..."));
}

void TestPicker::selectAddressPicksSavedEntry()
{
    m_found = QStringList{"10.1.2.4", "10.1.2.5"};
    m_picker->updateLumicrateList();
    QVERIFY(m_picker->selectAddress("10.1.2.5"));
    QCOMPARE(m_combo->currentIndex(), 1);

    m_picker->updateLumicrateList();
    QVERIFY(!m_picker->selectAddress("10.1.2.9"));
    QVERIFY(!m_picker->selectAddress("10.1.2"));
    QCOMPARE(m_combo->currentIndex(), 0);
}

QTEST_MAIN(TestPicker)
#include "tst_picker.moc"
