#ifndef OPERATORDIALOGS_H
#define OPERATORDIALOGS_H

#include <QString>

#include <functional>

class QWidget;

// The calibration tool's modal boxes and file choosers go through these, so that
// tests can answer them; the defaults are Qt's own.
struct OperatorDialogs
{
    using Message = std::function<void(QWidget* parent, QString const& title, QString const& text)>;
    using OpenFileName = std::function<QString(QWidget* parent, QString const& caption)>;

    // A warning box with a single OK button.
    static Message warning;
    // An open-file dialog without filter and start directory; empty on cancel.
    static OpenFileName openFileName;
};

#endif // OPERATORDIALOGS_H
