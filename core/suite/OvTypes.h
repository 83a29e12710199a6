#ifndef OVTYPES_H
#define OVTYPES_H

#include <QtGlobal>

// Fixed-width integers used in signal signatures. The update window registers "tds4" and
// "tds8" as meta-type aliases so that signals declared with them can travel queued.
using tds4 = qint32;
using tds8 = qint64;

#endif // OVTYPES_H
