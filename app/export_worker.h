// An export running on a worker thread while the window goes on drawing and answering.
#pragma once

#include <windows.h>

#include <thread>

#include "export/export_control.h"
#include "export/export_job.h"

struct ExportJob {
  ExportRequest request;
  ExportControl control;  // progress and cancellation, read and set from the window's thread
  ExportOutcome outcome;  // the worker's; read only once it has ended
  std::thread worker;
  HWND notify;            // told with `finished` when the worker has ended
  UINT finished;
  DWORD startedMs;
};

// Runs the export of job->request on a new thread, which posts job->finished to job->notify
// when it ends, whatever the outcome. False when no thread could be started.
bool StartExportJob(ExportJob* job);

// Asks the worker to stop soon; it then removes what it has written.
void CancelExportJob(ExportJob* job);

// Waits for the worker to end (at once after its message came). Safe to call twice.
void FinishExportJob(ExportJob* job);
