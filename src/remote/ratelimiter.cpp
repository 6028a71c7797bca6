#include "ratelimiter.h"

namespace tarvik::remote {

bool RateLimiter::admit(const QHostAddress &address, qint64 nowMs)
{
    if (m_times.size() > 1024)
        m_times.removeIf([nowMs](const auto &it) { return it.value().back() <= nowMs - 1000; });
    std::deque<qint64> &times = m_times[address];
    while (!times.empty() && times.front() <= nowMs - 1000)
        times.pop_front();
    if (int(times.size()) >= m_perSecond)
        return false;
    times.push_back(nowMs);
    return true;
}

} // namespace tarvik::remote
