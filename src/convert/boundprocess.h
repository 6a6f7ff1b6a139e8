#pragma once

#include <QProcess>

#include <sys/types.h>

// A QProcess whose child is killed when the program dies, however it dies: nothing else
// would end a downloader or a prober left running by a killed window.
class BoundProcess final : public QProcess
{
public:
    explicit BoundProcess(QObject *parent = nullptr);

protected:
    void setupChildProcess() override;

private:
    pid_t program = 0;
};
