#include "line/DorvanePlus.h"
#include "line/LineSettings.h"
#include "line/SipUserAgent.h"
#include "line/WavFile.h"
#include "platform/OrvelMedia.h"
#include "platform/VoxFile.h"

#include "SipPeers.h"

#include <QtTest>

#include <cmath>

namespace {

constexpr int Rate = 8000;

QList<int> values(const QSignalSpy& spy)
{
    QList<int> out;
    for (const QList<QVariant>& arguments : spy)
        out << arguments.at(0).toInt();
    return out;
}

// The sound of the last `count` frames a spy caught.
QVector<qint16> lastSamples(const QSignalSpy& frames, qsizetype count)
{
    QByteArray pcm;
    for (qsizetype i = std::max<qsizetype>(0, frames.size() - count); i < frames.size(); ++i)
        pcm += frames.at(i).at(0).toByteArray();
    QVector<qint16> out(pcm.size() / 2);
    qFromLittleEndian<qint16>(pcm.constData(), out.size(), out.data());
    return out;
}

// Share of a stretch's energy at one frequency (Goertzel): 1 for a pure tone.
double toneShare(const qint16* samples, qsizetype count, double hz)
{
    const double coefficient = 2 * std::cos(2 * M_PI * hz / Rate);
    double s1 = 0, s2 = 0, energy = 0;
    for (qsizetype i = 0; i < count; ++i) {
        const double s0 = samples[i] + coefficient * s1 - s2;
        s2 = s1;
        s1 = s0;
        energy += double(samples[i]) * samples[i];
    }
    const double power = s1 * s1 + s2 * s2 - coefficient * s1 * s2;
    return energy > 0 ? 2 * power / (double(count) * energy) : 0;
}

// The best normalised correlation of reference with recorded at a lag
// within [from, to).
double correlation(const QVector<qint16>& recorded, const QList<qint16>& reference, qsizetype from,
                   qsizetype to)
{
    double best = 0;
    for (qsizetype lag = std::max<qsizetype>(0, from);
         lag < to && lag + reference.size() <= recorded.size(); ++lag) {
        double xy = 0, xx = 0, yy = 0;
        for (qsizetype i = 0; i < reference.size(); ++i) {
            const double x = reference.at(i), y = recorded.at(lag + i);
            xy += x * y;
            xx += x * x;
            yy += y * y;
        }
        best = std::max(best, xy / std::sqrt(xx * yy + 1));
    }
    return best;
}

} // namespace

