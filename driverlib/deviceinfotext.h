#ifndef DEVICEINFOTEXT_H
#define DEVICEINFOTEXT_H

#include <QString>

class CommonDriver;
class lcIODevice;

// The status text the measurers show after a module was initialised, from the
// identity values the driver read last. It is rich text; the module's own texts
// are escaped, so they show as they are and never as markup.
QString deviceInfoStatusText(CommonDriver const& driver);

// What every program says when a failure comes from a unit that does not answer
// at all, rather than from one silent module (see lcIOInterface::isUnitLost).
QString unitLostText();
// The same with the "Status: " of the programs' status lines.
QString unitLostStatusText();
// The text, followed by unitLostText() when the device's link has lost its unit.
QString withUnitLostCause(QString const& text, lcIODevice const* device);

#endif // DEVICEINFOTEXT_H
