// A Host and an Origin header (the input split at its first newline) against a loopback
// listener and one with configured names: a name is let in only when it is loopback or
// configured, an Origin only when it names the same site; a parsed authority written
// back parses to itself; and any text made fit for the log has no control character
// and at most 200 characters.

#include "fuzzcheck.h"
#include "site.h"

using namespace tarvik::remote;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    const qsizetype newline = bytes.indexOf('\n');
    const QByteArray host = newline < 0 ? bytes : bytes.left(newline);
    const QByteArray origin = newline < 0 ? QByteArray() : bytes.mid(newline + 1);
    const auto named = parseAuthority(host, 80);
    if (named) {
        FUZZ_CHECK(named->port != 0 && !named->host.isEmpty());
        const auto again =
            parseAuthority(named->host.toLatin1() + ':' + QByteArray::number(named->port), 443);
        FUZZ_CHECK(again && again->host == named->host && again->port == named->port);
    }
    const SiteRules loopback{false, 8732, true, {QHostAddress(QHostAddress::LocalHost)}, {}};
    const SiteRules named8732{true, 8732, false, {}, {QStringLiteral("station.vpn:8732")}};
    for (const SiteRules &rules : {loopback, named8732}) {
        if (!siteRefusal(rules, host, origin).isEmpty())
            continue;
        const auto site = parseAuthority(host, rules.tls ? 443 : 80);
        FUZZ_CHECK(site && (rules.loopbackReachable ? namesLoopback(site->host)
                                                    : site->host == QStringLiteral("station.vpn") &&
                                                          site->port == 8732));
        const auto from = parseOrigin(origin);
        FUZZ_CHECK(origin.isEmpty() ||
                   (from && from->tls == rules.tls && from->authority.host == site->host &&
                    from->authority.port == site->port));
    }
    const QString logged = forLog(QString::fromUtf8(bytes));
    FUZZ_CHECK(logged.size() <= 200);
    for (const QChar c : logged)
        FUZZ_CHECK(c.unicode() >= 0x20 && c.unicode() != 0x7f);
    return 0;
}
