#include "testmain.h"

#include "link/testerprofile.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QTest>

#include <cmath>
#include <functional>
#include <limits>

Q_DECLARE_METATYPE(TesterVerdict)

namespace {

const QString kOrigin = QStringLiteral("/bench/profiles/p.json");

// The default profile's JSON with one change made to it.
QByteArray changed(const std::function<void(QJsonObject &)> &change)
{
    QJsonObject root = QJsonDocument::fromJson(builtInProfileJson(kDefaultProfileName)).object();
    change(root);
    return QJsonDocument(root).toJson();
}

// Sets a value at a dotted path ("reply.voltage.field"); an undefined value removes the key.
void setAt(QJsonObject &root, const QString &path, const QJsonValue &value)
{
    const QStringList keys = path.split(QLatin1Char('.'));
    std::function<void(QJsonObject &, int)> walk = [&](QJsonObject &object, int depth) {
        if (depth == keys.size() - 1) {
            if (value.isUndefined())
                object.remove(keys[depth]);
            else
                object[keys[depth]] = value;
            return;
        }
        QJsonObject inner = object[keys[depth]].toObject();
        walk(inner, depth + 1);
        object[keys[depth]] = inner;
    };
    walk(root, 0);
}

QByteArray with(const QString &path, const QJsonValue &value)
{
    return changed([&](QJsonObject &root) { setAt(root, path, value); });
}

// The default profile's JSON with the key at a dotted path under another name.
QByteArray renamed(const QString &path, const QString &newName)
{
    return changed([&](QJsonObject &root) {
        QJsonValue value = root;
        for (const QString &key : path.split(QLatin1Char('.')))
            value = value.toObject().value(key);
        setAt(root, path, QJsonValue::Undefined);
        setAt(root, path.left(path.lastIndexOf(QLatin1Char('.')) + 1) + newName, value);
    });
}

TesterProfile profileOf(const QByteArray &json)
{
    const Result<TesterProfile> load = parseTesterProfile(json, kOrigin);
    if (!load)
        qFatal("%s", qPrintable(load.errorString()));
    return *load;
}

} // namespace

