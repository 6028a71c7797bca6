// bench-panel: the real main window in process, on a pseudo-terminal held here.
//
//   bench-panel latency N     presses F6 N times; for each press, the time from the key
//                             event until the whole frame can be read on the far end
//   bench-panel poll MODE N   runs N status polls against replies written here before
//                             each one; MODE "changed" alternates two frames that
//                             differ in everything the panel shows, "unchanged" sends
//                             one frame every time. Run under callgrind with
//                             --collect-atstart=no: only the polls and the repaints
//                             they cause are counted.
//   bench-panel qt            prints the Qt version the panel runs on
//
// Results are key=value lines on standard output for bench/run to gather.

#include "commport.h"
#include "frm_main.h"
#include "ptypeer.h"
#include "settingsstore.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QLineEdit>
#include <QSerialPort>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <valgrind/callgrind.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

#include <poll.h>
#include <unistd.h>

using namespace tarvik;

namespace {

using Clock = std::chrono::steady_clock;

int fail(const char *what)
{
    std::fprintf(stderr, "bench-panel: %s\n", what);
    return 1;
}

// The settings folder and the window, torn down in the right order.
struct Panel {
    QTemporaryDir dir;
    QObject owner;
    SettingsStore *store = nullptr;
    std::unique_ptr<frm_main> window;
    test::PtyPeer peer;

    bool start()
    {
        if (!dir.isValid() || !peer.isValid())
            return false;
        store = new SettingsStore(dir.path() + QStringLiteral("/TarvikDesk.conf"), &owner);
        window = std::make_unique<frm_main>(store);
        window->setPortOverride(peer.slavePath());
        window->Form_Load();
        window->show();
        window->activateWindow();
        if (!QTest::qWaitForWindowActive(window.get()))
            return false;
        // The benchmark decides when polls happen; commands restart the timer, and
        // the presses come far faster than it would run out.
        window->Timer1()->stop();
        peer.collect(50);
        return window->MSComm1().isOpen();
    }

    // Drops whatever the panel has written so far.
    void drain()
    {
        char buf[256];
        while (::read(peer.masterFd(), buf, sizeof buf) > 0) {
        }
    }

    // Puts a reply on the line and lets the port gather it, as the event loop would
    // between two ticks.
    bool reply(const QByteArray &frame)
    {
        QSerialPort *port = window->MSComm1().serialPort();
        peer.write(frame);
        const QDeadlineTimer deadline(5000);
        while (port->bytesAvailable() < frame.size()) {
            if (deadline.hasExpired())
                return false;
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        }
        return true;
    }
};

int baudOf(const QString &settings)
{
    return settings.section(QLatin1Char(','), 0, 0).trimmed().toInt();
}

double percentile(std::vector<double> sorted, double p)
{
    std::sort(sorted.begin(), sorted.end());
    const auto rank = static_cast<std::size_t>(std::ceil(p * static_cast<double>(sorted.size())));
    return sorted[std::clamp<std::size_t>(rank, 1, sorted.size()) - 1];
}

int latency(int presses)
{
    Panel panel;
    if (!panel.start())
        return fail("the panel did not start on the pseudo-terminal");
    frm_main &w = *panel.window;
    // F6 is 20 m: 14.050 MHz, normal pattern.
    const QByteArray expected = QByteArray::fromHex("404100157048000031300d");
    if (expected.size() != proto::kFrameSize)
        return fail("bad expected frame");
    const int fd = panel.peer.masterFd();

    std::vector<double> micros;
    micros.reserve(static_cast<std::size_t>(presses));
    for (int i = 0; i < presses; ++i) {
        QCoreApplication::processEvents();
        panel.drain();
        char buf[64];
        int got = 0;
        const auto t0 = Clock::now();
        QTest::keyClick(&w, Qt::Key_F6);
        while (got < expected.size()) {
            const ssize_t n = ::read(fd, buf + got, sizeof buf - static_cast<std::size_t>(got));
            if (n > 0)
                got += static_cast<int>(n);
            else if (Clock::now() - t0 > std::chrono::seconds(5))
                return fail("no frame came after F6");
        }
        const auto t1 = Clock::now();
        if (QByteArray(buf, got) != expected) {
            std::fprintf(stderr, "bench-panel: press %d sent %s\n", i,
                         QByteArray(buf, got).toHex().constData());
            return fail("F6 sent the wrong frame");
        }
        micros.push_back(std::chrono::duration<double, std::micro>(t1 - t0).count());
    }

    const int baud = baudOf(w.MSComm1().settings());
    // A start bit, eight data bits and a stop bit for every byte.
    const double wireMs = expected.size() * 10 * 1000.0 / baud;
    std::printf("presses=%d\n", presses);
    std::printf("p50_us=%.1f\n", percentile(micros, 0.50));
    std::printf("p99_us=%.1f\n", percentile(micros, 0.99));
    std::printf("max_us=%.1f\n", *std::max_element(micros.begin(), micros.end()));
    std::printf("baud=%d\n", baud);
    std::printf("wire_ms=%.1f\n", wireMs);
    return 0;
}

int pollCost(bool changing, int ticks)
{
    Panel panel;
    if (!panel.start())
        return fail("the panel did not start on the pseudo-terminal");
    frm_main &w = *panel.window;
    // 14.050 MHz reversed and idle; 21.050 MHz normal and moving: every lamp, caption
    // and box the poll drives differs between the two.
    const QByteArray a = QByteArray::fromHex("40410015704800403130 0d");
    const QByteArray b = QByteArray::fromHex("404100201ea801903130 0d");

    auto tick = [&](const QByteArray &frame, bool counted) {
        if (!panel.reply(frame))
            return false;
        panel.drain();
        if (counted)
            CALLGRIND_TOGGLE_COLLECT;
        w.Timer1_Timer();
        // The repaints the tick asked for are part of its cost.
        QCoreApplication::sendPostedEvents();
        if (counted)
            CALLGRIND_TOGGLE_COLLECT;
        return w.Text1()->text() == QString::fromLatin1(frame.toHex().toUpper());
    };

    // Settle: the first polls move the panel out of its start-up state. They end on
    // `a`, so that every counted tick of "changed" changes and none of "unchanged" does.
    for (int i = 0; i < 10; ++i)
        if (!tick(i % 2 ? a : b, false))
            return fail("the poll did not show the reply");
    for (int i = 0; i < ticks; ++i)
        if (!tick(changing && i % 2 == 0 ? b : a, true))
            return fail("the poll did not show the reply");
    std::printf("ticks=%d\n", ticks);
    std::printf("shown=%s\n", qPrintable(w.Text3()->text()));
    return 0;
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    const QString mode = args.value(1);
    if (mode == u"latency")
        return latency(args.value(2, QStringLiteral("1000")).toInt());
    if (mode == u"poll" && (args.value(2) == u"changed" || args.value(2) == u"unchanged"))
        return pollCost(args.value(2) == u"changed", args.value(3, QStringLiteral("1000")).toInt());
    if (mode == u"qt") {
        std::printf("qt=%s\n", qVersion());
        return 0;
    }
    std::fprintf(stderr, "usage: bench-panel latency N | poll changed|unchanged N | qt\n");
    return 2;
}
