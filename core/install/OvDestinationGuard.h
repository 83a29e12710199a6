#ifndef OVDESTINATIONGUARD_H
#define OVDESTINATIONGUARD_H

#include <QHash>
#include <QObject>
#include <QString>

// Makes sure that the directories an extraction writes into really lie inside its destination,
// also when a directory on the way is a symbolic link (or a junction) that leads elsewhere.
// Each directory is looked at once; the answer is remembered for the rest of the extraction.
class OvDestinationGuard : public QObject
{
    Q_OBJECT

public:
    enum class Placement
    {
        Inside,  // exists (or was just created) and resolves inside the destination
        Outside, // resolves outside, or is a dangling link whose target cannot be checked
        Missing  // could not be created; writing below it will fail on its own
    };

    // `rootDir` is the destination as a clean absolute path; it must exist. Directories given to
    // prepareDirectory() are built as rootPath() + "/" + relative path.
    explicit OvDestinationGuard(const QString &rootDir, QObject *parent = nullptr);

    // Checks `dirPath` (clean, absolute, at or below the root) level by level, creating the
    // levels that do not exist yet, so that no directory is ever created through a link that
    // points out of the destination.
    Placement prepareDirectory(const QString &dirPath);

    // The root without a trailing separator ("" for the file-system root "/").
    QString rootPath() const { return root; }

private:
    QString root;
    QString canonicalRoot;
    QHash<QString, Placement> known;
};

#endif // OVDESTINATIONGUARD_H
