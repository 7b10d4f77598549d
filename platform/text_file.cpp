#include "text_file.h"

#include "text_decoding.h"

#include <QFile>
#include <QLocale>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QString systemReason(int errorNumber)
{
    return QString::fromLocal8Bit(std::strerror(errorNumber));
}

Error failure(const char *message, const QString &path, int errorNumber)
{
    return Error{QString::fromUtf8(message),
                 QStringLiteral("%1: %2").arg(path, systemReason(errorNumber))};
}

// grewWhileRead: the file was larger than its recorded size (files under
// /proc, a file being written) and reading stopped at the limit, so only the
// limit is known to be exceeded.
Error tooLarge(const QString &path, qint64 size, qint64 maxBytes, bool grewWhileRead)
{
    if (grewWhileRead)
        return Error{QStringLiteral("Il file è troppo grande: supera il limite di %1.")
                         .arg(FileSizeText(maxBytes)),
                     QStringLiteral("%1: more than %2 byte read, limit %2 byte")
                         .arg(path, QString::number(maxBytes))};
    QString shownSize = FileSizeText(size);
    QString shownLimit = FileSizeText(maxBytes);
    if (shownSize == shownLimit) {
        // Just over the limit: rounded figures would read "128,0 MB ... 128,0 MB".
        const QLocale italian(QLocale::Italian, QLocale::Italy);
        shownSize = italian.toString(size) + QStringLiteral(" byte");
        shownLimit = italian.toString(maxBytes) + QStringLiteral(" byte");
    }
    return Error{
        QStringLiteral("Il file è troppo grande (%1): il limite è %2.").arg(shownSize, shownLimit),
        QStringLiteral("%1: %2 byte, limit %3 byte")
            .arg(path, QString::number(size), QString::number(maxBytes))};
}

class FileDescriptor {
public:
    explicit FileDescriptor(int fd) : m_fd(fd) {}
    ~FileDescriptor() { ::close(m_fd); }
    FileDescriptor(const FileDescriptor &) = delete;
    FileDescriptor &operator=(const FileDescriptor &) = delete;
    int get() const { return m_fd; }

private:
    int m_fd;
};

// A read of at most this many bytes at a time: the stop is asked between two.
// One takes well under a millisecond from the system's cache, and a tenth of
// a second from a slow disk or a USB stick, which a pause or a close waits.
// The digest reads blocks of the same size, which stay in a core's cache.
constexpr qsizetype kReadBlock = qsizetype(1) << 20;

Error stoppedError(const QString &name)
{
    return Error{QStringLiteral("Lettura interrotta"), name + QStringLiteral(": stopped")};
}

// One read(2) of up to `size` bytes into `into`: the count read, 0 at the end
// of the file. An interrupted read is tried again; a non-blocking descriptor
// with nothing to give yet (a pipe) is waited for.
Result<qsizetype> readSome(int fd, char *into, qsizetype size, const QString &name)
{
    for (;;) {
        const ssize_t got = ::read(fd, into, size_t(size));
        if (got >= 0)
            return qsizetype(got);
        if (errno == EAGAIN || errno == EWOULDBLOCK) {
            pollfd ready{fd, POLLIN, 0};
            ::poll(&ready, 1, -1);
        } else if (errno != EINTR) {
            return failure("Errore durante la lettura del file", name, errno);
        }
    }
}

// Reads what is left of an open descriptor; more than maxBytes is refused.
// `name` goes into the error's detail.
Result<QByteArray> readRest(int fd, const QString &name, qint64 sizeHint, qint64 maxBytes,
                            const WorkLook &look)
{
    // The size is only a hint: files under /proc report 0, a pipe has none, and
    // a file may grow while it is read. One byte of room beyond it lets the read
    // that meets the end of the file say so without a reallocation.
    QByteArray bytes;
    bytes.resize(qsizetype(sizeHint) + 1);
    qsizetype filled = 0;
    qsizetype lastRead = 0;
    for (;;) {
        if (look && look(lastRead))
            return stoppedError(name);
        if (filled == bytes.size()) {
            if (filled > maxBytes)
                return tooLarge(name, filled, maxBytes, true);
            bytes.resize(
                qsizetype(std::min<qint64>(std::max<qint64>(2 * filled, 65536), maxBytes + 1)));
        }
        const Result<qsizetype> got =
            readSome(fd, bytes.data() + filled, std::min(bytes.size() - filled, kReadBlock), name);
        if (!got)
            return got.error();
        if (got.value() == 0)
            break;
        filled += got.value();
        lastRead = got.value();
    }
    if (filled > maxBytes)
        return tooLarge(name, filled, maxBytes, true);
    bytes.truncate(filled);
    return bytes;
}

