#include "temptablefile.h"

#include "eepromnumber.h"
#include "operatordialogs.h"

#include <QFile>
#include <QJsonValue>
#include <QTableWidget>

#include <algorithm>

namespace {
QString const warningTitle = QStringLiteral("Warning!!!");

QStringList splitLine(QString const& line)
{
    const QStringList parts = line.split(QLatin1Char('\t'));
    return parts.size() > 1 ? parts : line.split(QLatin1Char(' '));
}
} // namespace

bool readTempTableFile(QString const& fileName, QVector<TempTableFileRow>* rows, QString* error)
{
    rows->clear();
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly)) {
        *error = file.errorString();
        return false;
    }
    readTempTableRows(&file, rows);
    return true;
}

void readTempTableRows(QIODevice* device, QVector<TempTableFileRow>* rows)
{
    rows->clear();
    while (rows->size() < tempTableItems && !device->atEnd()) {
        QByteArray line = device->readLine();
        if (line.endsWith('\n'))
            line.chop(1);
        if (line.endsWith('\r'))
            line.chop(1);
        const QStringList parts = splitLine(QString::fromUtf8(line));
        TempTableFileRow row;
        if (parts.size() >= 2)
            row = {true, parts.at(0), parts.at(1)};
        rows->append(row);
    }
}

namespace TempTableText {
QString readFailed()
{
    return QStringLiteral("Can't read table");
}

QString sendFailed()
{
    return QStringLiteral("Can't set table");
}

QString notFilled(QStringList const& parts)
{
    return QStringLiteral("Not set, as this session never read them from the module, a record or "
                          "a file: %1")
        .arg(parts.join(QStringLiteral(", ")));
}
} // namespace TempTableText

TempTableCells::TempTableCells(QTableWidget* table) : m_table(table) {}

QString TempTableCells::cellText(int row, int column) const
{
    const QTableWidgetItem* cell = m_table->item(row, column);
    return cell ? cell->text() : QString();
}

void TempTableCells::setCellText(int row, int column, QString const& text)
{
    if (QTableWidgetItem* cell = m_table->item(row, column))
        cell->setText(text);
    else
        m_table->setItem(row, column, new QTableWidgetItem(text));
}

void TempTableCells::setRow(int row, LC4TDM0V1_Temp_Table_Item_t const& item)
{
    setCellText(row, 0, eepromNumberText(item.voltage));
    setCellText(row, 1, eepromNumberText(item.temperature));
}

void TempTableCells::show(const LC4TDM0V1_Temp_Table_Item_t* items)
{
    for (int row = 0; row < tempTableItems; ++row)
        setRow(row, items[row]);
}

const LC4TDM0V1_Temp_Table_Item_t* TempTableCells::items()
{
    for (int row = 0; row < tempTableItems; ++row)
        m_items[row] = {eepromNumberValue(cellText(row, 0)), eepromNumberValue(cellText(row, 1))};
    return m_items;
}

QJsonArray TempTableCells::toJson() const
{
    QJsonArray rows;
    for (int row = 0; row < tempTableItems; ++row)
        rows.append(
            QJsonArray{eepromJsonNumber(cellText(row, 0)), eepromJsonNumber(cellText(row, 1))});
    return rows;
}

bool TempTableCells::fromJson(QJsonValue const& value)
{
    const QJsonArray rows = value.toArray();
    for (int row = 0; row < tempTableItems; ++row) {
        const QJsonArray pair = rows.at(row).toArray();
        setRow(row, {eepromJsonValue(pair.at(0)), eepromJsonValue(pair.at(1))});
    }
    return value.isArray();
}

bool TempTableCells::loadFile(QWidget* parent, FileText text)
{
    const QString fileName =
        OperatorDialogs::openFileName(parent, QStringLiteral("Open temp table..."));
    if (fileName.isEmpty())
        return false;
    QVector<TempTableFileRow> rows;
    QString error;
    if (!readTempTableFile(fileName, &rows, &error)) {
        OperatorDialogs::warning(parent, warningTitle,
                                 QStringLiteral("Can't open %1: %2").arg(fileName, error));
        return false;
    }
    // A file without a single row is no table; taking it would blank the table.
    if (std::none_of(rows.cbegin(), rows.cend(),
                     [](TempTableFileRow const& row) { return row.filled; })) {
        OperatorDialogs::warning(parent, warningTitle,
                                 QStringLiteral("No table rows in %1").arg(fileName));
        return false;
    }
    const auto shown = [text](QString const& part) {
        return text == FileText::AsWritten ? part : eepromNumberText(eepromNumberValue(part));
    };
    m_table->clearContents();
    for (int row = 0; row < rows.size(); ++row) {
        if (!rows.at(row).filled)
            continue;
        setCellText(row, 0, shown(rows.at(row).voltage));
        setCellText(row, 1, shown(rows.at(row).temperature));
    }
    return true;
}
