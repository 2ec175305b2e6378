#pragma once

// A job for the work queue. The queue calls the three steps in this order on
// one of its workers and destroys the item afterwards.
class WorkItem {
public:
    WorkItem() = default;
    WorkItem(const WorkItem &) = delete;
    WorkItem &operator=(const WorkItem &) = delete;
    virtual ~WorkItem() = default;

    virtual void DoWork() = 0;
    virtual void InitializeItem() {}
    virtual void WorkCompleted() {}
};
