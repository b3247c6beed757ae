#include "link/testerprofile.h"

#include "link/fieldsplitter.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>
#include <QLocale>
#include <QRegularExpression>
#include <QVector>

#include <cmath>
#include <limits>

namespace {
struct ProfileTexts
{
    Q_DECLARE_TR_FUNCTIONS(TesterProfile)
};

// The program's own overflow and no-reading marks (testernumber.h).
const QString kOverflowMark = QStringLiteral("+1.0E+9");
const QString kNegativeOverflowMark = QStringLiteral("-1.0E+9");
const QString kNoReadingMark = QStringLiteral("+9.9E+37");

// The built-in profiles, read by the same rules as a file.
const char *const kDefaultJson = R"({
  "name": "default",
  "description": "Answers \":fetch?\" with resistance and voltage separated by a comma.",
  "serial": { "baud": 9600, "dataBits": 8, "parity": "none", "stopBits": 1, "flowControl": "none" },
  "requestEnd": "\r\n",
  "replyEnd": "\r\n",
  "setup": [ "func rv", "trig:sour imm" ],
  "mode": "query",
  "request": ":fetch?",
  "pollMs": 300,
  "replyTimeoutMs": 1000,
  "reply": {
    "separator": ",",
    "resistance": { "field": 0, "scale": 1 },
    "voltage": { "field": 1, "scale": 1 },
    "overflow": { "from": 1e9, "words": [] },
    "noReading": { "from": 1e10, "words": [] }
  }
}
)";

const char *const kQueryJudgingJson = R"({
  "name": "query-judging",
  "description": "Answers one query with resistance in milliohms, voltage and its own PASS or FAIL.",
  "serial": { "baud": 19200, "dataBits": 8, "parity": "none", "stopBits": 1, "flowControl": "none" },
  "requestEnd": "\n",
  "replyEnd": "\r\n",
  "setup": [ "MODE RV", "COMP ON" ],
  "mode": "query",
  "request": "READ?",
  "pollMs": 300,
  "replyTimeoutMs": 1000,
  "reply": {
    "separator": ";",
    "resistance": { "field": 0, "scale": 0.001 },
    "voltage": { "field": 1, "scale": 1 },
    "overflow": { "from": 1e9, "words": [ "OL" ] },
    "noReading": { "from": 1e10, "words": [ "----" ] },
    "judgement": { "field": 2, "pass": [ "PASS" ], "fail": [ "FAIL" ] }
  }
}
)";

const char *const kPushJson = R"({
  "name": "push",
  "description": "Sends voltage and resistance by itself several times a second, separated by blanks.",
  "serial": { "baud": 38400, "dataBits": 8, "parity": "none", "stopBits": 1, "flowControl": "none" },
  "requestEnd": "\r",
  "replyEnd": "\r",
  "setup": [ "STREAM ON" ],
  "mode": "push",
  "pollMs": 300,
  "replyTimeoutMs": 1000,
  "reply": {
    "separator": " ",
    "resistance": { "field": 1, "scale": 1 },
    "voltage": { "field": 0, "scale": 1 },
    "overflow": { "from": 1e9, "words": [ "OVER" ] },
    "noReading": { "from": 1e10, "words": [ "NONE" ] }
  }
}
)";

struct BuiltIn
{
    const char *name;
    const char *json;
};
const BuiltIn kBuiltIns[] = {
    {"default", kDefaultJson},
    {"query-judging", kQueryJudgingJson},
    {"push", kPushJson},
};

// --- Reading the JSON --------------------------------------------------------------

QString typeName(const QJsonValue &value)
{
    switch (value.type()) {
    case QJsonValue::Null: return QStringLiteral("null");
    case QJsonValue::Bool: return ProfileTexts::tr("true or false");
    case QJsonValue::Double: return ProfileTexts::tr("a number");
    case QJsonValue::String: return ProfileTexts::tr("a text");
    case QJsonValue::Array: return ProfileTexts::tr("a list");
    case QJsonValue::Object: return ProfileTexts::tr("an object");
    case QJsonValue::Undefined: break;
    }
    return ProfileTexts::tr("nothing");
}

