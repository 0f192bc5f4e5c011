#pragma once

#include <QList>
#include <QMap>
#include <QString>
#include <QStringList>

// The port directory: which COM number stands for which device. A mapping is
// written as a link under a temporary name that is then renamed over COM<n>, so
// the entry is never missing or half made, whoever looks at it meanwhile. What
// is written reaches the disk before the rename, and the folder after it, so
// that a power loss leaves the old entry or the new one, never an empty file.
class PortMap {
public:
    static constexpr int FirstNumber = 1;
    static constexpr int LastNumber = 255;

    explicit PortMap(QString directory)
        : directory_(std::move(directory))
    {
    }

    const QString& directory() const { return directory_; }

    // Every entry COM<n> with n in 1..255 and where it leads: its link target made
    // absolute, or the entry itself when it is no link.
    QMap<int, QString> entries() const;
    // The numbers whose entries lead to the same device as `path` does.
    QList<int> numbersFor(const QString& path) const;

    // The device `path` leads to, to compare paths by; empty when it leads nowhere.
    static QString deviceOf(const QString& path);

    // Makes COM<number> a link to `target`, creating the directory if need be.
    // Returns an empty text, or the reason nothing was changed.
    QString map(int number, const QString& target) const;
    // Makes COM<number> a network port: a file that holds `address`, the whole
    // entry ("rfc2217+tls://HOST:PORT" and its KEY=VALUE lines), written the
    // same way. An entry that is not one is refused with what is wrong with it.
    QString mapNetwork(int number, const QString& address) const;
    // Removes COM<number>; an entry that is not there is no failure.
    QString unmap(int number) const;
    // Entries are written for their user alone (0600 in a 0700 folder): a
    // port's entry says where it leads and whom it trusts. Those written
    // before, as the umask fell (0644 or 0664 in 0755 or 0775), are tightened
    // here once, when they are the user's own: the paths tightened, with their
    // modes, for the operator to be told; empty when there was nothing to do.
    QStringList tightenEarlierEntries() const;

private:
    QString entryPath(int number) const;
    // Makes the directory, then puts what `make` made under a temporary name
    // in the place of COM<number>.
    template <class Make>
    QString replaceEntry(int number, Make make) const;

    QString directory_;
};