class TestTesterProfile : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    // The default profile is today's exchange; the other two load as written.
    void builtInProfilesLoad()
    {
        const QList<TesterProfile> &profiles = builtInProfiles();
        QCOMPARE(profiles.size(), 3);
        QCOMPARE(profiles[0].name, kDefaultProfileName);
        const TesterProfile &plain = profiles[0];
        QCOMPARE(plain.line, LineSettings{});
        QCOMPARE(plain.line.baudRate, 9600);
        QCOMPARE(plain.setupCommands, (QStringList{"func rv", "trig:sour imm"}));
        QCOMPARE(plain.request, QStringLiteral(":fetch?"));
        QCOMPARE(plain.requestEnd, QByteArray("\r\n"));
        QCOMPARE(plain.replyTerminator(), '\n');
        QCOMPARE(plain.pollInterval.count(), 300);
        QCOMPARE(plain.replyTimeout.count(), 1000);
        QVERIFY(!plain.pushes());
        QVERIFY(!plain.judgement.present());

        const std::optional<TesterProfile> judging = builtInProfile(QStringLiteral("query-judging"));
        QVERIFY(judging && judging->judgement.present() && !judging->pushes());
        const std::optional<TesterProfile> push = builtInProfile(QStringLiteral("push"));
        QVERIFY(push && push->pushes() && push->request.isEmpty());
        QVERIFY(!builtInProfile(QStringLiteral("nonesuch")));
    }

    void brokenProfileIsRefusedNamingFileAndKey_data()
    {
        QTest::addColumn<QByteArray>("json");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("what");

        QTest::newRow("missing key") << with("serial.baud", QJsonValue::Undefined) << "serial.baud" << "is missing";
        QTest::newRow("missing object") << with("reply", QJsonValue::Undefined) << "reply" << "is missing";
        QTest::newRow("wrong type") << with("pollMs", "300") << "pollMs" << "must be a number, not a text";
        QTest::newRow("not whole") << with("serial.dataBits", 7.5) << "serial.dataBits" << "whole number";
        QTest::newRow("unknown parity") << with("serial.parity", "evn") << "serial.parity" << "unknown value \"evn\"";
        QTest::newRow("odd stop bits") << with("serial.stopBits", 1.25) << "serial.stopBits" << "1, 1.5 or 2";
        QTest::newRow("field out of range") << with("reply.voltage.field", 10) << "reply.voltage.field"
                                            << "is 10, out of range (0 to 9)";
        QTest::newRow("negative field") << with("reply.resistance.field", -1) << "reply.resistance.field" << "out of range";
        QTest::newRow("same field twice") << with("reply.voltage.field", 0) << "reply.voltage.field" << "same field";
        QTest::newRow("empty request, no push mode") << with("request", "") << "request" << "is empty";
        QTest::newRow("request in push mode") << with("mode", "push") << "request" << "must be empty";
        QTest::newRow("unknown mode") << with("mode", "poll") << "mode" << "unknown value";
        QTest::newRow("misspelt key") << with("reply.sepratator", ",") << "reply.sepratator" << "is unknown";
        // Keys are matched exactly: a key in other letter case is a misspelling.
        QTest::newRow("key in other case") << renamed("pollMs", "pollms") << "pollms" << "is unknown";
        QTest::newRow("inner key in other case") << renamed("reply.voltage.field", "Field") << "reply.voltage.Field"
                                                 << "is unknown";
        QTest::newRow("key beside its other case") << with("Name", "x") << "Name" << "is unknown";
        QTest::newRow("bad line end") << with("replyEnd", "\n\r") << "replyEnd" << "must be one of";
        QTest::newRow("control character") << changed([](QJsonObject &root) {
            root[QStringLiteral("setup")] = QJsonArray{QStringLiteral("func rv"), QStringLiteral("a\tb")};
        }) << "setup[1]" << "not a printable";
        QTest::newRow("judgement without words") << with("reply.judgement", QJsonObject{{"field", 2}, {"pass", QJsonArray{}}, {"fail", QJsonArray{"F"}}})
                                                 << "reply.judgement.pass" << "at least one";
        QTest::newRow("no reading below overflow") << with("reply.noReading.from", 1e8) << "reply.noReading.from"
                                                   << "must be above";
        QTest::newRow("scale zero") << with("reply.resistance.scale", 0) << "reply.resistance.scale" << "out of range";
        QTest::newRow("resolution of zero") << with("reply.voltage.resolution", 0) << "reply.voltage.resolution"
                                            << "out of range";
        QTest::newRow("resolution as a text") << with("reply.voltage.resolution", "1 mV") << "reply.voltage.resolution"
                                              << "must be a number";
        // Only the voltage's resolution is used (for the K-value's uncertainty).
        QTest::newRow("resolution of the resistance") << with("reply.resistance.resolution", 1e-6)
                                                      << "reply.resistance.resolution" << "is unknown";
    }

    void aStatedVoltageResolutionIsRead()
    {
        QVERIFY(!builtInProfile(kDefaultProfileName)->voltage.resolution);
        const TesterProfile stated = profileOf(with("reply.voltage.resolution", 0.0005));
        QCOMPARE(stated.voltage.resolution, std::optional<double>(0.0005));
    }

    void brokenProfileIsRefusedNamingFileAndKey()
    {
        QFETCH(QByteArray, json);
        QFETCH(QString, key);
        QFETCH(QString, what);
        const Result<TesterProfile> load = parseTesterProfile(json, kOrigin);
        QVERIFY(!load);
        QVERIFY2(load.errorString().startsWith(QStringLiteral("Tester profile %1: key \"%2\" ").arg(kOrigin, key)),
                 qPrintable(load.errorString()));
        QVERIFY2(load.errorString().contains(what), qPrintable(load.errorString()));
    }

    // The wire a tester is on: none said is whichever the port names, the
    // LAN's settings with their defaults, and a profile on another wire needs
    // no line settings.
    void transportNamesTheWireAndItsSettings()
    {
        const TesterProfile plain = *builtInProfile(kDefaultProfileName);
        QVERIFY(!plain.transport.wire);
        QCOMPARE(plain.wireSettings().tcpPort, quint16(5025));
        QCOMPARE(plain.wireSettings().connectTimeout.count(), 3000);
        QCOMPARE(plain.wireSettings().keepAlive.count(), 5000);
        QCOMPARE(plain.wireSettings().replyTimeout.count(), 1000);

        const TesterProfile lan = profileOf(changed([](QJsonObject &root) {
            root.remove(QStringLiteral("serial"));
            root[QStringLiteral("replyTimeoutMs")] = 800;
            root[QStringLiteral("transport")] = QJsonObject{{"wire", "tcp"}, {"port", 5026}, {"connectTimeoutMs", 1500},
                                                            {"keepAliveMs", 0}};
        }));
        QCOMPARE(lan.transport.wire, std::optional<Wire>(Wire::Tcp));
        QCOMPARE(lan.wireSettings().tcpPort, quint16(5026));
        QCOMPARE(lan.wireSettings().connectTimeout.count(), 1500);
        QCOMPARE(lan.wireSettings().keepAlive.count(), 0);
        QCOMPARE(lan.wireSettings().replyTimeout.count(), 800);
        QCOMPARE(lan.line, LineSettings{});

        const TesterProfile usb = profileOf(with("transport", QJsonObject{{"wire", "usbtmc"}}));
        QCOMPARE(usb.transport.wire, std::optional<Wire>(Wire::UsbTmc));
        QCOMPARE(profileOf(with("transport", QJsonObject{{"wire", "SERIAL"}})).transport.wire, std::optional<Wire>(Wire::Serial));
    }

    void transportIsCheckedKeyByKey_data()
    {
        QTest::addColumn<QByteArray>("json");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("what");
        QTest::newRow("no wire") << with("transport", QJsonObject{{"port", 5025}}) << "transport.wire" << "is missing";
        QTest::newRow("unknown wire") << with("transport", QJsonObject{{"wire", "gpib"}}) << "transport.wire"
                                      << "unknown value \"gpib\"";
        QTest::newRow("port on a serial wire") << with("transport", QJsonObject{{"wire", "serial"}, {"port", 5025}})
                                               << "transport.port" << "for wire \"tcp\" only";
        QTest::newRow("port 0") << with("transport", QJsonObject{{"wire", "tcp"}, {"port", 0}}) << "transport.port"
                                << "out of range";
        QTest::newRow("port too high") << with("transport", QJsonObject{{"wire", "tcp"}, {"port", 70000}})
                                       << "transport.port" << "out of range";
        QTest::newRow("connect time-out too short")
            << with("transport", QJsonObject{{"wire", "tcp"}, {"connectTimeoutMs", 10}}) << "transport.connectTimeoutMs"
            << "out of range";
        QTest::newRow("keepalive of half a second")
            << with("transport", QJsonObject{{"wire", "tcp"}, {"keepAliveMs", 500}}) << "transport.keepAliveMs" << "at least 1000";
        QTest::newRow("misspelt key") << with("transport", QJsonObject{{"wire", "tcp"}, {"prot", 5025}}) << "transport.prot"
                                      << "is unknown";
        QTest::newRow("serial wire needs line settings")
            << changed([](QJsonObject &root) {
                   root.remove(QStringLiteral("serial"));
                   root[QStringLiteral("transport")] = QJsonObject{{"wire", "serial"}};
               })
            << "serial" << "is missing";
        QTest::newRow("pushing USB-TMC tester") << changed([](QJsonObject &root) {
            root[QStringLiteral("mode")] = QStringLiteral("push");
            root.remove(QStringLiteral("request"));
            root[QStringLiteral("transport")] = QJsonObject{{"wire", "usbtmc"}};
        }) << "mode" << "only answers when asked";
    }

    void transportIsCheckedKeyByKey()
    {
        brokenProfileIsRefusedNamingFileAndKey();
    }

    void textThatIsNoProfileIsRefused()
    {
        const Result<TesterProfile> load = parseTesterProfile("{ \"name\": \"x\",\n  \"serial\": }", kOrigin);
        QVERIFY(!load);
        const QString error = load.errorString();
        QVERIFY2(error.contains(kOrigin) && error.contains(QStringLiteral("not valid JSON"))
                     && error.contains(QStringLiteral("line 2")),
                 qPrintable(error));
        const Result<TesterProfile> array = parseTesterProfile("[1, 2]", kOrigin);
        QVERIFY(!array);
        QVERIFY(array.errorString().contains(QStringLiteral("one object")));
    }

    void fileIsReadOnlyWhenItIsASmallRegularFile()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("p.json"));
        QVERIFY(!readTesterProfileFile(path));
        QVERIFY(readTesterProfileFile(path).errorString().contains(QStringLiteral("missing")));
        QVERIFY(readTesterProfileFile(dir.path()).errorString().contains(QStringLiteral("not a regular file")));

        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(builtInProfileJson(QStringLiteral("push")));
        file.close();
        const Result<TesterProfile> load = readTesterProfileFile(path);
        QVERIFY2(load, qPrintable(load.errorString()));
        QCOMPARE(load->origin, path);

        QVERIFY(file.open(QIODevice::Append));
        file.write(QByteArray(kMaxProfileFileSize, ' '));
        file.close();
        QVERIFY(readTesterProfileFile(path).errorString().contains(QStringLiteral("more than a profile may have")));
    }

    // The default profile hands every field on as the tester wrote it, so the
    // display, the judging and the data file see today's texts.
    void defaultProfileKeepsTheTextsAsSent_data()
    {
        QTest::addColumn<QString>("line");
        QTest::addColumn<QString>("resistance");
        QTest::addColumn<QString>("voltage");

        QTest::newRow("reading") << "23.456E-3,3.9876E+0" << "23.456E-3" << "3.9876E+0";
        QTest::newRow("small e and blanks") << " 1.2e-3 , 3.9" << " 1.2e-3 " << " 3.9";
        QTest::newRow("overflow numbers") << "+9.9E+37,-1.5E+9" << "+9.9E+37" << "-1.5E+9";
        QTest::newRow("error text") << "ERR,OVER" << "ERR" << "OVER";
        QTest::newRow("no comma") << "1.2E-3" << "1.2E-3" << "";
        QTest::newRow("third field ignored") << "1.2E-3,3.9E+0,5" << "1.2E-3" << "3.9E+0";
    }

    void defaultProfileKeepsTheTextsAsSent()
    {
        QFETCH(QString, line);
        QFETCH(QString, resistance);
        QFETCH(QString, voltage);
        const DecodedReply decoded = decodeReply(*builtInProfile(kDefaultProfileName), line);
        QCOMPARE(decoded.fields[0], resistance);
        QCOMPARE(decoded.fields[1], voltage);
        QVERIFY(decoded.testerWord.isEmpty());
        QCOMPARE(decoded.verdict, TesterVerdict::None);
    }

    // Other profiles turn their tester's notation into the program's: ohms
    // and volts, and the program's overflow and no-reading marks.
    void profileTurnsFieldsIntoTheProgramsNotation_data()
    {
        QTest::addColumn<QString>("profile");
        QTest::addColumn<QString>("line");
        QTest::addColumn<QString>("resistance");
        QTest::addColumn<QString>("voltage");
        QTest::addColumn<QString>("word");
        QTest::addColumn<TesterVerdict>("verdict");

        QTest::newRow("milliohms scaled") << "query-judging" << "23.456;3.9876;PASS" << "23.456E-3" << "3.9876" << "PASS" << TesterVerdict::Pass;
        QTest::newRow("fail word, any case") << "query-judging" << "60.1;3.7; fail " << "60.100E-3" << "3.7" << "fail" << TesterVerdict::Fail;
        QTest::newRow("unknown word") << "query-judging" << "20;3.7;HOLD" << "20.000E-3" << "3.7" << "HOLD" << TesterVerdict::Unknown;
        QTest::newRow("no word") << "query-judging" << "20;3.7" << "20.000E-3" << "3.7" << "" << TesterVerdict::None;
        QTest::newRow("overflow word") << "query-judging" << "OL;OL;FAIL" << "+1.0E+9" << "+1.0E+9" << "FAIL" << TesterVerdict::Fail;
        QTest::newRow("no-reading word") << "query-judging" << "----;3.7;FAIL" << "+9.9E+37" << "3.7" << "FAIL" << TesterVerdict::Fail;
        QTest::newRow("text left as it is") << "query-judging" << "ERR;3.7;FAIL" << "ERR" << "3.7" << "FAIL" << TesterVerdict::Fail;
        QTest::newRow("blank runs, fields swapped") << "push" << "  3.9876 \t 23.456E-3 " << "23.456E-3" << "3.9876" << "" << TesterVerdict::None;
        QTest::newRow("push words") << "push" << "NONE OVER" << "+1.0E+9" << "+9.9E+37" << "" << TesterVerdict::None;
    }

    void profileTurnsFieldsIntoTheProgramsNotation()
    {
        QFETCH(QString, profile);
        QFETCH(QString, line);
        QFETCH(QString, resistance);
        QFETCH(QString, voltage);
        QFETCH(QString, word);
        QFETCH(TesterVerdict, verdict);
        const DecodedReply decoded = decodeReply(*builtInProfile(profile), line);
        QCOMPARE(decoded.fields[0], resistance);
        QCOMPARE(decoded.fields[1], voltage);
        QCOMPARE(decoded.testerWord, word);
        QCOMPARE(decoded.verdict, verdict);
    }

    void thresholdsOfTheProfileMarkOverflowAndNoReading()
    {
        const TesterProfile profile = profileOf(changed([](QJsonObject &root) {
            setAt(root, QStringLiteral("reply.overflow"), QJsonObject{{"from", 99999}});
            setAt(root, QStringLiteral("reply.noReading"), QJsonObject{{"from", 1e6}});
        }));
        QCOMPARE(decodeReply(profile, "99998,3").fields[0], QStringLiteral("99998"));
        QCOMPARE(decodeReply(profile, "-99999,3").fields[0], QStringLiteral("-1.0E+9"));
        QCOMPARE(decodeReply(profile, "2e6,3").fields[0], QStringLiteral("+9.9E+37"));
    }

    // What the simulated tester writes for a profile reads back as the values.
    void encodedReplyReadsBack()
    {
        for (const TesterProfile &profile : builtInProfiles()) {
            const QByteArray line = encodeReply(profile, 0.023456, 3.9876, QStringLiteral("PASS"));
            QVERIFY(line.endsWith(profile.replyEnd));
            const DecodedReply decoded = decodeReply(profile, QString::fromLatin1(line.chopped(profile.replyEnd.size())));
            QCOMPARE(decoded.fields[0].toDouble(), 0.023456);
            QCOMPARE(decoded.fields[1].toDouble(), 3.9876);
            QCOMPARE(decoded.testerWord, profile.judgement.present() ? QStringLiteral("PASS") : QString());

            const double open = std::numeric_limits<double>::quiet_NaN();
            const DecodedReply opened = decodeReply(profile, QString::fromLatin1(encodeReply(profile, open, open)).trimmed());
            QVERIFY2(std::fabs(opened.fields[0].toDouble()) >= 1e10, qPrintable(opened.fields[0]));
        }
    }
};

BIN4870_TEST(TestTesterProfile)
#include "tst_testerprofile.moc"
