#include "operatordialogs.h"

#include <QDesktopServices>
#include <QFileDialog>
#include <QInputDialog>
#include <QMessageBox>
#include <QUrl>

OperatorDialogs::Message OperatorDialogs::warning = [](QWidget* parent, QString const& title,
                                                       QString const& text) {
    QMessageBox::warning(parent, title, text, QMessageBox::Ok);
};

OperatorDialogs::OpenFileName OperatorDialogs::openFileName = [](QWidget* parent,
                                                                 QString const& caption) {
    return QFileDialog::getOpenFileName(parent, caption);
};

OperatorDialogs::Message OperatorDialogs::critical = [](QWidget* parent, QString const& title,
                                                        QString const& text) {
    QMessageBox::critical(parent, title, text, QMessageBox::Ok);
};

OperatorDialogs::ChooseFile OperatorDialogs::chooseFile =
    [](QWidget* parent, QString const& caption, QString const& directory, QString const& filter) {
        return QFileDialog::getOpenFileName(parent, caption, directory, filter);
    };

OperatorDialogs::ChooseFile OperatorDialogs::chooseSaveFile =
    [](QWidget* parent, QString const& caption, QString const& directory, QString const& filter) {
        return QFileDialog::getSaveFileName(parent, caption, directory, filter);
    };

OperatorDialogs::ChooseDirectory OperatorDialogs::chooseDirectory = [](QWidget* parent,
                                                                       QString const& caption,
                                                                       QString const& directory) {
    return QFileDialog::getExistingDirectory(parent, caption, directory, QFileDialog::ShowDirsOnly);
};

OperatorDialogs::ChooseItem OperatorDialogs::chooseItem =
    [](QWidget* parent, QString const& title, QString const& label, QStringList const& items) {
        bool ok = false;
        const QString item = QInputDialog::getItem(parent, title, label, items, 0, false, &ok);
        return ok ? item : QString();
    };

OperatorDialogs::OpenUrl OperatorDialogs::openUrl = [](QUrl const& url) {
    QDesktopServices::openUrl(url);
};