QString quoted(const QString &text)
{
    QString shown = text;
    shown.replace(QLatin1Char('\\'), QLatin1String("\\\\"));
    shown.replace(QLatin1Char('\r'), QLatin1String("\\r"));
    shown.replace(QLatin1Char('\n'), QLatin1String("\\n"));
    shown.replace(QLatin1Char('\t'), QLatin1String("\\t"));
    return QLatin1Char('"') + shown + QLatin1Char('"');
}

QString numberText(double value)
{
    return QLocale::c().toString(value, 'g', 12);
}

// Walks the document key by key and keeps the first fault, which names the
// key by its path ("reply.voltage.field").
class ProfileReader
{
public:
    explicit ProfileReader(QString origin) : m_origin(std::move(origin)) {}

    bool failed() const { return !m_error.isEmpty(); }
    const QString &error() const { return m_error; }

    void fail(const QString &key, const QString &what)
    {
        if (failed())
            return;
        m_error = key.isEmpty()
            ? ProfileTexts::tr("Tester profile %1: %2.").arg(m_origin, what)
            : ProfileTexts::tr("Tester profile %1: key \"%2\" %3.").arg(m_origin, key, what);
    }

    // Refuses keys the level does not know: a misspelt key would otherwise
    // leave its default in force without a word.
    void onlyKeys(const QJsonObject &object, const QString &path, const QStringList &known)
    {
        for (auto it = object.begin(); it != object.end(); ++it) {
            if (!known.contains(it.key()))
                fail(join(path, it.key()), ProfileTexts::tr("is unknown (known here: %1)").arg(known.join(QStringLiteral(", "))));
        }
    }

    std::optional<QJsonValue> value(const QJsonObject &object, const QString &path, const QString &key,
                                    bool required)
    {
        const QJsonValue v = object.value(key);
        if (v.isUndefined()) {
            if (required)
                fail(join(path, key), ProfileTexts::tr("is missing"));
            return std::nullopt;
        }
        return v;
    }

    std::optional<QJsonObject> object(const QJsonObject &parent, const QString &path, const QString &key,
                                      bool required)
    {
        const std::optional<QJsonValue> v = value(parent, path, key, required);
        if (!v)
            return std::nullopt;
        if (!v->isObject()) {
            fail(join(path, key), ProfileTexts::tr("must be an object { ... }, not %1").arg(typeName(*v)));
            return std::nullopt;
        }
        return v->toObject();
    }

    std::optional<QString> text(const QJsonObject &parent, const QString &path, const QString &key, bool required)
    {
        const std::optional<QJsonValue> v = value(parent, path, key, required);
        if (!v)
            return std::nullopt;
        if (!v->isString()) {
            fail(join(path, key), ProfileTexts::tr("must be a text in quotes, not %1").arg(typeName(*v)));
            return std::nullopt;
        }
        return v->toString();
    }

    std::optional<double> number(const QJsonObject &parent, const QString &path, const QString &key,
                                 bool required, double minimum, double maximum, bool whole)
    {
        const std::optional<QJsonValue> v = value(parent, path, key, required);
        if (!v)
            return std::nullopt;
        if (!v->isDouble()) {
            fail(join(path, key), ProfileTexts::tr("must be a number, not %1").arg(typeName(*v)));
            return std::nullopt;
        }
        const double d = v->toDouble();
        if (whole && d != std::floor(d)) {
            fail(join(path, key), ProfileTexts::tr("must be a whole number, not %1").arg(numberText(d)));
            return std::nullopt;
        }
        if (!(d >= minimum && d <= maximum)) {
            fail(join(path, key), ProfileTexts::tr("is %1, out of range (%2 to %3)")
                                      .arg(numberText(d), numberText(minimum), numberText(maximum)));
            return std::nullopt;
        }
        return d;
    }

