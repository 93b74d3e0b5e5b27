// A calibration record as a file or download holds it, loaded into the editor
// of each module kind: any JSON object loads without a crash or a dialog left
// open, and what the editor then saves is numbers only and loads back to
// itself, through the record's own file format as well.
#include "calibrationrecord.h"
#include "commondriver.h"
#include "driverwidget.h"
#include "moduletypetable.h"
#include "operatordialogs.h"

#include <QApplication>
#include <QJsonArray>
#include <QJsonDocument>

#include <cmath>
#include <cstdint>
#include <cstdlib>

namespace {

void check(bool condition)
{
    if (!condition)
        std::abort();
}

constexpr int kinds = int(UnknownType);
DriverWidget* editors[kinds];

// Numbers, switches, and arrays and objects of them.
bool onlyNumbers(const QJsonValue& value)
{
    if (value.isDouble())
        return std::isfinite(value.toDouble());
    if (value.isBool())
        return true;
    if (value.isArray()) {
        for (const QJsonValue& item : value.toArray())
            if (!onlyNumbers(item))
                return false;
        return true;
    }
    if (value.isObject()) {
        const QJsonObject object = value.toObject();
        for (auto it = object.begin(); it != object.end(); ++it)
            if (!onlyNumbers(it.value()))
                return false;
        return true;
    }
    return false;
}

QApplication* application;

} // namespace

// LeakSanitizer's switches, present only in a build with it.
extern "C" void __lsan_disable() __attribute__((weak));
extern "C" void __lsan_enable() __attribute__((weak));

namespace {

// Qt 5.15's parser loses the earlier value of a key given twice when that value
// is an array or object ({"a":[1],"a":[2]}). That is Qt's leak, so what the parse
// of the raw input allocates is kept out of leak detection; the editors' work
// with the document is not.
QJsonDocument parsedInput(const uint8_t* data, size_t size)
{
    if (__lsan_disable)
        __lsan_disable();
    QJsonDocument document = QJsonDocument::fromJson(
        QByteArray::fromRawData(reinterpret_cast<const char*>(data), int(size)));
    if (__lsan_enable)
        __lsan_enable();
    return document;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // Kept for the whole run and never destroyed, as the editors live as long.
    application = new QApplication(*argc, *argv);
    // Warnings about values kept as they were are answered at once.
    OperatorDialogs::warning = [](QWidget*, QString const&, QString const&) {};
    OperatorDialogs::critical = [](QWidget*, QString const&, QString const&) {};
    for (int type = 0; type < kinds; ++type) {
        const ModuleKind* kind = moduleKind(LC4DriverType(type));
        editors[type] = kind->createEditor(nullptr);
        // The editor takes its driver's kind; the driver is never connected.
        editors[type]->setDriver(kind->createDriver(editors[type]));
        // Fonts and text layout keep caches from their first use; they fill here,
        // so that the leak check of each input sees only what the input did.
        editors[type]->eepromFromJson(editors[type]->eepromToJson());
        editors[type]->eepromFromJson(QJsonObject());
    }
    return 0;
}

// The first byte picks the editor; the rest is the record file.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1)
        return 0;
    DriverWidget* editor = editors[data[0] % kinds];
    const QJsonDocument file = parsedInput(data + 1, size - 1);
    if (!file.isObject())
        return 0;
    editor->eepromFromJson(file.object());
    const QJsonObject saved = editor->eepromToJson();
    check(onlyNumbers(saved));

    editor->eepromFromJson(saved);
    check(editor->eepromToJson() == saved);

    const QJsonDocument reread = QJsonDocument::fromJson(CalibrationRecord::document(saved));
    check(reread.isObject() && reread.object() == saved);
    return 0;
}
