#pragma once
// Where the engine tells what its jobs did, for the site's history: a job
// when it starts, and each camera's results once its calls are over, so a
// tool killed in the middle of a job has kept every camera that finished.

#include "JobTypes.h"

#include <vector>

namespace orv::jobs {

struct JobSpec;

class IJobJournal {
public:
    virtual ~IJobJournal() = default;
    // On the engine's thread, before any camera's turn. Only jobs that
    // report operations are told: a read changes nothing.
    virtual void JobStarted(JobId job, const JobSpec& order) = 0;
    // On a worker: one camera's results in order, a camera cancelled
    // before its turn included.
    virtual void CameraFinished(JobId job, std::vector<OperationResult> results) = 0;
};

} // namespace orv::jobs
