#include "plotexport.h"

#include <QDir>
#include <QFileInfo>
#include <QMenu>
#include <QPointer>
#include <QTemporaryFile>

#include <qcustomplot.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <sys/stat.h>

namespace {

// What a new file of this process gets: a temporary file is private, a picture is not.
QFile::Permissions newFilePermissions()
{
    mode_t const mask = ::umask(0);
    ::umask(mask);
    QFile::Permissions permissions;
    for (auto [bit, permission] : {std::pair{S_IRUSR, QFile::ReadOwner | QFile::ReadUser},
                                   std::pair{S_IWUSR, QFile::WriteOwner | QFile::WriteUser},
                                   std::pair{S_IRGRP, QFile::Permissions(QFile::ReadGroup)},
                                   std::pair{S_IWGRP, QFile::Permissions(QFile::WriteGroup)},
                                   std::pair{S_IROTH, QFile::Permissions(QFile::ReadOther)},
                                   std::pair{S_IWOTH, QFile::Permissions(QFile::WriteOther)}})
        if (!(mask & bit))
            permissions |= permission;
    return permissions;
}

// The folder of the last picture, so that a series of pictures goes to one place.
QString& lastDirectory()
{
    static QString directory = QDir::homePath();
    return directory;
}

void exportAs(QCustomPlot* plot, QString const& suffix, PlotExportDialogs const& dialogs)
{
    if (!dialogs.saveFileName)
        return;
    QPointer<QCustomPlot> const alive(plot);
    QString const upper = suffix.toUpper();
    QString name =
        dialogs.saveFileName(plot->window(), QStringLiteral("Save picture as %1...").arg(upper),
                             QDir(lastDirectory()).filePath(QStringLiteral("plot.") + suffix),
                             QStringLiteral("%1 picture (*.%2)").arg(upper, suffix));
    if (!alive || name.isEmpty())
        return;
    if (QFileInfo(name).suffix().compare(suffix, Qt::CaseInsensitive) != 0)
        name += QLatin1Char('.') + suffix;
    lastDirectory() = QFileInfo(name).absolutePath();
    QString error;
    if (!savePlotPicture(plot, name, &error) && dialogs.warning)
        dialogs.warning(plot->window(), QStringLiteral("Warning"),
                        QStringLiteral("Can't save picture to %1: %2").arg(name, error));
}

} // namespace

void addPlotExportActions(QMenu* menu, QCustomPlot* plot, PlotExportDialogs const& dialogs)
{
    for (QString const& suffix : {QStringLiteral("png"), QStringLiteral("pdf")}) {
        QAction* action =
            menu->addAction(QStringLiteral("Save picture as %1...").arg(suffix.toUpper()));
        QPointer<QCustomPlot> const target(plot);
        QObject::connect(action, &QAction::triggered, plot, [target, suffix, dialogs] {
            if (target)
                exportAs(target, suffix, dialogs);
        });
    }
}

bool savePlotPicture(QCustomPlot* plot, QString const& fileName, QString* error)
{
    QFileInfo const target(fileName);
    // QCustomPlot writes to a file name: it writes a temporary file beside the
    // target, which then replaces the target in one rename.
    QTemporaryFile part(target.absolutePath() + QStringLiteral("/.") + target.fileName() +
                        QStringLiteral(".XXXXXX"));
    if (!part.open()) {
        *error = part.errorString();
        return false;
    }
    part.setPermissions(target.exists() ? target.permissions() : newFilePermissions());
    part.close();
    bool const pdf = target.suffix().compare(QLatin1String("pdf"), Qt::CaseInsensitive) == 0;
    bool const written = pdf ? plot->savePdf(part.fileName()) : plot->savePng(part.fileName());
    if (!written || QFileInfo(part.fileName()).size() == 0) {
        *error = QStringLiteral("the picture could not be written");
        return false;
    }
    if (std::rename(QFile::encodeName(part.fileName()).constData(),
                    QFile::encodeName(target.absoluteFilePath()).constData()) != 0) {
        *error = QString::fromLocal8Bit(std::strerror(errno));
        return false;
    }
    part.setAutoRemove(false);
    return true;
}
