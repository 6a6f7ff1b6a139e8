#pragma once

// Outcome codes shared by a job and the batch runner.
enum ConvertOutcome : int {
    OutcomeSucceeded = 0,
    OutcomeFailed = 1,
    OutcomeCanceled = 2
};
