#include "prefs/XPrefs.h"

#include "prefs/AppIdentity.h"
#include "prefs/myPrefs.h"

#include <QDir>
#include <QDomDocument>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QLoggingCategory>
#include <QMutex>
#include <QSaveFile>
#include <QXmlStreamReader>

#include <atomic>
#include <cerrno>
#include <sys/stat.h>

using namespace Qt::Literals::StringLiterals;

Q_LOGGING_CATEGORY(lcXPrefs, "lumbra.prefs.store")

namespace XPrefs {
namespace {

struct Store {
    QMutex mutex; // guards every member
    bool checked = false;
    Dictionary DictData;
    QString pathOverride;
    bool autoSave = false;
    double saveAlertWait = 2.0;
    std::function<void()> showSaving;
    std::function<void()> closeSaving;
    quint64 snapshots = 0; // counts the snapshots taken for saving
};

Store &store()
{
    static Store s;
    return s;
}

std::atomic<int> lastErrorCode{NoError};

// Serialises writers of the file, so two saves never interleave. Held only
// for the write itself: building the text may show the saving window, which
// runs events, and a window closed meanwhile saves again on the same thread.
QMutex saveMutex;
quint64 writtenSnapshot = 0; // guarded by saveMutex

QString pathLocked(const Store &s)
{
    if (!s.pathOverride.isEmpty())
        return s.pathOverride;
    return myPrefs::prefsdir() + u'/' + AppIdentity::ReverseDomainId + u".plist"_s;
}

// ---- Reading -------------------------------------------------------------

// No file we or any other writer make nests nearly this deep; a deeper one is
// damaged or hostile, and reading it on would exhaust the stack.
constexpr int MaxNesting = 64;

bool readValue(QXmlStreamReader &r, Variant &out, int depth);

// Stops the reader with an error once a container lies too deep.
bool tooDeep(QXmlStreamReader &r, int depth)
{
    if (depth <= MaxNesting)
        return false;
    r.raiseError(u"dictionaries and arrays nested more than %1 deep"_s.arg(MaxNesting));
    return true;
}

// Reads the pairs of a <dict> up to its end tag. A key followed by another
// key or by an unknown element is dropped.
Dictionary readDict(QXmlStreamReader &r, int depth)
{
    if (tooDeep(r, depth))
        return {};
    Dictionary dict;
    QString key;
    bool haveKey = false;
    while (r.readNextStartElement()) {
        if (r.name() == "key"_L1) {
            key = r.readElementText();
            haveKey = true;
            continue;
        }
        Variant value;
        if (readValue(r, value, depth) && haveKey)
            dict.insert(key, value);
        haveKey = false;
    }
    return dict;
}

// Reads an <array>. Our files put each element after a <key> holding its
// index; other writers omit the keys. The elements are taken in order.
VariantList readArray(QXmlStreamReader &r, int depth)
{
    if (tooDeep(r, depth))
        return {};
    VariantList list;
    while (r.readNextStartElement()) {
        if (r.name() == "key"_L1) {
            r.skipCurrentElement();
            continue;
        }
        Variant value;
        readValue(r, value, depth);
        list.append(value);
    }
    return list;
}

Variant readInteger(const QString &text)
{
    const QString t = text.trimmed();
    bool ok = false;
    const qlonglong whole = t.toLongLong(&ok);
    if (ok)
        return whole >= INT_MIN && whole <= INT_MAX ? Variant(int(whole)) : Variant(whole);
    // A fraction is dropped.
    const double d = t.toDouble(&ok);
    if (ok && d >= double(INT_MIN) && d <= double(INT_MAX))
        return Variant(int(d));
    return Variant();
}

// YYYY-MM-DDTHH:MM:SSZ, read by position, taken as UTC and given back in
// local time.
Variant readDate(const QString &text)
{
    const QString t = text.trimmed();
    if (t.size() < 19)
        return Variant();
    bool ok[6] = {};
    const int year = t.mid(0, 4).toInt(&ok[0]);
    const int month = t.mid(5, 2).toInt(&ok[1]);
    const int day = t.mid(8, 2).toInt(&ok[2]);
    const int hour = t.mid(11, 2).toInt(&ok[3]);
    const int minute = t.mid(14, 2).toInt(&ok[4]);
    const int second = t.mid(17, 2).toInt(&ok[5]);
    for (bool b : ok) {
        if (!b)
            return Variant();
    }
    const QDateTime utc(QDate(year, month, day), QTime(hour, minute, second), Qt::UTC);
    if (!utc.isValid())
        return Variant();
    return utc.toLocalTime();
}

// Reads the value element the reader stands on, up to its end tag. Returns
// false for an element that is not a value. `depth` counts the containers
// around it.
bool readValue(QXmlStreamReader &r, Variant &out, int depth)
{
    const QStringView name = r.name();
    if (name == "true"_L1 || name == "false"_L1) {
        out = name == "true"_L1;
        r.skipCurrentElement();
    } else if (name == "integer"_L1) {
        out = readInteger(r.readElementText());
    } else if (name == "real"_L1) {
        bool ok = false;
        const double d = r.readElementText().trimmed().toDouble(&ok);
        out = ok ? Variant(d) : Variant();
    } else if (name == "string"_L1) {
        out = r.readElementText();
    } else if (name == "date"_L1) {
        out = readDate(r.readElementText());
    } else if (name == "data"_L1) {
        const QString text = r.readElementText();
        out = text.trimmed().isEmpty() ? Variant() : Variant(QByteArray::fromBase64(text.toLatin1()));
    } else if (name == "array"_L1) {
        out = readArray(r, depth + 1);
    } else if (name == "dict"_L1) {
        out = QVariant::fromValue(readDict(r, depth + 1));
    } else {
        out = Variant();
        r.skipCurrentElement();
        return false;
    }
    return true;
}

// Parses a whole store file. False when it is not a well-formed plist.
bool parse(const QByteArray &bytes, Dictionary &out)
{
    QXmlStreamReader r(bytes);
    if (!r.readNextStartElement() || r.name() != "plist"_L1)
        return false;
    if (!r.readNextStartElement() || r.name() != "dict"_L1)
        return false;
    out = readDict(r, 1);
    // Read to the end, so a file cut short after the dict is caught too.
    while (!r.atEnd())
        r.readNext();
    if (r.hasError()) {
        qCWarning(lcXPrefs).noquote()
            << "preference file unreadable, defaults used:" << r.errorString() << "at line" << r.lineNumber();
        return false;
    }
    return true;
}

void loadLocked(Store &s)
{
    QFile file(pathLocked(s));
    if (!file.exists())
        return;
    Dictionary loaded;
    if (!file.open(QIODevice::ReadOnly) || !parse(file.readAll(), loaded)) {
        s.DictData.clear();
        return;
    }
    for (const Dictionary::Entry &e : loaded)
        s.DictData.insert(e.key, e.value);
}

// Every public operation starts here: the store is created and loaded on
// first use.
void DictCheck(Store &s)
{
    if (s.checked)
        return;
    s.checked = true;
    s.DictData.clear();
    loadLocked(s);
}

// ---- Writing -------------------------------------------------------------

// XML 1.0 cannot carry most control characters; writing one would make the
// whole file unreadable at the next start, losing every preference.
QString xmlSafe(const QString &text)
{
    QString result;
    result.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        const char16_t u = c.unicode();
        if (c.isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate()) {
            result.append(c);
            result.append(text.at(++i));
            continue;
        }
        if (c.isSurrogate() || (u < 0x20 && u != u'\t' && u != u'\n' && u != u'\r') || u == 0xFFFE ||
            u == 0xFFFF)
            continue;
        result.append(c);
    }
    return result;
}

QDomElement textElement(QDomDocument &doc, const QString &tag, const QString &text)
{
    QDomElement e = doc.createElement(tag);
    if (!text.isEmpty())
        e.appendChild(doc.createTextNode(text));
    return e;
}

void XMLSaveIterate(QDomDocument &doc, QDomElement &parent, const QString &key, const Variant &value);

// The value element of `value`, or a null element for a kind of value the
// file cannot hold.
QDomElement valueElement(QDomDocument &doc, const Variant &value)
{
    if (!value.isValid())
        return doc.createElement(u"data"_s);
    if (isDictionary(value)) {
        QDomElement dict = doc.createElement(u"dict"_s);
        for (const Dictionary::Entry &e : value.value<Dictionary>())
            XMLSaveIterate(doc, dict, e.key, e.value);
        return dict;
    }
    switch (value.metaType().id()) {
    case QMetaType::Bool:
        return doc.createElement(value.toBool() ? u"true"_s : u"false"_s);
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::Short:
    case QMetaType::UShort:
    case QMetaType::Char:
    case QMetaType::SChar:
    case QMetaType::UChar:
    case QMetaType::Long:
    case QMetaType::LongLong:
        return textElement(doc, u"integer"_s, QString::number(value.toLongLong()));
    case QMetaType::ULong:
    case QMetaType::ULongLong:
        return textElement(doc, u"integer"_s, QString::number(value.toULongLong()));
    case QMetaType::Double:
    case QMetaType::Float:
        return textElement(doc, u"real"_s,
                           QString::number(value.toDouble(), 'g', QLocale::FloatingPointShortest));
    case QMetaType::QString:
    case QMetaType::QChar:
        return textElement(doc, u"string"_s, xmlSafe(value.toString()));
    case QMetaType::QDateTime: {
        const QDateTime moment = value.toDateTime();
        if (!moment.isValid())
            return doc.createElement(u"data"_s);
        return textElement(doc, u"date"_s, moment.toUTC().toString(u"yyyy-MM-dd'T'HH:mm:ss'Z'"_s));
    }
    case QMetaType::QByteArray:
        return textElement(doc, u"data"_s, QString::fromLatin1(value.toByteArray().toBase64()));
    case QMetaType::QVariantMap: {
        QDomElement dict = doc.createElement(u"dict"_s);
        const QVariantMap map = value.toMap();
        for (auto it = map.cbegin(); it != map.cend(); ++it)
            XMLSaveIterate(doc, dict, it.key(), it.value());
        return dict;
    }
    case QMetaType::QVariantList:
    case QMetaType::QStringList: {
        QDomElement array = doc.createElement(u"array"_s);
        const VariantList list = value.toList();
        for (qsizetype i = 0; i < list.size(); ++i)
            XMLSaveIterate(doc, array, QString::number(i), list.at(i));
        return array;
    }
    default:
        return QDomElement();
    }
}

// Appends <key> and the value's element under `parent`. A value the file
// cannot hold leaves the key alone, which loading skips.
void XMLSaveIterate(QDomDocument &doc, QDomElement &parent, const QString &key, const Variant &value)
{
    parent.appendChild(textElement(doc, u"key"_s, xmlSafe(key)));
    const QDomElement element = valueElement(doc, value);
    if (!element.isNull())
        parent.appendChild(element);
}

QDomDocument buildDocument(const Dictionary &data)
{
    QDomDocument doc;
    doc.appendChild(doc.createProcessingInstruction(u"xml"_s, u"version=\"1.0\" encoding=\"UTF-8\""_s));
    doc.appendChild(doc.createComment(u"DOCTYPE plist PUBLIC \"-//Apple//DTD PLIST 1.0//EN\" "
                                      "\"http://www.apple.com/DTDs/PropertyList-1.0.dtd\""_s));
    QDomElement plist = doc.createElement(u"plist"_s);
    doc.appendChild(plist);
    QDomElement dict = doc.createElement(u"dict"_s);
    plist.appendChild(dict);
    for (const Dictionary::Entry &e : data)
        XMLSaveIterate(doc, dict, e.key, e.value);
    return doc;
}

QString escaped(const QString &text)
{
    QString out;
    out.reserve(text.size());
    for (const QChar c : text) {
        switch (c.unicode()) {
        case u'<':
            out += "&lt;"_L1;
            break;
        case u'>':
            out += "&gt;"_L1;
            break;
        case u'&':
            out += "&amp;"_L1;
            break;
        case u'\r':
            out += "&#13;"_L1; // a bare CR would be read back as a line feed
            break;
        default:
            out += c;
        }
    }
    return out;
}

// Writes the document compactly. Unlike QDomDocument::toString this escapes
// ">" in text too, so the tag separation below cannot touch a value.
void serialize(const QDomNode &node, QString &out)
{
    for (QDomNode n = node.firstChild(); !n.isNull(); n = n.nextSibling()) {
        if (n.isProcessingInstruction()) {
            const QDomProcessingInstruction pi = n.toProcessingInstruction();
            out += u"<?"_s + pi.target() + u' ' + pi.data() + u"?>"_s;
        } else if (n.isComment()) {
            out += u"<!--"_s + n.nodeValue() + u"-->"_s;
        } else if (n.isText()) {
            out += escaped(n.nodeValue());
        } else if (n.isElement()) {
            const QString tag = n.nodeName();
            if (!n.hasChildNodes()) {
                out += u'<' + tag + u"/>"_s;
            } else {
                out += u'<' + tag + u'>';
                serialize(n, out);
                out += u"</"_s + tag + u'>';
            }
        }
    }
}

Dictionary snapshot()
{
    Store &s = store();
    QMutexLocker lock(&s.mutex);
    DictCheck(s);
    return s.DictData;
}

int codeForErrno(int err, QFileDevice::FileError error)
{
    if (error == QFileDevice::PermissionsError)
        return AccessDenied;
    switch (err) {
    case EACCES:
    case EPERM:
    case EROFS:
        return AccessDenied;
    case ENOMEM:
        return NotEnoughMemory;
    case EBUSY:
    case ETXTBSY:
        return FileInUse;
    case ENAMETOOLONG:
    case ENOENT:
    case ENOTDIR:
    case EISDIR:
    case EINVAL:
        return InvalidName;
    default:
        return IOError;
    }
}

// Writes `bytes` to `path` through a temporary file renamed over the old
// one, so a failure at any point leaves the previous file whole.
int writeFile(const QString &path, const QByteArray &bytes)
{
    const QFileInfo info(path);
    if (info.isDir())
        return InvalidName;
    QDir().mkpath(info.absolutePath());
    QSaveFile file(path);
    errno = 0;
    if (!file.open(QIODevice::WriteOnly)) {
        const int err = errno;
        qCWarning(lcXPrefs) << "cannot write preference file" << path << file.errorString();
        return codeForErrno(err, file.error());
    }
    // The file holds the service password: owner only, set before any byte
    // is written (the temporary file may otherwise copy looser permissions).
    if (::fchmod(file.handle(), S_IRUSR | S_IWUSR) != 0)
        qCWarning(lcXPrefs) << "cannot restrict permissions of" << path;
    errno = 0;
    if (file.write(bytes) != bytes.size() || !file.commit()) {
        const int err = errno;
        qCWarning(lcXPrefs) << "cannot write preference file" << path << file.errorString();
        return codeForErrno(err, file.error());
    }
    return NoError;
}

} // namespace

