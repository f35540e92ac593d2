#include "ToolApp.h"
#include "log/LogFile.h"
#include "memory/Arenas.h"
#include "paths/AppPaths.h"

#include <QApplication>

// The log starts before anything else, so every run leaves one log file.
static CLogFile& g_startupLog = TheLogFile();

int main(int argc, char** argv) {
    orv::SpreadMemoryArenas();
    (void)g_startupLog;
    const orv::paths::Places& places = orv::paths::Current();
    WriteLog(1, "Logs in %s; language files in %s; language choice in %s", places.logDir.c_str(),
             places.langDir.c_str(), places.languageIni.c_str());
    QApplication app(argc, argv);
    CToolApp tool(app, argc, argv);
    return tool.Run();
}
