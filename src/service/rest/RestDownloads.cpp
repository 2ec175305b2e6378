#include "service/rest/RestDownloads.h"

#include <QThread>

#include <chrono>
#include <memory>
#include <vector>

namespace {
// Waits wake at least this often, whatever they wait for.
constexpr std::chrono::milliseconds kWake{500};
} // namespace

RestDownloads::RestDownloads(int count, Begin begin, Delivered delivered)
    : m_count(count)
    , m_begin(std::move(begin))
    , m_delivered(std::move(delivered))
{
}

void RestDownloads::run(const Fetch &fetch, int inFlight)
{
    std::vector<std::unique_ptr<QThread>> helpers;
    for (int i = 0; i < std::min(inFlight, m_count); ++i) {
        helpers.emplace_back(QThread::create([this, &fetch] { workOn(fetch); }));
        helpers.back()->start();
    }
    for (beginWhatFits(inFlight); m_underWay > 0; beginWhatFits(inFlight))
        deliverArrived();
    {
        const std::lock_guard guard(m_lock);
        m_closing = true;
        m_changed.notify_all();
    }
    for (const auto &helper : helpers)
        helper->wait();
}

void RestDownloads::beginWhatFits(int inFlight)
{
    while (m_underWay < inFlight && m_next < m_count) {
        const int index = m_next++;
        if (!m_begin(index))
            continue;
        ++m_underWay;
        const std::lock_guard guard(m_lock);
        m_waiting.push_back(index);
        m_changed.notify_all();
    }
}

void RestDownloads::workOn(const Fetch &fetch)
{
    for (;;) {
        int index = -1;
        {
            std::unique_lock guard(m_lock);
            while (m_waiting.empty() && !m_closing)
                m_changed.wait_for(guard, kWake);
            if (m_waiting.empty())
                return;
            index = m_waiting.front();
            m_waiting.pop_front();
        }
        auto result = fetch(index);
        const std::lock_guard guard(m_lock);
        m_arrived.emplace_back(index, std::move(result));
        m_changed.notify_all();
    }
}

void RestDownloads::deliverArrived()
{
    std::deque<std::pair<int, ServiceResult<QByteArray>>> arrived;
    {
        std::unique_lock guard(m_lock);
        // Each fetch ends within its transfer timeout or on cancel.
        while (m_arrived.empty())
            m_changed.wait_for(guard, kWake);
        arrived.swap(m_arrived);
    }
    for (const auto &[index, result] : arrived) {
        --m_underWay;
        m_delivered(index, result);
    }
}
