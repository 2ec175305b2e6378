#pragma once

#include <QByteArray>
#include <QJsonArray>
#include <QJsonObject>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QUrl>

// Runs the local stand-in of the subtitle service (tests/service-emulator/emulator.py)
// on 127.0.0.1 for one test, and talks to its control interface. Use it from the
// test's main thread:
//
//     ServiceEmulator emu;
//     QVERIFY(emu.start(R"({"movies": [...]})"));   // catalogue as JSON text
//     client.setRPCServer(emu.url().toString());
//     emu.fail(u"http503"_s, u"LogIn"_s, 1);          // next LogIn gets HTTP 503
//     ... run the client ...
//     QCOMPARE(emu.methods(), (QStringList{u"ServerInfo"_s, u"LogIn"_s}));
//
// The catalogue and failure modes are described in tests/service-emulator/README.md.
// The destructor stops the server.
//
// ServiceEmulator(ServiceEmulator::Api::Rest) runs the REST stand-in
// (rest_emulator.py) instead; its url() is the API root .../api/v1 and its
// failure rules name endpoints ("login", "subtitles", "download", "link").
class ServiceEmulator final {
public:
    enum class Api { XmlRpc, Rest };
    explicit ServiceEmulator(Api api = Api::XmlRpc)
        : m_api(api)
    {
    }
    ~ServiceEmulator();
    ServiceEmulator(const ServiceEmulator &) = delete;
    ServiceEmulator &operator=(const ServiceEmulator &) = delete;

    // Writes the catalogue to a temporary file, starts the server on a free port
    // and waits until it listens. False (with a warning) when it did not come up.
    bool start(const QByteArray &catalogJson = "{}");
    void stop();

    // The XML-RPC endpoint, http://127.0.0.1:PORT/xml-rpc (the REST API's
    // root, http://127.0.0.1:PORT/api/v1), and its parts.
    QUrl url() const;
    QString baseUrl() const;
    quint16 port() const { return m_port; }

    // Adds a failure rule: `mode` such as "http503", "fault", "stall"; `on` a
    // method name, "download" or empty (every call); `times` how many requests
    // it hits, -1 for all until reset(). `options` adds mode options such as
    // {"seconds": 5} for "stall" or {"code": 401, "text": "..."} for "fault".
    bool fail(const QString &mode, const QString &on = {}, int times = -1, const QJsonObject &options = {});
    // Forgets every failure rule and every recorded call.
    bool reset();
    // Replaces the catalogue while the server runs.
    bool setCatalog(const QByteArray &catalogJson);

    // Every request received so far, oldest first. Each is an object with
    // "kind" ("xmlrpc" or "download"), "method", "params" (decoded), "path",
    // "headers" (lower-case names) and "body" (the request text).
    QJsonArray calls() const;
    // The method names of the recorded XML-RPC calls, in order (for the REST
    // stand-in: the endpoints of the recorded requests, links included).
    QStringList methods() const;
    // The IDSubtitleFile of every file asked for, at its download link or in a
    // DownloadSubtitles call, in the order the requests came.
    QStringList filesAskedFor() const;

private:
    QByteArray request(const QByteArray &verb, const QString &path, const QByteArray &body = {}) const;

    Api m_api;
    QTemporaryDir m_dir;
    QProcess m_process;
    quint16 m_port = 0;
};