Variant Value(const QString &key)
{
    Store &s = store();
    QMutexLocker lock(&s.mutex);
    DictCheck(s);
    return s.DictData.value(key);
}

void setValue(const QString &key, const Variant &value)
{
    Store &s = store();
    QMutexLocker lock(&s.mutex);
    DictCheck(s);
    s.DictData.insert(key, value);
    const bool saveNow = s.autoSave;
    lock.unlock();
    if (saveNow)
        Save();
}

bool HasKey(const QString &key)
{
    Store &s = store();
    QMutexLocker lock(&s.mutex);
    DictCheck(s);
    return s.DictData.contains(key);
}

QStringList Keys()
{
    Store &s = store();
    QMutexLocker lock(&s.mutex);
    DictCheck(s);
    return s.DictData.keys();
}

void Load()
{
    Store &s = store();
    QMutexLocker lock(&s.mutex);
    if (!s.checked) {
        DictCheck(s); // loads
        return;
    }
    loadLocked(s);
}

QDomDocument ConstructXML()
{
    return buildDocument(snapshot());
}

namespace {

// The store's text as it is now, and which snapshot it is (later ones count higher).
QString snapshotText(quint64 *snapshot)
{
    std::function<void()> show;
    std::function<void()> close;
    double wait = 0;
    Dictionary data;
    {
        Store &s = store();
        QMutexLocker lock(&s.mutex);
        DictCheck(s);
        data = s.DictData;
        show = s.showSaving;
        close = s.closeSaving;
        wait = s.saveAlertWait;
        if (snapshot)
            *snapshot = ++s.snapshots;
    }
    QElapsedTimer clock;
    clock.start();
    bool shown = false;
    const auto maybeShow = [&] {
        if (!shown && show && wait >= 0 && double(clock.elapsed()) / 1000.0 >= wait) {
            show();
            shown = true;
        }
    };

    QString text;
    serialize(buildDocument(data), text);
    maybeShow();
    // One line feed between adjacent tags, no indentation. Text never holds
    // "><": serialize escapes both angle brackets.
    text.replace(u"><"_s, u">\n<"_s);
    text.append(u'\n');
    maybeShow();
    if (shown && close)
        close();
    return text;
}

} // namespace

