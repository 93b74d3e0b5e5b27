#include "guardeddialog.h"

GuardedDialog::GuardedDialog(QWidget* parent) : QDialog(parent) {}

void GuardedDialog::done(int result)
{
    if (m_busy > 0) {
        m_endRequested = true;
        m_heldResult = result;
        return;
    }
    QDialog::done(result);
}

int GuardedDialog::exec()
{
    m_endRequested = false;
    return QDialog::exec();
}

GuardedDialog::BusyScope::BusyScope(GuardedDialog* dialog) : m_dialog(dialog)
{
    ++m_dialog->m_busy;
}

GuardedDialog::BusyScope::~BusyScope()
{
    if (--m_dialog->m_busy == 0 && m_dialog->m_endRequested)
        m_dialog->QDialog::done(m_dialog->m_heldResult);
}
