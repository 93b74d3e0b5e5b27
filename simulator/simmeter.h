#ifndef SIMMETER_H
#define SIMMETER_H

#include "simmeterconfig.h"
#include "simmodule.h"

#include <QByteArray>
#include <QObject>
#include <QStringList>

#include <functional>
#include <optional>
#include <random>

// A simulated bench multimeter of the 6½-digit class, wired to one output of one
// module. It answers the SCPI MEAS queries of its eight functions with the true
// value at its inputs, after the integration time of the resolution asked, with
// noise for the range, rounding to the resolution and the overload value beyond
// the range; and a few common commands besides.
class SimMeter : public QObject
{
    Q_OBJECT
public:
    using Done = std::function<void(const std::optional<QByteArray>& answer)>;

    static constexpr double overload = 9.9e37;

    // The module must outlive the meter and have the wired output.
    SimMeter(const SimMeterConfig& config, SimModule* module, QObject* parent = nullptr);

    // Runs one command line (without its line end). `done` gets the answer with its
    // line end, or nothing, once the command has finished: a reading after its
    // integration time. Nothing is called once `context` is gone.
    void execute(const QByteArray& line, QObject* context, Done done);

    // The meter's number format: "+1.23456789E-03".
    static QByteArray formatReading(double value);

private:
    enum class Function
    {
        DcCurrent,
        AcCurrent,
        DcVoltage,
        AcVoltage,
        Resistance,
        FourWireResistance,
        Frequency,
        Period
    };
    struct Setting
    {
        double rangeRequested = 0; // 0: autorange; < 0: the smallest, infinity: the largest
        double resolution = 0;     // 0: default; < 0: the finest, infinity: the coarsest
    };

    // The header's words after MEAS and the parameters after the "?".
    bool parseMeasure(const QList<QByteArray>& tokens, const QByteArray& parameters,
                      Function* function, Setting* setting);
    static bool parseParameter(const QByteArray& text, double* value);
    // What the function sees at the meter's inputs; not a number: an open input.
    double input(Function function) const;
    static const QList<double>& ranges(Function function);
    // The range in use for a value; 0 when the request is beyond every range.
    static double rangeFor(Function function, const Setting& setting, double value);
    // Power-line cycles integrated for a resolution relative to the range.
    static double cyclesFor(const Setting& setting, double range);
    void measure(Function function, const Setting& setting, QObject* context, Done done);
    void answerLater(int ms, QObject* context, Done done, std::optional<QByteArray> answer);
    void pushError(const char* error);
    QByteArray garbage();

    SimMeterConfig m_config;
    SimModule* m_module;
    QStringList m_errors;
    std::mt19937 m_random;
};

#endif // SIMMETER_H