    // One of the given texts, returned as its index.
    std::optional<int> choice(const QJsonObject &parent, const QString &path, const QString &key,
                              const QStringList &choices)
    {
        const std::optional<QString> t = text(parent, path, key, true);
        if (!t)
            return std::nullopt;
        const qsizetype at = choices.indexOf(t->toLower());
        if (at < 0) {
            QStringList shown;
            for (const QString &c : choices)
                shown << quoted(c);
            fail(join(path, key), ProfileTexts::tr("has an unknown value %1 (one of %2)").arg(quoted(*t), shown.join(QStringLiteral(", "))));
            return std::nullopt;
        }
        return int(at);
    }

    // A list of texts, each one line of printable characters.
    std::optional<QStringList> texts(const QJsonObject &parent, const QString &path, const QString &key,
                                     bool required, bool mayBeEmpty)
    {
        const std::optional<QJsonValue> v = value(parent, path, key, required);
        if (!v)
            return std::nullopt;
        if (!v->isArray()) {
            fail(join(path, key), ProfileTexts::tr("must be a list [ \"...\", ... ], not %1").arg(typeName(*v)));
            return std::nullopt;
        }
        QStringList result;
        const QJsonArray array = v->toArray();
        for (qsizetype i = 0; i < array.size(); ++i) {
            const QString itemKey = QStringLiteral("%1[%2]").arg(join(path, key)).arg(i);
            if (!array.at(i).isString()) {
                fail(itemKey, ProfileTexts::tr("must be a text in quotes, not %1").arg(typeName(array.at(i))));
                return std::nullopt;
            }
            const QString item = array.at(i).toString();
            if (!isPlainLine(itemKey, item))
                return std::nullopt;
            result << item;
        }
        if (result.isEmpty() && !mayBeEmpty) {
            fail(join(path, key), ProfileTexts::tr("must hold at least one text"));
            return std::nullopt;
        }
        return result;
    }

    // Non-empty, ASCII, without line ends or other control characters.
    bool isPlainLine(const QString &key, const QString &item)
    {
        if (item.isEmpty()) {
            fail(key, ProfileTexts::tr("is empty"));
            return false;
        }
        for (const QChar c : item) {
            if (c.unicode() < 0x20 || c.unicode() > 0x7e) {
                fail(key, ProfileTexts::tr("holds %1, which is not a printable ASCII character").arg(quoted(QString(c))));
                return false;
            }
        }
        return true;
    }

    static QString join(const QString &path, const QString &key)
    {
        return path.isEmpty() ? key : path + QLatin1Char('.') + key;
    }

private:
    QString m_origin;
    QString m_error;
};

std::optional<QByteArray> lineEnd(ProfileReader &reader, const QJsonObject &root, const QString &key, bool mayBeEmpty)
{
    const std::optional<QString> t = reader.text(root, QString(), key, true);
    if (!t)
        return std::nullopt;
    QStringList allowed{QStringLiteral("\r\n"), QStringLiteral("\n"), QStringLiteral("\r")};
    if (mayBeEmpty)
        allowed << QString();
    if (!allowed.contains(*t)) {
        QStringList shown;
        for (const QString &a : allowed)
            shown << quoted(a);
        reader.fail(key, ProfileTexts::tr("is %1; it must be one of %2").arg(quoted(*t), shown.join(QStringLiteral(", "))));
        return std::nullopt;
    }
    return t->toLatin1();
}

