#include "token.h"

#include <QCryptographicHash>
#include <QFile>
#include <QRandomGenerator>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace tarvik::remote {

TokenFile readSecretFile(const QString &path, const QString &what)
{
    const QByteArray local = QFile::encodeName(path);
    struct stat info {
    };
    if (::stat(local.constData(), &info) != 0)
        return {std::nullopt, QStringLiteral("cannot read the %1 file %2: %3")
                                  .arg(what, path, QString::fromLocal8Bit(std::strerror(errno)))};
    if ((info.st_mode & (S_IRWXG | S_IRWXO)) != 0)
        return {std::nullopt,
                QStringLiteral("the %1 file %2 may be read by others: run chmod 600 %2")
                    .arg(what, path)};
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {
            std::nullopt,
            QStringLiteral("cannot read the %1 file %2: %3").arg(what, path, file.errorString())};
    return {file.read(4096).trimmed(), {}};
}

TokenFile readTokenFile(const QString &path)
{
    TokenFile file = readSecretFile(path, QStringLiteral("token"));
    if (file.token && file.token->size() < kMinTokenLength)
        return {std::nullopt,
                QStringLiteral("the token in %1 is shorter than %2 characters; make a new one "
                               "with tarvik-station --make-token FILE")
                    .arg(path)
                    .arg(kMinTokenLength)};
    return file;
}

Tokens readTokens(const TokenFiles &files)
{
    Tokens out;
    for (const auto &[path, token] :
         {std::pair{&files.control, &out.control}, std::pair{&files.view, &out.view}}) {
        if (path->isEmpty())
            continue;
        const TokenFile read = readTokenFile(*path);
        if (!read.token)
            return {{}, {}, read.error};
        *token = *read.token;
    }
    if (!out.view.isEmpty() && constantTimeEqual(out.control, out.view))
        return {{},
                {},
                QStringLiteral("the view-only token is the control token: make a new "
                               "one with tarvik-station --make-token FILE")};
    return out;
}

QByteArray randomText(int bytes)
{
    QByteArray raw(bytes, Qt::Uninitialized);
    QRandomGenerator::system()->fillRange(reinterpret_cast<quint32 *>(raw.data()),
                                          qsizetype(bytes / sizeof(quint32)));
    return raw.toBase64(QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals);
}

QString makeTokenFile(const QString &path)
{
    const QByteArray local = QFile::encodeName(path);
    const int fd = ::open(local.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0)
        return QStringLiteral("cannot create %1: %2")
            .arg(path, QString::fromLocal8Bit(std::strerror(errno)));
    const QByteArray text = randomText(32) + '\n';
    const bool written = ::write(fd, text.constData(), size_t(text.size())) == text.size();
    const bool closed = ::close(fd) == 0;
    if (written && closed)
        return {};
    ::unlink(local.constData());
    return QStringLiteral("cannot write %1").arg(path);
}

bool constantTimeEqual(const QByteArray &a, const QByteArray &b)
{
    // Hashing first makes both sides the same length, so the loop never depends on
    // how long the guess was.
    const QByteArray x = QCryptographicHash::hash(a, QCryptographicHash::Sha256);
    const QByteArray y = QCryptographicHash::hash(b, QCryptographicHash::Sha256);
    unsigned char diff = 0;
    for (qsizetype i = 0; i < x.size(); ++i)
        diff |= static_cast<unsigned char>(x[i] ^ y[i]);
    return diff == 0;
}

} // namespace tarvik::remote
