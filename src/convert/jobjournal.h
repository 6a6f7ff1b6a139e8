#pragma once

#include <QString>

// A crash of the program must not leave its temporary files behind for ever. Every
// temporary file or folder is recorded in a per-process journal in the cache folder
// before it is created; the journal stays locked while the process lives, so the next
// start can tell a dead run's journal from a running one's and remove what it recorded.
namespace JobJournal {

// Records path (a file, or a folder removed with its contents) as this process's own.
void Record(const QString &path);

// Removes the recorded leftovers of every run that is no longer alive, and their journals.
// Answers how many journals were cleaned.
int CleanUpDeadRuns();

// Ends this process's journal; what it recorded is already gone on a clean exit.
void Close();

// The folder of the journals (inside the user's cache folder).
QString Folder();

} // namespace JobJournal
