#include "platform/ClipboardFiles.h"
#include "TestMain.h"

#include <QDir>
#include <QFile>
#include <QMimeData>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>

using namespace Qt::Literals::StringLiterals;

class tst_ClipboardFiles final : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void parse_data();
    void parse();
    void existingFilesKeepClipboardOrder();
    void gnomeListWinsOverUriList();
};

void tst_ClipboardFiles::parse_data()
{
    QTest::addColumn<QByteArray>("mime");
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<QStringList>("paths");

    const QByteArray uri = "text/uri-list";
    const QByteArray gnome = "x-special/gnome-copied-files";
    QTest::newRow("uri list, CRLF, comment")
        << uri << QByteArray("# from a file manager\r\nfile:///a/b.mkv\r\nfile:///c\r\n")
        << QStringList{u"/a/b.mkv"_s, u"/c"_s};
    QTest::newRow("uri list, bare LF, no final line end")
        << uri << QByteArray("file:///a\nfile:///b") << QStringList{u"/a"_s, u"/b"_s};
    QTest::newRow("percent-encoded space and UTF-8")
        << uri << QByteArray("file:///films/Le%20Caf%C3%A9.avi\r\n") << QStringList{u"/films/Le Café.avi"_s};
    QTest::newRow("web and relative addresses are not files")
        << uri << QByteArray("https://example.org/x.srt\r\nrelative/path\r\nfile:///kept\r\n")
        << QStringList{u"/kept"_s};
    QTest::newRow("gnome copy") << gnome << QByteArray("copy\nfile:///one\nfile:///two")
                                << QStringList{u"/one"_s, u"/two"_s};
    QTest::newRow("gnome cut, trailing line end")
        << gnome << QByteArray("cut\nfile:///one\n") << QStringList{u"/one"_s};
    QTest::newRow("gnome without operation line")
        << gnome << QByteArray("file:///one") << QStringList{u"/one"_s};
    QTest::newRow("empty") << uri << QByteArray() << QStringList{};
}

void tst_ClipboardFiles::parse()
{
    QFETCH(QByteArray, mime);
    QFETCH(QByteArray, data);
    QFETCH(QStringList, paths);
    if (mime == "text/uri-list")
        QCOMPARE(ClipboardFiles::parseUriList(data), paths);
    else
        QCOMPARE(ClipboardFiles::parseGnomeCopiedFiles(data), paths);
}

void tst_ClipboardFiles::existingFilesKeepClipboardOrder()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString zebra = dir.filePath(u"zebra.mkv"_s);
    const QString alpha = dir.filePath(u"alpha.avi"_s);
    const QString folder = dir.filePath(u"Season 1"_s);
    QVERIFY(QFile(zebra).open(QIODevice::WriteOnly));
    QVERIFY(QFile(alpha).open(QIODevice::WriteOnly));
    QVERIFY(QDir().mkpath(folder));
    const QString gone = dir.filePath(u"gone.mkv"_s);

    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(zebra), QUrl::fromLocalFile(gone), QUrl::fromLocalFile(folder),
                  QUrl::fromLocalFile(alpha)});
    QCOMPARE(ClipboardFiles::existingFiles(&data), (QStringList{zebra, folder, alpha}));

    QMimeData noFiles;
    noFiles.setText(zebra);
    QVERIFY(ClipboardFiles::existingFiles(&noFiles).isEmpty());
    QVERIFY(ClipboardFiles::existingFiles(nullptr).isEmpty());
}

void tst_ClipboardFiles::gnomeListWinsOverUriList()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString a = dir.filePath(u"a.mkv"_s);
    const QString b = dir.filePath(u"b.mkv"_s);
    QVERIFY(QFile(a).open(QIODevice::WriteOnly));
    QVERIFY(QFile(b).open(QIODevice::WriteOnly));

    QMimeData data;
    data.setData(u"text/uri-list"_s, QUrl::fromLocalFile(a).toEncoded() + "\r\n");
    data.setData(u"x-special/gnome-copied-files"_s,
                 "copy\n" + QUrl::fromLocalFile(b).toEncoded() + '\n' + QUrl::fromLocalFile(a).toEncoded());
    QCOMPARE(ClipboardFiles::existingFiles(&data), (QStringList{b, a}));
}

LUMBRA_TEST_MAIN(tst_ClipboardFiles)
#include "tst_ClipboardFiles.moc"
