#include "CCommandRunner.h"

#include <QMetaObject>
#include <QObject>

CCommandRunner::CCommandRunner() : m_context(new QObject)
{
    m_worker = std::thread([this] { Run(); });
}

CCommandRunner::~CCommandRunner()
{
    {
        std::lock_guard<std::mutex> lock(m_lock);
        m_stop = true;
    }
    m_wake.notify_one();
    m_worker.join();
    // A completion still queued goes with its context, unrun.
    delete m_context;
}

bool CCommandRunner::Start(Work work)
{
    if (m_busy || !work)
        return false;
    m_busy = true;
    {
        std::lock_guard<std::mutex> lock(m_lock);
        m_pending = std::move(work);
    }
    m_wake.notify_one();
    if (m_onBusy)
        m_onBusy(true);
    return true;
}

void CCommandRunner::Run()
{
    for (;;) {
        Work work;
        {
            std::unique_lock<std::mutex> lock(m_lock);
            m_wake.wait(lock, [this] { return m_stop || m_pending; });
            if (m_stop)
                return;
            work = std::move(m_pending);
            m_pending = nullptr;
        }
        Completion completion = work();
        QMetaObject::invokeMethod(
            m_context, [this, completion] { Finish(completion); }, Qt::QueuedConnection);
    }
}

void CCommandRunner::Finish(const Completion& completion)
{
    if (completion)
        completion();
    m_busy = false;
    if (m_onBusy)
        m_onBusy(false);
}
