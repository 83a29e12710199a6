#ifndef OVDESTINATIONGUARD_H
#define OVDESTINATIONGUARD_H

#include <QHash>
#include <QObject>
#include <QString>

// Makes sure that the directories an install writes into really lie inside its destination,
// also when a directory on the way is a symbolic link (or a junction) that leads elsewhere.
// It only looks, never creates: the install creates missing directories during its swap, so
// that a failed install leaves none behind. Each directory is looked at once; the answer is
// remembered for the rest of the install.
class OvDestinationGuard : public QObject
{
    Q_OBJECT

public:
    enum class Placement
    {
        Inside,  // resolves inside the destination, or does not exist yet and can be created
        Outside, // resolves outside, or is a dangling link whose target cannot be checked
        Blocked  // something that is not a directory stands in its place
    };

    // `rootDir` is the destination as a clean absolute path; it must exist. Directories given to
    // place() are built as rootPath() + "/" + relative path.
    explicit OvDestinationGuard(const QString &rootDir, QObject *parent = nullptr);

    // Checks `dirPath` (clean, absolute, at or below the root) level by level, so that no
    // directory is ever created through a link that points out of the destination.
    Placement place(const QString &dirPath);

    // The root without a trailing separator ("" for the file-system root "/").
    QString rootPath() const { return root; }

private:
    QString root;
    QString canonicalRoot;
    QHash<QString, Placement> known;
};

#endif // OVDESTINATIONGUARD_H
