#ifndef GUARDEDDIALOG_H
#define GUARDEDDIALOG_H

#include <QDialog>

// A dialog that may wait inside a synchronous module call. A close, reject or
// accept that arrives during such a wait (the window's close button, Escape) is
// held until the call has unwound, so no code runs on after its dialog ended.
class GuardedDialog : public QDialog
{
    Q_OBJECT
public:
    explicit GuardedDialog(QWidget* parent = nullptr);

    bool isBusy() const { return m_busy > 0; }
    // True once an ending was asked for during a wait.
    bool isEndRequested() const { return m_endRequested; }

    void done(int result) override;
    // A dialog used again starts without the ending held in its last run.
    int exec() override;

protected:
    // Marks the dialog busy for its lifetime; the last one to go applies a held ending.
    class BusyScope
    {
    public:
        explicit BusyScope(GuardedDialog* dialog);
        ~BusyScope();
        BusyScope(BusyScope const&) = delete;
        BusyScope& operator=(BusyScope const&) = delete;

    private:
        GuardedDialog* m_dialog;
    };

private:
    int m_busy = 0;
    bool m_endRequested = false;
    int m_heldResult = Rejected;
};

#endif // GUARDEDDIALOG_H
