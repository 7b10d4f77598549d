#pragma once

#include <QByteArray>
#include <QString>
#include <QTemporaryDir>

// Fixture files in a test's temporary folder. Each returns the file's path;
// a fixture that cannot be made ends the program (qFatal): nothing a test
// checked afterwards would mean anything.

// dir/name holding exactly `bytes`.
QString WriteTempFile(QTemporaryDir &dir, const QString &name, const QByteArray &bytes);

// dir/name of `size` bytes that are never written (a sparse file): a size
// limit can be passed without the disk space or the time.
QString WriteSparseFile(QTemporaryDir &dir, const QString &name, qint64 size);

// dir/name holding `bytes` that nobody may read, not even its owner. The
// folder itself is then closed to others except for passing through it, so
// a denial is the file's own (see ActAsNobody for a test run as root).
QString WriteUnreadableFile(QTemporaryDir &dir, const QString &name, const QByteArray &bytes);

// Root reads every file. While alive, a process running as root acts as user
// nobody (effective user 65534), so that it meets an unreadable file as any
// user would; for other users it does nothing. ok() is false when the change
// failed: skip then. Leaving restores root or ends the program.
class ActAsNobody {
public:
    ActAsNobody();
    ~ActAsNobody();
    ActAsNobody(const ActAsNobody &) = delete;
    ActAsNobody &operator=(const ActAsNobody &) = delete;
    bool ok() const { return m_ok; }

private:
    bool m_wasRoot = false;
    bool m_ok = true;
};