void readField(ProfileReader &reader, const QJsonObject &reply, const QString &key, TesterProfile::Field &field)
{
    const QString path = QStringLiteral("reply.") + key;
    const std::optional<QJsonObject> object = reader.object(reply, QStringLiteral("reply"), key, true);
    if (!object)
        return;
    reader.onlyKeys(*object, path, {QStringLiteral("field"), QStringLiteral("scale")});
    if (const auto index = reader.number(*object, path, QStringLiteral("field"), true, 0, TesterProfile::kMaxFieldIndex, true))
        field.index = int(*index);
    if (const auto scale = reader.number(*object, path, QStringLiteral("scale"), false, 1e-12, 1e12, false))
        field.scale = *scale;
}

void readMark(ProfileReader &reader, const QJsonObject &reply, const QString &key, TesterProfile::Mark &mark)
{
    const QString path = QStringLiteral("reply.") + key;
    const std::optional<QJsonObject> object = reader.object(reply, QStringLiteral("reply"), key, false);
    if (!object)
        return;
    reader.onlyKeys(*object, path, {QStringLiteral("from"), QStringLiteral("words")});
    if (const auto from = reader.number(*object, path, QStringLiteral("from"), false, 1e-12, 1e300, false))
        mark.from = *from;
    if (const auto words = reader.texts(*object, path, QStringLiteral("words"), false, true))
        mark.words = *words;
}

void readJudgement(ProfileReader &reader, const QJsonObject &reply, TesterProfile::JudgementField &judgement)
{
    const QString path = QStringLiteral("reply.judgement");
    const std::optional<QJsonObject> object = reader.object(reply, QStringLiteral("reply"), QStringLiteral("judgement"), false);
    if (!object)
        return;
    reader.onlyKeys(*object, path, {QStringLiteral("field"), QStringLiteral("pass"), QStringLiteral("fail")});
    if (const auto index = reader.number(*object, path, QStringLiteral("field"), true, 0, TesterProfile::kMaxFieldIndex, true))
        judgement.index = int(*index);
    if (const auto words = reader.texts(*object, path, QStringLiteral("pass"), true, false))
        judgement.passWords = *words;
    if (const auto words = reader.texts(*object, path, QStringLiteral("fail"), true, false))
        judgement.failWords = *words;
}

void readSerial(ProfileReader &reader, const QJsonObject &root, LineSettings &line)
{
    const QString path = QStringLiteral("serial");
    const std::optional<QJsonObject> serial = reader.object(root, QString(), path, true);
    if (!serial)
        return;
    reader.onlyKeys(*serial, path, {QStringLiteral("baud"), QStringLiteral("dataBits"), QStringLiteral("parity"),
                                    QStringLiteral("stopBits"), QStringLiteral("flowControl")});
    if (const auto baud = reader.number(*serial, path, QStringLiteral("baud"), true, 50, 4000000, true))
        line.baudRate = qint32(*baud);
    if (const auto bits = reader.number(*serial, path, QStringLiteral("dataBits"), true, 5, 8, true))
        line.dataBits = int(*bits);
    if (const auto parity = reader.choice(*serial, path, QStringLiteral("parity"),
                                          {QStringLiteral("none"), QStringLiteral("even"), QStringLiteral("odd"),
                                           QStringLiteral("mark"), QStringLiteral("space")}))
        line.parity = LineSettings::Parity(*parity);
    if (const auto stop = reader.number(*serial, path, QStringLiteral("stopBits"), true, 1, 2, false)) {
        if (*stop == 1)
            line.stopBits = LineSettings::StopBits::One;
        else if (*stop == 1.5)
            line.stopBits = LineSettings::StopBits::OneAndHalf;
        else if (*stop == 2)
            line.stopBits = LineSettings::StopBits::Two;
        else
            reader.fail(QStringLiteral("serial.stopBits"), ProfileTexts::tr("is %1; it must be 1, 1.5 or 2").arg(numberText(*stop)));
    }
    if (const auto flow = reader.choice(*serial, path, QStringLiteral("flowControl"),
                                        {QStringLiteral("none"), QStringLiteral("hardware"), QStringLiteral("software")}))
        line.flowControl = LineSettings::FlowControl(*flow);
}

