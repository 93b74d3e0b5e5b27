#ifndef SIMSTATEFILE_H
#define SIMSTATEFILE_H

#include <QJsonObject>
#include <QString>

class SimCrate;

// The persisted EEPROM of a crate's modules: a JSON file keyed by module UDID,
// {"modules": {"XXXX-...": {"address": 1, "kind": "LC4SDM0", "eeprom": "<hex>"}}}.
class SimStateFile
{
public:
    explicit SimStateFile(const QString& path) : m_path(path) {}

    QString path() const { return m_path; }
    // Gives each module of the crate its stored EEPROM image. A missing file is an
    // empty state; a corrupt one is an error and changes no module.
    bool load(SimCrate* crate, QString* error);
    // Replaces the file atomically; entries of modules not in this crate are kept.
    bool save(const SimCrate& crate, QString* error);

private:
    QString m_path;
    QJsonObject m_entries;
};

#endif // SIMSTATEFILE_H
