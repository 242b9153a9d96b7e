// An export running on a worker thread while the window goes on drawing and answering.
#include "app/export_worker.h"

#include <system_error>

static void RunJob(ExportJob* job) {
  RunExport(job->request, &job->control, nullptr, &job->outcome);
  // The dialog may be gone by then (its WM_DESTROY waits for this thread): the post is then dropped.
  PostMessageA(job->notify, job->finished, 0, 0);
}

bool StartExportJob(ExportJob* job) {
  job->startedMs = timeGetTime();
  try {
    job->worker = std::thread(RunJob, job);
  } catch (const std::system_error&) {
    return false;  // the one place a thread is made: no thread, no export
  }
  return true;
}

void CancelExportJob(ExportJob* job) { CancelExport(&job->control); }

void FinishExportJob(ExportJob* job) {
  if (job->worker.joinable()) job->worker.join();
}