void readReply(ProfileReader &reader, const QJsonObject &root, TesterProfile &profile)
{
    const std::optional<QJsonObject> reply = reader.object(root, QString(), QStringLiteral("reply"), true);
    if (!reply)
        return;
    reader.onlyKeys(*reply, QStringLiteral("reply"),
                    {QStringLiteral("separator"), QStringLiteral("resistance"), QStringLiteral("voltage"),
                     QStringLiteral("overflow"), QStringLiteral("noReading"), QStringLiteral("judgement")});
    if (const auto separator = reader.text(*reply, QStringLiteral("reply"), QStringLiteral("separator"), true)) {
        if (reader.isPlainLine(QStringLiteral("reply.separator"), *separator))
            profile.separator = *separator;
    }
    readField(reader, *reply, QStringLiteral("resistance"), profile.resistance);
    readField(reader, *reply, QStringLiteral("voltage"), profile.voltage);
    readMark(reader, *reply, QStringLiteral("overflow"), profile.overflow);
    readMark(reader, *reply, QStringLiteral("noReading"), profile.noReading);
    readJudgement(reader, *reply, profile.judgement);
    if (reader.failed())
        return;

    if (profile.voltage.index == profile.resistance.index)
        reader.fail(QStringLiteral("reply.voltage.field"),
                    ProfileTexts::tr("is %1, the same field as reply.resistance.field").arg(profile.voltage.index));
    else if (profile.judgement.present()
             && (profile.judgement.index == profile.resistance.index || profile.judgement.index == profile.voltage.index))
        reader.fail(QStringLiteral("reply.judgement.field"),
                    ProfileTexts::tr("is %1, the same field as a reading").arg(profile.judgement.index));
    else if (profile.noReading.from <= profile.overflow.from)
        reader.fail(QStringLiteral("reply.noReading.from"),
                    ProfileTexts::tr("is %1; it must be above reply.overflow.from (%2)")
                        .arg(numberText(profile.noReading.from), numberText(profile.overflow.from)));
}

// --- Reading a reply -----------------------------------------------------------------

bool listHas(const QStringList &words, const QString &word)
{
    return words.contains(word, Qt::CaseInsensitive);
}

QString programText(const TesterProfile &profile, const TesterProfile::Field &field, const QString &text)
{
    const QString word = text.trimmed();
    if (!word.isEmpty()) {
        if (listHas(profile.noReading.words, word))
            return kNoReadingMark;
        if (listHas(profile.overflow.words, word))
            return kOverflowMark;
    }
    const bool ownNotation = field.scale == 1.0 && profile.overflow.from == kOverflowFrom
        && profile.noReading.from == kNoReadingFrom;
    if (ownNotation)
        return text;
    const std::optional<double> number = testerNumber(text);
    if (!number || !std::isfinite(*number))
        return text;
    const double value = *number;
    if (std::fabs(value) >= profile.noReading.from)
        return kNoReadingMark;
    if (std::fabs(value) >= profile.overflow.from)
        return value < 0 ? kNegativeOverflowMark : kOverflowMark;
    if (field.scale == 1.0)
        return text;
    return testerNotation(value * field.scale);
}

QStringList replyFields(const TesterProfile &profile, const QString &line)
{
    // A blank separator stands for any run of blanks or tabs, as testers pad
    // their columns.
    QString rest = line;
    QString separator = profile.separator;
    if (separator.trimmed().isEmpty()) {
        static const QRegularExpression blanks(QStringLiteral("\\s+"));
        rest = line.trimmed().replace(blanks, QStringLiteral(" "));
        separator = QStringLiteral(" ");
    }
    // Room for every piece the splitter writes (ten, the rest in the last),
    // so splitting cannot run out of places.
    QVector<QString> fields(TesterProfile::kMaxFieldIndex + 2);
    const qint16 last = splitFields(rest, fields, separator).valueOr(qint16(fields.size() - 1));
    return QStringList(fields.begin(), fields.begin() + last + 1);
}

} // namespace

