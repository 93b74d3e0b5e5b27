#include "operatordialogs.h"

#include <QFileDialog>
#include <QMessageBox>

OperatorDialogs::Message OperatorDialogs::warning = [](QWidget* parent, QString const& title,
                                                       QString const& text) {
    QMessageBox::warning(parent, title, text, QMessageBox::Ok);
};

OperatorDialogs::OpenFileName OperatorDialogs::openFileName = [](QWidget* parent,
                                                                 QString const& caption) {
    return QFileDialog::getOpenFileName(parent, caption);
};