class tst_SipLine : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        m_peers = std::make_unique<SipPeers>();
        QVERIFY2(m_peers->isRunning(), qPrintable(m_peers->errorString()));
        m_ini = m_peers->settingsFile(m_peers->lineSection());
    }

    void init()
    {
        m_peers->clearEvents();
        m_device = std::make_unique<DorvanePlus>();
        m_device->useSettings(LineSettings::read(m_ini));
        m_rings = std::make_unique<QSignalSpy>(m_device.get(), &DorvanePlus::RingChanged);
        m_hooks = std::make_unique<QSignalSpy>(m_device.get(), &DorvanePlus::HookChanged);
        m_links = std::make_unique<QSignalSpy>(m_device.get(), &DorvanePlus::DeviceLinkChanged);
        m_sound = std::make_unique<QSignalSpy>(m_device.get(), &DorvanePlus::LineAudio);
        QSignalSpy opened(m_device.get(), &DorvanePlus::DeviceOpened);
        m_device->OpenDevice();
        QCOMPARE(opened.size() + m_links->size(), 0);
        QTRY_COMPARE(values(opened), QList<int>{1});
        QCOMPARE(values(*m_links), QList<int>{1});
        QCOMPARE(values(*m_hooks), QList<int>{1});
        m_links->clear();
        m_hooks->clear();
    }

    void cleanup()
    {
        m_device.reset();
        m_peers->command("hangup");
        if (m_peers->command("state").contains("(1)"))
            QVERIFY(m_peers->waitForEvent("CALL_CLOSED"));
    }

    void settings_data()
    {
        QTest::addColumn<QString>("section");
        QTest::addColumn<QString>("expected");
        const auto row = [](const char* name, const char* section, const char* expected) {
            QTest::newRow(name) << QString(section) << QString(expected);
        };
        row("no section", "", "simulator");
        row("simulator named", "Device=Simulator", "simulator");
        row("defaults", "Device=sip\nSipServer=pbx.branch\nSipUser=2001",
            "sip pbx.branch:5060 2001 @pbx.branch local 5060 in '' out ''");
        row("all given",
            "device=SIP\nsipserver = 10.0.0.5:5070\nSipUser=2001\nSipPassword=pw\n"
            "SipDomain=branch.example\nSipPort=0\nAudioIn=file:/a.wav\nAudioOut=null",
            "sip 10.0.0.5:5070 2001 @branch.example local 0 in 'file:/a.wav' out 'null'");
        row("IPv6 server", "Device=sip\nSipServer=[fd00::5]:5080\nSipUser=7",
            "sip fd00::5:5080 7 @fd00::5 local 5060 in '' out ''");
        row("unknown device", "Device=isdn", "simulator: Device");
        row("no server", "Device=sip\nSipUser=2001", "simulator: SipServer");
        row("server port 0", "Device=sip\nSipServer=pbx:0\nSipUser=2001", "simulator: SipServer");
        row("no user", "Device=sip\nSipServer=pbx", "simulator: SipUser");
        row("local port too big", "Device=sip\nSipServer=pbx\nSipUser=1\nSipPort=70000",
            "simulator: SipPort");
    }

    void settings()
    {
        QFETCH(QString, section);
        QFETCH(QString, expected);
        const LineSettings s = LineSettings::read(m_peers->settingsFile(
            "[Branch]\nBranchID=0001\n[Line]\n" + section + "\n[Other]\nDevice=sip\n"));
        const QString described = s.device == LineSettings::Device::Simulator
                                      ? QStringLiteral("simulator") +
                                            (s.problem.isEmpty() ? "" : ": ") +
                                            s.problem.section(u':', 0, 0)
                                      : QStringLiteral("sip %1:%2 %3 @%4 local %5 in '%6' out '%7'")
                                            .arg(s.serverHost)
                                            .arg(s.serverPort)
                                            .arg(s.user, s.domain)
                                            .arg(s.localPort)
                                            .arg(s.audioIn, s.audioOut);
        QCOMPARE(described, expected);
    }

    // A refused extension: the open fails, the link stays down, and the
    // warning says why but never shows the password.
    void refused()
    {
        const QString path = m_peers->settingsFile(
            m_peers->lineSection().replace("Password=secret", "Password=Wr0ng-P4ss"));
        static QStringList warnings;
        warnings.clear();
        const QtMessageHandler previous = qInstallMessageHandler(
            [](QtMsgType, const QMessageLogContext&, const QString& text) { warnings << text; });
        DorvanePlus device;
        device.useSettings(LineSettings::read(path));
        QSignalSpy opened(&device, &DorvanePlus::DeviceOpened);
        QSignalSpy links(&device, &DorvanePlus::DeviceLinkChanged);
        device.OpenDevice();
        QTRY_COMPARE(values(opened), QList<int>{0});
        QTest::qWait(300);
        qInstallMessageHandler(previous);
        QCOMPARE(links.size(), 0);
        QVERIFY2(warnings.join(u'\n').contains("401"), qPrintable(warnings.join(u'\n')));
        QVERIFY(!warnings.join(u'\n').contains("Wr0ng"));
    }

    void callerNumber_data()
    {
        QTest::addColumn<QByteArray>("asserted");
        QTest::addColumn<QByteArray>("from");
        QTest::addColumn<QString>("number");
        QTest::newRow("From only")
            << QByteArray() << QByteArray("<sip:0212345678@pbx>;tag=1") << "0212345678";
        QTest::newRow("asserted wins") << QByteArray("\"Kim\" <sip:0299990000@pbx;user=phone>")
                                       << QByteArray("<sip:far@pbx>;tag=x") << "0299990000";
        QTest::newRow("asserted tel URI")
            << QByteArray("<tel:+82212345678>") << QByteArray("<sip:far@pbx>") << "+82212345678";
        QTest::newRow("anonymous asserted, From's user")
            << QByteArray("<sip:pbx.branch>") << QByteArray("sip:1234@pbx") << "1234";
        QTest::newRow("nothing usable") << QByteArray("garbage") << QByteArray() << "";
    }

    void callerNumber()
    {
        QFETCH(QByteArray, asserted);
        QFETCH(QByteArray, from);
        QFETCH(QString, number);
        QCOMPARE(SipUserAgent::callerNumber(asserted, from), number);
    }

    void calls_data()
    {
        QTest::addColumn<QString>("steps");
        QTest::addColumn<QList<int>>("rings");
        QTest::addColumn<QList<int>>("hooks");
        // In the far end's SIP trace: what it received, or answered.
        QTest::addColumn<QString>("farSaw");
        // A tone the agent hears just before hanging up.
        QTest::addColumn<int>("heardHz");
        const QList<int> none;
        QTest::newRow("inbound, desk hangs up")
            << "ring take hangup" << QList<int>{1} << QList<int>{3, 1} << "BYE sip:far" << 0;
        QTest::newRow("caller gives up while ringing")
            << "ring far-hangup" << QList<int>{1, 0} << none << "CANCEL sip:2001@" << 0;
        QTest::newRow("outbound, far end hangs up")
            << "dial answer far-hangup" << none << QList<int>{3, 1} << "BYE sip:2001@" << 0;
        QTest::newRow("outbound, desk hangs up while ringing")
            << "dial hangup" << none << QList<int>{3, 1} << "CANCEL sip:far" << 480;
        QTest::newRow("outbound, busy")
            << "dial far-hangup hangup" << none << QList<int>{3, 1} << "486 Rejected" << 620;
        QTest::newRow("second call while one is on the line")
            << "ring take ring-again far-hangup" << QList<int>{1} << QList<int>{3, 1}
            << "486 Busy Here" << 0;
        QTest::newRow("call while the line is taken")
            << "take ring-again hangup" << none << QList<int>{3, 1} << "486 Busy Here" << 350;
    }

    void calls()
    {
        QFETCH(QString, steps);
        QFETCH(QList<int>, rings);
        QFETCH(QList<int>, hooks);
        QFETCH(QString, farSaw);
        QFETCH(int, heardHz);
        for (const QString& step : steps.split(u' ')) {
            if (step == u"ring" || step == u"ring-again") {
                QVERIFY(m_peers->command("ring").startsWith("OK"));
                if (step == u"ring")
                    QTRY_VERIFY(values(*m_rings).contains(1));
                else
                    QVERIFY(m_peers->waitForEvent("CALL_CLOSED", "486"));
            } else if (step == u"take") {
                m_device->TakeLine();
                QTRY_VERIFY(values(*m_hooks).contains(3));
            } else if (step == u"dial") {
                m_device->Dial(QStringLiteral(",9,") + m_peers->state()["far_number"].toString());
                QVERIFY(m_peers->waitForEvent("CALL_INCOMING"));
            } else if (step == u"answer") {
                QVERIFY(m_peers->command("answer").startsWith("OK"));
                QVERIFY(m_peers->waitForEvent("CALL_ESTABLISHED"));
            } else if (step == u"far-hangup") {
                QVERIFY(m_peers->command("hangup").startsWith("OK"));
            } else if (step == u"hangup") {
                QTest::qWait(1000);
                // Whatever happened on the line, it stayed taken until now.
                QVERIFY(m_device->IsLineBusy());
                // The loudest 100 ms of the last second: tones have cadences.
                const QVector<qint16> heard = lastSamples(*m_sound, 50);
                double share = 0;
                for (qsizetype at = 0; at + Rate / 10 <= heard.size(); at += Rate / 10)
                    share = std::max(share, toneShare(heard.data() + at, Rate / 10, heardHz));
                QVERIFY2(!heardHz || share > 0.3, qPrintable(QString::number(share)));
                m_device->HangUp();
            }
        }
        QTRY_COMPARE(values(*m_hooks), hooks);
        QCOMPARE(values(*m_rings), rings);
        QTRY_VERIFY(!m_device->IsLineBusy());
        QTRY_VERIFY2(m_peers->farLog().contains(farSaw), qPrintable(m_peers->farLog()));
        // Sound only while the line is taken.
        const qsizetype frames = m_sound->size();
        QTest::qWait(100);
        QCOMPARE(m_sound->size(), frames);
    }

    // Both sides of an answered call reach the voice file; the far end hears
    // the agent.
    void inboundRecorded()
    {
        const QJsonObject& peers = m_peers->state();
        QList<qint16> speech;
        QString error;
        QVERIFY2(WavFile::read8k(peers["speech_wav"].toString(), &speech, &error),
                 qPrintable(error));
        OrvelMedia media;
        const QString path = m_peers->folder() + "/call.vox";
        connect(m_device.get(), &DorvanePlus::LineAudio, &media, &OrvelMedia::writeLineAudio);
        answered();
        QVERIFY(media.MediaPrepare(1) && media.MediaRecord(1, path));
        QTest::qWait(int(speech.size() * 1000 / Rate) + 2000);
        QVERIFY(m_peers->command("hangup").startsWith("OK"));
        QTRY_COMPARE(values(*m_hooks), (QList<int>{3, 1}));
        QVERIFY(media.MediaPrepare(0));

        // The far end plays a tone for 1 s, a pause of 0.4 s, then speech.
        const QVector<qint16> recorded = VoxFile::decode(path);
        const double toneHz = peers["tone_hz"].toInt(), agentHz = peers["agent_tone_hz"].toInt();
        qsizetype tone = 0;
        while (tone + 160 < recorded.size() && toneShare(&recorded[tone], 160, toneHz) < 0.8)
            tone += 40;
        QVERIFY2(toneShare(&recorded[tone + 800], Rate / 2, toneHz) > 0.9, "the far end's tone");
        QVERIFY2(toneShare(&recorded[tone + Rate + 800], Rate / 5, agentHz) > 0.8, "the agent");
        const qsizetype speechAt = Rate * 14 / 10;
        const double similar =
            correlation(recorded, speech, tone + speechAt - Rate / 10, tone + speechAt + Rate / 10);
        QVERIFY2(similar >= 0.8, qPrintable(QString::number(similar)));

        const QFileInfoList heardFiles =
            QDir(peers["heard"].toString()).entryInfoList({"*dec*.wav"}, QDir::Files, QDir::Time);
        QVERIFY(!heardFiles.isEmpty());
        QList<qint16> heard;
        QVERIFY(WavFile::read8k(heardFiles.first().filePath(), &heard, &error));
        QVERIFY(heard.size() > 2 * Rate);
        QVERIFY2(toneShare(&heard[Rate], Rate, agentHz) > 0.8, "the far end heard the agent");
    }

    // The link follows the registration; a call on the line goes on, with
    // its sound, while the server is away.
    void registrarRestarted_data()
    {
        QTest::addColumn<bool>("duringCall");
        QTest::newRow("idle") << false;
        QTest::newRow("during a call") << true;
    }

    void registrarRestarted()
    {
        QFETCH(bool, duringCall);
        if (duringCall)
            answered();
        const qsizetype frames = m_sound->size();
        QElapsedTimer away;
        away.start();
        QCOMPARE(m_peers->command("registrar stop"), "OK");
        QTRY_COMPARE_WITH_TIMEOUT(values(*m_links), QList<int>{0}, 3 * SipUserAgent::PingMs);
        QCOMPARE(m_peers->command("registrar start"), "OK");
        QTRY_COMPARE_WITH_TIMEOUT(values(*m_links), (QList<int>{0, 1}), 3 * SipUserAgent::PingMs);
        if (duringCall) {
            QVERIFY(m_sound->size() - frames >= away.elapsed() / 20 - 10);
            QVERIFY(m_peers->command("hangup").startsWith("OK"));
            QTRY_COMPARE(values(*m_hooks), (QList<int>{3, 1}));
        }
        // Registered anew with the restarted server: calls reach the desk.
        QVERIFY(m_peers->command("ring").startsWith("OK"));
        QTRY_COMPARE(values(*m_rings).count(1), duringCall ? 2 : 1);
    }

private:
    // The far end rings and the desk takes the line.
    void answered()
    {
        QVERIFY(m_peers->command("ring").startsWith("OK"));
        QTRY_VERIFY(values(*m_rings).contains(1));
        m_device->TakeLine();
        QTRY_VERIFY(values(*m_hooks).contains(3));
    }

    std::unique_ptr<SipPeers> m_peers;
    QString m_ini;
    std::unique_ptr<DorvanePlus> m_device;
    std::unique_ptr<QSignalSpy> m_rings, m_hooks, m_links, m_sound;
};

QTEST_GUILESS_MAIN(tst_SipLine)
#include "tst_sipline.moc"