QString ToString()
{
    return snapshotText(nullptr);
}

bool Save()
{
    quint64 snapshot = 0;
    const QString text = snapshotText(&snapshot);
    QString path;
    {
        Store &s = store();
        QMutexLocker lock(&s.mutex);
        path = pathLocked(s);
    }
    QMutexLocker saving(&saveMutex);
    // A save that started later has already written newer values.
    if (snapshot < writtenSnapshot)
        return lastErrorCode == NoError;
    writtenSnapshot = snapshot;
    const int code = writeFile(path, text.toUtf8());
    lastErrorCode = code;
    return code == NoError;
}

bool AutoSave()
{
    Store &s = store();
    QMutexLocker lock(&s.mutex);
    return s.autoSave;
}

void setAutoSave(bool on)
{
    Store &s = store();
    QMutexLocker lock(&s.mutex);
    s.autoSave = on;
}

int LastErrorCode()
{
    return lastErrorCode;
}

double SaveAlertWait()
{
    Store &s = store();
    QMutexLocker lock(&s.mutex);
    return s.saveAlertWait;
}

void setSaveAlertWait(double seconds)
{
    Store &s = store();
    QMutexLocker lock(&s.mutex);
    s.saveAlertWait = seconds;
}

void setSavingWindowHooks(std::function<void()> show, std::function<void()> close)
{
    Store &s = store();
    QMutexLocker lock(&s.mutex);
    s.showSaving = std::move(show);
    s.closeSaving = std::move(close);
}

QString filePath()
{
    Store &s = store();
    QMutexLocker lock(&s.mutex);
    return pathLocked(s);
}

void setFilePathForTesting(const QString &path)
{
    Store &s = store();
    QMutexLocker lock(&s.mutex);
    s.pathOverride = path;
    s.checked = false;
    s.DictData.clear();
}

} // namespace XPrefs
