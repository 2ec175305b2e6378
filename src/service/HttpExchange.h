#pragma once

#include "service/HttpRules.h"

#include <QByteArray>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QObject>
#include <QPointer>
#include <QTimer>
#include <QUrl>

#include <chrono>

class QNetworkAccessManager;

// What one HTTP exchange ended with: either a page (any HTTP status, with its
// headers and body) or a failure without a page.
struct HttpReply {
    enum class Failure {
        None,     // a page arrived: `status`, the headers and `body` are set
        Network,  // no page: `networkError` says why
        Timeout,  // nothing arrived within the transfer timeout
        TooSlow,  // the whole exchange took longer than its time limit
        TooLarge, // the body went over the size limit
    };

    QUrl url;
    Failure failure = Failure::None;
    QNetworkReply::NetworkError networkError = QNetworkReply::NoError;
    int status = 0;
    QByteArray contentEncoding;
    QByteArray location;
    QByteArray body;
};

// One POST over a given QNetworkAccessManager, with an inactivity timeout, a
// time limit for the whole exchange and a cap on the body size, counted as
// the bytes arrive. It lives in the thread that created it (the
// manager's thread) and reports there through `finished`, exactly once.
// Redirects are not followed here: the caller decides about them.
class HttpExchange final : public QObject {
    Q_OBJECT
public:
    HttpExchange(QNetworkAccessManager *manager, const QNetworkRequest &request, const QByteArray &body,
                 std::chrono::milliseconds timeout, qint64 maxBodySize, QObject *parent = nullptr,
                 std::chrono::milliseconds deadline = HttpRules::RequestLimit);
    ~HttpExchange() override;

    void start();
    bool isFinished() const { return m_finished; }

signals:
    void finished(const HttpReply &reply);

private:
    void readBody();
    void fail(HttpReply::Failure failure);
    void complete();

    QNetworkAccessManager *m_manager;
    QNetworkRequest m_request;
    QByteArray m_body;
    qint64 m_maxBodySize;
    QPointer<QNetworkReply> m_reply;
    QTimer m_timer;
    QTimer m_deadline;
    HttpReply m_result;
    bool m_finished = false;
};
