#pragma once

#include <QString>

class ConvertSettings;

// The absolute path of baseName + ext inside folder.
QString JoinFilePath(const QString &folder, const QString &baseName, const QString &ext);

// True when a directory entry of that name exists, a dangling symbolic link included.
bool IsNameTaken(const QString &path);

// The plain name if free, else baseName-1 ... baseName-9999; false when all are taken.
bool MakeUniqueFilePath(QString &out, const QString &folder, const QString &baseName, const QString &ext);

bool MakeTgtFilePath(QString &out, const QString &srcFile, const ConvertSettings &settings);

enum class Reservation { Reserved, NoName, Busy };

// A target chosen by a job of this process, so that two jobs never write one file. Held
// for the job's life; Reserve again to move on to the next free name.
class TargetReservation final
{
public:
    TargetReservation() = default;
    ~TargetReservation();

    Reservation Reserve(QString &tgtFile, const QString &srcFile, const ConvertSettings &settings);

private:
    TargetReservation(const TargetReservation &) = delete;
    TargetReservation &operator=(const TargetReservation &) = delete;

    void Release();

    QString key;
};
