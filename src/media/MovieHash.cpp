#include "media/MovieHash.h"

#include "common/DesktopHooks.h"

#include <QCryptographicHash>
#include <QFile>
#include <QtEndian>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

using namespace Qt::Literals::StringLiterals;

namespace XMLRPC {

namespace {

constexpr qint64 ChunkSize = 65536;

// An open regular file, closed when it goes out of scope.
class ReadOnlyFile final {
public:
    explicit ReadOnlyFile(const QString &path)
    {
        // O_NONBLOCK keeps a FIFO given by mistake from hanging the caller; it
        // changes nothing for regular files.
        m_fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
        if (m_fd < 0) {
            m_error = errno;
            return;
        }
        struct stat st {};
        if (::fstat(m_fd, &st) != 0)
            m_error = errno;
        else if (S_ISDIR(st.st_mode))
            m_error = EISDIR;
        else if (!S_ISREG(st.st_mode))
            m_error = EINVAL;
        else
            m_size = st.st_size;
    }
    ~ReadOnlyFile()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    Q_DISABLE_COPY_MOVE(ReadOnlyFile)

    int error() const { return m_error; }
    qint64 size() const { return m_size; }

    // Two small reads at both ends of a large video: the kernel's read-ahead
    // would read (or, for a sparse file, zero) megabytes around each.
    void readOnlyWhatIsAsked() { ::posix_fadvise(m_fd, 0, 0, POSIX_FADV_RANDOM); }

    // Reads exactly `length` bytes at `offset`; false (with error() set) otherwise.
    bool readAt(qint64 offset, char *buffer, qint64 length)
    {
        while (length > 0) {
            const ssize_t n = ::pread(m_fd, buffer, size_t(length), off_t(offset));
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0) {
                m_error = n < 0 ? errno : EIO; // a file that shrank under us
                return false;
            }
            buffer += n;
            offset += n;
            length -= n;
        }
        return true;
    }

    // Feeds the whole file to `hash`, in blocks.
    bool readAll(QCryptographicHash &hash)
    {
        char buffer[ChunkSize];
        for (;;) {
            const ssize_t n = ::read(m_fd, buffer, sizeof buffer);
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0) {
                m_error = errno;
                return false;
            }
            if (n == 0)
                return true;
            hash.addData(QByteArrayView(buffer, n));
        }
    }

private:
    int m_fd = -1;
    int m_error = 0;
    qint64 m_size = -1;
};

QString describe(const QString &path, int code)
{
    const QString reason = code == EINVAL ? u"not a regular file"_s
                                          : QString::fromStdString(std::generic_category().message(code));
    return u"Cannot read \u201c%1\u201d: %2 (error %3)"_s.arg(path, reason).arg(code);
}

bool isMissing(int code)
{
    return code == ENOENT || code == ENOTDIR;
}

quint64 sumWords(const char *chunk)
{
    quint64 sum = 0;
    for (qint64 i = 0; i < ChunkSize; i += 8)
        sum += qFromLittleEndian<quint64>(chunk + i);
    return sum;
}

} // namespace

MovieHashResult computeMovieHash(const QString &path)
{
    MovieHashResult result;
    ReadOnlyFile file(path);
    if (file.error() == 0) {
        const qint64 size = file.size();
        if (size < ChunkSize) {
            result.size = size;
            return result;
        }
        char chunk[ChunkSize];
        quint64 sum = quint64(size);
        file.readOnlyWhatIsAsked();
        if (file.readAt(0, chunk, ChunkSize)) {
            sum += sumWords(chunk);
            if (file.readAt(size - ChunkSize, chunk, ChunkSize)) {
                sum += sumWords(chunk);
                result.size = size;
                result.hash = u"%1"_s.arg(sum, 16, 16, QChar(u'0'));
                return result;
            }
        }
    }
    result.errorCode = file.error();
    result.error = describe(path, result.errorCode);
    return result;
}

QString getMoviehash(const QString &path)
{
    if (path.isEmpty())
        return QString();
    const MovieHashResult result = computeMovieHash(path);
    if (!result.ok() && !isMissing(result.errorCode))
        desktopHooks().showError(result.error);
    return result.hash;
}

QString getSubHash(const QString &path)
{
    if (path.isEmpty())
        return QString();
    ReadOnlyFile file(path);
    QCryptographicHash md5(QCryptographicHash::Md5);
    if (file.error() == 0 && file.readAll(md5))
        return QString::fromLatin1(md5.result().toHex());
    if (isMissing(file.error()))
        return QString();
    desktopHooks().showError(describe(path, file.error()));
    return u"Error"_s;
}

} // namespace XMLRPC
