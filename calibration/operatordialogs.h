#ifndef OPERATORDIALOGS_H
#define OPERATORDIALOGS_H

#include <QString>
#include <QStringList>

#include <functional>

class QUrl;
class QWidget;

// The calibration tool's modal boxes and file choosers go through these, so that
// tests can answer them; the defaults are Qt's own.
struct OperatorDialogs
{
    using Message = std::function<void(QWidget* parent, QString const& title, QString const& text)>;
    using OpenFileName = std::function<QString(QWidget* parent, QString const& caption)>;
    using ChooseFile = std::function<QString(QWidget* parent, QString const& caption,
                                             QString const& directory, QString const& filter)>;
    using ChooseDirectory =
        std::function<QString(QWidget* parent, QString const& caption, QString const& directory)>;
    using ChooseItem = std::function<QString(QWidget* parent, QString const& title,
                                             QString const& label, QStringList const& items)>;
    using OpenUrl = std::function<void(QUrl const& url)>;

    // A warning box with a single OK button.
    static Message warning;
    // An open-file dialog without filter and start directory; empty on cancel.
    static OpenFileName openFileName;
    // A critical box with a single OK button.
    static Message critical;
    // An open-file dialog starting in `directory` with a name filter; empty on cancel.
    static ChooseFile chooseFile;
    // A save-file dialog starting at `directory` (a folder or a file name) with a name
    // filter; empty on cancel.
    static ChooseFile chooseSaveFile;
    // A chooser of existing directories; empty on cancel.
    static ChooseDirectory chooseDirectory;
    // A non-editable list chooser with the first item preselected; empty on cancel.
    static ChooseItem chooseItem;
    // Shows a web page in the desktop's browser.
    static OpenUrl openUrl;
};

#endif // OPERATORDIALOGS_H
