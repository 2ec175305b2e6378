#pragma once

#include <QByteArray>

// A readable stream over bytes held in memory, for readers that want a
// stream. It never reports the end and never fails: reading past the end
// gives fewer (or no) bytes.
class MyString final {
public:
    explicit MyString(const QByteArray &data)
        : m_data(data)
    {
    }

    // The next `count` bytes; the position moves past them.
    QByteArray Read(qsizetype count);

    bool eof() const { return false; }
    int LastError() const { return 0; }

private:
    QByteArray m_data;
    qsizetype m_pos = 0;
};
