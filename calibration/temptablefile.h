#ifndef TEMPTABLEFILE_H
#define TEMPTABLEFILE_H

#include "tempdriverm0.h"

#include <QJsonArray>
#include <QString>
#include <QStringList>
#include <QVector>

class QIODevice;
class QTableWidget;
class QWidget;

// One line of a temperature table file. A line with fewer than two parts fills
// no row, but still takes its row's place.
struct TempTableFileRow
{
    bool filled = false;
    QString voltage;
    QString temperature;
};

// The first tempTableItems lines of a table file, whole and without their line
// ends. A line splits at tabs, empty parts kept; a line without a tab splits at
// single blanks instead. False, with the reason in `error`, when the file cannot
// be opened.
bool readTempTableFile(QString const& fileName, QVector<TempTableFileRow>* rows, QString* error);
// The same from a device open for reading.
void readTempTableRows(QIODevice* device, QVector<TempTableFileRow>* rows);

// Warnings of both temperature editors.
namespace TempTableText {
QString readFailed();
QString sendFailed();
// What a "set EEPROM" left out because this session never filled it.
QString notFilled(QStringList const& parts);
} // namespace TempTableText

// The tempTableItems rows of a voltage-to-temperature table in a table widget of
// two columns: shown as the editors show numbers, read back as floats, as a
// record's table section and loaded from a table file.
class TempTableCells
{
public:
    explicit TempTableCells(QTableWidget* table);

    void setRow(int row, LC4TDM0V1_Temp_Table_Item_t const& item);
    void show(const LC4TDM0V1_Temp_Table_Item_t* items);
    // tempTableItems items; empty or unreadable cells give 0.
    const LC4TDM0V1_Temp_Table_Item_t* items();

    // Rows of [voltage, temperature].
    QJsonArray toJson() const;
    // Rows beyond the array, short rows and non-numbers give 0. False, with every
    // row at 0, when the value is no array: the record held no table.
    bool fromJson(QJsonValue const& value);

    // How cells show the parts of a file line.
    enum class FileText
    {
        AsWritten,
        AsNumbers
    };
    // Asks for a file and fills the table from it, starting from empty cells so
    // that no row of an earlier table stays. False when the operator cancels or
    // the file cannot be opened (reported, the table untouched).
    bool loadFile(QWidget* parent, FileText text);

private:
    QString cellText(int row, int column) const;
    void setCellText(int row, int column, QString const& text);

    QTableWidget* m_table;
    LC4TDM0V1_Temp_Table_Item_t m_items[tempTableItems] = {};
};

#endif // TEMPTABLEFILE_H
