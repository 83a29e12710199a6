#ifndef OVRELEASE_H
#define OVRELEASE_H

#include <QString>

// One release of the suite as the catalogue lists it.
struct OvRelease
{
    QString version;            // dotted decimal, compared as the updater does
    QString package;            // a file in the packages folder, or an absolute http(s) URL
    QString description;        // shown by the updater under the offer
    QString cdt;                // release date, passed through as text
    qint64 importanceLevel = 2; // 1: the updater starts the update by itself
    QString signature;          // the package's .minisig text, for packages on another host
};

#endif // OVRELEASE_H
