#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

namespace tarvik::remote {

// The access token: at least 128 bits from the system's random source, kept in a file
// only its owner may read. It is never logged and is compared in constant time.

// Shortest token accepted: 22 base64 characters carry 132 bits.
inline constexpr int kMinTokenLength = 22;

struct TokenFile {
    std::optional<QByteArray> token;
    QString error; // why there is none, said for the operator
};

// Reads a secret kept in a file: refused when group or others may read the file or
// when it cannot be read. `what` names it in the refusal ("token", "MQTT password").
TokenFile readSecretFile(const QString &path, const QString &what);

// Reads the token at `path`: refused when group or others may read the file, when it
// cannot be read, or when it is too short to be a token.
TokenFile readTokenFile(const QString &path);

// The files an administrator names: one that commands, one that only watches.
struct TokenFiles {
    QString control;
    QString view;
    bool operator==(const TokenFiles &) const = default;
};

// The tokens a station answers to. `failed` says why a named file gave none: the API
// then refuses every request rather than fall back on an older or on no token.
struct Tokens {
    QByteArray control; // empty: none
    QByteArray view;    // empty: none
    QString failed;
    bool any() const { return !control.isEmpty() || !view.isEmpty() || !failed.isEmpty(); }
};

// Reads both files, each only when named.
Tokens readTokens(const TokenFiles &files);

// Creates `path` (which must not exist) with mode 0600 holding a new token of 256 bits,
// base64url; an error text when that failed.
QString makeTokenFile(const QString &path);

// Random text of `bytes` bytes from the system source, base64url: session ids, tokens.
QByteArray randomText(int bytes);

// Equal contents, in a time that does not depend on where they differ.
bool constantTimeEqual(const QByteArray &a, const QByteArray &b);

} // namespace tarvik::remote
