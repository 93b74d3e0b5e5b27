#include "calibratedialog.h"
#include "lclogging.h"

#include "cagilent34401avisainterface.h"
#include "calibrationsettings.h"
#include "commoncalibrator.h"
#include "lc4tdm1calibrator.h"
#include "moduletypetable.h"
#include "operatordialogs.h"
#include "plotexport.h"
#include "ui_calibratedialog.h"

#include <QDebug>
#include <QHeaderView>
#include <QMenu>
#include <QTableWidget>

CalibrateDialog::CalibrateDialog(QWidget* parent,
                                 std::unique_ptr<cAgilent34401aVisaInterface> agilent)
    : QDialog(parent), ui(new Ui::CalibrateDialog),
      m_agilent(agilent ? std::move(agilent) : std::make_unique<cAgilent34401aVisaInterface>())
{
    ui->setupUi(this);
    setWindowModality(Qt::WindowModal);
    connect(ui->pbClose, &QPushButton::clicked, this, &QDialog::reject);
    for (QTableWidget* table : {ui->twAsFound, ui->twAsLeft}) {
        table->setColumnCount(4);
        table->setHorizontalHeaderLabels({QStringLiteral("Set"), QStringLiteral("Meter\n- set, %"),
                                          QStringLiteral("Reading\n- meter, %"),
                                          QStringLiteral("Result")});
        table->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
        table->verticalHeader()->hide();
        table->verticalHeader()->setDefaultSectionSize(table->fontMetrics().height() + 6);
    }
    ui->dataPlot->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(ui->dataPlot, &QWidget::customContextMenuRequested, this, [this](QPoint pos) {
        auto* menu = new QMenu(this);
        menu->setAttribute(Qt::WA_DeleteOnClose);
        addPlotExportActions(menu, ui->dataPlot,
                             {OperatorDialogs::chooseSaveFile, OperatorDialogs::warning});
        menu->popup(ui->dataPlot->mapToGlobal(pos));
    });
}

CalibrateDialog::~CalibrateDialog()
{
    delete ui;
}

void CalibrateDialog::enableComponents(bool enable)
{
    ui->cbMode->setEnabled(enable);
    ui->leVisaName->setEnabled(enable);
    ui->pbStart->setEnabled(enable);
}

int CalibrateDialog::exec()
{
    if (!m_agilent->isVisaInited())
        return -1;
    prepareCalibrator();
    return QDialog::exec();
}

void CalibrateDialog::prepareCalibrator()
{
    enableComponents(true);
    if (m_calibrator) {
        m_calibrator->disconnect(this);
        m_calibrator->deleteLater();
    }
    const ModuleKind* kind = moduleKind(m_driverType);
    m_calibrator = kind ? kind->createCalibrator(this) : new CommonCalibrator(this);
    if (auto* channelled = qobject_cast<LC4TDM1Calibrator*>(m_calibrator))
        channelled->setChannel(m_channel);
    connect(m_calibrator, &CommonCalibrator::changeProgress, this,
            &CalibrateDialog::changeProgress);
    connect(m_calibrator, &CommonCalibrator::finished, this, &CalibrateDialog::calibrationFinished);
    connect(m_calibrator, &CommonCalibrator::verificationChanged, this,
            &CalibrateDialog::showVerification);
    connect(m_calibrator, &CommonCalibrator::addPoint, this, &CalibrateDialog::appendPoints);
    connect(m_calibrator, &CommonCalibrator::message, this, &CalibrateDialog::messagePerform);
    connect(m_calibrator, &CommonCalibrator::performPlot, this, &CalibrateDialog::plotPerform);
    m_calibrator->setDriver(m_driver);

    QSettings settings = calibrationSettings();
    const QStringList modes = m_calibrator->modeList();
    if (settings.value(QStringLiteral("DriverType")).toString() == m_calibrator->driverType()) {
        const int stored =
            settings.value(m_calibrator->driverType() + QStringLiteral("_Mode"), 0).toInt();
        // A stored index beyond this kind's modes would select nothing.
        m_calibrator->setModeIndex(qBound(0, stored, qMax(0, modes.size() - 1)));
    }
    ui->cbMode->clear();
    ui->cbMode->addItems(modes);
    ui->cbMode->setCurrentIndex(m_calibrator->modeIndex());
    ui->leVisaName->setText(settings.value(QStringLiteral("VisaName")).toString());
    ui->progressBar->setValue(0);
    ui->lStatus->setText(QStringLiteral("Status: "));
    showVerification();
}

