// The panel serving the remote API over its own Station on the pseudo-terminal: the
// panel and the API show one state. The Remote Access dialog stores what it turns on,
// the API and MQTT, and the Remote lamp follows the clients.

#include "broker.h"
#include "lookrows.h"
#include "panelfixture.h"
#include "remotedialog.h"
#include "rigctld.h"

#include <QCheckBox>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLineEdit>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QSignalSpy>
#include <QSpinBox>
#include <QWebSocket>

using namespace tarvik;
using namespace tarvik::test;
using namespace Qt::StringLiterals;

namespace {
bool mapped(const QByteArray &library)
{
    QFile maps(u"/proc/self/maps"_s);
    return maps.open(QIODevice::ReadOnly) && maps.readAll().contains(library);
}
} // namespace

class tst_PanelRemote : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    // A panel that neither serves nor publishes loads neither the HTTP server's library
    // nor the MQTT client's: each is in a module, opened when first needed.
    void initTestCase()
    {
        PanelFixture f;
        f.startActive();
        QVERIFY(!mapped("/libQt6HttpServer.so"));
        QVERIFY(!mapped("/libmosquitto.so"));
    }
    // For every row of the looks table, the panel's indicators and the API's "lamps"
    // say the same, each as the row says; the Connected lamp's tip is its note ("Controller
    // not answering for N s") or its words.
    void looks_data()
    {
        QTest::addColumn<QByteArrayList>("replies");
        QTest::addColumn<QString>("colours");
        QTest::addColumn<QString>("connected");
        QTest::addColumn<QString>("frequency");
        for (const LookRow &row : lookRows())
            QTest::newRow(row.tag)
                << row.replies << QString::fromLatin1(row.colours)
                << QString::fromLatin1(row.connected) << QString::fromLatin1(row.frequency);
    }
    void looks()
    {
        QFETCH(QByteArrayList, replies);
        QFETCH(QString, colours);
        QFETCH(QString, connected);
        PanelFixture f;
        const QByteArray listen = "127.0.0.1:" + QByteArray::number(freeLoopbackPort());
        f.presetFile("[StartUp]\nPoll=10000\n[Remote]\nEnabled=1\nListen=" + listen + '\n');
        f.startActive();
        for (const QByteArray &reply : replies)
            f.poll(reply);
        QNetworkAccessManager http;
        QNetworkReply *state =
            http.get(QNetworkRequest(QUrl(u"http://%1/api/v1/state"_s.arg(QLatin1String(listen)))));
        QTRY_VERIFY(state->isFinished());
        const QJsonObject json = QJsonDocument::fromJson(state->readAll()).object();
        const QJsonObject lamps = json.value(u"lamps"_s).toObject();
        QTEST(json.value(u"frequencyText"_s).toString(), "frequency");
        QTEST(f.window->frequencyBox()->text(), "frequency");
        const QStringList expected = colours.split(u' ');
        for (int i = 0; i < expected.size(); ++i) {
            const QString name = QString::fromLatin1(kLookLamps[i]);
            const QJsonObject look = lamps.value(name).toObject();
            Indicator *lamp = f.window->indicator(name);
            QCOMPARE(look.value(u"colour"_s).toString() + u' ' + name, expected[i] + u' ' + name);
            QCOMPARE(lamp->accessibleDescription(),
                     expected[i] + u", "_s + look.value(u"words"_s).toString());
        }
        const QJsonObject link = lamps.value(u"Connected"_s).toObject();
        QCOMPARE(link.value(u"words"_s).toString(), connected);
        QCOMPARE(f.window->indicator(u"Connected"_s)->toolTip(), // the note, or else the words
                 link.value(u"note"_s).toString().isEmpty() ? connected
                                                            : link[u"note"_s].toString());
        QCOMPARE(lamps.size(), 18); // a third-party client finds every lamp here
    }

    // Ticking the box on a loopback address stores the section in one write and serves;
    // the Remote lamp follows the clients, lit with their addresses while one watches.
    void remoteAccessDialogStores()
    {
        PanelFixture f;
        f.startActive();
        QSignalSpy written(f.store, &SettingsStore::written);
        f.press(u"mnuRemote"_s);
        auto *dialog = qobject_cast<RemoteDialog *>(f.window->remoteDialog());
        QVERIFY(dialog);
        const quint16 port = freeLoopbackPort();
        dialog->portBox()->setValue(port); // not served yet: stored with the rest
        written.clear();
        dialog->enabledBox()->click();
        QCOMPARE(written.size(), 1);
        QVERIFY2(f.file().contains("[Remote]\nEnabled=1\nListen=127.0.0.1:"), f.file().constData());
        QVERIFY(dialog->statusLine()->text().startsWith(u"Serving http://127.0.0.1:"_s));
        QWebSocket ws;
        ws.open(QUrl(u"ws://127.0.0.1:%1/api/v1/events"_s.arg(port)));
        QTRY_COMPARE(f.colour(u"Remote lamp"_s), u"green"_s);
        QVERIFY(f.window->indicator(u"Remote lamp"_s)->toolTip().contains(u"127.0.0.1"_s));
        ws.close();
        QTRY_COMPARE(f.colour(u"Remote lamp"_s), u"grey"_s);
    }

    // MQTT turned on in the dialog is stored in one write, loads the MQTT library and
    // publishes; a new prefix leaves the old one clean, as SIGHUP does the station's.
    void mqttThroughTheDialog()
    {
        QTemporaryDir dir;
        Broker broker;
        QVERIFY(broker.start(dir.path()));
        PanelFixture f;
        f.presetFile("[Mqtt]\nPrefix=tarvik/a\nUserName=tarvik\nPasswordFile=" +
                     dir.filePath(u"password"_s).toUtf8() + '\n');
        f.startActive();
        f.press(u"mnuRemote"_s);
        auto *dialog = qobject_cast<RemoteDialog *>(f.window->remoteDialog());
        QSignalSpy written(f.store, &SettingsStore::written);
        const QString url = u"mqtt://127.0.0.1:%1"_s.arg(broker.port);
        dialog->mqttBrokerEdit()->setText(url);
        dialog->mqttEnabledBox()->click();
        QCOMPARE(written.size(), 1);
        QVERIFY2(f.file().contains("Enabled=1") && f.file().contains(url.toUtf8()), f.file());
        QVERIFY(mapped("/libmosquitto.so"));
        QTRY_VERIFY(dialog->mqttStatusLine()->text().startsWith(u"connected to "_s + url));
        QVERIFY(f.window->indicator(u"Remote lamp"_s)->toolTip().contains(u"\nMQTT: connected"_s));
        Watch moved(broker.port, u"tarvik/b/availability"_s);
        dialog->mqttPrefixEdit()->selectAll();
        QTest::keyClicks(dialog->mqttPrefixEdit(), u"tarvik/b"_s);
        QTest::keyClick(dialog->mqttPrefixEdit(), Qt::Key_Return);
        QTRY_VERIFY(moved.saw("tarvik/b/availability online"));
        Watch old(broker.port, u"tarvik/a/#"_s), ha(broker.port, u"homeassistant/+/tarvik_a/#"_s);
        QTest::qWait(1000);
        QCOMPARE(old.lines() + ha.lines(), {"tarvik/a/availability offline"});
    }
};

QTEST_MAIN(tst_PanelRemote)
#include "tst_panelremote.moc"
