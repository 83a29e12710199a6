#ifndef OVSUITEPROCESS_H
#define OVSUITEPROCESS_H

#include <QString>
#include <QStringList>

// Stopping the suite before its files are replaced and starting it again afterwards. The
// platform difference lives in one source file per platform.
namespace OvSuiteProcess {

// Ends, forcibly and synchronously, every running process of the suite's executable name.
// Never the updater itself; an empty name ends nothing. Results are not reported.
void stop(const QString &processName);

// Starts the suite's executable from the installation directory, detached, with that
// directory as its working directory. The result is not reported.
void start(const QString &installDir, const QString &processName);

// The Windows stop command: taskkill with the name as one argument, so blanks stay inside it.
QStringList taskkillArguments(const QString &processName);

// True when `exePath`, the executable a process runs (as the system reports it, possibly with
// " (deleted)" appended once the file was replaced), has the file name `processName`.
bool isSuiteExecutable(const QString &exePath, const QString &processName);

} // namespace OvSuiteProcess

#endif // OVSUITEPROCESS_H
