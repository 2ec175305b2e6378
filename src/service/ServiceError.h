#pragma once

#include <QString>

#include <utility>

// What became of one request to the subtitle service, over either interface
// and for downloads alike: nothing (code 0), or a code, its kind, and a reason
// a person can read. The reason travels up to the window, the command-line
// tool and the log as it is; nobody rebuilds it from a journal.
struct ServiceError {
    // What kind of failure a code is, for the words a person reads
    // (FailureWords) and whether trying again can help.
    enum class Kind {
        None,
        ConnectionRefused, // nothing listens at the address
        ConnectionLost,    // the connection broke off
        TimedOut,          // no answer in time
        HostNotFound,      // the server's name does not resolve
        LoginRejected,     // wrong user name or password
        KeyRejected,       // no application key, or one the service refuses (REST)
        ServiceBusy,       // the service says it is unavailable or overloaded
        BadReply,          // an answer that cannot be read
        Cancelled,
        Other,
    };

    // Codes of our own. Any other code is the service's (a fault number or an
    // HTTP status the provider passes on).
    enum Code {
        None = 0,
        Cancelled = 499,         // the job was cancelled; the request was dropped
        BadReply = 500,          // not the reply expected, or unpacking failed, or too large
        EmptyReply = 501,        // a successful status without a body
        HttpError = 502,         // another HTTP status, or too many redirects
        HostNotFound = 503,      // name resolution failed
        ConnectionLost = 504,    // the connection broke off
        SocketError = 505,       // any other network failure
        Unavailable = 506,       // the service says it is unavailable (HTTP 503)
        NotSupported = 507,      // the provider has no such request
        ConnectionRefused = 508, // nothing listens at the address
        TimedOut = 509,          // no answer in time
    };

    int code = None;
    QString reason;

    // Defined beside the words for each kind (FailureWords.cpp).
    static Kind kindOf(int code);
    Kind kind() const { return kindOf(code); }

    bool ok() const { return code == None; }
    explicit operator bool() const { return !ok(); } // true: something failed
    bool cancelled() const { return code == Cancelled; }
    // The reason for logs, tooltips and the command line (words for the code
    // when there is none); empty when nothing went wrong.
    QString text() const;

    static ServiceError cancelledError() { return {Cancelled, QStringLiteral("cancelled")}; }

    friend bool operator==(const ServiceError &a, const ServiceError &b)
    {
        return a.code == b.code && a.reason == b.reason;
    }
};

// A value, or the error that kept it from coming.
template<typename T> struct ServiceResult {
    T value{};
    ServiceError error;

    bool ok() const { return error.ok(); }

    static ServiceResult failure(ServiceError e)
    {
        ServiceResult r;
        r.error = std::move(e);
        return r;
    }
    static ServiceResult success(T v)
    {
        ServiceResult r;
        r.value = std::move(v);
        return r;
    }
};
