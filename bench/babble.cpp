// A babbling line: the simulated controller sends random bytes at line rate for a
// while (60 s by default), and the panel must keep answering the operator.
//
// Every two seconds a band key is pressed, and its set-frequency frame must reach
// the controller intact. The port's read buffer must stay within its bound and the
// panel's resident memory flat. When the babble stops, the next good reply must be
// read and turn the Connected lamp green.
//
//   babble [SECONDS]   prints the figures; exit status 0 when every check held

#include "commport.h"
#include "controllersimulator.h"
#include "indicator.h"
#include "mainwindow.h"
#include "settingsstore.h"
#include "station.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QSerialPort>
#include <QTemporaryDir>
#include <QTest>

#include <cstdio>

using namespace tarvik;
using namespace Qt::StringLiterals;

namespace {
long residentKb()
{
    QFile status(u"/proc/self/status"_s);
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n'))
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toLong();
    return -1;
}
} // namespace

int main(int argc, char *argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int seconds = argc > 1 ? std::max(1, QByteArray(argv[1]).toInt()) : 60;

    QTemporaryDir dir;
    auto *store = new SettingsStore(dir.filePath(u"TarvikDesk.conf"_s), &app);
    auto *sim = new ControllerSimulator(&app);
    if (!sim->start()) {
        std::fprintf(stderr, "babble: %s\n", qPrintable(sim->errorString()));
        return 2;
    }
    int commandFrames = 0;
    QObject::connect(sim, &ControllerSimulator::frameReceived, &app,
                     [&](const QByteArray &frame, bool wellFormed) {
                         if (wellFormed && frame.size() == 11)
                             ++commandFrames;
                     });

    auto *station = new Station(&app);
    station->setPortOverride(sim->devicePath());
    MainWindow window(station, store);
    window.start();
    window.show();
    QSerialPort *port = station->port().serialPort();
    Indicator *lamp = window.indicator(u"Connected"_s);

    sim->setMode(ControllerSimulator::Mode::Garbage);
    QTest::qWait(2000);
    const long rssStart = residentKb();
    qint64 maxBuffered = 0;
    int pressed = 0;
    int missed = 0;
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < seconds * 1000LL) {
        const int before = commandFrames;
        QTest::keyClick(&window, pressed % 2 ? Qt::Key_F6 : Qt::Key_F8);
        ++pressed;
        QElapsedTimer wait;
        wait.start();
        while (commandFrames == before && wait.elapsed() < 1500) {
            maxBuffered = std::max(maxBuffered, port->bytesAvailable());
            QTest::qWait(10);
        }
        if (commandFrames == before)
            ++missed;
        while (wait.elapsed() < 2000) {
            maxBuffered = std::max(maxBuffered, port->bytesAvailable());
            QTest::qWait(20);
        }
    }
    const long rssEnd = residentKb();

    sim->setMode(ControllerSimulator::Mode::Normal);
    QElapsedTimer recover;
    recover.start();
    bool green = false;
    while (!green && recover.elapsed() < 10000) {
        QTest::qWait(20);
        green = lamp->colourName() == u"green"_s;
    }

    std::printf("babble for %d s at line rate\n", seconds);
    std::printf("band keys pressed: %d, frames that reached the controller intact: %d, "
                "missed: %d\n",
                pressed, commandFrames, missed);
    std::printf("largest read buffer seen: %lld bytes (bound %lld)\n", qlonglong(maxBuffered),
                qlonglong(port->readBufferSize()));
    std::printf("resident memory: %ld kB after 2 s, %ld kB at the end (%+ld kB)\n", rssStart,
                rssEnd, rssEnd - rssStart);
    std::printf("first good reply after the babble stopped: %s in %lld ms\n",
                green ? "read" : "NOT read", qlonglong(recover.elapsed()));

    const bool ok = missed == 0 && green && maxBuffered <= port->readBufferSize();
    return ok ? 0 : 1;
}
