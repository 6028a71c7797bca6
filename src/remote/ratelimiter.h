#pragma once

#include <QHash>
#include <QHostAddress>

#include <deque>

namespace tarvik::remote {

// Commands a second per client address, counted over a sliding second, whatever path
// they come by. The table forgets quiet clients so that it stays small.
class RateLimiter
{
public:
    explicit RateLimiter(int perSecond)
        : m_perSecond(perSecond)
    {}
    // True, and counted, when `address` may send one more command at `nowMs`.
    bool admit(const QHostAddress &address, qint64 nowMs);

private:
    int m_perSecond;
    QHash<QHostAddress, std::deque<qint64>> m_times;
};

} // namespace tarvik::remote
