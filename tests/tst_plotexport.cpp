#include "plotexport.h"

#include <QMenu>
#include <QTemporaryDir>
#include <QtTest>

#include <qcustomplot.h>
#include <sys/stat.h>

// Picture export of a plot: both formats, the suffix rule, the file's permissions and
// a failed write.
class TestPlotExport : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void savesPictures_data();
    void savesPictures();
    void failedWriteIsReported();

private:
    QAction* entry(QString const& text) const;

    std::unique_ptr<QCustomPlot> m_plot;
    std::unique_ptr<QMenu> m_menu;
    QTemporaryDir m_dir;
    QString m_answer;
    QStringList m_asked;
    QStringList m_warnings;
};

void TestPlotExport::init()
{
    m_plot = std::make_unique<QCustomPlot>();
    m_plot->resize(320, 240);
    m_plot->addGraph()->setData({0, 1, 2}, {3, 1, 2});
    m_plot->rescaleAxes();
    m_menu = std::make_unique<QMenu>();
    m_asked.clear();
    m_warnings.clear();
    PlotExportDialogs dialogs;
    dialogs.saveFileName = [this](QWidget*, QString const& caption, QString const& name,
                                  QString const& filter) {
        m_asked << caption + '|' + QFileInfo(name).fileName() + '|' + filter;
        return m_answer;
    };
    dialogs.warning = [this](QWidget*, QString const& title, QString const& text) {
        m_warnings << title + '|' + text;
    };
    addPlotExportActions(m_menu.get(), m_plot.get(), dialogs);
}

QAction* TestPlotExport::entry(QString const& text) const
{
    for (QAction* action : m_menu->actions())
        if (action->text() == text)
            return action;
    return nullptr;
}

void TestPlotExport::savesPictures_data()
{
    QTest::addColumn<QString>("format");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("written");
    QTest::addColumn<QByteArray>("magic");
    QTest::newRow("png") << "PNG"
                         << "curve"
                         << "curve.png" << QByteArray("\x89PNG");
    QTest::newRow("png, suffix in capitals") << "PNG"
                                             << "curve.PNG"
                                             << "curve.PNG" << QByteArray("\x89PNG");
    QTest::newRow("pdf") << "PDF"
                         << "curve.pdf"
                         << "curve.pdf" << QByteArray("%PDF");
    QTest::newRow("pdf, other suffix kept") << "PDF"
                                            << "curve.png"
                                            << "curve.png.pdf" << QByteArray("%PDF");
}

void TestPlotExport::savesPictures()
{
    QFETCH(QString, format);
    QFETCH(QString, typed);
    QFETCH(QString, written);
    QFETCH(QByteArray, magic);
    QString const target = m_dir.filePath(written);
    QFile::remove(target);
    m_answer = m_dir.filePath(typed);
    QVERIFY(entry("Save picture as " + format + "...") != nullptr);

    // A new picture gets the permissions of any new file; a second one replaces it.
    mode_t const mask = ::umask(022);
    for (int round = 0; round < 2; ++round) {
        entry("Save picture as " + format + "...")->trigger();
        QFile file(target);
        QVERIFY2(file.open(QIODevice::ReadOnly), qPrintable(target));
        QVERIFY(file.read(magic.size()) == magic);
        QVERIFY(file.size() > 100);
        QCOMPARE(file.permissions() & (QFile::ReadOther | QFile::WriteOwner | QFile::WriteOther),
                 QFile::ReadOther | QFile::WriteOwner);
    }
    ::umask(mask);
    QCOMPARE(m_asked.first(), "Save picture as " + format + "...|plot." + format.toLower() + '|' +
                                  format + " picture (*." + format.toLower() + ')');
    QVERIFY(m_warnings.isEmpty());
    // Nothing but the picture is left beside it.
    QCOMPARE(QDir(m_dir.path()).entryList(QDir::Files | QDir::Hidden).filter(".XXXXXX").size(), 0);
    QCOMPARE(QDir(m_dir.path()).entryList(QDir::Files | QDir::Hidden).filter(written + '.').size(),
             0);

    // Cancel writes nothing.
    m_answer.clear();
    entry("Save picture as " + format + "...")->trigger();
    QCOMPARE(m_asked.size(), 3);
    QVERIFY(m_warnings.isEmpty());
}

void TestPlotExport::failedWriteIsReported()
{
    m_answer = m_dir.filePath(QStringLiteral("missing/curve.png"));
    entry(QStringLiteral("Save picture as PNG..."))->trigger();
    QCOMPARE(m_warnings.size(), 1);
    QVERIFY2(m_warnings.first().startsWith("Warning|Can't save picture to " + m_answer + ": "),
             qPrintable(m_warnings.first()));
    QVERIFY(!QFileInfo::exists(m_dir.filePath(QStringLiteral("missing"))));
}

QTEST_MAIN(TestPlotExport)
#include "tst_plotexport.moc"
