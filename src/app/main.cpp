#include "app/mainwindow.h"
#include "convert/jobjournal.h"
#include "krv/gen/plugins.h"

#include <QApplication>

namespace {

void SilentMessageHandler(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    Q_UNUSED(type)
    Q_UNUSED(context)
    Q_UNUSED(message)
}

} // namespace

int main(int argc, char *argv[])
{
    qInstallMessageHandler(SilentMessageHandler);
    KRVInitPlugins();
    Q_INIT_RESOURCE(reelway);

    int code = 0;
    {
        QApplication app(argc, argv);
        QApplication::setOrganizationName(QStringLiteral("Vantrelle"));
        QApplication::setApplicationName(QStringLiteral("Reelway Video Converter 1.0.4"));
        // Before any job of this run records a file of its own.
        JobJournal::CleanUpDeadRuns();
        {
            MainWindow window;
            window.show();
            ReportCrashIfNeeded(&window);
            code = app.exec();
        }
        JobJournal::Close();
    }
    return code;
}
