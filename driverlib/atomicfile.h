#ifndef ATOMICFILE_H
#define ATOMICFILE_H

#include <QByteArray>
#include <QString>

// Writes the whole file or nothing: an existing file is replaced only once the
// new content is complete on disk. False with a reason on failure.
bool writeFileAtomically(QString const& fileName, QByteArray const& bytes, QString* error);

#endif // ATOMICFILE_H
