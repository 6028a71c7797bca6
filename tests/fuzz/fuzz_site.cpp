// Host and Origin (split at the first newline), on a loopback listener and a TLS one with
// one configured name: only those names get in, an Origin only naming the same site; a
// parsed Host written back parses to itself; log text has no control character, <= 200.

#include "fuzzcheck.h"
#include "site.h"

using namespace tarvik::remote;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    const QByteArray host = bytes.split('\n')[0], origin = bytes.mid(host.size() + 1);
    if (const auto named = parseAuthority(host, 80)) {
        const auto again =
            parseAuthority(named->host.toLatin1() + ':' + QByteArray::number(named->port), 443);
        FUZZ_CHECK(again && again->host == named->host && again->port == named->port);
    }
    const SiteRules loopback{false, 8732, true, {QHostAddress(QHostAddress::LocalHost)}, {}};
    const SiteRules vpn{true, 8732, false, {}, {QStringLiteral("station.vpn:8732")}};
    for (const SiteRules &rules : {loopback, vpn}) {
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
