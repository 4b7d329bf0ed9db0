// Stands in for the app in the orphan test: launches a child the way the app
// launches the camera tool, prints what the child said (its pid), and waits
// to be killed.

#include "app/QtProcessLauncher.h"

#include <QCoreApplication>
#include <QTextStream>

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    backbeacon::QtProcessLauncher launcher;
    const auto child = launcher.launch(
        QStringLiteral("/bin/sh"), {QStringLiteral("-c"), QStringLiteral("echo $$; exec sleep 60")},
        {.said = [](const QString& line) { QTextStream(stdout) << line << Qt::endl; },
         .exited = {}});
    return app.exec();
}
