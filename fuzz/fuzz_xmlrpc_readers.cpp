// The two XML readers of replies against each other: whatever the fast
// reader accepts, Qt's reader accepts with the same values, and whatever
// Qt's reader refuses, the fast reader refuses too. The fast reader may
// refuse more (document type declarations, namespace prefixes, too many
// attributes, deep nesting). A read that streams the entries of a reply's
// "data" array reads the same as the fast reader once they are put back.
#include "FuzzSupport.h"

#include "service/XMLRPC.h"

#include <QDateTime>

#include <cmath>
#include <utility>

using namespace Qt::Literals::StringLiterals;

namespace {

// Equal values; "now" (a date element without a date) differs between two
// reads by the time in between, and NaN equals NaN.
bool same(const Variant &a, const Variant &b)
{
    if (a.metaType() != b.metaType())
        return false;
    if (isDictionary(a)) {
        const Dictionary x = a.value<Dictionary>();
        const Dictionary y = b.value<Dictionary>();
        if (x.count() != y.count())
            return false;
        auto j = y.begin();
        for (const Dictionary::Entry &e : x) {
            if (e.key != j->key || !same(e.value, j->value))
                return false;
            ++j;
        }
        return true;
    }
    switch (a.typeId()) {
    case QMetaType::QVariantList: {
        const VariantList x = a.toList();
        const VariantList y = b.toList();
        if (x.size() != y.size())
            return false;
        for (qsizetype i = 0; i < x.size(); ++i) {
            if (!same(x.at(i), y.at(i)))
                return false;
        }
        return true;
    }
    case QMetaType::Double: {
        const double x = a.toDouble();
        const double y = b.toDouble();
        return x == y || (std::isnan(x) && std::isnan(y));
    }
    case QMetaType::QDateTime:
        return std::abs(a.toDateTime().secsTo(b.toDateTime())) < 600;
    default:
        return a == b;
    }
}

// The fast reader's read with the entries of "data" streamed, and put back
// where the streamed read left them out.
XMLRPC::ParsedDocument readStreamed(const QByteArray &xml)
{
    VariantList entries;
    const XMLRPC::EntryStream stream{u"data"_s, [&entries] { entries.clear(); },
                                     [&entries](Variant &&entry) { entries.append(std::move(entry)); }};
    XMLRPC::ParsedDocument doc = XMLRPC::ParseDocumentStreamed(xml, stream);
    if (!doc.params.isEmpty() && isDictionary(doc.params.first())) {
        Dictionary reply = doc.params.first().value<Dictionary>();
        if (isArray(reply.value(u"data"_s))) {
            reply.insert(u"data"_s, entries);
            doc.params.first() = QVariant::fromValue(reply);
        }
    }
    return doc;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    fuzz::startQt();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray xml = fuzz::bytes(data, size);
    const XMLRPC::ParsedDocument fast = XMLRPC::ParseDocument(xml);
    const XMLRPC::ParsedDocument qt = XMLRPC::ParseDocumentWithQt(xml);
    const XMLRPC::ParsedDocument streamed = readStreamed(xml);
    if (streamed.ok() != fast.ok() ||
        (fast.ok() && (streamed.isFault != fast.isFault || !same(streamed.fault, fast.fault) ||
                       !same(streamed.params, fast.params))))
        fuzz::finding("the streamed read differs from the whole one");
    if (fast.ok() && !qt.ok())
        fuzz::finding("the fast reader accepts a document that Qt's reader refuses");
    if (!fast.ok() || !qt.ok())
        return 0;
    if (fast.methodName != qt.methodName || fast.isFault != qt.isFault || !same(fast.fault, qt.fault) ||
        !same(fast.params, qt.params))
        fuzz::finding("the two readers read different values");
    return 0;
}