void CalibrateDialog::calibrationFinished()
{
    enableComponents(true);
    const CalibrationVerification verification = m_calibrator->verification();
    // Only a verified run left constants that a record should carry evidence for.
    if (!verification.date.isValid())
        return;
    QJsonObject entry = verification.json();
    QString key = verification.mode;
    // A temperature M1 module keeps one calibration per channel.
    if (auto* channelled = qobject_cast<LC4TDM1Calibrator*>(m_calibrator)) {
        entry.insert(QStringLiteral("Channel"), channelled->channel());
        key += QStringLiteral("/%1").arg(channelled->channel());
    }
    m_verifications.insert(key, entry);
}

QJsonArray CalibrateDialog::verifications() const
{
    QJsonArray entries;
    for (QJsonObject const& entry : m_verifications)
        entries.append(entry);
    return entries;
}

void CalibrateDialog::showVerification()
{
    const CalibrationVerification verification =
        m_calibrator ? m_calibrator->verification() : CalibrationVerification();
    const auto fill = [&verification](QTableWidget* table,
                                      QVector<VerificationPoint> const& points) {
        table->setRowCount(verification.setPoints.size());
        for (int i = 0; i < verification.setPoints.size(); ++i) {
            const bool measured = i < points.size();
            const VerificationPoint point = points.value(i);
            const auto error = [measured](bool side, double value) {
                return measured && side ? QString::number(value, 'f', 3) : QStringLiteral("-");
            };
            const QStringList cells = {
                QString::number(verification.setPoints[i], 'g', 4),
                error(verification.checksSet, verification.setError(i, point)),
                error(verification.checksReading, verification.readingError(point)),
                !measured                       ? QString()
                : verification.passes(i, point) ? QStringLiteral("pass")
                                                : QStringLiteral("FAIL")};
            for (int column = 0; column < cells.size(); ++column) {
                auto* item = new QTableWidgetItem(cells[column]);
                item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
                if (measured && column == 3 && !verification.passes(i, point))
                    item->setForeground(Qt::red);
                table->setItem(i, column, item);
            }
        }
    };
    fill(ui->twAsFound, verification.asFound);
    fill(ui->twAsLeft, verification.asLeft);
    const QString tolerance = verification.setPoints.isEmpty()
                                  ? QString()
                                  : QStringLiteral(" (tolerance %1 % of %2 %3)")
                                        .arg(verification.tolerancePercent)
                                        .arg(verification.fullScale)
                                        .arg(verification.unit);
    ui->gbAsFound->setTitle(QStringLiteral("As found") + tolerance);
    ui->gbAsLeft->setTitle(QStringLiteral("As left") + tolerance);
}

void CalibrateDialog::reject()
{
    stopCalibration();
    QDialog::reject();
}

void CalibrateDialog::on_pbStart_clicked()
{
    if (!m_calibrator || m_calibrator->isRunning())
        return;
    calibrationSettings().setValue(QStringLiteral("VisaName"), ui->leVisaName->text());
    m_calibrator->setModeIndex(qMax(0, ui->cbMode->currentIndex()));
    m_agilent->setVisaDeviceName(ui->leVisaName->text());
    // Every run opens the meter afresh: one switched off and on since the last
    // run is found again.
    m_agilent->closeSession();
    m_calibrator->setAgilent(m_agilent.get());
    enableComponents(false);
    m_calibrator->start();
}

void CalibrateDialog::changeProgress(int progress)
{
    ui->progressBar->setValue(progress);
}

void CalibrateDialog::appendPoints(int graphIndex, double x, double y, bool update)
{
    if (graphIndex < 0 || graphIndex >= ui->dataPlot->graphCount())
        return;
    ui->dataPlot->graph(graphIndex)->addData(x, y);
    if (update) {
        ui->dataPlot->rescaleAxes(true);
        ui->dataPlot->replot(QCustomPlot::rpQueuedReplot);
    }
}

void CalibrateDialog::messagePerform(QString text)
{
    ui->lStatus->setText(QStringLiteral("Status: %1").arg(text));
    qCDebug(lcCalibration) << "message:" << text;
}

void CalibrateDialog::plotPerform()
{
    QCustomPlot* plot = ui->dataPlot;
    plot->clearGraphs();
    QCPGraph* dac = plot->addGraph(plot->xAxis, plot->yAxis);
    dac->setPen(QPen(Qt::red));
    dac->setScatterStyle(QCPScatterStyle(QCPScatterStyle::ssCircle, 4));
    QCPGraph* adc = plot->addGraph(plot->xAxis2, plot->yAxis);
    adc->setPen(QPen(Qt::blue));
    adc->setScatterStyle(QCPScatterStyle(QCPScatterStyle::ssCircle, 4));
    plot->xAxis2->setVisible(true);
    plot->xAxis->setRange(0, 65535);
    plot->replot(QCustomPlot::rpQueuedReplot);
}

void CalibrateDialog::stopCalibration()
{
    if (m_calibrator)
        m_calibrator->terminate();
}
