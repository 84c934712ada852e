#pragma once

#include "model/content_view.h"
#include "model/job_runner.h"

#include <QSemaphore>
#include <QThreadPool>

#include <memory>

namespace tessavo::testing {

// Keeps every thread of the conversion pool busy while it lives (or until
// release()), so that no job of a run starts.
class HeldPool {
public:
    HeldPool() : m_threads(conversionPool()->maxThreadCount())
    {
        for (int i = 0; i < m_threads; ++i)
            conversionPool()->start([held = m_held] { held->acquire(); });
    }
    ~HeldPool() { release(); }
    HeldPool(const HeldPool&) = delete;
    HeldPool& operator=(const HeldPool&) = delete;

    void release()
    {
        m_held->release(m_threads);
        m_threads = 0;
    }

private:
    std::shared_ptr<QSemaphore> m_held = std::make_shared<QSemaphore>();
    int m_threads;
};

} // namespace tessavo::testing
