#pragma once

#include "array/status.h"

namespace cagewarp {

struct Job;

// Refuses a job, before anything is read or written, when one of the files it would write is a
// file it reads (the control mesh, the model, a moved control mesh, a TetGen .node beside any
// of them), is named twice among its outputs, or exists and is not a regular file (a directory,
// a device, a FIFO: replacing it would destroy what is there). Two names are the same file when
// they reach the same device and inode or, for a file not there yet, the same normalised path.
Status checkRunFiles(const Job& job);

}  // namespace cagewarp
