#include "controllersimulator.h"

#include "protocol.h"

#include <QSocketNotifier>
#include <QTimer>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

namespace tarvik {

namespace {

constexpr std::int32_t kTuneBaseMs = 300;
constexpr std::int32_t kUnitsPerMs = 2000; // 20 kHz of element travel per millisecond
constexpr qint64 kRetractMs = 1200;
constexpr int kBitsPerChar = 10; // start, 8 data, stop
constexpr int kFallbackBaud = 4800;
constexpr int kReadRetryMs = 200;
constexpr int kGarbageTickMs = 20;
// A stalled event loop must not turn into one huge burst when it wakes up.
constexpr int kMaxGarbageBurst = 1024;

constexpr std::uint8_t hexByte(std::string_view hex)
{
    auto digit = [](char c) -> int {
        if (c >= '0' && c <= '9')
            return c - '0';
        if (c >= 'A' && c <= 'F')
            return c - 'A' + 10;
        return c - 'a' + 10;
    };
    return static_cast<std::uint8_t>(digit(hex[0]) * 16 + digit(hex[1]));
}

constexpr std::uint8_t kCmdSetFrequency = hexByte(proto::kSetFrequency.hex);
constexpr std::uint8_t kCmdEnableXcvr = hexByte(proto::kEnableXcvr.hex);
constexpr std::uint8_t kCmdHome = hexByte(proto::kHome.hex);
constexpr std::uint8_t kCmdDisableXcvr = hexByte(proto::kDisableXcvr.hex);
constexpr std::uint8_t kCmdCalibrate = hexByte(proto::kCalibrate.hex);
constexpr std::array<proto::CommandCode, 5> kCommands{
    proto::kSetFrequency, proto::kEnableXcvr, proto::kHome, proto::kDisableXcvr, proto::kCalibrate};

// Offsets added to the direction base in status byte 7.
constexpr std::uint8_t kStateRetracting = 0x10;
constexpr std::uint8_t kStateRetracted = 0x15;
constexpr std::uint8_t kStateCalibrating = 0x25;

// What a Truncated answer keeps: header and frequency, nothing after.
constexpr int kTruncatedSize = 6;

constexpr std::uint8_t kTrailer0 = 0x30;
constexpr std::uint8_t kTrailer1 = 0x0D;

std::uint8_t at(const QByteArray &bytes, qsizetype i)
{
    return static_cast<std::uint8_t>(bytes.at(i));
}

bool startsWith(const QByteArray &bytes, const auto &pattern)
{
    if (bytes.size() < qsizetype(pattern.size()))
        return false;
    return std::equal(pattern.begin(), pattern.end(), bytes.begin(),
                      [](std::uint8_t p, char b) { return p == static_cast<std::uint8_t>(b); });
}

// True when `bytes`, from `from` to its end, could still grow into `pattern`.
bool isPrefixOf(const QByteArray &bytes, qsizetype from, const auto &pattern)
{
    const qsizetype n = bytes.size() - from;
    if (n <= 0 || n >= qsizetype(pattern.size()))
        return false;
    for (qsizetype i = 0; i < n; ++i)
        if (at(bytes, from + i) != pattern[std::size_t(i)])
            return false;
    return true;
}

bool couldStartFrame(const QByteArray &bytes, qsizetype from)
{
    const QByteArray rest = bytes.mid(from);
    return startsWith(rest, proto::kStatusRequest) || startsWith(rest, proto::kHeader) ||
           isPrefixOf(bytes, from, proto::kStatusRequest) ||
           isPrefixOf(bytes, from, proto::kHeader);
}

const proto::DirectionCode *findDirection(std::uint8_t byte7)
{
    for (const auto &d : proto::kDirections)
        if (d.byte7 == byte7)
            return &d;
    return nullptr;
}

const proto::CommandCode *findCommand(std::uint8_t code)
{
    for (const auto &c : kCommands)
        if (hexByte(c.hex) == code)
            return &c;
    return nullptr;
}

bool isCommandFrame(const QByteArray &frame)
{
    return frame.size() == proto::kFrameSize && startsWith(frame, proto::kHeader) &&
           at(frame, 6) == 0x00 && findDirection(at(frame, 7)) && findCommand(at(frame, 8)) &&
           at(frame, 9) == kTrailer0 && at(frame, 10) == kTrailer1;
}

// Where the first frame, or run of junk, in what has come down the line ends.
struct Cut {
    qsizetype size; // 0: nothing can be cut off yet
    bool wellFormed;
};

Cut cutCommand(const QByteArray &input)
{
    if (input.size() >= proto::kFrameSize && isCommandFrame(input.left(proto::kFrameSize)))
        return {proto::kFrameSize, true};
    // A status request where bytes 4..8 of a command would be cannot be part of a good
    // command (those bytes would break byte 6, 7 or 8), so a short command followed by
    // a request is cut there and the request still gets its answer.
    const qsizetype window = std::min<qsizetype>(input.size(), proto::kFrameSize);
    for (qsizetype j = 4; j <= 8 && j + 3 <= window; ++j)
        if (startsWith(input.mid(j), proto::kStatusRequest))
            return {j, false};
    return {input.size() < proto::kFrameSize ? 0 : proto::kFrameSize, false};
}

// Junk runs to the end of its line or to where a frame could begin.
Cut cutJunk(const QByteArray &input)
{
    for (qsizetype i = 1; i < input.size(); ++i)
        if (couldStartFrame(input, i) || at(input, i - 1) == kTrailer1)
            return {i, false};
    if (at(input, input.size() - 1) == kTrailer1)
        return {input.size(), false};
    return {0, false};
}

Cut cutFrame(const QByteArray &input)
{
    if (startsWith(input, proto::kStatusRequest))
        return {qsizetype(proto::kStatusRequest.size()), true};
    if (startsWith(input, proto::kHeader))
        return cutCommand(input);
    if (couldStartFrame(input, 0))
        return {0, false};
    return cutJunk(input);
}

std::int32_t frequencyOf(const QByteArray &frame)
{
    return (std::int32_t(at(frame, 3)) << 16) | (std::int32_t(at(frame, 4)) << 8) |
           std::int32_t(at(frame, 5));
}

std::int32_t interpolate(std::int32_t from, std::int32_t to, qint64 elapsed, qint64 total)
{
    if (total <= 0 || elapsed >= total)
        return to;
    return from + std::int32_t((qint64(to) - from) * elapsed / total);
}

struct SpeedEntry {
    speed_t speed;
    int baud;
};
constexpr SpeedEntry kSpeeds[] = {
    {B50, 50},       {B75, 75},         {B110, 110},       {B134, 134},     {B150, 150},
    {B200, 200},     {B300, 300},       {B600, 600},       {B1200, 1200},   {B1800, 1800},
    {B2400, 2400},   {B4800, 4800},     {B9600, 9600},     {B19200, 19200}, {B38400, 38400},
    {B57600, 57600}, {B115200, 115200}, {B230400, 230400},
};

int baudOf(speed_t speed)
{
    for (const auto &s : kSpeeds)
        if (s.speed == speed)
            return s.baud;
    return 0;
}

struct ModeName {
    ControllerSimulator::Mode mode;
    const char *name;
};
constexpr ModeName kModeNames[] = {
    {ControllerSimulator::Mode::Normal, "normal"},
    {ControllerSimulator::Mode::Silent, "silent"},
    {ControllerSimulator::Mode::Garbage, "garbage"},
    {ControllerSimulator::Mode::Truncated, "truncated"},
    {ControllerSimulator::Mode::WrongHeader, "wrongheader"},
};

} // namespace

ControllerSimulator::ControllerSimulator(QObject *parent)
    : QObject(parent)
    , m_readRetry(new QTimer(this))
    , m_idleFlush(new QTimer(this))
    , m_replyTimer(new QTimer(this))
    , m_garbageTimer(new QTimer(this))
    , m_random(QRandomGenerator::global()->generate())
{
    m_readRetry->setSingleShot(true);
    m_readRetry->setInterval(kReadRetryMs);
    connect(m_readRetry, &QTimer::timeout, this, [this] {
        if (m_readNotifier)
            m_readNotifier->setEnabled(true);
    });

    // Bytes that never grew into a frame are reported once the line goes quiet.
    m_idleFlush->setSingleShot(true);
    connect(m_idleFlush, &QTimer::timeout, this, [this] {
        if (m_input.isEmpty())
            return;
        const QByteArray junk = m_input;
        m_input.clear();
        finishFrame(junk, false);
    });

    m_replyTimer->setSingleShot(true);
    connect(m_replyTimer, &QTimer::timeout, this, &ControllerSimulator::sendReply);

    m_garbageTimer->setInterval(kGarbageTickMs);
    connect(m_garbageTimer, &QTimer::timeout, this, &ControllerSimulator::emitGarbage);
}

ControllerSimulator::~ControllerSimulator()
{
    if (m_readNotifier)
        m_readNotifier->setEnabled(false);
    if (m_slave >= 0)
        ::close(m_slave);
    if (m_master >= 0)
        ::close(m_master);
}

bool ControllerSimulator::start()
{
    if (m_master >= 0)
        return true;

    auto fail = [this](const char *what, int master) {
        m_errorString = QStringLiteral("%1: %2").arg(QLatin1StringView(what),
                                                     QString::fromLocal8Bit(std::strerror(errno)));
        if (master >= 0)
            ::close(master);
        return false;
    };

    const int master = ::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (master < 0)
        return fail("posix_openpt", -1);
    ::fcntl(master, F_SETFD, FD_CLOEXEC);
    if (::grantpt(master) != 0)
        return fail("grantpt", master);
    if (::unlockpt(master) != 0)
        return fail("unlockpt", master);
    const char *name = ::ptsname(master);
    if (!name)
        return fail("ptsname", master);
    const QString path = QString::fromLocal8Bit(name);

    // Our own hold on the slave: without it the master reads EIO, and the slave
    // loses its settings, every time the panel closes the port.
    const int slave = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (slave < 0)
        return fail("open slave", master);

    // Raw, so nothing we send is echoed or translated before the panel has set the
    // line up; and at the controller's own speed, so pacing is sensible even then.
    termios t{};
    if (::tcgetattr(slave, &t) == 0) {
        ::cfmakeraw(&t);
        ::cfsetispeed(&t, B4800);
        ::cfsetospeed(&t, B4800);
        ::tcsetattr(slave, TCSANOW, &t);
    }

    m_master = master;
    m_slave = slave;
    m_slavePath = path;
    m_errorString.clear();

    m_readNotifier = new QSocketNotifier(qintptr(m_master), QSocketNotifier::Read, this);
    connect(m_readNotifier, &QSocketNotifier::activated, this, &ControllerSimulator::onReadable);

    if (m_mode == Mode::Garbage)
        setMode(Mode::Garbage);
    return true;
}

void ControllerSimulator::setMode(Mode mode)
{
    const bool wasBabbling = m_garbageTimer->isActive();
    m_mode = mode;
    if (mode == Mode::Garbage && isStarted()) {
        if (!wasBabbling) {
            m_garbageCredit = 0.0;
            m_garbageClock.start();
            m_garbageTimer->start();
        }
    } else if (wasBabbling) {
        m_garbageTimer->stop();
        // Babble nobody read would otherwise greet the panel as stale bytes
        // long after we stopped.
        ::tcflush(m_slave, TCIFLUSH);
    }
}

std::optional<ControllerSimulator::Mode> ControllerSimulator::modeFromName(QStringView name)
{
    for (const auto &[mode, modeText] : kModeNames)
        if (name.compare(QLatin1StringView(modeText), Qt::CaseInsensitive) == 0)
            return mode;
    return std::nullopt;
}

QString ControllerSimulator::modeName(Mode mode)
{
    for (const auto &[m, modeText] : kModeNames)
        if (m == mode)
            return QLatin1StringView(modeText);
    return {};
}

ControllerSimulator::View ControllerSimulator::view() const
{
    const qint64 elapsed = m_motionClock.isValid() ? m_motionClock.elapsed() : 0;
    switch (m_motion) {
    case Motion::Idle:
    case Motion::Retracted:
        return {m_motion, m_target};
    case Motion::Tuning:
        if (elapsed >= m_durationMs)
            return {Motion::Idle, m_target};
        return {Motion::Tuning, interpolate(m_from, m_target, elapsed, m_durationMs)};
    case Motion::Homing:
        if (elapsed >= m_durationMs)
            return {Motion::Retracted, m_target};
        return {Motion::Homing, m_target};
    case Motion::CalibrateRetracting:
    case Motion::CalibrateReturning:
        if (elapsed < m_durationMs)
            return {Motion::CalibrateRetracting, m_from};
        if (elapsed < m_durationMs + m_returnMs)
            return {Motion::CalibrateReturning,
                    interpolate(m_from, m_target, elapsed - m_durationMs, m_returnMs)};
        return {Motion::Idle, m_target};
    }
    return {Motion::Idle, m_target};
}

void ControllerSimulator::beginMotion(Motion motion, std::int32_t target, qint64 durationMs,
                                      qint64 returnMs)
{
    // A new command takes over from wherever the last one has got to.
    m_from = view().frequency;
    m_motion = motion;
    m_target = target;
    m_durationMs = durationMs;
    m_returnMs = returnMs;
    m_motionClock.start();
}

std::uint8_t ControllerSimulator::stateCodeFor(Motion motion) const
{
    switch (motion) {
    case Motion::Homing:
        return std::uint8_t(m_direction + kStateRetracting);
    case Motion::Retracted:
        return std::uint8_t(m_direction + kStateRetracted);
    case Motion::CalibrateRetracting:
        return std::uint8_t(m_direction + kStateCalibrating);
    case Motion::Idle:
    case Motion::Tuning:
    case Motion::CalibrateReturning:
        break;
    }
    return m_direction;
}

QByteArray ControllerSimulator::statusFrame() const
{
    // One look at the clock for the whole frame, so byte 6 and byte 7 agree.
    const View v = view();
    const bool moving = v.motion != Motion::Idle && v.motion != Motion::Retracted;
    const std::uint32_t f = std::uint32_t(std::clamp(v.frequency, 0, proto::kMaxFrequency));
    QByteArray frame;
    frame.reserve(proto::kStatusFrameSize);
    for (std::uint8_t b : proto::kHeader)
        frame.append(char(b));
    frame.append(char((f >> 16) & 0xFF));
    frame.append(char((f >> 8) & 0xFF));
    frame.append(char(f & 0xFF));
    frame.append(char(moving ? 0x01 : 0x00));
    frame.append(char(stateCodeFor(v.motion)));
    frame.append(char(m_xcvrEnabled ? 0x01 : 0x00));
    frame.append(char(kTrailer0));
    frame.append(char(kTrailer1));
    return frame;
}

int ControllerSimulator::lineBaud() const
{
    termios t{};
    // On the master this yields the slave's settings, which the panel has made.
    if (m_master < 0 || ::tcgetattr(m_master, &t) != 0)
        return kFallbackBaud;
    const int baud = baudOf(::cfgetospeed(&t));
    return baud > 0 ? baud : kFallbackBaud;
}

int ControllerSimulator::wireTimeMs(int bytes) const
{
    const qint64 bits = qint64(bytes) * kBitsPerChar;
    const int baud = lineBaud();
    return int((bits * 1000 + baud - 1) / baud);
}

void ControllerSimulator::onReadable()
{
    char buf[512];
    for (;;) {
        const ssize_t n = ::read(m_master, buf, sizeof buf);
        if (n > 0) {
            m_input.append(buf, n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
            break;
        // EIO (nobody holds the slave) or end of file: the notifier would fire
        // again at once, so stand it down and look again later.
        m_readNotifier->setEnabled(false);
        m_readRetry->start();
        break;
    }
    scanInput();
}

void ControllerSimulator::scanInput()
{
    while (!m_input.isEmpty()) {
        const Cut cut = cutFrame(m_input);
        if (cut.size == 0)
            break; // the rest is still on its way
        const QByteArray frame = m_input.left(cut.size);
        m_input.remove(0, cut.size);
        finishFrame(frame, cut.wellFormed);
    }

    if (m_input.isEmpty())
        m_idleFlush->stop();
    else
        m_idleFlush->start(100 + wireTimeMs(20));
}

void ControllerSimulator::finishFrame(const QByteArray &frame, bool wellFormed)
{
    // The state changes first, so whoever listens sees the frame's effect.
    if (!wellFormed)
        ++m_malformedFrames;
    else if (frame.size() == proto::kFrameSize)
        handleCommand(frame);
    else
        queueReply();
    Q_EMIT frameReceived(frame, wellFormed);
}

void ControllerSimulator::handleCommand(const QByteArray &frame)
{
    ++m_commandsAccepted;
    const std::uint8_t code = at(frame, 8);
    const View now = view();
    if (code == kCmdSetFrequency) {
        // Only this command sets the pattern; the fixed-code frames merely carry
        // the panel's current direction along.
        m_direction = at(frame, 7);
        const std::int32_t target = frequencyOf(frame);
        const qint64 travel = std::abs(qint64(target) - now.frequency);
        beginMotion(Motion::Tuning, target, kTuneBaseMs + travel / kUnitsPerMs);
    } else if (code == kCmdHome) {
        if (now.motion != Motion::Retracted)
            beginMotion(Motion::Homing, now.frequency, kRetractMs);
    } else if (code == kCmdCalibrate) {
        // Back out to the frequency last asked for, from fully in.
        const std::int32_t target = m_target;
        beginMotion(Motion::CalibrateRetracting, target, kRetractMs,
                    kTuneBaseMs + target / kUnitsPerMs);
    } else if (code == kCmdEnableXcvr) {
        m_xcvrEnabled = true;
    } else if (code == kCmdDisableXcvr) {
        m_xcvrEnabled = false;
    }
}

void ControllerSimulator::queueReply()
{
    ++m_pendingReplies;
    // The reply cannot leave before the request has fully arrived and its own
    // bytes have had time to cross the line.
    if (!m_replyTimer->isActive())
        m_replyTimer->start(
            wireTimeMs(int(proto::kStatusRequest.size()) + proto::kStatusFrameSize));
}

void ControllerSimulator::sendReply()
{
    if (m_pendingReplies == 0)
        return;
    --m_pendingReplies;

    QByteArray reply = statusFrame();
    switch (m_mode) {
    case Mode::Silent:
    case Mode::Garbage:
        reply.clear();
        break;
    case Mode::Normal:
        if (m_faultRate > 0.0 && m_random.generateDouble() < m_faultRate) {
            ++m_faultsInjected;
            switch (m_random.bounded(3)) {
            case 0:
                reply.truncate(kTruncatedSize);
                break;
            case 1:
                reply[1] = char(at(reply, 1) ^ 0x20);
                break;
            default:
                reply.clear();
                break;
            }
        }
        break;
    case Mode::Truncated:
        reply.truncate(kTruncatedSize);
        break;
    case Mode::WrongHeader:
        reply[1] = char(at(reply, 1) ^ 0x20); // "@a" instead of "@A"
        break;
    }
    if (!reply.isEmpty()) {
        ++m_requestsAnswered;
        writeToLine(reply);
    }
    if (m_pendingReplies > 0)
        m_replyTimer->start(wireTimeMs(proto::kStatusFrameSize));
}

void ControllerSimulator::emitGarbage()
{
    // Bytes per millisecond at line rate; the clock rather than the tick count
    // decides, since ticks come late on a busy machine.
    m_garbageCredit += double(m_garbageClock.restart()) * lineBaud() / (kBitsPerChar * 1000.0);
    const int count = std::min(int(m_garbageCredit), kMaxGarbageBurst);
    m_garbageCredit = std::min(m_garbageCredit - count, double(kMaxGarbageBurst));
    if (count <= 0)
        return;
    QByteArray bytes(count, Qt::Uninitialized);
    for (char &b : bytes) {
        // Never 0x40, so the stream can never be mistaken for a status frame.
        const auto v = std::uint8_t(m_random.bounded(255u));
        b = char(v >= 0x40 ? v + 1 : v);
    }
    writeToLine(bytes);
}

void ControllerSimulator::writeToLine(const QByteArray &bytes)
{
    if (m_master < 0)
        return;
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(m_master, bytes.constData() + done, size_t(bytes.size() - done));
        if (n > 0) {
            done += n;
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        // A full queue means nobody is reading the line; a real line would lose
        // these bytes just the same, so they are dropped rather than buffered.
        break;
    }
    if (done > 0)
        Q_EMIT lineWritten(bytes.first(done));
}

QString ControllerSimulator::describeFrame(const QByteArray &frame, bool wellFormed)
{
    if (!wellFormed)
        return QStringLiteral("malformed");
    if (startsWith(frame, proto::kStatusRequest) && frame.size() == 3)
        return QStringLiteral("status request");
    if (!isCommandFrame(frame))
        return QStringLiteral("malformed");
    const auto *cmd = findCommand(at(frame, 8));
    QString text = QString::fromLatin1(cmd->meaning.data(), qsizetype(cmd->meaning.size()));
    if (at(frame, 8) == kCmdSetFrequency) {
        static constexpr std::array<const char *, 3> names{"normal", "reversed", "bidirectional"};
        const auto *dir = findDirection(at(frame, 7));
        text += QStringLiteral(": %1 MHz, %2")
                    .arg(double(frequencyOf(frame)) / proto::kUnitsPerMHz, 0, 'f', 5)
                    .arg(QLatin1StringView(names[std::size_t(dir->pattern)]));
    }
    return text;
}

} // namespace tarvik
