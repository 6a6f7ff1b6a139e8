#pragma once

#include "convert/convertoutcome.h"

#include <QString>

// The batch's four counts, in the order the results dialog shows them.
enum ConvertCount : int { CountSelected, CountSucceeded, CountFailed, CountCanceled, ConvertCountKinds };

// The status word of an outcome, as the source list and the command line show it.
inline QString OutcomeWord(int result)
{
    switch (result) {
    case OutcomeSucceeded:
        return QStringLiteral("Succeeded");
    case OutcomeFailed:
        return QStringLiteral("Failed");
    default:
        return QStringLiteral("Canceled");
    }
}
