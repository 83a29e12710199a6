#ifndef OVINSTALLTRANSACTION_H
#define OVINSTALLTRANSACTION_H

#include <QString>
#include <QStringList>

// Makes one install all or nothing. The package is staged in ".ovupdate/staging" inside the
// installation directory (same volume, so that moving a file is a rename); the swap then
// renames each target aside into ".ovupdate/backup" and the staged file into its place. The
// journal ".ovupdate/journal" records each phase, durably, before it starts, so that an install
// cut short by a crash or a power cut is rolled back by recover() at the next start.
class OvInstallTransaction
{
public:
    enum class Recovery
    {
        Nothing,    // no trace of an install
        CleanedUp,  // a finished install left files that could not be removed then
        RolledBack, // an unfinished install was undone
        Failed      // the journal could not be read or a file could not be put back
    };

    // `root` is the installation directory as a clean absolute path.
    explicit OvInstallTransaction(const QString &root);

    QString stagingDir() const { return stateDir + QStringLiteral("/staging"); }

    // Clears what an earlier install left and records that staging starts. False (with the
    // reason in `error`) when the journal cannot be written.
    bool begin(QString *error);
    // A staged file, relative to the staging folder and to the root alike.
    void addFile(const QString &relative) { files.append(relative); }
    // A directory that must exist after the install (the package's directory entries).
    void addDirectory(const QString &relative) { directories.append(relative); }
    // Moves every staged file into place. On any failure, everything moved so far is put back,
    // the staging folder is removed and the reason is in `error`.
    bool swap(QString *error);
    // Gives up before the swap: removes the staging folder and the journal.
    void abort();

    // Finishes or undoes what an earlier run left below `root`; called at start-up before
    // anything else touches the directory.
    static Recovery recover(const QString &root);

    // The threads an install may use: one per core, never more than four.
    static int threadCount();

    // Test seam: called with the phase ("staging", "swap") and the number of files moved so
    // far, right after each step; lets a test stop the process at a chosen point.
    static void (*stepHook)(const char *phase, int moved);

private:
    bool writeJournal(const QStringList &lines, QString *error);
    bool rollBack(const QStringList &journal, QString *error);
    static void removeFiles(const QStringList &paths);
    static void removeState(const QString &stateDir);

    QString root;
    QString stateDir;
    QStringList files;
    QStringList directories;
};

#endif // OVINSTALLTRANSACTION_H
