#pragma once
// Where the engine tells what its jobs did, for the site's history: a job
// when it starts, and each camera's results once its calls are over. The
// engine shows a camera's results only once the journal has kept them, so
// a tool killed in the middle of a job has kept every result it showed.

#include "JobTypes.h"

#include <functional>
#include <vector>

namespace orv::jobs {

struct JobSpec;

class IJobJournal {
public:
    virtual ~IJobJournal() = default;
    // On the engine's thread, before any camera's turn. Only jobs that
    // report operations are told: a read changes nothing.
    virtual void JobStarted(JobId job, const JobSpec& order) = 0;
    // On a worker (or the engine's thread for a camera cancelled before its
    // turn): one camera's results in order. `kept` is called, from any
    // thread, once they are kept (or could not be), exactly once.
    virtual void CameraFinished(JobId job, const std::vector<OperationResult>& results,
                                std::function<void()> kept) = 0;
    // Returns once every `kept` of the cameras handed over has been called.
    virtual void Flush() = 0;
};

} // namespace orv::jobs
