#ifndef BENCHSUPPORT_H
#define BENCHSUPPORT_H

#include <QProcess>
#include <QString>
#include <QStringList>

#include <vector>

// Helpers shared by the benchmarks.

double median(std::vector<double> values);
// CPU time this process has used so far, in milliseconds.
double processCpuMs();
quint16 freeLoopbackPort();
void stopProcess(QProcess& process);
// Starts lc-simulator on a free loopback port, without discovery, and waits for
// its startup line (kept in `banner` when given, with what followed it).
bool startSimulator(QProcess& process, const QString& path, quint16* port, QString* banner,
                    QString* error, const QStringList& extraArguments = {});
// The same on a given port, once: a simulator started again where it ran before.
bool startSimulatorOnPort(QProcess& process, const QString& path, quint16 port, QString* banner,
                          QString* error, const QStringList& extraArguments = {});
// The same with the reference meter on a port of the simulator's choosing;
// extraArguments wire it (--meter or a crate file).
bool startSimulatorWithMeter(QProcess& process, const QString& path,
                             const QStringList& extraArguments, quint16* port, quint16* meterPort,
                             QString* error);

#endif // BENCHSUPPORT_H
