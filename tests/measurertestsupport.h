#ifndef MEASURERTESTSUPPORT_H
#define MEASURERTESTSUPPORT_H

#include "fakesspd.h"
#include "mainwindow.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QLabel>
#include <QListWidget>
#include <QLoggingCategory>
#include <QMenu>
#include <QSettings>
#include <QSpinBox>
#include <QStackedWidget>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <memory>

// A measurer window on a fake module at 127.0.0.1, with its dialogs answered by
// the test and its settings in a private directory.
class MeasurerBench
{
public:
    static void isolateSettings(QTemporaryDir const& dir)
    {
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, dir.path());
        QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, dir.path());
        QLoggingCategory::setFilterRules(QStringLiteral("lc.measurer.debug=false"));
    }
    static void clearSettings()
    {
        QSettings(QStringLiteral("Velmora"), QStringLiteral("Photoquell")).clear();
    }

    explicit MeasurerBench(QString const& type = QStringLiteral("LC4SDM0"),
                           QStringList discovered = {QStringLiteral("127.000.000.001")})
        : module(std::make_unique<FakeSspd>(type))
    {
        window = std::make_unique<MainWindow>(nullptr, [discovered] { return discovered; });
        window->unitPort = module->port();
        window->settlingMs = 50;
        window->keyboardModifiers = [this] { return modifiers; };
        window->saveFileDialog = [this](QWidget*, QString const& caption, QString const& name,
                                        QString const& filter) {
            dialogs << caption + '|' + name + '|' + filter;
            return fileToChoose;
        };
        window->warningDialog = [this](QWidget*, QString const& title, QString const& text) {
            warnings << title + '|' + text;
        };
        spin<QSpinBox>("sbDeviceAddress")->setValue(module->address);
    }

    template <typename T> T* widget(char const* name) const
    {
        return window->findChild<T*>(QLatin1String(name));
    }
    template <typename T> T* spin(char const* name) const { return widget<T>(name); }
    QString text(char const* label) const { return widget<QLabel>(label)->text(); }
    QListWidget* pages() const { return widget<QListWidget>("lwActions"); }

    // Presses Initialize; it runs at once when nothing waits.
    void initialize(Qt::KeyboardModifiers held = {})
    {
        modifiers = held;
        widget<QAbstractButton>("pbInitialize")->click();
    }
    void showPage(int index) { pages()->setCurrentRow(index); }
    bool pageEnabled(int row) const
    {
        return pages()->item(row)->flags().testFlag(Qt::ItemIsEnabled);
    }

    // The newest context menu of the window, and one of its entries.
    QAction* menuEntry(QString const& text) const
    {
        QList<QMenu*> const menus = window->findChildren<QMenu*>();
        if (menus.isEmpty())
            return nullptr;
        for (QAction* action : menus.last()->actions())
            if (action->text() == text)
                return action;
        return nullptr;
    }

    std::unique_ptr<FakeSspd> module;
    std::unique_ptr<MainWindow> window;
    Qt::KeyboardModifiers modifiers;
    QStringList dialogs;
    QStringList warnings;
    QString fileToChoose;
};

#endif // MEASURERTESTSUPPORT_H
