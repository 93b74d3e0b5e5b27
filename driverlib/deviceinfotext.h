#ifndef DEVICEINFOTEXT_H
#define DEVICEINFOTEXT_H

#include <QString>

class CommonDriver;

// The status text the measurers show after a module was initialised, from the
// identity values the driver read last. It is rich text; the module's own texts
// are escaped, so they show as they are and never as markup.
QString deviceInfoStatusText(CommonDriver const& driver);

#endif // DEVICEINFOTEXT_H
