#ifndef CALIBRATIONTESTSUPPORT_H
#define CALIBRATIONTESTSUPPORT_H

#include "cagilent34401avisainterface.h"
#include "maindialog.h"
#include "operatordialogs.h"

#include <QLineEdit>
#include <QLoggingCategory>
#include <QPushButton>
#include <QSettings>
#include <QTemporaryDir>
#include <QTimer>
#include <QUrl>
#include <QtTest>

#include <functional>
#include <memory>

// The calibration tool's boxes answered by the test and its settings kept in a
// private directory.
class CalibrationTestDialogs
{
public:
    CalibrationTestDialogs()
    {
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, m_settings.path());
        QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, m_settings.path());
        QLoggingCategory::setFilterRules(QStringLiteral("default.debug=false"));
        OperatorDialogs::warning = [this](QWidget*, QString const& title, QString const& text) {
            warnings << title + '|' + text;
        };
        OperatorDialogs::openFileName = [this](QWidget*, QString const& caption) {
            fileDialogs << caption;
            return fileToOpen;
        };
        OperatorDialogs::critical = [this](QWidget*, QString const& title, QString const& text) {
            errors << title + '|' + text;
        };
        OperatorDialogs::chooseFile = [this](QWidget*, QString const& caption,
                                             QString const& directory, QString const& filter) {
            fileDialogs << caption + '|' + directory + '|' + filter;
            return fileToOpen;
        };
        OperatorDialogs::chooseDirectory = [this](QWidget*, QString const& caption,
                                                  QString const& directory) {
            fileDialogs << caption + '|' + directory;
            return fileToOpen;
        };
        OperatorDialogs::chooseItem = [this](QWidget*, QString const& title, QString const& label,
                                             QStringList const& items) {
            itemChoices << title + '|' + label + '|' + items.join(',');
            return itemToChoose ? itemToChoose(items) : QString();
        };
        OperatorDialogs::openUrl = [this](QUrl const& url) { openedUrls << url; };
    }

    QStringList warnings;
    // Critical boxes, as "title|text".
    QStringList errors;
    QStringList fileDialogs;
    QString fileToOpen;
    QStringList itemChoices;
    // Answers the item chooser; none cancels it.
    std::function<QString(QStringList const& items)> itemToChoose;
    QList<QUrl> openedUrls;

private:
    QTemporaryDir m_settings;
};

// A reference multimeter that measures through a function instead of VISA.
class TestMeter : public cAgilent34401aVisaInterface
{
public:
    explicit TestMeter(QStringList const& libraries = {}) : cAgilent34401aVisaInterface(libraries)
    {
    }

    std::function<double()> measure = [] { return 0.0; };
    QStringList commands;
    int failAfter = -1;

    bool initialize() override
    {
        setInited(true);
        return true;
    }
    qint64 writeAgilent(QString command) override
    {
        commands << command;
        return command.size();
    }
    QString identity() override { return QStringLiteral("Test meter"); }
    double readAgilent(bool* ok) override
    {
        const bool fails = failAfter >= 0 && commands.size() > failAfter;
        if (ok)
            *ok = !fails;
        return fails ? 0.0 : measure();
    }
};

// A main dialog set up as the start dialog hands it over.
inline std::unique_ptr<MainDialog> openMainDialog(lcIOInterfaceImpl* link, int address,
                                                  QString const& type)
{
    auto dialog = std::make_unique<MainDialog>();
    dialog->setInterface(link);
    dialog->setDeviceType(type);
    dialog->setDeviceAddress(address);
    dialog->show();
    dialog->initializeUI();
    return dialog;
}

template <typename T = QWidget> T* child(QObject const* parent, QString const& name)
{
    T* found = parent->findChild<T*>(name);
    if (!found)
        QTest::qFail(qPrintable("no widget " + name), __FILE__, __LINE__);
    return found;
}

inline void click(QObject const* dialog, QString const& button)
{
    QTest::mouseClick(child<QPushButton>(dialog, button), Qt::LeftButton);
}

// Clicks the main dialog's button and runs `inside` once the modal dialog of that
// type that it opens is shown; a dialog still open afterwards is closed, and the
// result says whether it was.
template <typename Dialog>
bool whileShown(MainDialog* mainDialog, QString const& button, std::function<void(Dialog*)> inside)
{
    Dialog* dialog = mainDialog->findChild<Dialog*>();
    bool leftOpen = false;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &poll, [&] {
        if (!dialog->isVisible())
            return;
        poll.stop();
        inside(dialog);
        leftOpen = dialog->isVisible();
        if (leftOpen)
            dialog->reject();
    });
    poll.start(5);
    click(mainDialog, button);
    return leftOpen;
}

// The seven buttons of the main dialog and every line edit of its editor.
inline QList<QWidget*> mainDialogControls(MainDialog const* dialog)
{
    QList<QWidget*> controls;
    for (const char* name : {"pbCalibrate", "pbClose", "pbGetEeprom", "pbLoad", "pbSave",
                             "pbSetEeprom", "pbWriteEeprom"})
        controls << child(dialog, QString::fromLatin1(name));
    for (QLineEdit* edit : dialog->driverWidget()->findChildren<QLineEdit*>())
        controls << edit;
    return controls;
}

#endif // CALIBRATIONTESTSUPPORT_H
