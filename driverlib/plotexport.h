#ifndef PLOTEXPORT_H
#define PLOTEXPORT_H

#include <QString>

#include <functional>

class QCustomPlot;
class QMenu;
class QWidget;

// Saving a plot's picture with QCustomPlot's own PNG and PDF export, offered as two
// context-menu entries beside a plot's other entries.
struct PlotExportDialogs
{
    using SaveFileName = std::function<QString(QWidget* parent, QString const& caption,
                                               QString const& fileName, QString const& filter)>;
    using Warning = std::function<void(QWidget* parent, QString const& title, QString const& text)>;

    // Asks for the file; empty on cancel.
    SaveFileName saveFileName;
    // Tells the operator why the picture was not saved.
    Warning warning;
};

// Adds "Save picture as PNG..." and "Save picture as PDF..." to `menu`. A name without
// the format's suffix gets it; a failure is reported through `dialogs.warning`.
void addPlotExportActions(QMenu* menu, QCustomPlot* plot, PlotExportDialogs const& dialogs);

// Writes the picture, PDF when the name ends in ".pdf" and PNG otherwise, at the
// plot's size. An existing file is replaced only by a complete picture. False with
// a reason on failure.
bool savePlotPicture(QCustomPlot* plot, QString const& fileName, QString* error);

#endif // PLOTEXPORT_H
