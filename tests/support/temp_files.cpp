#include "temp_files.h"

#include <QFile>

#include <unistd.h>

QString WriteTempFile(QTemporaryDir &dir, const QString &name, const QByteArray &bytes)
{
    if (!dir.isValid())
        qFatal("WriteTempFile: temporary directory not created: %s", qPrintable(dir.errorString()));
    QFile file(dir.filePath(name));
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
        file.write(bytes) != bytes.size() || !file.flush())
        qFatal("WriteTempFile: cannot write %s: %s", qPrintable(file.fileName()),
               qPrintable(file.errorString()));
    return file.fileName();
}

QString WriteSparseFile(QTemporaryDir &dir, const QString &name, qint64 size)
{
    const QString path = WriteTempFile(dir, name, {});
    if (!QFile::resize(path, size))
        qFatal("WriteSparseFile: cannot grow %s", qPrintable(path));
    return path;
}

QString WriteUnreadableFile(QTemporaryDir &dir, const QString &name, const QByteArray &bytes)
{
    const QString path = WriteTempFile(dir, name, bytes);
    const auto owner = QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner;
    if (!QFile::setPermissions(path, {}) ||
        !QFile::setPermissions(dir.path(), owner | QFileDevice::ExeOther))
        qFatal("WriteUnreadableFile: cannot take the permissions from %s", qPrintable(path));
    return path;
}

ActAsNobody::ActAsNobody() : m_wasRoot(::geteuid() == 0)
{
    if (m_wasRoot)
        m_ok = ::seteuid(65534) == 0; // nobody
}

ActAsNobody::~ActAsNobody()
{
    if (m_wasRoot && m_ok && ::seteuid(0) != 0)
        qFatal("ActAsNobody: cannot become root again");
}
