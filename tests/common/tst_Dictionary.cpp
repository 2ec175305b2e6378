#include "common/Types.h"
#include "TestMain.h"

#include <QTest>

using namespace Qt::Literals::StringLiterals;

class tst_Dictionary : public QObject {
    Q_OBJECT
private slots:
    void keysIgnoreCaseAndKeepFirstSpelling()
    {
        Dictionary d;
        d.insert(u"MovieHash"_s, 1);
        d.insert(u"moviehash"_s, 2);
        QCOMPARE(d.count(), 1);
        QCOMPARE(d.value(u"MOVIEHASH"_s).toInt(), 2);
        QCOMPARE(d.keys(), QStringList{u"MovieHash"_s});
        QVERIFY(d.contains(u"movieHASH"_s));
    }

    void iterationFollowsInsertionOrderAfterRemoval()
    {
        Dictionary d{{u"c"_s, 1}, {u"a"_s, 2}, {u"b"_s, 3}};
        QVERIFY(d.remove(u"A"_s));
        QVERIFY(!d.remove(u"a"_s));
        d.insert(u"d"_s, 4);
        QCOMPARE(d.keys(), (QStringList{u"c"_s, u"b"_s, u"d"_s}));
        QCOMPARE(d.value(u"B"_s).toInt(), 3);
        QCOMPARE(d.value(u"missing"_s, u"x"_s).toString(), u"x"_s);
    }

    // Small structs are searched in place, large ones through an index: both
    // ways must find keys without regard to case, replace in place, and stay
    // right when removals bring a struct back under the size that has one.
    void lookupsAgreeAtEverySize_data()
    {
        QTest::addColumn<int>("size");
        for (const int size : {1, 60, 127, 128, 129, 400})
            QTest::addRow("%d keys", size) << size;
    }
    void lookupsAgreeAtEverySize()
    {
        QFETCH(int, size);
        Dictionary d;
        for (int i = 0; i < size; ++i)
            d.insert(u"Key%1"_s.arg(i), i);
        d.insert(u"KEY0"_s, -1); // replaces, keeps the first spelling and place
        QCOMPARE(d.count(), size);
        QCOMPARE(d.keys().first(), u"Key0"_s);
        QCOMPARE(d.value(u"key0"_s).toInt(), -1);
        for (int i = 1; i < size; ++i)
            QCOMPARE(d.value(u"kEy%1"_s.arg(i)).toInt(), i);
        QVERIFY(!d.contains(u"Key%1"_s.arg(size)));
        for (int i = 0; i < size; i += 2)
            QVERIFY(d.remove(u"KEY%1"_s.arg(i)));
        QCOMPARE(d.count(), size / 2);
        for (int i = 0; i < size; ++i)
            QCOMPARE(d.contains(u"key%1"_s.arg(i)), i % 2 == 1);
        d.insert(u"Later"_s, 7);
        QCOMPARE(d.keys().last(), u"Later"_s);
        QCOMPARE(d.value(u"LATER"_s).toInt(), 7);
    }

    void travelsInsideVariants()
    {
        Dictionary inner{{u"k"_s, u"v"_s}};
        Dictionary outer{{u"inner"_s, QVariant::fromValue(inner)}};
        const Variant v = QVariant::fromValue(outer);
        QVERIFY(isDictionary(v));
        QCOMPARE(v.value<Dictionary>().value(u"INNER"_s).value<Dictionary>().value(u"K"_s).toString(),
                 u"v"_s);
        QCOMPARE(v, QVariant::fromValue(Dictionary{{u"INNER"_s, QVariant::fromValue(inner)}}));
        QVERIFY(isPair(QVariant::fromValue(Pair{u"int"_s, 3})));
    }
};

LUMBRA_TEST_MAIN(tst_Dictionary)
#include "tst_Dictionary.moc"
