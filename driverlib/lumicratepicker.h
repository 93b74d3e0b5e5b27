#ifndef LUMICRATEPICKER_H
#define LUMICRATEPICKER_H

#include <QComboBox>
#include <QObject>
#include <QPointer>
#include <QStringList>
#include <QWidget>

#include <functional>

// The unit-address combo box shared by all programs: discovered addresses followed by
// "Update..." and "Manual...". The window's own slots forward to updateLumicrateList()
// and activated(); the picker does not connect to the combo box itself.
class LumicratePicker : public QObject
{
    Q_OBJECT
public:
    using Discovery = std::function<QStringList()>;
    // Same contract as QInputDialog::getText: returns the text, sets *ok on confirm.
    using InputDialog = std::function<QString(QWidget* parent, QString const& title,
                                              QString const& label, QString const& text, bool* ok)>;

    static QString const updateEntry;
    static QString const manualEntry;

    // `window` is disabled during a refill and parents the manual-entry dialog; it is
    // also the picker's QObject parent.
    LumicratePicker(QComboBox* comboBox, QWidget* window);

    // Defaults: availableLumicrates() and a modal QInputDialog.
    void setDiscovery(Discovery discovery);
    void setInputDialog(InputDialog dialog);

    QComboBox* comboBox() const { return m_comboBox; }

    // Refills the list; the first entry is current afterwards.
    void updateLumicrateList();
    // Handler for the combo box's activated(QString).
    void activated(QString const& text);
    // Selects the first entry equal to `address`; false (selection untouched) if none.
    bool selectAddress(QString const& address);

private:
    int indexOf(QString const& text) const;

    QPointer<QComboBox> m_comboBox;
    QPointer<QWidget> m_window;
    Discovery m_discovery;
    InputDialog m_inputDialog;
    bool m_refilling = false;
};

#endif // LUMICRATEPICKER_H
