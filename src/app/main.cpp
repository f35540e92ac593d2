#include "ToolApp.h"
#include "log/LogFile.h"

#include <QApplication>

// The log starts before anything else, so every run leaves one log file.
static CLogFile& g_startupLog = TheLogFile();

int main(int argc, char** argv) {
    (void)g_startupLog;
    QApplication app(argc, argv);
    CToolApp tool(app, argc, argv);
    return tool.Run();
}