Result<QString> decoded(Result<QByteArray> bytes)
{
    if (!bytes)
        return bytes.error();
    return DecodeText(bytes.value());
}

} // namespace

QString FileSizeText(qint64 bytes)
{
    const QLocale italian(QLocale::Italian, QLocale::Italy);
    if (bytes < 1024)
        return QStringLiteral("%1 byte").arg(bytes);
    if (bytes < 1024 * 1024)
        return italian.toString(double(bytes) / 1024, 'f', 1) + QStringLiteral(" KB");
    return italian.toString(double(bytes) / (1024 * 1024), 'f', 1) + QStringLiteral(" MB");
}

Result<QString> ReadTextFile(const QString &path)
{
    return ReadTextFile(path, kMaxTextFileBytes);
}

Result<QString> ReadTextFile(const QString &path, qint64 maxBytes)
{
    return decoded(ReadTextFileBytes(path, maxBytes, WorkLook()));
}

namespace {

// Opened and read with the system calls rather than QFile: the user is told
// why a file cannot be read, and QFile reports every failed open as the same
// OpenError. fstat on the open descriptor also judges the very file that is
// read, not whatever the path named a moment earlier.
template <typename Read>
auto withRegularFile(const QString &path, qint64 maxBytes, Read read) -> decltype(read(0, 0))
{
    if (path.contains(QChar(0))) // the system would read the name only up to it
        return Error{QStringLiteral("Il file non esiste"), path + QStringLiteral(": NUL in name")};

    // O_NONBLOCK: opening a FIFO must not wait for a writer; it is refused
    // below like every file that is not regular.
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        const int error = errno;
        switch (error) {
        case ENOENT:
        case ENOTDIR:
            return failure("Il file non esiste", path, error);
        case EACCES:
        case EPERM:
            return failure("Non si ha il permesso di leggere il file", path, error);
        default:
            return failure("Impossibile aprire il file", path, error);
        }
    }
    const FileDescriptor file(fd);

    struct stat info {};
    if (::fstat(file.get(), &info) != 0)
        return failure("Errore durante la lettura del file", path, errno);
    if (S_ISDIR(info.st_mode))
        return Error{QStringLiteral("Il percorso indica una cartella, non un file"),
                     path + QStringLiteral(": directory")};
    if (!S_ISREG(info.st_mode))
        return Error{QStringLiteral("Il percorso non indica un file regolare"),
                     path + QStringLiteral(": not a regular file")};
    if (info.st_size > maxBytes)
        return tooLarge(path, info.st_size, maxBytes, false);

    return read(file.get(), qint64(info.st_size));
}

// Reads what is left of a regular file in blocks, adding each to the digest;
// more than maxBytes is refused.
Result<ContentDigest> digestRest(int fd, const QString &name, qint64 maxBytes, const WorkLook &look)
{
    std::vector<char> block(kReadBlock);
    ContentDigestBuilder digest;
    qint64 total = 0;
    qsizetype lastRead = 0;
    for (;;) {
        if (look && look(lastRead))
            return stoppedError(name);
        const Result<qsizetype> got = readSome(fd, block.data(), kReadBlock, name);
        if (!got)
            return got.error();
        if (got.value() == 0)
            break;
        total += got.value();
        lastRead = got.value();
        if (total > maxBytes)
            return tooLarge(name, total, maxBytes, true);
        digest.add(QByteArrayView(block.data(), got.value()));
    }
    return digest.result();
}

} // namespace

Result<QByteArray> ReadTextFileBytes(const QString &path, qint64 maxBytes, const WorkLook &look)
{
    return withRegularFile(path, maxBytes, [&](int fd, qint64 size) {
        return readRest(fd, path, size, maxBytes, look);
    });
}

Result<ContentDigest> DigestTextFile(const QString &path, qint64 maxBytes, const WorkLook &look)
{
    return withRegularFile(path, maxBytes,
                           [&](int fd, qint64) { return digestRest(fd, path, maxBytes, look); });
}

Result<QString> ReadStandardInput(qint64 maxBytes, const WorkLook &look)
{
    const QString name = QStringLiteral("standard input");
    struct stat info {};
    if (::fstat(STDIN_FILENO, &info) != 0)
        return failure("Errore durante la lettura del file", name, errno);
    if (S_ISDIR(info.st_mode))
        return Error{QStringLiteral("Il percorso indica una cartella, non un file"),
                     name + QStringLiteral(": directory")};
    const qint64 sizeHint = S_ISREG(info.st_mode) ? info.st_size : 0;
    if (sizeHint > maxBytes)
        return tooLarge(name, sizeHint, maxBytes, false);
    return decoded(readRest(STDIN_FILENO, name, sizeHint, maxBytes, look));
}