QString TesterProfile::displayName() const
{
    if (origin.isEmpty() || origin == QLatin1String("built-in"))
        return ProfileTexts::tr("%1 (built-in)").arg(name);
    return QStringLiteral("%1 (%2)").arg(name, origin);
}

DecodedReply decodeReply(const TesterProfile &profile, const QString &line)
{
    const QStringList parts = replyFields(profile, line);
    DecodedReply decoded;
    decoded.fields[0] = programText(profile, profile.resistance, parts.value(profile.resistance.index));
    decoded.fields[1] = programText(profile, profile.voltage, parts.value(profile.voltage.index));
    if (profile.judgement.present()) {
        decoded.testerWord = parts.value(profile.judgement.index).trimmed();
        if (decoded.testerWord.isEmpty())
            decoded.verdict = TesterVerdict::None;
        else if (listHas(profile.judgement.passWords, decoded.testerWord))
            decoded.verdict = TesterVerdict::Pass;
        else if (listHas(profile.judgement.failWords, decoded.testerWord))
            decoded.verdict = TesterVerdict::Fail;
        else
            decoded.verdict = TesterVerdict::Unknown;
    }
    return decoded;
}

QByteArray encodeReply(const TesterProfile &profile, double ohms, double volts, const QString &testerWord)
{
    const auto fieldText = [&profile](double value, const TesterProfile::Field &field) {
        if (std::isnan(value)) {
            if (!profile.noReading.words.isEmpty())
                return profile.noReading.words.first();
            return numberText(std::max(profile.noReading.from, 9.9e37));
        }
        return testerNotation(value / field.scale);
    };
    int last = std::max(profile.resistance.index, profile.voltage.index);
    if (profile.judgement.present())
        last = std::max(last, profile.judgement.index);
    QStringList fields(last + 1);
    fields[profile.resistance.index] = fieldText(ohms, profile.resistance);
    fields[profile.voltage.index] = fieldText(volts, profile.voltage);
    if (profile.judgement.present())
        fields[profile.judgement.index] = testerWord;
    return fields.join(profile.separator).toLatin1() + profile.replyEnd;
}

