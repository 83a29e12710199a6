#ifndef OVLANGUAGESETTING_H
#define OVLANGUAGESETTING_H

#include <QString>

// The interface language the suite keeps in config/sysconfig-language.xml beside the
// executable. Needs the application object.
QString loadLanguageSetting();

namespace OvLanguageSetting {

// The path the suite's language file has for an application directory.
QString filePath(const QString &applicationDir);

// Reads the language code from the file at `path`; falls back to the system locale's name
// when the file is missing, unreadable or not XML, and is empty when it has no "ctrl".
QString readFrom(const QString &path);

} // namespace OvLanguageSetting

#endif // OVLANGUAGESETTING_H
