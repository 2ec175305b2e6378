#include "cli/CliProgress.h"

#include "cli/CliText.h"

#include <cstdio>

#include <unistd.h>

using namespace Qt::Literals::StringLiterals;

namespace {
void writeErr(const QString &text)
{
    const QByteArray bytes = text.toLocal8Bit();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stderr);
    std::fflush(stderr);
}
} // namespace

CliProgress::CliProgress()
    : m_terminal(::isatty(STDERR_FILENO) == 1)
{
}

CliProgress::~CliProgress()
{
    finish();
}

void CliProgress::step(const QString &label, int total)
{
    std::lock_guard lock(m_mutex);
    m_label = label;
    m_detail.clear();
    m_total = total;
    m_done = 0;
    if (m_terminal) {
        drawLocked();
    } else {
        writeErr(total > 0 ? u"%1 (%2)\n"_s.arg(label).arg(total) : label + u'\n');
    }
}

void CliProgress::advance(int done, const QString &detail)
{
    std::lock_guard lock(m_mutex);
    // Plain lines only at every tenth of the way, so that a long run does
    // not flood a log.
    const bool newTenth = m_total > 0 && (done == m_total || done * 10 / m_total != m_done * 10 / m_total);
    m_done = done;
    m_detail = printable(detail);
    if (m_terminal)
        drawLocked();
    else if (newTenth)
        writeErr(u"%1 %2/%3 %4"_s.arg(m_label).arg(done).arg(m_total).arg(m_detail).trimmed() + u'\n');
}

void CliProgress::finish()
{
    std::lock_guard lock(m_mutex);
    if (m_terminal && m_lineOpen)
        writeErr(u"\n"_s);
    m_lineOpen = false;
}

void CliProgress::drawLocked()
{
    constexpr int width = 30;
    QString line = u"\r\x1b[K"_s + m_label;
    if (m_total > 0) {
        const int filled = int(qint64(width) * qBound(0, m_done, m_total) / m_total);
        line += u" ["_s + QString(filled, u'#') + QString(width - filled, u' ') + u"] "_s +
                u"%1/%2"_s.arg(m_done).arg(m_total);
    }
    if (!m_detail.isEmpty()) {
        // Keep the line short enough not to wrap on a narrow terminal.
        line += u' ' + (m_detail.size() > 40 ? u"…"_s + m_detail.right(39) : m_detail);
    }
    writeErr(line);
    m_lineOpen = true;
}