Result<TesterProfile> parseTesterProfile(const QByteArray &json, const QString &origin)
{
    ProfileReader reader(origin);
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(json, &parseError);
    if (parseError.error != QJsonParseError::NoError) {
        // The line the fault is on helps more than a byte offset.
        const int lineNumber = int(json.left(parseError.offset).count('\n')) + 1;
        reader.fail(QString(), ProfileTexts::tr("is not valid JSON: %1 on line %2").arg(parseError.errorString()).arg(lineNumber));
        return Failure(reader.error());
    }
    if (!document.isObject()) {
        reader.fail(QString(), ProfileTexts::tr("must hold one object { ... }"));
        return Failure(reader.error());
    }

    const QJsonObject root = document.object();
    TesterProfile profile;
    profile.origin = origin;
    reader.onlyKeys(root, QString(),
                    {QStringLiteral("name"), QStringLiteral("description"), QStringLiteral("serial"),
                     QStringLiteral("requestEnd"), QStringLiteral("replyEnd"), QStringLiteral("setup"),
                     QStringLiteral("mode"), QStringLiteral("request"), QStringLiteral("pollMs"),
                     QStringLiteral("replyTimeoutMs"), QStringLiteral("reply")});
    if (const auto name = reader.text(root, QString(), QStringLiteral("name"), true)) {
        if (reader.isPlainLine(QStringLiteral("name"), *name))
            profile.name = *name;
    }
    if (const auto description = reader.text(root, QString(), QStringLiteral("description"), false))
        profile.description = *description;
    readSerial(reader, root, profile.line);
    if (const auto end = lineEnd(reader, root, QStringLiteral("requestEnd"), true))
        profile.requestEnd = *end;
    if (const auto end = lineEnd(reader, root, QStringLiteral("replyEnd"), false))
        profile.replyEnd = *end;
    if (const auto setup = reader.texts(root, QString(), QStringLiteral("setup"), true, true))
        profile.setupCommands = *setup;
    if (const auto mode = reader.choice(root, QString(), QStringLiteral("mode"), {QStringLiteral("query"), QStringLiteral("push")}))
        profile.mode = *mode == 0 ? TesterProfile::Mode::Query : TesterProfile::Mode::Push;
    const std::optional<QString> request = reader.text(root, QString(), QStringLiteral("request"), false);
    if (const auto poll = reader.number(root, QString(), QStringLiteral("pollMs"), true, 50, 60000, true))
        profile.pollInterval = std::chrono::milliseconds(qint64(*poll));
    if (const auto timeout = reader.number(root, QString(), QStringLiteral("replyTimeoutMs"), true, 50, 60000, true))
        profile.replyTimeout = std::chrono::milliseconds(qint64(*timeout));
    readReply(reader, root, profile);
    if (reader.failed())
        return Failure(reader.error());

    if (profile.pushes()) {
        if (request && !request->isEmpty())
            reader.fail(QStringLiteral("request"), ProfileTexts::tr("must be empty or left out in mode \"push\": the tester is not asked"));
    } else if (!request) {
        reader.fail(QStringLiteral("request"), ProfileTexts::tr("is missing; mode \"query\" needs the text that asks for a reading"));
    } else if (request->isEmpty()) {
        reader.fail(QStringLiteral("request"), ProfileTexts::tr("is empty; mode \"query\" needs the text that asks for a reading (or use mode \"push\")"));
    } else if (reader.isPlainLine(QStringLiteral("request"), *request)) {
        profile.request = *request;
    }
    if (!profile.pushes() && profile.requestEnd.isEmpty())
        reader.fail(QStringLiteral("requestEnd"), ProfileTexts::tr("is empty; mode \"query\" needs a line end after the request"));
    if (reader.failed())
        return Failure(reader.error());
    return profile;
}

Result<TesterProfile> readTesterProfileFile(const QString &path)
{
    const QFileInfo info(path);
    const auto refuse = [&path](const QString &why) {
        return Failure(ErrorKind::FileIo, ProfileTexts::tr("Tester profile %1: %2.").arg(path, why));
    };
    if (!info.exists())
        return refuse(ProfileTexts::tr("the file is missing"));
    if (!info.isFile())
        return refuse(ProfileTexts::tr("this is not a regular file"));
    if (info.size() > kMaxProfileFileSize)
        return refuse(ProfileTexts::tr("the file has %1 bytes, more than a profile may have (%2)")
                          .arg(info.size()).arg(kMaxProfileFileSize));
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return refuse(ProfileTexts::tr("cannot read it: %1").arg(file.errorString()));
    return parseTesterProfile(file.read(kMaxProfileFileSize + 1), path);
}

const QList<TesterProfile> &builtInProfiles()
{
    static const QList<TesterProfile> profiles = [] {
        QList<TesterProfile> list;
        for (const BuiltIn &builtIn : kBuiltIns) {
            const Result<TesterProfile> load = parseTesterProfile(QByteArray(builtIn.json), QStringLiteral("built-in"));
            Q_ASSERT_X(load, "builtInProfiles", qPrintable(load.errorString()));
            if (load)
                list << *load;
        }
        return list;
    }();
    return profiles;
}

std::optional<TesterProfile> builtInProfile(const QString &name)
{
    for (const TesterProfile &profile : builtInProfiles()) {
        if (profile.name == name)
            return profile;
    }
    return std::nullopt;
}

QByteArray builtInProfileJson(const QString &name)
{
    for (const BuiltIn &builtIn : kBuiltIns) {
        if (name == QLatin1String(builtIn.name))
            return QByteArray(builtIn.json);
    }
    return {};
}
