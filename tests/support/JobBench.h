#pragma once

#include "FakeSubtitleProvider.h"

#include "prefs/myPrefs.h"
#include "prefs/XPrefs.h"

#include <QTemporaryDir>
#include <QTest>

#include <memory>

// A job driven without a window: its own temporary folder and preferences,
// and a fake service that every run of the job signs in to. Going, it cancels
// the job and waits (at most 20 s) for its workers.
template<typename Job> class JobBench {
public:
    QTemporaryDir dir;
    std::shared_ptr<FakeSubtitleProvider> service = std::make_shared<FakeSubtitleProvider>();
    std::shared_ptr<Job> job = Job::create();

    JobBench()
    {
        XPrefs::setFilePathForTesting(dir.filePath(QStringLiteral("prefs.plist")));
        myPrefs::resetToDefaults();
        job->setProviderMaker([service = service](const myPrefs::Values &) { return service; });
    }

    ~JobBench()
    {
        job->cancel();
        if (!QTest::qWaitFor([this] { return !job->busy(); }, 20000))
            qWarning("the job's workers were still under way 20 s after it was cancelled");
    }

    JobBench(const JobBench &) = delete;
    JobBench &operator=(const JobBench &) = delete;
};
